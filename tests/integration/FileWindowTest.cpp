// The window's crosspoint files when the file is not what it should be: a
// binary file, a FIFO, lines for channels the frame does not have.

#include "IntegrationSupport.h"
#include "WindowSupport.h"
#include "window/CZarvoDlg.h"
#include "engine/Crosspoints.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <sys/stat.h>

namespace velmar {
namespace {

using test::waitUntil;

// Answers every modal window that opens: a message box with its first button,
// a dialog with Cancel; and keeps what each one said.
class ModalWatcher : public QObject {
public:
    QStringList titles;
    QStringList messages;
    QStringList leftOutNotes; // the load dialog's note, "" when hidden

    ModalWatcher() {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            titles << modal->windowTitle();
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                messages << box->text();
                box->buttons().value(0)->click();
            } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
                auto* note = dialog->findChild<QLabel*>(QStringLiteral("loadLeftOut"));
                leftOutNotes << (note && !note->isHidden() ? note->text() : QString());
                dialog->reject();
            }
        });
        m_timer.start(10);
    }

private:
    QTimer m_timer;
};

class FileWindow : public test::WindowProfileTest {
protected:
    void SetUp() override {
        WindowProfileTest::SetUp();
        frame = test::startFrame("461", "127.0.0.2");
        ASSERT_TRUE(frame);
        QObject::connect(frame.get(), &framesim::CSimulatedFrame::lineReceived, &context,
                         [this](const QString& line) {
                             if (line.contains(QStringLiteral("scross")))
                                 ++scrossLines;
                         });
        window = std::make_unique<CZarvoDlg>(StartupOptions{}, *settings);
        ASSERT_TRUE(test::connectToFirstRow(*window));
    }
    void put(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    // A request that has surely reached the frame after everything sent before.
    void settle() {
        const int before = frame->model().crosspoint(1000);
        window->engine().sendRequest(crosspointRequest(1000, before == 7 ? 8 : 7));
        ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(1000) != before; }));
    }

    QObject context;
    int scrossLines = 0;
    std::unique_ptr<framesim::CSimulatedFrame> frame;
    std::unique_ptr<CZarvoDlg> window;
};

TEST_F(FileWindow, BinaryFileIsRefusedAndSendsNothing) {
    const QString path = dir.filePath(QStringLiteral("picture.png"));
    put(path, QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\n1=5,17\r\n", 25));
    ModalWatcher watcher;
    window->loadCrosspointsFrom(path);
    ASSERT_EQ(watcher.messages.size(), 1) << watcher.titles.join(u'|').toStdString();
    EXPECT_TRUE(watcher.messages[0].contains(QStringLiteral("NUL bytes")))
        << watcher.messages[0].toStdString();
    EXPECT_TRUE(watcher.messages[0].contains(QStringLiteral("Nothing was sent")));
    EXPECT_TRUE(watcher.leftOutNotes.isEmpty()) << "the load dialog never opened";
    settle();
    EXPECT_EQ(scrossLines, 1) << "only the test's own request";
    EXPECT_EQ(frame->model().crosspoint(5), 0);
}

TEST_F(FileWindow, FifoIsNeitherReadNorReplaced) {
    ASSERT_TRUE(waitUntil([&] { return window->engine().state().crosspointsRead(); }));
    const QString path = dir.filePath(QStringLiteral("pipe.xpt"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    ModalWatcher watcher;
    // Loading from a FIFO without a writer returns at once with a message.
    window->loadCrosspointsFrom(path);
    ASSERT_EQ(watcher.messages.size(), 1);
    EXPECT_TRUE(watcher.messages[0].contains(QStringLiteral("FIFO")))
        << watcher.messages[0].toStdString();

    window->saveCrosspointsTo(path, false);
    ASSERT_EQ(watcher.messages.size(), 2);
    EXPECT_TRUE(watcher.messages[1].startsWith(QStringLiteral("Cannot write ")))
        << watcher.messages[1].toStdString();
    EXPECT_TRUE(watcher.messages[1].contains(QStringLiteral("not a regular file")));
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "still the FIFO it was";
}

// A frame that refuses to list its crosspoints: the window has no routes to
// save, and says so rather than writing every output as unrouted.
class UnreadCrosspoints : public test::WindowProfileTest {};

TEST_F(UnreadCrosspoints, AreNotSaved) {
    const auto frame = test::startFrame("461", "127.0.0.2", [](framesim::FrameProfile& p) {
        p.faults.refused[CommandId::lcross] = 2;
    });
    ASSERT_TRUE(frame);
    CZarvoDlg window(StartupOptions{}, *settings);
    ASSERT_TRUE(test::connectToFirstRow(window));
    ModalWatcher watcher;
    for (const bool selectedOnly : {false, true}) {
        const QString path = dir.filePath(QStringLiteral("unread.xpt"));
        window.saveCrosspointsTo(path, selectedOnly);
        EXPECT_FALSE(QFile::exists(path)) << selectedOnly;
    }
    ASSERT_EQ(watcher.messages.size(), 2);
    EXPECT_EQ(watcher.messages[1], QStringLiteral("The frame has not reported the routes of all "
                                                  "its outputs. Nothing was saved."));
}

TEST_F(FileWindow, LoadDialogSaysWhichLinesItLeftOut) {
    const QString path = dir.filePath(QStringLiteral("big-frame.xpt"));
    put(path, "1=5,17\r\n2=1400,1\r\n3=6,1300\r\nnot a line\r\n");
    ModalWatcher watcher;
    window->loadCrosspointsFrom(path);
    ASSERT_EQ(watcher.leftOutNotes.size(), 1) << watcher.titles.join(u'|').toStdString();
    EXPECT_EQ(
        watcher.leftOutNotes[0],
        QStringLiteral("Left out 3 lines: 2 for channels this frame does not have, 1 unreadable."));
    EXPECT_TRUE(watcher.messages.isEmpty());

    // A clean file shows no note.
    put(path, "1=5,17\r\n");
    window->loadCrosspointsFrom(path);
    ASSERT_EQ(watcher.leftOutNotes.size(), 2);
    EXPECT_EQ(watcher.leftOutNotes[1], QString());
}

} // namespace
} // namespace velmar
