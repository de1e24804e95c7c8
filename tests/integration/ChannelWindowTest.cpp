// The channel label, gain and level detector dialogs opened from the main
// window on a simulated 1536-channel frame: what they show is the frame's,
// and what they change ends up on the frame.

#include "WindowSupport.h"
#include "channels/CChannelList.h"
#include "channels/CChnLabelDlg.h"
#include "channels/CIOGainDlg.h"
#include "channels/CLevDetDlg.h"
#include "channels/CRunProgress.h"
#include "controls/CListCtrlEx.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace velmar {
namespace {

using framesim::CSimulatedFrame;
using test::waitUntil;

constexpr const char* kFrame = "127.0.0.2";

class YesQuestions final : public IQuestions {
public:
    QStringList asked;
    bool askYesNo(std::string_view, std::string_view text) override {
        asked << QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
        return true;
    }
};

class ChannelWindow : public test::WindowProfileTest {
protected:
    void SetUp() override {
        WindowProfileTest::SetUp();
        frame = test::startFrame("460", kFrame);
        ASSERT_TRUE(frame);
        QObject::connect(frame.get(), &CSimulatedFrame::lineReceived, &context,
                         [this](const QString& line) {
                             if (line.startsWith(QLatin1Char('&')))
                                 sets << line;
                         });
        StartupOptions service;
        service.service = true;
        window = std::make_unique<CZarvoDlg>(service, *settings);
        ASSERT_TRUE(test::connectToFirstRow(*window));
        ASSERT_EQ(window->engine().state().crosspointCount(), 1536);
    }

    // Runs a dialog as the device menu does, with `script` once it shows.
    template <typename Dialog>
    void withDialog(void (*run)(CPollingEngine&, IQuestions&, QWidget*),
                    const std::function<void(Dialog&)>& script) {
        bool ran = false;
        QTimer::singleShot(0, &context, [&] {
            auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            ran = true;
            script(*dialog);
            if (dialog->isVisible())
                dialog->reject();
        });
        run(window->engine(), questions, window.get());
        EXPECT_TRUE(ran);
    }

    void store(CommandId get, int side, int channel,
               const std::function<void(DeviceMessage&)>& fill) {
        DeviceMessage v;
        v.setI(1, side);
        v.setI(2, channel);
        fill(v);
        frame->model().store(get, v);
    }
    DeviceMessage frameValue(CommandId get, int side, int channel) const {
        DeviceMessage address;
        address.setI(1, side);
        address.setI(2, channel);
        return frame->model().current(get, address);
    }

    QObject context;
    YesQuestions questions;
    std::unique_ptr<CSimulatedFrame> frame;
    std::unique_ptr<CZarvoDlg> window;
    QStringList sets;
};

TEST_F(ChannelWindow, DefaultAllLabelsEveryChannelOnTheFrame) {
    store(CommandId::glabel, 1, 1536, [](DeviceMessage& v) { v.setText(3, 17, "Last out"); });
    withDialog<CChnLabelDlg>(&runChannelLabelsDialog, [&](CChnLabelDlg& d) {
        auto* list = d.findChild<CListCtrlEx*>(QStringLiteral("channelLabels"));
        ASSERT_NE(list, nullptr);
        ASSERT_EQ(list->rowCount(), 1536);
        ASSERT_TRUE(waitUntil([&] { return list->text(1535, 3) == QStringLiteral("Last out"); }));
        EXPECT_EQ(list->text(1535, 1), QStringLiteral("CARD 8"));
        auto* defaultAll = d.findChild<QPushButton*>(QStringLiteral("defaultAll"));
        ASSERT_TRUE(defaultAll && defaultAll->isVisible());
        defaultAll->click();
        auto* notice = d.findChild<QLabel*>(QStringLiteral("labelNotice"));
        EXPECT_EQ(notice->text(), QStringLiteral("The frame confirmed 3072 of 3072 labels."));
        EXPECT_EQ(list->text(0, 2), QStringLiteral("SOURCE-0001"));
        EXPECT_EQ(list->text(1535, 3), QStringLiteral("DESTINATION-1536"));

        // The keys move the selection and load that channel's labels.
        auto* output = d.findChild<QLineEdit*>(QStringLiteral("outputLabel"));
        selectOnlyRow(list, 1530);
        QTest::keyClick(list, Qt::Key_PageDown);
        EXPECT_EQ(output->text(), QStringLiteral("DESTINATION-1536")) << "stops at the end";
        QTest::keyClick(list, Qt::Key_PageUp);
        EXPECT_EQ(output->text(), QStringLiteral("DESTINATION-1505"));
        QTest::keyClick(list, Qt::Key_Home);
        QTest::keyClick(list, Qt::Key_PageDown);
        EXPECT_EQ(output->text(), QStringLiteral("DESTINATION-0032"));

        // One label by hand: only the changed output goes out.
        selectOnlyRow(list, 4);
        EXPECT_EQ(output->text(), QStringLiteral("DESTINATION-0005"));
        output->setText(QStringLiteral("Desk 5"));
        sets.clear();
        d.findChild<QPushButton*>(QStringLiteral("apply"))->click();
        ASSERT_TRUE(waitUntil([&] { return list->text(4, 3) == QStringLiteral("Desk 5"); }));
        EXPECT_EQ(sets, QStringList{QStringLiteral("&slabel,1,5,'Desk 5'")});
    });
    EXPECT_EQ(questions.asked,
              QStringList{QStringLiteral("Generate default labels on all channels")});
    for (int n = 1; n <= 1536; ++n) {
        const std::string digits =
            (n < 1000 ? std::string(n < 100 ? (n < 10 ? "000" : "00") : "0") : std::string()) +
            std::to_string(n);
        ASSERT_EQ(frame->model().label(0, n), "SOURCE-" + digits);
        ASSERT_EQ(frame->model().label(1, n), n == 5 ? "Desk 5" : "DESTINATION-" + digits);
    }
    EXPECT_EQ(window->engine().dialogs().requestRun, nullptr);
}

TEST_F(ChannelWindow, ARefusingFrameIsReportedAndKeepsItsLabels) {
    store(CommandId::glabel, 0, 3, [](DeviceMessage& v) { v.setText(3, 17, "Kick"); });
    frame->faults().refused[CommandId::slabel] = 2;
    withDialog<CChnLabelDlg>(&runChannelLabelsDialog, [&](CChnLabelDlg& d) {
        auto* list = d.findChild<CListCtrlEx*>(QStringLiteral("channelLabels"));
        ASSERT_TRUE(waitUntil([&] { return list->text(2, 2) == QStringLiteral("Kick"); }));
        d.findChild<QPushButton*>(QStringLiteral("clearAll"))->click();
        const QString notice = d.findChild<QLabel*>(QStringLiteral("labelNotice"))->text();
        EXPECT_TRUE(notice.startsWith(QStringLiteral(
            "The frame confirmed 0 of 3072 labels. It refused 3072: channel 1 (status 2), ")))
            << notice.toStdString();
        EXPECT_EQ(list->text(2, 2), QStringLiteral("Kick")) << "the list shows the frame's word";
    });
    EXPECT_EQ(questions.asked, QStringList{QStringLiteral("Clear all labels")});
    EXPECT_EQ(frame->model().label(0, 3), "Kick");
    EXPECT_EQ(window->engine().dialogs().requestRun, nullptr);
}

TEST_F(ChannelWindow, LabelsTypedAreAppliedWithEnterOrAskedForOnClosing) {
    test::MessageBoxAnswerer boxes;
    store(CommandId::glabel, 1, 1536, [](DeviceMessage& v) { v.setText(3, 17, "Last out"); });
    withDialog<CChnLabelDlg>(&runChannelLabelsDialog, [&](CChnLabelDlg& d) {
        auto* list = d.findChild<CListCtrlEx*>(QStringLiteral("channelLabels"));
        auto* input = d.findChild<QLineEdit*>(QStringLiteral("inputLabel"));
        auto* output = d.findChild<QLineEdit*>(QStringLiteral("outputLabel"));
        ASSERT_TRUE(waitUntil([&] { return list->text(1535, 3) == QStringLiteral("Last out"); }));
        selectOnlyRow(list, 4);
        output->setText(QStringLiteral("Desk 5"));
        QTest::keyClick(output, Qt::Key_Return);
        EXPECT_TRUE(d.isVisible()) << "Enter applies, it does not close";
        ASSERT_TRUE(waitUntil([&] { return list->text(4, 3) == QStringLiteral("Desk 5"); }));

        input->setText(QStringLiteral("Mic 5"));
        boxes.setAnswer(QMessageBox::Cancel);
        QTest::keyClick(&d, Qt::Key_Escape);
        EXPECT_TRUE(d.isVisible()) << "Cancel keeps the dialog and the typed label";
        EXPECT_EQ(input->text(), QStringLiteral("Mic 5"));

        d.saveCsv(dir.filePath(QStringLiteral("labels.csv")));
        EXPECT_EQ(d.findChild<QLabel*>(QStringLiteral("labelNotice"))->text(),
                  QStringLiteral("Saved the labels of 1536 channels to labels.csv."));
        boxes.setAnswer(QMessageBox::Apply);
        d.findChild<QPushButton*>(QStringLiteral("close"))->click();
        EXPECT_FALSE(d.isVisible());
    });
    ASSERT_EQ(boxes.texts.size(), 2);
    EXPECT_EQ(boxes.texts[0], QStringLiteral("The labels typed for channel 5 were not applied. "
                                             "Apply them before closing?"));
    EXPECT_TRUE(waitUntil([&] { return frame->model().label(0, 5) == "Mic 5"; }));
    EXPECT_EQ(frame->model().label(1, 5), "Desk 5");
    QFile csv(dir.filePath(QStringLiteral("labels.csv")));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_TRUE(csv.readLine().startsWith("channel,type,input,output"));
}

TEST_F(ChannelWindow, AStalledRunIsAPartialApplyAndTheRestIsSentAgain) {
    test::MessageBoxAnswerer boxes;
    boxes.answerBy([&](const QString&) {
        frame->faults().unanswered.clear(); // the frame answers again
        return QMessageBox::Yes;
    });
    store(CommandId::glabel, 1, 1536, [](DeviceMessage& v) { v.setText(3, 17, "Last out"); });
    frame->faults().unanswered.insert(CommandId::slabel);
    setRunStallMs(300);
    withDialog<CChnLabelDlg>(&runChannelLabelsDialog, [&](CChnLabelDlg& d) {
        d.findChild<QPushButton*>(QStringLiteral("clearAll"))->click();
        EXPECT_EQ(d.findChild<QLabel*>(QStringLiteral("labelNotice"))->text(),
                  QStringLiteral("Partial apply: the frame stopped answering. The frame confirmed "
                                 "0 of 3072 labels. Sent, no answer: input labels of channels "
                                 "1-32. Not sent: input labels of channels 33-1536, output labels "
                                 "of channels 1-1536. Retried the rest: The frame confirmed 3072 "
                                 "of 3072 labels."));
    });
    setRunStallMs(0);
    ASSERT_EQ(boxes.texts.size(), 1);
    EXPECT_TRUE(boxes.texts[0].endsWith(
        QStringLiteral("Send the 3072 labels that were not confirmed again?")));
    EXPECT_EQ(frame->model().label(1, 1536), "") << "the retry reached the last label";
}

TEST_F(ChannelWindow, GainPhaseAndMuteToggleOnThreeRows) {
    store(CommandId::ggain, 0, 1, [](DeviceMessage& v) { v.setI(6, 1); });
    store(CommandId::ggain, 0, 2, [](DeviceMessage& v) {
        v.setDecimal(3, {true, 3, 5});
        v.setI(5, 1);
    });
    withDialog<CIOGainDlg>(&runGainDialog, [&](CIOGainDlg& d) {
        auto* list = d.findChild<CListCtrlEx*>(QStringLiteral("gainSettings"));
        ASSERT_NE(list, nullptr);
        ASSERT_TRUE(waitUntil([&] { return list->text(1, 2) == QStringLiteral("-3.05"); }));
        EXPECT_EQ(list->text(0, 4), QStringLiteral("yes"));
        EXPECT_EQ(list->text(1, 3), QStringLiteral("inverted"));
        for (int row = 0; row < 3; ++row)
            list->selectRow(row);

        const auto trigger = [&](const QString& text) {
            // Beside the rows too: any selection opens the menu.
            std::unique_ptr<QMenu> menu = d.contextMenu(-1);
            ASSERT_TRUE(menu);
            for (QAction* action : menu->actions())
                if (action->text() == text)
                    return action->trigger();
            FAIL() << text.toStdString();
        };
        trigger(QStringLiteral("Input Mute"));
        ASSERT_TRUE(waitUntil([&] {
            return list->text(0, 4) == QStringLiteral("no") &&
                   list->text(1, 4) == QStringLiteral("yes") &&
                   list->text(2, 4) == QStringLiteral("yes");
        }));
        trigger(QStringLiteral("Input Phase"));
        ASSERT_TRUE(waitUntil([&] {
            return list->text(0, 3) == QStringLiteral("inverted") &&
                   list->text(1, 3) == QStringLiteral("0") &&
                   list->text(2, 3) == QStringLiteral("inverted");
        }));
        EXPECT_EQ(list->text(1, 2), QStringLiteral("-3.05")) << "the gain itself is kept";
    });
    EXPECT_EQ(frameValue(CommandId::ggain, 0, 1).i(6), 0);
    EXPECT_EQ(frameValue(CommandId::ggain, 0, 2).i(6), 1);
    EXPECT_EQ(frameValue(CommandId::ggain, 0, 3).i(6), 1);
    EXPECT_EQ(frameValue(CommandId::ggain, 0, 2).i(5), 0);
    EXPECT_EQ(frameValue(CommandId::ggain, 0, 2).decimal(3), (DecimalValue{true, 3, 5}));
    EXPECT_EQ(frameValue(CommandId::ggain, 1, 1).i(6), 0) << "outputs untouched";
}

TEST_F(ChannelWindow, LevelDetectorApplySendsOnlyTheChange) {
    store(CommandId::glevdetthres, 0, 5, [](DeviceMessage& v) {
        v.setDecimal(3, {true, 20, 0});
        v.setI(5, 10);
        v.setDecimal(6, {true, 6, 0});
        v.setI(8, 500);
    });
    withDialog<CLevDetDlg>(&runLevelDetectorDialog, [&](CLevDetDlg& d) {
        auto* list = d.findChild<CListCtrlEx*>(QStringLiteral("levelDetectors"));
        ASSERT_NE(list, nullptr);
        ASSERT_TRUE(waitUntil(
            [&] { return list->text(4, 2) == QStringLiteral("10, -20, 500, -6, 0, 0"); }));
        selectOnlyRow(list, 4);
        EXPECT_EQ(d.findChild<QLineEdit*>(QStringLiteral("inputLevel2"))->text(),
                  QStringLiteral("-6"));
        d.findChild<QCheckBox*>(QStringLiteral("inputEnable"))->setChecked(true);
        sets.clear();
        d.findChild<QPushButton*>(QStringLiteral("inputApply"))->click();
        ASSERT_TRUE(waitUntil(
            [&] { return list->text(4, 2) == QStringLiteral("10, -20, 500, -6, 1, 0"); }));
        EXPECT_EQ(sets, QStringList{QStringLiteral("&slevdetstate,0,5,1")});

        d.findChild<QLineEdit*>(QStringLiteral("outputTime1"))->setText(QStringLiteral("600000"));
        d.findChild<QPushButton*>(QStringLiteral("outputApply"))->click();
        EXPECT_EQ(d.findChild<QLabel*>(QStringLiteral("levelNotice"))->text(),
                  QStringLiteral("Output time 1 must be 0 .. 60000 ms"));

        d.findChild<QCheckBox*>(QStringLiteral("showActiveOnly"))->setChecked(true);
        ASSERT_EQ(list->rowCount(), 1);
        EXPECT_EQ(list->text(0, 0), QStringLiteral("5"));
    });
    EXPECT_EQ(sets.size(), 1);
    EXPECT_EQ(frameValue(CommandId::glevdetstate, 0, 5).i(3), 1);
}

} // namespace
} // namespace velmar
