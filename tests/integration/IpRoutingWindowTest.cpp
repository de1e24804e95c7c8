// The IP audio routing dialogs opened from the main window on a simulated
// frame with a Dante module: what they create and delete ends up in the
// frame, and their lists show what the frame then reports.

#include "WindowSupport.h"
#include "controls/CListCtrlEx.h"
#include "iprouting/CAutoIPDlg.h"
#include "iprouting/CFlowDlg.h"
#include "iprouting/CPPMDlg.h"
#include "window/DeviceMenu.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

namespace velmar {
namespace {

using framesim::CSimulatedFrame;
using test::waitUntil;

constexpr const char* kFrame = "127.0.0.2";

class IpRoutingWindow : public test::WindowProfileTest {
protected:
    void SetUp() override {
        WindowProfileTest::SetUp();
        frame = test::startFrame("460", kFrame,
                                 [](framesim::FrameProfile& p) { p.ipMaxLatency = 5000; });
        ASSERT_TRUE(frame);
        window = std::make_unique<CZarvoDlg>(StartupOptions{}, *settings);
        ASSERT_TRUE(test::connectToFirstRow(*window));
    }

    // Opens a dialog from the window and runs `script` on it once it shows.
    template <typename Dialog>
    void withDialog(int commandId, IDialogSink* DialogRegistry::*slot,
                    const std::function<void(Dialog&)>& script) {
        bool ran = false;
        QTimer::singleShot(0, &context, [&] {
            auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            ran = true;
            EXPECT_EQ(window->engine().dialogs().*slot, dialog);
            script(*dialog);
            if (dialog->isVisible())
                dialog->reject();
        });
        window->openDialog(commandId);
        EXPECT_TRUE(ran);
        EXPECT_EQ(window->engine().dialogs().*slot, nullptr);
    }

    template <typename T>
    static T* child(QWidget& d, const char* name) {
        T* w = d.findChild<T*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    static QStringList rowTexts(CListCtrlEx* list) {
        QStringList out;
        for (int row = 0; row < list->rowCount(); ++row) {
            QStringList cells;
            for (int c = 0; c < list->table().columnCount(); ++c)
                cells << list->text(row, c);
            out << cells.join(QLatin1Char('|'));
        }
        return out;
    }

    DeviceMessage frameValue(CommandId get, std::initializer_list<int> address) const {
        DeviceMessage a;
        int slot = 1;
        for (const int v : address)
            a.setI(slot++, v);
        return frame->model().current(get, a);
    }

    QObject context;
    std::unique_ptr<CSimulatedFrame> frame;
    std::unique_ptr<CZarvoDlg> window;
};

TEST_F(IpRoutingWindow, FlowsAreCreatedListedAndDeleted) {
    test::MessageBoxAnswerer boxes;
    withDialog<CFlowDlg>(
        devcmd::kManualIpRouting, &DialogRegistry::manualIpRouting, [&](CFlowDlg& d) {
            EXPECT_EQ(d.windowTitle(), QStringLiteral(" Manual IP routing control"));
            auto* tx = child<CListCtrlEx>(d, "txFlows");
            auto* rx = child<CListCtrlEx>(d, "rxFlows");
            EXPECT_EQ(tx->rowCount(), 0);
            EXPECT_EQ(child<QLineEdit>(d, "txAddress")->text(), QStringLiteral("0.0.0.0"));

            child<QLineEdit>(d, "txAddress")->setText(QStringLiteral("10.0.9.1"));
            child<QSpinBox>(d, "txId")->setValue(3);
            child<QSpinBox>(d, "txSlots")->setValue(8);
            child<QPushButton>(d, "txCreate")->click();
            ASSERT_TRUE(waitUntil([&] {
                return tx->rowCount() == 1 &&
                       tx->text(0, 4) == QStringLiteral("17, 18, 19, 20, 21, 22, 23, 24");
            })) << rowTexts(tx).join(QLatin1Char('\n')).toStdString();
            EXPECT_EQ(rowTexts(tx), QStringList{QStringLiteral(
                                        "3|8|14528|10.0.9.1|17, 18, 19, 20, 21, 22, 23, 24")});
            // The fields moved on to the next flow.
            EXPECT_EQ(child<QSpinBox>(d, "txId")->value(), 4);
            EXPECT_EQ(child<QSpinBox>(d, "txPort")->value(), 14529);

            child<QSpinBox>(d, "rxSlots")->setValue(2);
            child<QSpinBox>(d, "rxLatency")->setValue(1000);
            child<QPushButton>(d, "rxCreate")->click();
            ASSERT_TRUE(waitUntil([&] { return rx->rowCount() == 1 && rx->text(0, 4) == "1, 2"; }));
            EXPECT_EQ(rowTexts(rx), QStringList{QStringLiteral("1|2|14528|1000|1, 2")});

            // The same ID again is refused here, before anything is sent.
            child<QSpinBox>(d, "txId")->setValue(3);
            child<QPushButton>(d, "txCreate")->click();
            EXPECT_EQ(boxes.texts.value(0), QStringLiteral("ID in use"));

            tx->selectRow(0);
            child<QPushButton>(d, "deleteFlow")->click();
            ASSERT_TRUE(waitUntil([&] { return tx->rowCount() == 0; }));
            child<QPushButton>(d, "deleteAllFlows")->click();
            ASSERT_TRUE(waitUntil([&] { return rx->rowCount() == 0; }));
        });
    EXPECT_EQ(boxes.texts,
              (QStringList{QStringLiteral("ID in use"), QStringLiteral("Delete all Rx/Tx flows")}));
    EXPECT_EQ(frameValue(CommandId::gcrtxflow, {3}).i(2), 0);
    EXPECT_EQ(frameValue(CommandId::gcrrxflow, {1}).i(2), 0);
    EXPECT_EQ(window->engine().state().live.txFlows[3].channels, 0);
}

TEST_F(IpRoutingWindow, AFlowTheFrameRefusesIsReported) {
    test::MessageBoxAnswerer boxes;
    frame->faults().refused[CommandId::scrrxflow] = 5;
    withDialog<CFlowDlg>(
        devcmd::kManualIpRouting, &DialogRegistry::manualIpRouting, [&](CFlowDlg& d) {
            child<QSpinBox>(d, "rxLatency")->setValue(1000);
            child<QSpinBox>(d, "rxSlots")->setValue(1); // no slot channels to assign
            child<QPushButton>(d, "rxCreate")->click();
            auto* notice = child<QLineEdit>(d, "flowNotice");
            ASSERT_TRUE(waitUntil([&] { return notice->text().contains("refused"); }));
            EXPECT_EQ(notice->text(),
                      QStringLiteral("The frame refused the flow change (status 5)"));
            EXPECT_EQ(child<CListCtrlEx>(d, "rxFlows")->rowCount(), 0);
            // The flow is read again, so the window's table forgets the echo.
            ASSERT_TRUE(
                waitUntil([&] { return window->engine().state().live.rxFlows[1].channels == 0; }));
        });
}

TEST_F(IpRoutingWindow, ARouteIsMadeAndRemoved) {
    test::MessageBoxAnswerer boxes;
    withDialog<CAutoIPDlg>(
        devcmd::kAutoIpRouting, &DialogRegistry::autoIpRouting, [&](CAutoIPDlg& d) {
            auto* connectButton = child<QPushButton>(d, "connect");
            auto* routes = child<CListCtrlEx>(d, "routes");
            EXPECT_FALSE(connectButton->isEnabled()) << "automatic routing is off";
            child<QCheckBox>(d, "autoRouting")->click();
            ASSERT_TRUE(waitUntil([&] { return connectButton->isEnabled(); }));

            child<QSpinBox>(d, "source")->setValue(5);
            child<QLineEdit>(d, "sourceHost")->setText(QStringLiteral("studio-b"));
            child<QSpinBox>(d, "destination")->setValue(3);
            connectButton->click();
            ASSERT_TRUE(waitUntil([&] { return routes->rowCount() == 1; }));
            EXPECT_EQ(rowTexts(routes), QStringList{QStringLiteral("1|studio-b|05|localhost|3")});

            routes->selectRow(0);
            child<QPushButton>(d, "deleteRoutes")->click();
            ASSERT_TRUE(waitUntil([&] { return routes->rowCount() == 0; }));

            // A host name that cannot travel is refused here.
            child<QLineEdit>(d, "sourceHost")->setText(QStringLiteral("studio,b"));
            connectButton->click();
        });
    ASSERT_EQ(boxes.texts.size(), 2);
    EXPECT_TRUE(boxes.texts[0].startsWith(QStringLiteral("Enabling auto routing")));
    EXPECT_EQ(boxes.texts[1],
              QStringLiteral("The host name holds a quote, comma or control character"));
    EXPECT_EQ(frameValue(CommandId::gautorouteip, {}).i(1), 1);
    EXPECT_TRUE(frameValue(CommandId::gcrossip, {3}).text(10, 32).empty());
}

TEST_F(IpRoutingWindow, APpmStreamIsCreatedAssignedAndRemoved) {
    test::MessageBoxAnswerer boxes;
    withDialog<CPPMDlg>(devcmd::kPpmStreams, &DialogRegistry::ppmStreams, [&](CPPMDlg& d) {
        auto* streams = child<CListCtrlEx>(d, "streams");
        auto* assignment = child<CListCtrlEx>(d, "assignment");
        child<QSpinBox>(d, "quickChannels")->setValue(4);
        child<QPushButton>(d, "create")->click();
        ASSERT_TRUE(waitUntil([&] { return streams->rowCount() == 1; }));
        EXPECT_EQ(rowTexts(streams), QStringList{QStringLiteral("1|10.0.0.152|10100|4|50|0|0")});

        streams->selectRow(0);
        child<QSpinBox>(d, "firstChannel")->setValue(9);
        d.assignChannels();
        d.toggleEnable();
        ASSERT_TRUE(waitUntil([&] { return streams->text(0, 6) == QStringLiteral("1"); }));
        Q_EMIT streams->doubleClicked(streams->model()->index(0, 0));
        ASSERT_TRUE(waitUntil([&] {
            return assignment->rowCount() == 1 && assignment->text(0, 1) == "9,10,11,12";
        })) << rowTexts(assignment).join(QLatin1Char('\n')).toStdString();

        d.removeSelected();
        ASSERT_TRUE(waitUntil([&] { return streams->rowCount() == 0; }));
        EXPECT_EQ(assignment->rowCount(), 0);
    });
    EXPECT_EQ(boxes.texts, QStringList{QStringLiteral("ARE YOU SURE")});
    DeviceMessage a;
    a.setU(1, 1);
    EXPECT_EQ(frame->model().current(CommandId::gppmchn, a).i(3), 0) << "gone with the stream";
}

TEST_F(IpRoutingWindow, PpmCreateNamesItsTargetAndTheFormKeepsWhatWasTyped) {
    test::MessageBoxAnswerer boxes;
    withDialog<CPPMDlg>(devcmd::kPpmStreams, &DialogRegistry::ppmStreams, [&](CPPMDlg& d) {
        auto* target = child<QLabel>(d, "createTarget");
        EXPECT_EQ(target->text(), QStringLiteral("(ID 1 to 10.0.0.152:10100)"));
        child<QPushButton>(d, "create")->click();
        EXPECT_EQ(target->text(), QStringLiteral("(ID 2 to 10.0.0.152:10101)"));

        bool formRan = false;
        QTimer::singleShot(0, &context, [&] {
            auto* form = qobject_cast<CPPMCreateDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(form, nullptr);
            formRan = true;
            EXPECT_EQ(child<QSpinBox>(*form, "streamId")->value(), 1) << "the form's own default";
            EXPECT_EQ(child<QSpinBox>(*form, "port")->value(), 10100);
            auto* address = child<QLineEdit>(*form, "address");
            address->setText(QStringLiteral("10.0.300.1"));
            child<QSpinBox>(*form, "streamId")->setValue(7);
            child<QPushButton>(*form, "ok")->click();
            EXPECT_TRUE(form->isVisible()) << "a refusal keeps the form open";
            EXPECT_EQ(child<QLabel>(*form, "problem")->text(),
                      QStringLiteral("Enter the IP address the stream goes to"));
            EXPECT_EQ(child<QSpinBox>(*form, "streamId")->value(), 7) << "what was typed stays";
            address->setText(QStringLiteral("10.0.3.1"));
            child<QSpinBox>(*form, "port")->setValue(10200); // 10100 is the first stream's
            child<QPushButton>(*form, "ok")->click();
            EXPECT_FALSE(form->isVisible());
        });
        d.createWithSettings();
        EXPECT_TRUE(formRan);
        EXPECT_EQ(target->text(), QStringLiteral("(ID 8 to 10.0.3.1:10201)"));
        auto* streams = child<CListCtrlEx>(d, "streams");
        ASSERT_TRUE(waitUntil([&] { return streams->rowCount() == 2; }))
            << child<QLineEdit>(d, "ppmNotice")->text().toStdString();
        EXPECT_EQ(streams->text(1, 1), QStringLiteral("10.0.3.1"));
    });
    EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join(QLatin1Char('|')).toStdString();
}

TEST_F(IpRoutingWindow, ATypedLatencySurvivesRedrawsAndSetSaysWhyItWasLowered) {
    DeviceMessage route;
    route.setI(1, 3);
    route.setText(2, 32, "localhost");
    route.setText(10, 32, "05");
    route.setText(18, 32, "studio-b");
    withDialog<CAutoIPDlg>(
        devcmd::kAutoIpRouting, &DialogRegistry::autoIpRouting, [&](CAutoIPDlg& d) {
            auto* latency = child<QSpinBox>(d, "latency");
            auto* notice = child<QLineEdit>(d, "routeNotice");
            ASSERT_TRUE(waitUntil([&] {
                return latency->isEnabled() && window->engine().state().live.maxLatency == 5000;
            }));
            latency->setValue(99999);
            // Route replies redraw the dialog; the typed value stays.
            frame->model().store(CommandId::gcrossip, route);
            child<QPushButton>(d, "refresh")->click();
            auto* routes = child<CListCtrlEx>(d, "routes");
            ASSERT_TRUE(waitUntil([&] { return routes->rowCount() == 1; }));
            EXPECT_EQ(latency->value(), 99999);
            child<QPushButton>(d, "set")->click();
            EXPECT_EQ(notice->text(),
                      QStringLiteral("The module's latency goes up to 5000 us: 5000 us was sent"));
            ASSERT_TRUE(waitUntil([&] { return latency->value() == 5000; }))
                << "the frame's answer shows what it took";
            EXPECT_TRUE(notice->isVisible());
        });
}

} // namespace
} // namespace velmar
