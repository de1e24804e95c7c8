#include "events/EventLogFile.h"

#include "engine/FileAccess.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <system_error>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velmar {

namespace {

// Pieces appended one by one: no temporaries joined with "+".
std::string joined(std::initializer_list<std::string_view> pieces) {
    std::string out;
    for (const std::string_view piece : pieces)
        out += piece;
    return out;
}

} // namespace

std::int64_t CSystemEventClock::nowMs() const { return QDateTime::currentMSecsSinceEpoch(); }

CEventLogFile::CEventLogFile(QString folder, std::string version, const IEventClock& clock,
                             std::size_t maxBytes, int maxFiles)
    : m_folder(std::move(folder)), m_version(std::move(version)), m_clock(clock),
      m_maxBytes(maxBytes), m_maxFiles(std::max(1, maxFiles)) {}

CEventLogFile::~CEventLogFile() { close(); }

QString CEventLogFile::pathOf(int index) const {
    const QString name =
        index == 0 ? QStringLiteral("events.jsonl") : QStringLiteral("events.%1.jsonl").arg(index);
    return QDir(m_folder).filePath(name);
}

std::string CEventLogFile::failed(std::string why) {
    if (why != m_lastError && m_onError)
        m_onError(why);
    m_lastError = std::move(why);
    return m_lastError;
}

std::string CEventLogFile::rotate() {
    // The oldest file goes; every other moves one place back.
    const QString oldest = pathOf(m_maxFiles - 1);
    if (QFileInfo::exists(oldest) && !QFile::remove(oldest))
        return joined({"cannot remove the oldest event log ", oldest.toStdString()});
    for (int k = m_maxFiles - 2; k >= 0; --k) {
        const QString from = pathOf(k);
        if (QFileInfo::exists(from) && !QFile::rename(from, pathOf(k + 1)))
            return joined({"cannot rename the event log ", from.toStdString()});
    }
    return {};
}

#if defined(Q_OS_UNIX)

namespace {

std::string errnoText(int error) { return std::generic_category().message(error); }

} // namespace

std::string CEventLogFile::open() {
    const QByteArray path = QFile::encodeName(currentPath());
    if (m_fd >= 0) {
        // Still the file at our path? Another program (velmarctl beside the
        // window) may have rotated it away meanwhile.
        struct stat named {};
        struct stat opened {};
        if (::stat(path.constData(), &named) == 0 && ::fstat(m_fd, &opened) == 0 &&
            named.st_dev == opened.st_dev && named.st_ino == opened.st_ino) {
            m_size = static_cast<std::size_t>(opened.st_size);
            return {};
        }
        close();
    }
    if (!QDir().mkpath(m_folder))
        return joined({"cannot create the event log folder ", m_folder.toStdString()});
    // Not blocking: a FIFO put in the log's place must not hang the writer.
    const int fd =
        ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
    const int openError = errno;
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        // The shared file door names what is in the way and leaves it alone.
        std::string why = appendToFile(currentPath(), {});
        if (why.empty())
            why = joined({"cannot open the event log ", currentPath().toStdString(), ": ",
                          errnoText(fd < 0 ? openError : EINVAL)});
        return why;
    }
    m_fd = fd;
    m_size = static_cast<std::size_t>(st.st_size);
    m_needHeader = true;
    m_needNewline = false;
    if (m_size > 0) {
        // A line torn by a crash would swallow the start of ours: begin anew.
        QFile file(currentPath());
        char last = '\n';
        if (file.open(QIODevice::ReadOnly) && file.seek(static_cast<qint64>(m_size) - 1))
            file.getChar(&last);
        m_needNewline = last != '\n';
    }
    return {};
}

std::string CEventLogFile::writeBytes(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            const std::string why =
                joined({"cannot write ", currentPath().toStdString(), ": ", errnoText(error)});
            close();
            return why;
        }
        done += static_cast<std::size_t>(n);
    }
    m_size += bytes.size();
    m_unsynced = m_unsynced || !bytes.empty();
    return {};
}

std::string CEventLogFile::sync() {
    if (m_fd < 0 || !m_unsynced)
        return {};
    m_unsynced = false;
    if (::fdatasync(m_fd) != 0 && errno != EINVAL) {
        const int error = errno;
        return failed(
            joined({"cannot sync ", currentPath().toStdString(), ": ", errnoText(error)}));
    }
    return {};
}

void CEventLogFile::close() {
    if (m_fd < 0)
        return;
    sync();
    ::close(m_fd);
    m_fd = -1;
}

#else

// Elsewhere each batch goes through the shared file door, which opens,
// writes and flushes.
std::string CEventLogFile::open() {
    if (!QDir().mkpath(m_folder))
        return joined({"cannot create the event log folder ", m_folder.toStdString()});
    if (m_fd < 0) {
        const QFileInfo info(currentPath());
        m_size = info.exists() ? static_cast<std::size_t>(info.size()) : 0;
        m_fd = 0;
        m_needHeader = true;
    }
    return {};
}

std::string CEventLogFile::writeBytes(const std::string& bytes) {
    if (std::string why = appendToFile(currentPath(), bytes); !why.empty()) {
        close();
        return why;
    }
    m_size += bytes.size();
    return {};
}

std::string CEventLogFile::sync() { return {}; }

void CEventLogFile::close() { m_fd = -1; }

#endif

std::string CEventLogFile::startNewFile() {
    close();
    if (m_maxFiles == 1) {
        if (QFileInfo::exists(currentPath()) && !QFile::remove(currentPath()))
            return joined({"cannot remove the full event log ", currentPath().toStdString()});
    } else if (std::string why = rotate(); !why.empty()) {
        return why;
    }
    return open();
}

std::string CEventLogFile::write(std::span<const Event> events) {
    if (events.empty())
        return {};
    if (std::string why = open(); !why.empty())
        return failed(std::move(why));
    std::string bytes;
    for (const Event& event : events) {
        const std::string line = eventLogLine(event);
        if (m_size + bytes.size() > 0 && m_size + bytes.size() + line.size() > m_maxBytes) {
            // What is full goes out whole before the files move on.
            if (std::string why = writeBytes(bytes); !why.empty())
                return failed(std::move(why));
            bytes.clear();
            if (std::string why = startNewFile(); !why.empty())
                return failed(std::move(why));
        }
        if (m_needNewline)
            bytes += '\n';
        m_needNewline = false;
        // Every file, and every run that carries on a file, starts by naming
        // the version that writes it; it goes out with the first event, so no
        // file starts without it.
        if (m_needHeader)
            bytes += eventLogHeaderLine(m_version, m_clock.nowMs());
        m_needHeader = false;
        bytes += line;
    }
    if (std::string why = writeBytes(bytes); !why.empty())
        return failed(std::move(why));
    m_lastError.clear();
    return {};
}

std::string CEventLogFile::append(const Event& event) {
    if (std::string why = write(std::span<const Event>(&event, 1)); !why.empty())
        return why;
    return sync();
}

EventLogContents CEventLogFile::readAll(std::string* error) const {
    EventLogContents contents;
    for (int k = m_maxFiles - 1; k >= 0; --k) {
        const QString path = pathOf(k);
        if (!QFileInfo::exists(path))
            continue;
        // A file is never much larger than the rotation size; the margin
        // allows for one long line past it.
        const FileReadResult read = readFileBounded(path, m_maxBytes + kEventLogMaxLine);
        if (!read.ok()) {
            if (error != nullptr)
                *error += (error->empty() ? "" : "; ") + read.error;
            continue;
        }
        readEventLog(read.bytes, contents);
    }
    return contents;
}

} // namespace velmar
