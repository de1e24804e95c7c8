#include "engine/FileAccess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstdint>
#include <system_error>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velmar {

namespace {

// As many hops as the kernel itself follows before it gives up.
constexpr int kMaxLinkHops = 40;

enum class Kind { Missing, Regular, Folder, Fifo, CharDevice, BlockDevice, Socket, Other, Error };

struct Probe {
    Kind kind = Kind::Missing;
    qint64 size = 0;
    std::string error; // Kind::Error only
};

std::string shown(const QString& path) { return QDir::toNativeSeparators(path).toStdString(); }

std::string errnoText(int error) { return std::generic_category().message(error); }

#if defined(Q_OS_UNIX)
Probe probeMode(int statResult, const struct stat& st) {
    if (statResult != 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return {};
        return {Kind::Error, 0, errnoText(error)};
    }
    const mode_t mode = st.st_mode;
    const Kind kind = S_ISREG(mode)    ? Kind::Regular
                      : S_ISDIR(mode)  ? Kind::Folder
                      : S_ISFIFO(mode) ? Kind::Fifo
                      : S_ISCHR(mode)  ? Kind::CharDevice
                      : S_ISBLK(mode)  ? Kind::BlockDevice
                      : S_ISSOCK(mode) ? Kind::Socket
                                       : Kind::Other;
    return {kind, static_cast<qint64>(st.st_size), {}};
}

// What is at `path` now, following symlinks.
Probe probe(const QString& path) {
    struct stat st {};
    const int rc = ::stat(QFile::encodeName(path).constData(), &st);
    return probeMode(rc, st);
}
#else
Probe probe(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    if (info.isDir())
        return {Kind::Folder, 0, {}};
    if (!info.isFile())
        return {Kind::Other, 0, {}};
    return {Kind::Regular, info.size(), {}};
}
#endif

std::string notRegular(Kind kind) {
    switch (kind) {
    case Kind::Folder: return "it is a folder, not a file";
    case Kind::Fifo: return "it is a FIFO (named pipe), not a regular file";
    case Kind::CharDevice: return "it is a character device, not a regular file";
    case Kind::BlockDevice: return "it is a block device, not a regular file";
    case Kind::Socket: return "it is a socket, not a regular file";
    default: return "it is not a regular file";
    }
}

std::string sizeText(std::uint64_t bytes) {
    constexpr std::uint64_t kKiB = 1024;
    if (bytes >= kKiB * kKiB && bytes % (kKiB * kKiB) == 0)
        return std::to_string(bytes / (kKiB * kKiB)) + " MiB";
    if (bytes >= kKiB && bytes % kKiB == 0)
        return std::to_string(bytes / kKiB) + " KiB";
    return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
}

std::string tooLarge(std::uint64_t size, std::size_t maxBytes) {
    return "it is " + std::to_string(size) + " bytes long, more than the " + sizeText(maxBytes) +
           " a file of this kind may hold";
}

#if defined(Q_OS_UNIX)
class CFd {
public:
    explicit CFd(int fd) : m_fd(fd) {}
    ~CFd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Opens without blocking, so a FIFO put in the file's place since it was
// looked at cannot hold the open; fstat then says what was really opened.
std::string readOpened(const QString& path, std::size_t maxBytes, std::string& bytes) {
    const CFd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        return errnoText(errno);
    struct stat st {};
    const Probe opened = probeMode(::fstat(fd.get(), &st), st);
    if (opened.kind == Kind::Error)
        return opened.error;
    if (opened.kind != Kind::Regular)
        return notRegular(opened.kind);
    if (static_cast<std::uint64_t>(opened.size) > maxBytes)
        return tooLarge(static_cast<std::uint64_t>(opened.size), maxBytes);
    bytes.reserve(static_cast<std::size_t>(opened.size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errnoText(errno);
        if (n == 0)
            return {};
        // The file may grow while it is read; the cap holds all the same.
        if (bytes.size() + static_cast<std::size_t>(n) > maxBytes)
            return tooLarge(bytes.size() + static_cast<std::size_t>(n), maxBytes);
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}
#else
std::string readOpened(const QString& path, std::size_t maxBytes, std::string& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString().toStdString();
    const QByteArray data = file.read(static_cast<qint64>(maxBytes) + 1);
    if (static_cast<std::size_t>(data.size()) > maxBytes)
        return tooLarge(static_cast<std::uint64_t>(data.size()), maxBytes);
    bytes.assign(data.constData(), static_cast<std::size_t>(data.size()));
    return {};
}
#endif

bool writable(const QString& path) {
#if defined(Q_OS_UNIX)
    return ::access(QFile::encodeName(path).constData(), W_OK) == 0;
#else
    return QFileInfo(path).isWritable();
#endif
}

// Follows the symlinks at `path` to the file they lead to, which need not
// exist yet. Empty when the chain does not end.
QString followLinks(const QString& path) {
    QFileInfo info(QFileInfo(path).absoluteFilePath());
    for (int hop = 0; info.isSymLink(); ++hop) {
        if (hop == kMaxLinkHops)
            return {};
        info.setFile(info.symLinkTarget());
    }
    return info.absoluteFilePath();
}

// Why `target` (with its links followed) cannot be replaced; the reason only,
// without the path.
std::string targetProblem(const QString& target) {
    const Probe at = probe(target);
    if (at.kind == Kind::Error)
        return at.error;
    if (at.kind != Kind::Missing && at.kind != Kind::Regular)
        return notRegular(at.kind) + "; it was left as it is";
    if (at.kind == Kind::Regular && !writable(target))
        return "the file is read-only";
    // The new text is written beside the target and renamed over it, so the
    // folder must take a new file even when the target exists.
    const QString folder = QFileInfo(target).absolutePath();
    if (probe(folder).kind != Kind::Folder)
        return "the folder " + shown(folder) + " does not exist";
    if (!writable(folder))
        return "the folder " + shown(folder) + " cannot be written to";
    return {};
}

} // namespace

FileReadResult readFileBounded(const QString& path, std::size_t maxBytes) {
    FileReadResult result;
    const auto refuse = [&](const std::string& why) {
        result.bytes.clear();
        result.error = "cannot read " + shown(path) + ": " + why;
        return result;
    };
    if (path.isEmpty())
        return refuse("no file name given");
    // A look before opening, so that nothing but a regular file of a sensible
    // size is opened at all.
    const Probe at = probe(path);
    switch (at.kind) {
    case Kind::Missing: return refuse("no such file");
    case Kind::Error: return refuse(at.error);
    case Kind::Regular: break;
    default: return refuse(notRegular(at.kind));
    }
    if (static_cast<std::uint64_t>(at.size) > maxBytes)
        return refuse(tooLarge(static_cast<std::uint64_t>(at.size), maxBytes));
    if (const std::string why = readOpened(path, maxBytes, result.bytes); !why.empty())
        return refuse(why);
    return result;
}

std::string checkWriteTarget(const QString& path) {
    if (path.isEmpty())
        return "cannot write: no file name given";
    const QString target = followLinks(path);
    if (target.isEmpty())
        return "cannot write " + shown(path) + ": too many levels of symbolic links";
    if (const std::string why = targetProblem(target); !why.empty())
        return "cannot write " + shown(path) + ": " + why;
    return {};
}

std::string writeFileAtomically(const QString& path, std::string_view bytes) {
    if (std::string why = checkWriteTarget(path); !why.empty())
        return why;
    const QString target = followLinks(path);
    QSaveFile file(target);
    // Writing in place would leave a half-written file behind on a failure.
    file.setDirectWriteFallback(false);
    const auto failed = [&](const std::string& why) {
        file.cancelWriting();
        return "cannot write " + shown(path) + ": " + why;
    };
    if (!file.open(QIODevice::WriteOnly))
        return failed(file.errorString().toStdString());
    if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
        static_cast<qint64>(bytes.size()))
        return failed(file.errorString().toStdString());
    // The target may have become something else while the text was written.
    if (const std::string why = targetProblem(target); !why.empty())
        return failed(why);
    if (!file.commit())
        return "cannot write " + shown(path) + ": " + file.errorString().toStdString();
    return {};
}

std::string appendToFile(const QString& path, std::string_view bytes) {
    if (path.isEmpty())
        return "cannot write: no file name given";
    const auto refuse = [&](const std::string& why) {
        return "cannot write " + shown(path) + ": " + why;
    };
    const Probe at = probe(path);
    if (at.kind == Kind::Error)
        return refuse(at.error);
    if (at.kind != Kind::Missing && at.kind != Kind::Regular)
        return refuse(notRegular(at.kind) + "; it was left as it is");
#if defined(Q_OS_UNIX)
    const CFd fd(::open(QFile::encodeName(path).constData(),
                        O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644));
    if (fd.get() < 0)
        return refuse(errnoText(errno));
    struct stat st {};
    const Probe opened = probeMode(::fstat(fd.get(), &st), st);
    if (opened.kind == Kind::Error)
        return refuse(opened.error);
    if (opened.kind != Kind::Regular)
        return refuse(notRegular(opened.kind) + "; it was left as it is");
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return refuse(errnoText(errno));
        done += static_cast<std::size_t>(n);
    }
    if (::fdatasync(fd.get()) != 0 && errno != EINVAL)
        return refuse(errnoText(errno));
    return {};
#else
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return refuse(file.errorString().toStdString());
    if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
            static_cast<qint64>(bytes.size()) ||
        !file.flush())
        return refuse(file.errorString().toStdString());
    return {};
#endif
}

std::string asSentence(std::string_view message) {
    std::string out(message);
    if (!out.empty() && out.front() >= 'a' && out.front() <= 'z')
        out.front() = static_cast<char>(out.front() - 'a' + 'A');
    if (!out.empty() && out.back() != '.')
        out += '.';
    return out;
}

} // namespace velmar
