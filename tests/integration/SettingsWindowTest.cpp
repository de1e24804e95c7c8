// The settings dialog opened from the main window on a simulated frame: what
// the operator edits reaches the frame, and nothing else does.

#include "WindowSupport.h"
#include "controls/CListCtrlEx.h"
#include "ctl/CCtlRunner.h"
#include "engine/CQtTimerHost.h"
#include "settings/CSettingsDlg.h"
#include "settings/SettingsFile.h"

#include <QApplication>
#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <set>

namespace velmar {
namespace {

using framesim::CSimulatedFrame;
using test::waitUntil;

constexpr const char* kFrame = "127.0.0.2";

class SettingsWindow : public test::WindowProfileTest {
protected:
    void SetUp() override {
        WindowProfileTest::SetUp();
        frame =
            test::startFrame("460", kFrame, [](framesim::FrameProfile& p) { p.systemDelay = 3; });
        ASSERT_TRUE(frame);
        QObject::connect(frame.get(), &CSimulatedFrame::lineReceived, &context,
                         [this](const QString& line) {
                             if (line.startsWith(QLatin1Char('&')))
                                 sets.push_back(line.toStdString());
                             if (line.contains(QStringLiteral("gsystemdelay")))
                                 ++delayReads;
                         });
        window = std::make_unique<CZarvoDlg>(StartupOptions{}, *settings);
        ASSERT_TRUE(test::connectToFirstRow(*window));
        sets.clear();
    }

    // Opens the dialog from the window's button and runs `script` on it once it shows.
    void withDialog(const std::function<void(CSettingsDlg&)>& script) {
        bool ran = false;
        QTimer::singleShot(0, &context, [&] {
            auto* dialog = qobject_cast<CSettingsDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            ran = true;
            script(*dialog);
            if (dialog->isVisible())
                dialog->reject(); // a script that failed half-way still ends the dialog
        });
        auto* button = window->findChild<QPushButton*>(QStringLiteral("settingsButton"));
        ASSERT_TRUE(button && button->isEnabled());
        button->click();
        EXPECT_TRUE(ran);
    }

    template <class W>
    static W* field(CSettingsDlg& dialog, const char* name) {
        W* w = dialog.findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    static void showPage(CSettingsDlg& dialog, int page) {
        field<QTabWidget>(dialog, "settingsPages")->setCurrentIndex(page);
    }
    static void type(CSettingsDlg& dialog, const char* name, const QString& text) {
        QLineEdit* edit = field<QLineEdit>(dialog, name);
        edit->setText(text);
    }
    static void press(CSettingsDlg& dialog, const char* name) {
        field<QPushButton>(dialog, name)->click();
    }

    // Whatever the window sent before this has reached the frame once a
    // request sent now has: the link keeps its order.
    bool flushed() {
        const int before = delayReads;
        window->engine().sendRequest(DeviceMessage::request(CommandId::gsystemdelay));
        return waitUntil([&] { return delayReads > before; });
    }

    std::int32_t value(CommandId get, DeviceMessage address = {}) const {
        return frame->model().current(get, address).i(1);
    }

    std::set<std::string> setKeywords() const {
        std::set<std::string> out;
        for (const std::string& line : sets)
            out.insert(line.substr(1, line.find(',') - 1));
        return out;
    }

    QObject context;
    std::unique_ptr<CSimulatedFrame> frame;
    std::unique_ptr<CZarvoDlg> window;
    std::vector<std::string> sets;
    int delayReads = 0;
};

TEST_F(SettingsWindow, EditsOnThreePagesReachTheFrameAndNothingElseMoves) {
    test::MessageBoxAnswerer boxes;
    boxes.setAnswer(QMessageBox::Yes);
    withDialog([&](CSettingsDlg& d) {
        EXPECT_EQ(field<QLineEdit>(d, "systemDelay")->text(), QStringLiteral("3"));
        type(d, "deviceName", QStringLiteral("Studio Z"));
        showPage(d, CSettingsDialogLogic::kSampleRatePage);
        QComboBox* rate = field<QComboBox>(d, "genRate");
        rate->setCurrentIndex(rate->findData(4)); // 96 kHz
        showPage(d, CSettingsDialogLogic::kSyncPage);
        auto* list = field<CListCtrlEx>(d, "syncPriorities");
        ASSERT_TRUE(list->editCell(0, 1)); // Word clock
        CListCtrlEx::setEditorText(list->activeEditor(), QStringLiteral("7"));
        list->endEdit(true);
        showPage(d, CSettingsDialogLogic::kSystemDelayPage);
        type(d, "systemDelay", QStringLiteral("12"));
        press(d, "saveChanges");
        EXPECT_FALSE(d.isVisible());
    });
    ASSERT_EQ(boxes.texts, QStringList{QStringLiteral("Save changes")});

    ASSERT_TRUE(waitUntil([&] { return value(CommandId::gsystemdelay) == 12; }));
    ASSERT_TRUE(waitUntil([&] { return frame->model().deviceName() == "Studio Z"; }));
    EXPECT_EQ(value(CommandId::ggenrate), 4);
    DeviceMessage wordClock;
    wordClock.setI(1, 2);
    ASSERT_TRUE(waitUntil(
        [&] { return frame->model().current(CommandId::gsyncprio, wordClock).i(2) == 7; }));
    // Exactly the changed groups went out: no network settings, so no restart question.
    EXPECT_EQ(setKeywords(),
              (std::set<std::string>{"sdevid", "sgenrate", "ssyncprio", "ssystemdelay"}));
    EXPECT_EQ(window->engine().state().settings.systemDelay, 12);
}

TEST_F(SettingsWindow, CancelAndNoSendNothing) {
    test::MessageBoxAnswerer boxes;
    withDialog([&](CSettingsDlg& d) {
        showPage(d, CSettingsDialogLogic::kSystemDelayPage);
        type(d, "systemDelay", QStringLiteral("40"));
        press(d, "cancel");
    });
    boxes.setAnswer(QMessageBox::No);
    withDialog([&](CSettingsDlg& d) {
        showPage(d, CSettingsDialogLogic::kAliveTimePage);
        type(d, "aliveTime", QStringLiteral("120"));
        press(d, "saveChanges");
        EXPECT_FALSE(d.isVisible());
        EXPECT_FALSE(d.confirmed());
    });
    EXPECT_EQ(boxes.texts, QStringList{QStringLiteral("Save changes")});
    ASSERT_TRUE(flushed());
    EXPECT_TRUE(sets.empty()) << sets.front();
    EXPECT_EQ(value(CommandId::gsystemdelay), 3);
}

TEST_F(SettingsWindow, AValueOutOfRangeKeepsTheOperatorOnItsPage) {
    test::MessageBoxAnswerer boxes;
    boxes.setAnswer(QMessageBox::Ok);
    withDialog([&](CSettingsDlg& d) {
        auto* tabs = field<QTabWidget>(d, "settingsPages");
        showPage(d, CSettingsDialogLogic::kAliveTimePage);
        type(d, "aliveTime", QStringLiteral("400"));
        showPage(d, CSettingsDialogLogic::kIdPage);
        EXPECT_EQ(tabs->currentIndex(), CSettingsDialogLogic::kAliveTimePage);
        ASSERT_EQ(boxes.texts.size(), 1);
        EXPECT_EQ(boxes.texts[0], QStringLiteral("Please enter an integer between 0 and 300."));

        // "Save changes" refuses the same way and the dialog stays open.
        showPage(d, CSettingsDialogLogic::kIdPage); // refused again
        press(d, "saveChanges");
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(tabs->currentIndex(), CSettingsDialogLogic::kAliveTimePage);
        press(d, "cancel");
    });
    ASSERT_TRUE(flushed());
    EXPECT_TRUE(sets.empty());
}

TEST_F(SettingsWindow, SettingsFilesRoundTripThroughTheDialog) {
    test::MessageBoxAnswerer boxes;
    boxes.setAnswer(QMessageBox::Ok);
    const QString path = dir.filePath(QStringLiteral("studio.cfg"));
    const QString shortPath = dir.filePath(QStringLiteral("short.cfg"));
    withDialog([&](CSettingsDlg& d) {
        // The file holds the settings as the dialog opened, not page edits.
        type(d, "deviceName", QStringLiteral("Edited"));
        d.saveToFileAt(path);
        EXPECT_TRUE(d.statusText().startsWith(QStringLiteral("Settings saved to ")))
            << d.statusText().toStdString();
        EXPECT_TRUE(d.statusText().contains(QStringLiteral("studio.cfg")));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        std::string text = f.readAll().toStdString();
        f.close();
        EXPECT_EQ(text, writeSettingsFile(window->engine().state().settings));
        EXPECT_EQ(text.find("Name=Edited"), std::string::npos);

        // Edit the file as another frame's would read, and load it back.
        const auto replace = [&text](const std::string& from, const std::string& to) {
            const std::size_t at = text.find(from);
            ASSERT_NE(at, std::string::npos) << from;
            const std::size_t end = text.find("\r\n", at);
            text.replace(at, end - at, to);
        };
        replace("SystemDelay=", "SystemDelay=33");
        replace("Name=", "Name=Loaded");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text.data(), static_cast<qint64>(text.size()));
        f.close();
        d.loadFromFileAt(path);
        EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(field<QLineEdit>(d, "systemDelay")->text(), QStringLiteral("33"));
        EXPECT_EQ(field<QLineEdit>(d, "deviceName")->text(), QStringLiteral("Loaded"));

        // A file cut short is refused with the reason and changes nothing.
        QFile s(shortPath);
        ASSERT_TRUE(s.open(QIODevice::WriteOnly));
        s.write(text.substr(0, text.find("AesChnStMode=")).c_str());
        s.close();
        type(d, "systemDelay", QStringLiteral("20"));
        d.loadFromFileAt(shortPath);
        ASSERT_EQ(boxes.texts.size(), 1);
        EXPECT_TRUE(boxes.texts[0].contains(QStringLiteral("was not loaded")))
            << boxes.texts[0].toStdString();
        EXPECT_EQ(field<QLineEdit>(d, "systemDelay")->text(), QStringLiteral("20"));

        // So is a file with lines that are wrong, each one named.
        replace("DHCP=", "DHCP=7");
        replace("SystemDelay=", "SystemDelay=abc");
        ASSERT_TRUE(s.open(QIODevice::WriteOnly | QIODevice::Truncate));
        s.write(text.data(), static_cast<qint64>(text.size()));
        s.close();
        d.loadFromFileAt(shortPath);
        ASSERT_EQ(boxes.texts.size(), 2);
        EXPECT_TRUE(boxes.texts[1].contains(QStringLiteral("line 10 (DHCP): 7 is not")))
            << boxes.texts[1].toStdString();
        EXPECT_TRUE(boxes.texts[1].contains(QStringLiteral("(SystemDelay): \"abc\"")))
            << boxes.texts[1].toStdString();
        EXPECT_EQ(field<QLineEdit>(d, "systemDelay")->text(), QStringLiteral("20"));
        EXPECT_EQ(field<QLineEdit>(d, "deviceName")->text(), QStringLiteral("Loaded"));
        EXPECT_TRUE(d.statusText().isEmpty());
        press(d, "cancel");
    });
    ASSERT_TRUE(flushed());
    EXPECT_TRUE(sets.empty());
}

// Page shortcuts switch pages from wherever the focus is and never reach the
// field that has it: Ctrl+PageDown in the sample rate list once chose the
// next rate.
TEST_F(SettingsWindow, PageShortcutsSwitchPagesWhereverTheFocusIs) {
    using L = CSettingsDialogLogic;
    struct Row {
        int from;
        const char* focus; // object name of the field that has the focus
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        int to;
    };
    const Row rows[] = {
        {L::kSampleRatePage, "genRate", Qt::Key_PageDown, Qt::ControlModifier, L::kSyncPage},
        {L::kSampleRatePage, "genRate", Qt::Key_PageUp, Qt::ControlModifier, L::kNetworkPage},
        {L::kSampleRatePage, "genRate", Qt::Key_Tab, Qt::ControlModifier, L::kSyncPage},
        {L::kSampleRatePage, "wordClockOut", Qt::Key_Backtab,
         Qt::ControlModifier | Qt::ShiftModifier, L::kNetworkPage},
        {L::kIdPage, "deviceName", Qt::Key_Tab, Qt::ControlModifier, L::kNetworkPage},
        {L::kHwPage, "settingsPages", Qt::Key_Tab, Qt::ControlModifier, L::kIdPage},
        {L::kIdPage, "deviceId", Qt::Key_PageUp, Qt::ControlModifier, L::kHwPage},
    };
    test::MessageBoxAnswerer boxes;
    withDialog([&](CSettingsDlg& d) {
        auto* tabs = field<QTabWidget>(d, "settingsPages");
        QComboBox* rate = field<QComboBox>(d, "genRate");
        const int rateShown = rate->currentIndex();
        for (const Row& row : rows) {
            showPage(d, row.from);
            QWidget* focus = field<QWidget>(d, row.focus);
            focus->setFocus();
            QTest::keyClick(focus, row.key, row.mods);
            EXPECT_EQ(tabs->currentIndex(), row.to) << row.focus << " " << row.key;
        }
        EXPECT_EQ(rate->currentIndex(), rateShown) << "the sample rate did not move";
        // A plain PageDown still belongs to the list.
        showPage(d, L::kSampleRatePage);
        rate->setFocus();
        QTest::keyClick(rate, Qt::Key_PageDown);
        EXPECT_EQ(tabs->currentIndex(), L::kSampleRatePage);
        EXPECT_NE(rate->currentIndex(), rateShown);
        press(d, "cancel");
    });
    EXPECT_TRUE(boxes.texts.isEmpty());
    ASSERT_TRUE(flushed());
    EXPECT_TRUE(sets.empty());
}

// Every page's caption is in sight, whole, at the size the dialog opens with
// (the test screen is smaller than 1024 x 768), and the list at the side
// shows the page chosen, or the page that refused to be left.
TEST_F(SettingsWindow, EveryPageIsInSightAndTheListFollowsThePages) {
    using L = CSettingsDialogLogic;
    test::MessageBoxAnswerer boxes;
    boxes.setAnswer(QMessageBox::Ok);
    withDialog([&](CSettingsDlg& d) {
        EXPECT_LE(d.width(), 1024);
        EXPECT_LE(d.height(), 768);
        auto* tabs = field<QTabWidget>(d, "settingsPages");
        auto* list = field<QListWidget>(d, "settingsPageList");
        ASSERT_EQ(list->count(), L::kPageCount);
        for (int i = 0; i < list->count(); ++i) {
            const QListWidgetItem* item = list->item(i);
            EXPECT_EQ(item->text(), tabs->tabText(i));
            const QRect rect = list->visualItemRect(item);
            EXPECT_TRUE(list->viewport()->rect().contains(rect)) << i;
            EXPECT_TRUE(
                d.rect().contains(QRect(list->viewport()->mapTo(&d, rect.topLeft()), rect.size())))
                << i;
            EXPECT_GE(rect.width(), list->fontMetrics().horizontalAdvance(item->text())) << i;
            list->setCurrentRow(i);
            EXPECT_EQ(tabs->currentIndex(), i);
        }
        list->setCurrentRow(L::kAliveTimePage);
        type(d, "aliveTime", QStringLiteral("400"));
        list->setCurrentRow(L::kIdPage);
        EXPECT_EQ(tabs->currentIndex(), L::kAliveTimePage);
        EXPECT_EQ(list->currentRow(), L::kAliveTimePage);
        EXPECT_EQ(boxes.texts.size(), 1) << "refused once";
        type(d, "aliveTime", QStringLiteral("30"));
        press(d, "cancel");
    });
}

// Enter closes the dialog as Cancel does: nothing is asked, nothing is sent.
TEST_F(SettingsWindow, EnterClosesWithoutApplying) {
    test::MessageBoxAnswerer boxes;
    withDialog([&](CSettingsDlg& d) {
        showPage(d, CSettingsDialogLogic::kSystemDelayPage);
        type(d, "systemDelay", QStringLiteral("40"));
        QTest::keyClick(field<QLineEdit>(d, "systemDelay"), Qt::Key_Return);
        EXPECT_FALSE(d.isVisible());
        EXPECT_FALSE(d.confirmed());
    });
    EXPECT_TRUE(boxes.texts.isEmpty());
    ASSERT_TRUE(flushed());
    EXPECT_TRUE(sets.empty());
    EXPECT_EQ(value(CommandId::gsystemdelay), 3);
}

// A link lost while the dialog is open: the dialog says so at its top, "Save
// changes" cannot send and is off, and what was typed stays on the page.
TEST_F(SettingsWindow, ALostLinkKeepsTheEditsInTheDialog) {
    test::MessageBoxAnswerer boxes;
    withDialog([&](CSettingsDlg& d) {
        showPage(d, CSettingsDialogLogic::kSystemDelayPage);
        type(d, "systemDelay", QStringLiteral("17"));
        frame->stop();
        ASSERT_TRUE(waitUntil([&] { return !window->engine().state().connected; }));
        ASSERT_TRUE(waitUntil([&] { return d.findChild<QWidget*>("linkLostLine") != nullptr; }));
        auto* save = d.findChild<QAbstractButton*>("saveChanges");
        ASSERT_NE(save, nullptr);
        EXPECT_FALSE(save->isEnabled());
        press(d, "saveChanges");
        EXPECT_TRUE(d.isVisible());
        EXPECT_FALSE(d.confirmed());
        EXPECT_EQ(field<QLineEdit>(d, "systemDelay")->text(), QStringLiteral("17"));
        press(d, "cancel");
    });
    EXPECT_TRUE(boxes.texts.isEmpty()) << "said in the dialog, not in a box";
    EXPECT_TRUE(sets.empty());
}

// A card parameter chosen on the Card configuration page reaches the card.
TEST_F(SettingsWindow, ACardParameterReachesTheCard) {
    test::MessageBoxAnswerer boxes;
    withDialog([&](CSettingsDlg& d) {
        showPage(d, CSettingsDialogLogic::kCardPage);
        auto* slots = field<CListCtrlEx>(d, "cardSlots");
        auto* params = field<CListCtrlEx>(d, "cardParameters");
        // Slot 2 holds the AD card; a click picks it.
        QTest::mousePress(slots->viewport(), Qt::LeftButton, {},
                          slots->visualRect(slots->model()->index(1, 0)).center());
        ASSERT_TRUE(params->isEnabled());
        ASSERT_EQ(params->text(2, 1), QStringLiteral("Phantom power"));
        EXPECT_EQ(params->text(2, 2), QStringLiteral("off"));
        ASSERT_TRUE(params->editCell(2, 2));
        auto* combo = qobject_cast<QComboBox*>(params->activeEditor());
        ASSERT_NE(combo, nullptr);
        combo->setCurrentIndex(combo->findText(QStringLiteral("on")));
        params->endEdit(true);
        EXPECT_EQ(params->text(2, 2), QStringLiteral("on"));
        press(d, "saveChanges");
    });
    DeviceMessage channel;
    channel.setI(1, 2);
    channel.setI(2, 1);
    ASSERT_TRUE(waitUntil(
        [&] { return frame->model().current(CommandId::gadphanpow, channel).i(3) == 1; }));
    ASSERT_TRUE(flushed());
    EXPECT_EQ(sets, std::vector<std::string>{"&sadphanpow,2,1,1"});
}

// A file the pages do not take as it stands (a disabled module with MADI
// values, a second PHD mode under "Primary and expansion"): velmarctl's dry
// run lists exactly the lines the dialog then sends.
TEST_F(SettingsWindow, VelmarctlAppliesAFileAsTheDialogDoes) {
    const QString path = dir.filePath(QStringLiteral("other.cfg"));
    std::string text = writeSettingsFile(window->engine().state().settings);
    const auto replace = [&text](const std::string& key, const std::string& value) {
        const std::size_t at = text.find("\n" + key);
        ASSERT_NE(at, std::string::npos) << key;
        const std::size_t end = text.find("\r\n", at + 1);
        text.replace(at + 1, end - at - 1, key + value);
    };
    replace("OptMod1Mode=", "0");
    replace("MadiMod1InMode=", "1");
    replace("PortCfg=", "0");
    replace("EmuMode2=", "2");
    replace("SystemDelay=", "9");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.data(), static_cast<qint64>(text.size()));
    }

    std::string out;
    CtlEnvironment e;
    e.out = [&out](std::string_view t) { out += t; };
    e.err = [](std::string_view) {};
    e.timers = [](std::function<void(int)> fired) {
        return std::make_unique<CQtTimerHost>(std::move(fired));
    };
    CCtlRunner runner(e);
    const std::string file = path.toStdString();
    const std::vector<std::string_view> args{"settings", "apply", kFrame,      file,
                                             "--type",   "460",   "--dry-run", "--json"};
    ASSERT_EQ(runner.runArguments(args), kExitOk);
    std::vector<std::string> planned;
    for (const auto& line :
         QJsonDocument::fromJson(QByteArray::fromStdString(out)).object()["requests"].toArray())
        planned.push_back(line.toString().toStdString());
    ASSERT_FALSE(planned.empty()) << out;

    test::MessageBoxAnswerer boxes;
    withDialog([&](CSettingsDlg& d) {
        d.loadFromFileAt(path);
        press(d, "saveChanges");
    });
    ASSERT_TRUE(flushed());
    EXPECT_EQ(sets, planned);
    // The disabled module's MADI value was not sent as the file had it.
    for (const std::string& line : sets)
        EXPECT_NE(line, "&smadiinmode,2,1");
}

} // namespace
} // namespace velmar
