// The one reader and the one writer of files, against the kinds of things a
// path can name: regular files, symlinks, folders, FIFOs, sockets and device
// nodes, all made in a temporary folder.

#include "engine/FileAccess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace velmar {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

class FileAccess : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    static QByteArray native(const QString& p) { return QFile::encodeName(p); }

    static void put(const QString& p, const std::string& text) {
        QFile file(p);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(text.data(), static_cast<qint64>(text.size())),
                  static_cast<qint64>(text.size()));
    }
    static std::string contents(const QString& p) {
        QFile file(p);
        if (!file.open(QIODevice::ReadOnly))
            return "<unreadable>";
        return file.readAll().toStdString();
    }
    static mode_t typeOf(const QString& p) {
        struct stat st {};
        return ::lstat(native(p).constData(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
    }
    static bool makeFifo(const QString& p) { return ::mkfifo(native(p).constData(), 0600) == 0; }
    static bool link(const QString& target, const QString& at) {
        return ::symlink(native(target).constData(), native(at).constData()) == 0;
    }

    // A listening UNIX socket bound to a file name; closed with the test.
    bool makeSocket(const QString& p) {
        m_socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = native(p);
        if (m_socket < 0 || static_cast<std::size_t>(name.size()) >= sizeof address.sun_path)
            return false;
        std::memcpy(address.sun_path, name.constData(), static_cast<std::size_t>(name.size()));
        return ::bind(m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    void TearDown() override {
        if (m_socket >= 0)
            ::close(m_socket);
    }

    QTemporaryDir dir;

private:
    int m_socket = -1;
};

// ---- reading ----

TEST_F(FileAccess, ReadsARegularFileAndOneBehindASymlink) {
    put(path("set.xpt"), "1=5,17\r\n");
    const FileReadResult read = readFileBounded(path("set.xpt"), 100);
    EXPECT_TRUE(read.ok()) << read.error;
    EXPECT_EQ(read.bytes, "1=5,17\r\n");

    ASSERT_TRUE(link(QStringLiteral("set.xpt"), path("current.xpt")));
    EXPECT_EQ(readFileBounded(path("current.xpt"), 100).bytes, "1=5,17\r\n");

    // Exactly the cap is still read.
    put(path("full.xpt"), std::string(100, 'x'));
    EXPECT_TRUE(readFileBounded(path("full.xpt"), 100).ok());
}

TEST_F(FileAccess, ReadRefusesWhatIsNoRegularFile) {
    // A FIFO without a writer would block an ordinary open for ever.
    ASSERT_TRUE(makeFifo(path("pipe")));
    const FileReadResult fifo = readFileBounded(path("pipe"), 4096);
    EXPECT_FALSE(fifo.ok());
    EXPECT_THAT(fifo.error, StartsWith("cannot read " + path("pipe").toStdString() + ": "));
    EXPECT_THAT(fifo.error, HasSubstr("FIFO"));
    EXPECT_TRUE(fifo.bytes.empty());

    // Behind a symlink it is the same FIFO.
    ASSERT_TRUE(link(path("pipe"), path("to-pipe")));
    EXPECT_THAT(readFileBounded(path("to-pipe"), 4096).error, HasSubstr("FIFO"));

    EXPECT_THAT(readFileBounded(dir.path(), 4096).error, HasSubstr("folder"));
    ASSERT_TRUE(makeSocket(path("sock")));
    EXPECT_THAT(readFileBounded(path("sock"), 4096).error, HasSubstr("socket"));
    EXPECT_THAT(readFileBounded(path("missing.xpt"), 4096).error, HasSubstr("no such file"));
    ASSERT_TRUE(link(path("missing.xpt"), path("dangling")));
    EXPECT_THAT(readFileBounded(path("dangling"), 4096).error, HasSubstr("no such file"));
    EXPECT_FALSE(readFileBounded(QString(), 4096).ok());
    // As the window shows them.
    EXPECT_EQ(asSentence("cannot read x: no such file"), "Cannot read x: no such file.");
    EXPECT_EQ(asSentence(""), "");
}

TEST_F(FileAccess, ReadRefusesADeviceNode) {
    // A private zero device: an endless source of bytes. Making one needs the
    // right to create device nodes, which a user namespace does not give.
    if (::mknod(native(path("zero")).constData(), S_IFCHR | 0600, makedev(1, 5)) != 0)
        GTEST_SKIP() << "no right to create device nodes here";
    const FileReadResult read = readFileBounded(path("zero"), 4096);
    EXPECT_THAT(read.error, HasSubstr("character device"));
    EXPECT_TRUE(read.bytes.empty());
}

TEST_F(FileAccess, ReadRefusesAFileAboveTheCap) {
    // Sparse: it takes no room on the disk, only its length is large.
    constexpr std::size_t kCap = 4 * 1024 * 1024;
    const QString big = path("big.xpt");
    put(big, "1=1,1\r\n");
    ASSERT_TRUE(QFile::resize(big, static_cast<qint64>(kCap) + 1));
    const FileReadResult read = readFileBounded(big, kCap);
    EXPECT_EQ(read.error, "cannot read " + big.toStdString() +
                              ": it is 4194305 bytes long, more than the 4 MiB a file of this "
                              "kind may hold");
    EXPECT_TRUE(read.bytes.empty());
    ASSERT_TRUE(QFile::resize(big, static_cast<qint64>(kCap)));
    EXPECT_TRUE(readFileBounded(big, kCap).ok());
}

TEST_F(FileAccess, ReadsBinaryBytesUnchanged) {
    const std::string bytes("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    put(path("image.png"), bytes);
    EXPECT_EQ(readFileBounded(path("image.png"), 100).bytes, bytes);
}

// ---- writing ----

TEST_F(FileAccess, WriteReplacesARegularFileInOneStep) {
    const QString file = path("show.xpt");
    put(file, "old\r\n");
    // A reader that has the old file open keeps reading the old file: the
    // new one was renamed over it, not written into it.
    const int before = ::open(native(file).constData(), O_RDONLY);
    ASSERT_GE(before, 0);
    EXPECT_EQ(writeFileAtomically(file, "1=5,17\r\n"), "");
    EXPECT_EQ(contents(file), "1=5,17\r\n");
    char buffer[16] = {};
    EXPECT_EQ(::read(before, buffer, sizeof buffer), 5);
    EXPECT_EQ(std::string(buffer, 5), "old\r\n");
    ::close(before);

    // A new file is created, and nothing else is left in the folder.
    EXPECT_EQ(writeFileAtomically(path("new.xpt"), ""), "");
    EXPECT_EQ(typeOf(path("new.xpt")), static_cast<mode_t>(S_IFREG));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 2);
}

TEST_F(FileAccess, WriteNeverReplacesWhatIsNoRegularFile) {
    ASSERT_TRUE(makeFifo(path("pipe")));
    const std::string refused = writeFileAtomically(path("pipe"), "1=5,17\r\n");
    EXPECT_EQ(refused, "cannot write " + path("pipe").toStdString() +
                           ": it is a FIFO (named pipe), not a regular file; it was left as it is");
    EXPECT_EQ(typeOf(path("pipe")), static_cast<mode_t>(S_IFIFO));
    EXPECT_EQ(checkWriteTarget(path("pipe")), refused) << "the same answer before any work";

    // Through a symlink the FIFO is the target, and stays one.
    ASSERT_TRUE(link(path("pipe"), path("to-pipe")));
    EXPECT_THAT(writeFileAtomically(path("to-pipe"), "x"), HasSubstr("FIFO"));
    EXPECT_EQ(typeOf(path("pipe")), static_cast<mode_t>(S_IFIFO));
    EXPECT_EQ(typeOf(path("to-pipe")), static_cast<mode_t>(S_IFLNK));

    ASSERT_TRUE(makeSocket(path("sock")));
    EXPECT_THAT(writeFileAtomically(path("sock"), "x"), HasSubstr("socket"));
    EXPECT_EQ(typeOf(path("sock")), static_cast<mode_t>(S_IFSOCK));

    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    EXPECT_THAT(writeFileAtomically(path("folder"), "x"), HasSubstr("folder"));
    EXPECT_EQ(typeOf(path("folder")), static_cast<mode_t>(S_IFDIR));

    if (::mknod(native(path("null")).constData(), S_IFCHR | 0600, makedev(1, 3)) == 0) {
        EXPECT_THAT(writeFileAtomically(path("null"), "x"), HasSubstr("character device"));
        EXPECT_EQ(typeOf(path("null")), static_cast<mode_t>(S_IFCHR));
    }
}

TEST_F(FileAccess, WriteFollowsSymlinksAndKeepsThem) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sets")));
    put(path("sets/monday.xpt"), "old\r\n");
    // A relative link, through a second link.
    ASSERT_TRUE(link(QStringLiteral("sets/monday.xpt"), path("today.xpt")));
    ASSERT_TRUE(link(QStringLiteral("today.xpt"), path("current.xpt")));
    EXPECT_EQ(writeFileAtomically(path("current.xpt"), "1=1,2\r\n"), "");
    EXPECT_EQ(contents(path("sets/monday.xpt")), "1=1,2\r\n");
    EXPECT_EQ(typeOf(path("current.xpt")), static_cast<mode_t>(S_IFLNK));
    EXPECT_EQ(typeOf(path("today.xpt")), static_cast<mode_t>(S_IFLNK));
    EXPECT_EQ(typeOf(path("sets/monday.xpt")), static_cast<mode_t>(S_IFREG));

    // A link to a file not yet there creates it, and stays a link.
    ASSERT_TRUE(link(QStringLiteral("sets/tuesday.xpt"), path("next.xpt")));
    EXPECT_EQ(writeFileAtomically(path("next.xpt"), "2=3,4\r\n"), "");
    EXPECT_EQ(contents(path("sets/tuesday.xpt")), "2=3,4\r\n");
    EXPECT_EQ(typeOf(path("next.xpt")), static_cast<mode_t>(S_IFLNK));
}

TEST_F(FileAccess, RefusedWritesLeaveEverythingAsItWas) {
    // Links that lead round in a circle never end anywhere.
    ASSERT_TRUE(link(path("b"), path("a")));
    ASSERT_TRUE(link(path("a"), path("b")));
    EXPECT_THAT(writeFileAtomically(path("a"), "x"), HasSubstr("symbolic links"));
    EXPECT_EQ(typeOf(path("a")), static_cast<mode_t>(S_IFLNK));

    EXPECT_THAT(writeFileAtomically(path("no/such/folder/x.xpt"), "x"),
                HasSubstr("does not exist"));
    EXPECT_FALSE(QFileInfo::exists(path("no")));
    EXPECT_FALSE(writeFileAtomically(QString(), "x").empty());
    // Nothing was left behind by any of them.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 2);
}

} // namespace
} // namespace velmar
