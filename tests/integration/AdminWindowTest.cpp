// The administration dialogs opened from the main window on simulated frames:
// what the operator confirms changes the frame, and what the frame then
// reports shows in the list and the title.

#include "WindowSupport.h"
#include "link/Ipv4.h"
#include "window/DeviceMenu.h"
#include "maintenance/CCardsDlg.h"
#include "maintenance/CDevIDDlg.h"
#include "maintenance/CDevLANDlg.h"
#include "maintenance/CDevPsuCfgDlg.h"
#include "maintenance/CTimeDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>

namespace velmar {
namespace {

using framesim::CSimulatedFrame;
using test::waitUntil;

constexpr const char* kFrame = "127.0.0.2";

// Runs `script` on the modal dialog of type D that `open` shows; true when it ran.
template <typename D>
bool withDialog(QObject& context, const std::function<void()>& open,
                const std::function<void(D&)>& script) {
    bool ran = false;
    QTimer::singleShot(0, &context, [&] {
        auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        ran = true;
        script(*dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
    open();
    return ran;
}

void click(QWidget& dialog, const char* name) {
    auto* b = dialog.findChild<QAbstractButton*>(QLatin1String(name));
    ASSERT_NE(b, nullptr) << name;
    b->click();
}

QLineEdit* edit(QWidget& dialog, const char* name) {
    auto* e = dialog.findChild<QLineEdit*>(QLatin1String(name));
    EXPECT_NE(e, nullptr) << name;
    return e;
}

QString statusText(CZarvoDlg& window) {
    return window.findChild<QStatusBar*>(QStringLiteral("statusBar"))->currentMessage();
}

class AdminWindow : public test::WindowProfileTest {
protected:
    void startConnected(const std::function<void(framesim::FrameProfile&)>& tweak = {}) {
        frame = test::startFrame("460", kFrame, tweak);
        ASSERT_TRUE(frame);
        window = std::make_unique<CZarvoDlg>(StartupOptions{}, *settings);
        ASSERT_TRUE(test::connectToFirstRow(*window));
    }

    QObject context;
    std::unique_ptr<CSimulatedFrame> frame;
    std::unique_ptr<CZarvoDlg> window;
};

TEST_F(AdminWindow, IdAndNameChangeTheFrameTheListRowAndTheTitle) {
    startConnected();
    ASSERT_TRUE(withDialog<CDevIDDlg>(
        context, [&] { window->openDialog(devcmd::kIdSettings); },
        [&](CDevIDDlg& d) {
            EXPECT_EQ(d.windowTitle(), QStringLiteral("Device ID and Name"));
            EXPECT_EQ(edit(d, "name")->maxLength(), 16);
            edit(d, "id")->setText(QStringLiteral("42"));
            edit(d, "name")->setText(QStringLiteral("Rack 7"));
            click(d, "ok");
            EXPECT_FALSE(d.isVisible());
        }));
    ASSERT_TRUE(waitUntil([&] { return frame->model().deviceName() == "Rack 7"; }));
    EXPECT_EQ(frame->model().deviceId(), 42);
    ASSERT_TRUE(waitUntil([&] {
        const int row = window->deviceList().findRow(*parseIpv4(kFrame));
        return row >= 0 &&
               window->deviceList().rows()[static_cast<std::size_t>(row)].name == "Rack 7";
    }));
    const auto& row =
        window->deviceList()
            .rows()[static_cast<std::size_t>(window->deviceList().findRow(*parseIpv4(kFrame)))];
    EXPECT_EQ(row.id, "42");
    EXPECT_TRUE(window->windowTitle().contains(QStringLiteral("Rack 7")))
        << window->windowTitle().toStdString();
}

TEST_F(AdminWindow, ANameThatCannotTravelIsRefusedInTheDialog) {
    startConnected();
    const std::string before = frame->model().deviceName();
    ASSERT_TRUE(withDialog<CDevIDDlg>(
        context, [&] { window->openDialog(devcmd::kIdSettings); },
        [&](CDevIDDlg& d) {
            edit(d, "name")->setText(QStringLiteral("Rack,7"));
            click(d, "ok");
            EXPECT_TRUE(d.isVisible());
            auto* problem = d.findChild<QLabel*>(QStringLiteral("problem"));
            ASSERT_NE(problem, nullptr);
            EXPECT_TRUE(problem->text().contains(QStringLiteral("comma")))
                << problem->text().toStdString();
        }));
    EXPECT_EQ(frame->model().deviceName(), before);
}

TEST_F(AdminWindow, AutomaticAddressingOfTheConnectedFrame) {
    startConnected();
    ASSERT_TRUE(withDialog<CDevLANDlg>(
        context, [&] { window->openNetworkSettings(-1); },
        [&](CDevLANDlg& d) {
            EXPECT_TRUE(d.windowTitle().startsWith(
                QStringLiteral("Network settings for device <Frame 460> with MAC: ")))
                << d.windowTitle().toStdString();
            // A typed address that is no address keeps the dialog open.
            edit(d, "gateway")->setText(QStringLiteral("10.0.0"));
            click(d, "ok");
            EXPECT_TRUE(d.isVisible());
            EXPECT_TRUE(edit(d, "gateway")->isEnabled());
            click(d, "automatic");
            EXPECT_FALSE(edit(d, "gateway")->isEnabled());
            click(d, "ok");
            EXPECT_FALSE(d.isVisible());
        }));
    ASSERT_TRUE(waitUntil([&] { return frame->model().network().mode == 1; }));
    EXPECT_EQ(frame->model().network().address, "0.0.0.0");
    EXPECT_EQ(frame->model().network().gateway, "0.0.0.0");
    // The frame's answer is what the window keeps.
    ASSERT_TRUE(
        waitUntil([&] { return window->engine().state().settings.networkSettings.mode == 1; }));
}

TEST_F(AdminWindow, ADiscoveredFrameIsReaddressedBySerialNumber) {
    frame = test::startFrame("460", kFrame, [](framesim::FrameProfile& p) { p.serial = "SN-B"; });
    ASSERT_TRUE(frame);
    window = std::make_unique<CZarvoDlg>(StartupOptions{}, *settings);
    ASSERT_TRUE(waitUntil([&] { return !window->deviceList().rows().empty(); }));
    const int row = window->deviceList().findRow(*parseIpv4(kFrame));
    ASSERT_GE(row, 0);
    QSignalSpy moved(frame.get(), &CSimulatedFrame::moved);
    ASSERT_TRUE(withDialog<CDevLANDlg>(
        context, [&] { window->openNetworkSettings(row); },
        [&](CDevLANDlg& d) {
            EXPECT_EQ(d.windowTitle(), QStringLiteral("Network settings for device <Frame 460>"));
            // It starts where the search found it.
            EXPECT_EQ(edit(d, "ipAddress")->text(), QStringLiteral("127.0.0.2"));
            edit(d, "ipAddress")->setText(QStringLiteral("127.0.0.9"));
            edit(d, "subnetMask")->setText(QStringLiteral("255.0.0.0"));
            edit(d, "gateway")->setText(QStringLiteral("127.0.0.1"));
            click(d, "ok");
        }));
    // The old row goes at once; the search that follows finds the frame there.
    EXPECT_EQ(window->deviceList().findRow(*parseIpv4(kFrame)), -1);
    EXPECT_TRUE(statusText(*window).contains(QStringLiteral("SN-B")))
        << statusText(*window).toStdString();
    ASSERT_TRUE(moved.wait(5000) || moved.count() == 1);
    ASSERT_TRUE(
        waitUntil([&] { return window->deviceList().findRow(*parseIpv4("127.0.0.9")) >= 0; }));
    // And it can be connected there.
    window->connectToRow(window->deviceList().findRow(*parseIpv4("127.0.0.9")));
    EXPECT_TRUE(waitUntil([&] { return window->engine().settingsEnabled(); }));
}

TEST_F(AdminWindow, AnUnusableAddressOrMaskIsRefusedInTheDialogKeepingWhatWasTyped) {
    frame = test::startFrame("460", kFrame, [](framesim::FrameProfile& p) { p.serial = "SN-B"; });
    ASSERT_TRUE(frame);
    window = std::make_unique<CZarvoDlg>(StartupOptions{}, *settings);
    ASSERT_TRUE(waitUntil([&] { return !window->deviceList().rows().empty(); }));
    QSignalSpy applied(frame.get(), &CSimulatedFrame::networkApplied);
    ASSERT_TRUE(withDialog<CDevLANDlg>(
        context, [&] { window->openNetworkSettings(0); },
        [&](CDevLANDlg& d) {
            auto* problem = d.findChild<QLabel*>(QStringLiteral("problem"));
            ASSERT_NE(problem, nullptr);
            struct Row {
                const char *address, *mask, *says, *field;
            };
            for (const Row r : {Row{"255.255.255.255", "255.255.255.0", "255.255.255.255", "ipAddress"},
                                Row{"127.0.0.9", "255.0.255.0", "255.0.255.0 is no mask",
                                    "subnetMask"}}) {
                edit(d, "ipAddress")->setText(QLatin1String(r.address));
                edit(d, "subnetMask")->setText(QLatin1String(r.mask));
                edit(d, "gateway")->setText(QStringLiteral("127.0.0.1"));
                click(d, "ok");
                EXPECT_TRUE(d.isVisible()) << r.says;
                EXPECT_TRUE(problem->text().contains(QLatin1String(r.says)))
                    << problem->text().toStdString();
                EXPECT_EQ(d.focusWidget(), edit(d, r.field)) << r.field;
                EXPECT_EQ(edit(d, "subnetMask")->text(), QLatin1String(r.mask));
            }
        }));
    EXPECT_GE(window->deviceList().findRow(*parseIpv4(kFrame)), 0) << "the row stays";
    EXPECT_EQ(applied.count(), 0);
}

TEST_F(AdminWindow, AnIdOutOfRangeIsNamedNotCut) {
    startConnected();
    const int before = frame->model().deviceId();
    ASSERT_TRUE(withDialog<CDevIDDlg>(
        context, [&] { window->openDialog(devcmd::kIdSettings); },
        [&](CDevIDDlg& d) {
            edit(d, "id")->clear();
            QTest::keyClicks(edit(d, "id"), QStringLiteral("123"));
            EXPECT_EQ(edit(d, "id")->text(), QStringLiteral("123"));
            click(d, "ok");
            EXPECT_TRUE(d.isVisible());
            EXPECT_EQ(d.findChild<QLabel*>(QStringLiteral("problem"))->text(),
                      QStringLiteral(
                          "ID 123 is out of range: the ID must be a whole number from 0 to 99."));
        }));
    EXPECT_EQ(frame->model().deviceId(), before);
}

TEST_F(AdminWindow, OperationalTimeShowsBothReplies) {
    startConnected();
    ASSERT_TRUE(withDialog<CTimeDlg>(
        context, [&] { window->openDialog(devcmd::kOperationalTime); },
        [&](CTimeDlg& d) {
            EXPECT_EQ(window->engine().dialogs().operatingTime, &d);
            auto* total = d.findChild<QLabel*>(QStringLiteral("totalTime"));
            auto* days = d.findChild<QLabel*>(QStringLiteral("totalDays"));
            auto* since = d.findChild<QLabel*>(QStringLiteral("sinceRestart"));
            auto* instant = d.findChild<QLabel*>(QStringLiteral("restartInstant"));
            ASSERT_TRUE(total && days && since && instant);
            ASSERT_TRUE(waitUntil([&] {
                return total->text() == QStringLiteral("1234 hours 56 minutes 7 seconds") &&
                       since->text() == QStringLiteral("2 hours 15 minutes 30 seconds");
            })) << total->text().toStdString();
            EXPECT_EQ(days->text(), QStringLiteral("( 51 days 10 hours ... )"));
            EXPECT_TRUE(instant->text().startsWith(QStringLiteral("( ")))
                << instant->text().toStdString();
        }));
    EXPECT_EQ(window->engine().dialogs().operatingTime, nullptr);
}

TEST_F(AdminWindow, PsuAndFanConfigurationReachTheFrame) {
    startConnected();
    ASSERT_TRUE(withDialog<CDevPsuCfgDlg>(
        context, [&] { window->openDialog(admincmd::kPsuFanConfiguration); },
        [&](CDevPsuCfgDlg& d) {
            auto* psu = d.findChild<QComboBox*>(QStringLiteral("psu"));
            auto* fan = d.findChild<QComboBox*>(QStringLiteral("fan"));
            ASSERT_TRUE(psu && fan);
            EXPECT_EQ(psu->currentText(), QStringLiteral("Both"));
            EXPECT_EQ(fan->currentText(), QStringLiteral("3"));
            psu->setCurrentIndex(1);
            click(d, "ok");
        }));
    ASSERT_TRUE(waitUntil([&] { return window->engine().state().settings.psuConfig == 1; }));
    EXPECT_EQ(frame->model().current(CommandId::gpsuconf, {}).i(2), 1);
    EXPECT_EQ(frame->model().current(CommandId::gfanconf, {}).i(2), 7) << "unchanged, not sent";
}

TEST_F(AdminWindow, ModuleDumpOfTheConnectedFrame) {
    startConnected();
    // The dialog offers three boxes, all clear.
    ASSERT_TRUE(withDialog<CCardsDlg>(
        context, [&] { window->openDialog(admincmd::kModuleDump); },
        [&](CCardsDlg& d) {
            for (const char* name : {"cards", "mini", "dante"}) {
                auto* box = d.findChild<QCheckBox*>(QLatin1String(name));
                ASSERT_NE(box, nullptr) << name;
                EXPECT_FALSE(box->isChecked());
            }
            click(d, "ok"); // nothing ticked: nothing written, and the status bar says so
        }));
    EXPECT_TRUE(statusText(*window).contains(QStringLiteral("No module")))
        << statusText(*window).toStdString();

    const QString path = dir.filePath(QStringLiteral("Modules.txt"));
    ASSERT_EQ(writeModuleDump(path, window->engine().state().settings, {.cards = true}), "");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.startsWith(QStringLiteral("[Module information]\n--- HW & SW information ---\n"
                                               "BoardType_9=")))
        << text.toStdString();
    // The AD card in slot 2 of the 460 preset.
    EXPECT_TRUE(text.contains(QStringLiteral("BoardMode_10="))) << text.toStdString();
    // A folder in the file's place is refused with a reason.
    EXPECT_NE(writeModuleDump(dir.path(), window->engine().state().settings, {.cards = true}), "");
}

} // namespace
} // namespace velmar
