// The firmware update dialog on a simulated frame: every record reaches the
// frame as it stands in the file, and a frame that refuses or falls silent
// ends the run with the programming error.

#include "WindowSupport.h"
#include "events/CEventLogPanel.h"
#include "link/QtText.h"
#include "maintenance/CFlashDlg.h"
#include "maintenance/FlashFiles.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

namespace velmar {
namespace {

using framesim::CSimulatedFrame;
using test::waitUntil;

constexpr const char* kFrame = "127.0.0.2";

// Records of varied length, up to the longest a request carries.
std::vector<std::string> makeRecords(int count) {
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) {
        std::string r = "S3" + std::to_string(i);
        const std::size_t length = 10 + static_cast<std::size_t>(i * 37) % 246;
        while (r.size() < length)
            r += "0123456789ABCDEF"[r.size() % 16];
        out.push_back(r);
    }
    return out;
}

class FlashWindow : public test::WindowProfileTest {
protected:
    void SetUp() override {
        WindowProfileTest::SetUp();
        frame = test::startFrame("460", kFrame, [](framesim::FrameProfile&) {});
        ASSERT_TRUE(frame);
        window = std::make_unique<CZarvoDlg>(StartupOptions{}, *settings);
        ASSERT_TRUE(test::connectToFirstRow(*window));
    }

    QString writeFile(const QString& name, const std::vector<std::string>& records,
                      const std::string& header = ";Type:460,Release:5.0") {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write((header + "\r\n").c_str());
        for (const std::string& r : records)
            f.write((r + "\r\n").c_str());
        return path;
    }

    // Runs the dialog as the device menu does, with `script` once it shows.
    void withDialog(const std::function<void(CFlashDlg&)>& script) {
        bool ran = false;
        QTimer::singleShot(0, &context, [&] {
            auto* dialog = qobject_cast<CFlashDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            ran = true;
            script(*dialog);
        });
        runFlashDialog(window->engine(), window.get(), [this] { window->closeConnection(); });
        EXPECT_TRUE(ran);
        EXPECT_FALSE(window->engine().state().programming);
    }

    static QString text(CFlashDlg& d, const char* name) {
        auto* label = d.findChild<QLabel*>(QString::fromLatin1(name));
        return label ? label->text() : QStringLiteral("<missing>");
    }
    static QPushButton* closeButton(CFlashDlg& d) {
        return d.findChild<QPushButton*>(QStringLiteral("flashClose"));
    }

    QObject context;
    std::unique_ptr<CSimulatedFrame> frame;
    std::unique_ptr<CZarvoDlg> window;
};

TEST_F(FlashWindow, TwoThousandRecordsArriveIntactAndTheFrameRestarts) {
    const std::vector<std::string> records = makeRecords(2000);
    const QString path = writeFile(QStringLiteral("frame.flash"), records);
    test::MessageBoxAnswerer boxes;
    QSignalSpy restarting(frame.get(), &CSimulatedFrame::restarting);
    bool sawProgress = false;
    withDialog([&](CFlashDlg& d) {
        d.startWith({path});
        EXPECT_EQ(text(d, "flashFileName"), QStringLiteral("frame.flash  (release: 5.0)"));
        EXPECT_EQ(text(d, "flashCount"), QStringLiteral("of 2000 records programmed"));
        EXPECT_EQ(text(d, "flashFileOf"), QStringLiteral("File 1 of 1"));
        EXPECT_FALSE(closeButton(d)->isEnabled());
        // The dialog does not close while records flow.
        ASSERT_TRUE(waitUntil([&] { return frame->programRecords().size() > 100; }));
        d.reject();
        sawProgress = d.isVisible() && window->engine().state().programming;
    });
    EXPECT_TRUE(sawProgress);
    EXPECT_EQ(frame->programRecords(), records);
    EXPECT_TRUE(frame->model().programmingCompleted());
    ASSERT_EQ(boxes.texts.size(), 2);
    EXPECT_EQ(boxes.texts[1], QStringLiteral("Flash successfully programmed.\nRestart device"));
    ASSERT_TRUE(waitUntil([&] { return restarting.count() == 1; }));
    EXPECT_EQ(restarting.at(0).at(0).toString(), QStringLiteral("srestart"));
    EXPECT_FALSE(window->engine().state().connected);
}

TEST_F(FlashWindow, AFrameFailingAtARecordEndsTheRunAndDropsTheQueue) {
    frame->faults().failProgramAtRecord = 300;
    const QString first = writeFile(QStringLiteral("a.flash"), makeRecords(50));
    const QString second = writeFile(QStringLiteral("b.flash"), makeRecords(500));
    test::MessageBoxAnswerer boxes;
    withDialog([&](CFlashDlg& d) {
        d.startWith({first, second}); // b.flash goes first
        ASSERT_TRUE(waitUntil([&] { return !d.run().busy(); }, 20000));
        EXPECT_EQ(d.run().outcome().kind, FlashOutcome::Failed);
        EXPECT_EQ(d.run().outcome().recordsSent, 300);
        EXPECT_TRUE(closeButton(d)->isEnabled());
        EXPECT_EQ(text(d, "flashLine"), QStringLiteral("256"));
        closeButton(d)->click();
    });
    ASSERT_EQ(boxes.texts.size(), 2);
    EXPECT_TRUE(boxes.texts[0].startsWith(QStringLiteral("Start programming flash?")));
    EXPECT_TRUE(boxes.texts[1].startsWith(
        QStringLiteral("Flash programming error\n\nb.flash (file 1 of 2): The frame refused "
                       "record 300 of 500.")))
        << boxes.texts[1].toStdString();
    EXPECT_EQ(frame->programTransfers().size(), 1u); // a.flash was never begun
    EXPECT_EQ(frame->programRecords().size(), 300u);
    EXPECT_TRUE(window->engine().state().connected);
}

TEST_F(FlashWindow, AFrameFallingSilentEndsAfterTheWatchdog) {
    frame->faults().silentProgramAtRecord = 20;
    const QString path = writeFile(QStringLiteral("a.flash"), makeRecords(40));
    test::MessageBoxAnswerer boxes;
    withDialog([&](CFlashDlg& d) {
        d.startWith({path});
        ASSERT_TRUE(waitUntil([&] { return frame->programRecords().size() == 20; }));
        EXPECT_TRUE(window->engine().state().programming);
        ASSERT_TRUE(waitUntil([&] { return !d.run().busy(); }, kFlashRecordWaitMs + 5000));
        EXPECT_EQ(d.run().outcome().kind, FlashOutcome::Failed);
        closeButton(d)->click();
    });
    EXPECT_TRUE(boxes.texts.back().contains(QStringLiteral("did not answer record 20 of 40")))
        << boxes.texts.back().toStdString();
}

TEST_F(FlashWindow, EveryFileIsCheckedFirstAndTheQuestionNamesThemWithNoAsDefault) {
    const QString good = writeFile(QStringLiteral("good.flash"), makeRecords(5));
    const QString panel =
        writeFile(QStringLiteral("panel.flash"), makeRecords(5), ";Type:450,Release:1");
    test::MessageBoxAnswerer boxes;
    bool noIsDefault = false;
    boxes.answerBy([&](const QString&) {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                noIsDefault = box->defaultButton() == box->button(QMessageBox::No);
        return QMessageBox::No;
    });
    withDialog([&](CFlashDlg& d) {
        d.startWith({panel, good}); // the second to be programmed is for a panel unit
        EXPECT_FALSE(d.run().busy());
        d.startWith({good});
        EXPECT_FALSE(d.run().busy()); // answered No
        closeButton(d)->click();
    });
    ASSERT_EQ(boxes.texts.size(), 2);
    EXPECT_TRUE(boxes.texts[0].startsWith(qs(kFlashNotCompatible)));
    EXPECT_TRUE(boxes.texts[1].contains(QStringLiteral("Frame: Frame 460 (127.0.0.2)\nFile:\n  "
                                                       "good.flash  (release: 5.0), 5 records")))
        << boxes.texts[1].toStdString();
    EXPECT_TRUE(noIsDefault);
    EXPECT_TRUE(frame->programTransfers().empty());
}

TEST_F(FlashWindow, ALostLinkIsShownAtOnceAndTheDialogStaysFailed) {
    frame->faults().dropLinkAtRecord = 30;
    const QString path = writeFile(QStringLiteral("a.flash"), makeRecords(100));
    test::MessageBoxAnswerer boxes;
    withDialog([&](CFlashDlg& d) {
        auto* files = d.findChild<QPushButton*>(QStringLiteral("flashFilesButton"));
        EXPECT_TRUE(files->isEnabled());
        d.startWith({path});
        EXPECT_FALSE(files->isEnabled()); // no second run while one goes
        // Far sooner than the record wait.
        ASSERT_TRUE(waitUntil([&] { return !d.run().busy(); }, kFlashRecordWaitMs / 2));
        auto* failure = d.findChild<QLabel*>(QStringLiteral("flashFailure"));
        EXPECT_TRUE(failure->isVisible());
        EXPECT_TRUE(failure->text().contains(
            QStringLiteral("a.flash: The link to the frame was lost at record 30 of 100.")))
            << failure->text().toStdString();
        EXPECT_TRUE(failure->text().contains(QStringLiteral("recovery mode")));
        EXPECT_TRUE(closeButton(d)->isEnabled());
        EXPECT_FALSE(files->isEnabled()); // no link
        if (const QString shot = qEnvironmentVariable("VELMAR_FLASH_SHOT"); !shot.isEmpty())
            d.grab().save(shot);
        closeButton(d)->click();
    });
    EXPECT_TRUE(boxes.texts.back().contains(QStringLiteral("lost at record 30 of 100")));
    // The event log keeps the outcome, naming the frame though the link is gone.
    const CEventHistory& log = window->eventLog()->history();
    bool logged = false;
    for (std::size_t i = 0; i < log.rowCount(); ++i)
        if (log.row(i).kind == EventKind::Firmware &&
            log.row(i).text.find("lost at record 30 of 100") != std::string::npos)
            logged = log.row(i).frame.address == kFrame;
    EXPECT_TRUE(logged);
}

TEST_F(FlashWindow, JoiningWritesTheWholeImageOrNothing) {
    const QString out = dir.filePath(QStringLiteral("dorn_450_2.1_all.flash"));
    EXPECT_EQ(joinFlashFilesAt(dir.path(), out, FlashJoinType::Panel, "2.1").rfind(kJoinFailed, 0),
              0u);
    EXPECT_FALSE(QFile::exists(out));
    int n = 0;
    for (const FlashComponent& c : flashComponents(FlashJoinType::Panel))
        writeFile(QString::fromLatin1(c.fileName.data(), static_cast<qsizetype>(c.fileName.size())),
                  {"S1" + std::to_string(++n), "S9" + std::to_string(n)}, "junk");
    EXPECT_EQ(joinFlashFilesAt(dir.path(), out, FlashJoinType::Panel, "2.1"), "");
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().toStdString(), ";Type:450,Release:2.1\nS11\nS91\nS12\nS13\nS93\n");
}

TEST_F(FlashWindow, SaveAllFlashFileProposesTheJoinedName) {
    auto* action = window->findChild<QAction*>(QStringLiteral("saveAllFlashAction"));
    ASSERT_NE(action, nullptr);
    QString proposed;
    bool sawSave = false;
    // First the type and release, then the save dialog, which is cancelled.
    QTimer::singleShot(0, &context, [&] {
        QWidget* info = QApplication::activeModalWidget();
        ASSERT_NE(info, nullptr);
        info->findChild<QComboBox*>(QStringLiteral("flashType"))->setCurrentIndex(1);
        info->findChild<QLineEdit*>(QStringLiteral("flashRelease"))->setText(QStringLiteral("2.1"));
        QTimer::singleShot(0, &context, [&] {
            ASSERT_TRUE(waitUntil([] {
                return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()) != nullptr;
            }));
            auto* save = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            sawSave = save->windowTitle() == QStringLiteral("Save all flash file");
            const QStringList chosen = save->selectedFiles();
            proposed = chosen.isEmpty() ? QString() : QFileInfo(chosen.first()).fileName();
            save->reject();
        });
        info->findChild<QDialogButtonBox*>(QStringLiteral("flashInfoButtons"))
            ->button(QDialogButtonBox::Ok)
            ->click();
    });
    action->trigger();
    EXPECT_TRUE(sawSave);
    EXPECT_EQ(proposed, QStringLiteral("dorn_450_2.1_all.flash"));
}

} // namespace
} // namespace velmar
