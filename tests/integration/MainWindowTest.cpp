#include "IntegrationSupport.h"
#include "WindowSupport.h"
#include "link/DiscoveryDatagrams.h"
#include "window/CZarvoDlg.h"
#include "window/DeviceMenu.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBrush>
#include <QColor>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>

namespace velmar {
namespace {

using test::waitUntil;

class MainWindow : public test::WindowProfileTest {
protected:
    std::unique_ptr<CZarvoDlg> openWindow(StartupOptions options = {}) {
        auto window = std::make_unique<CZarvoDlg>(options, *settings);
        return window;
    }
    int rowOf(const CZarvoDlg& w, std::string_view addressColumn) const {
        const auto& rows = w.deviceList().rows();
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (rows[i].address == addressColumn)
                return static_cast<int>(i);
        return -1;
    }
    bool listed(const CZarvoDlg& w, std::string_view addressColumn) const {
        return rowOf(w, addressColumn) >= 0;
    }

    test::MessageBoxAnswerer boxes;
};

TEST_F(MainWindow, SearchListsFramesAndConnectsByRow) {
    auto a = test::startFrame("460", "127.0.0.2");
    auto b = test::startFrame("461", "127.0.0.3");
    auto c = test::startFrame("recovery", "127.0.0.4",
                              [](framesim::FrameProfile& p) { p.faults.refuseEcho = true; });
    ASSERT_TRUE(a && b && c);
    auto w = openWindow();
    ASSERT_TRUE(waitUntil([&] { return w->deviceList().rows().size() == 3; }));
    const KnownDevice& rowA =
        w->deviceList().rows()[static_cast<std::size_t>(rowOf(*w, "127.0.0.2"))];
    EXPECT_EQ(rowA.name, a->profile().name);
    EXPECT_EQ(rowA.type, "460");
    EXPECT_EQ(rowA.serial, a->profile().serial);
    ASSERT_TRUE(listed(*w, "*127.0.0.4"));

    // The recovery frame refuses the echo probe: it is reached on the telnet port without one.
    w->connectToRow(rowOf(*w, "*127.0.0.4"));
    ASSERT_TRUE(waitUntil([&] { return c->clientCount() == 1; }));
    EXPECT_TRUE(w->engine().state().connected);
    EXPECT_EQ(w->engine().state().port, 23);
    EXPECT_TRUE(w->windowTitle().endsWith(QStringLiteral(" - using Telnet port")));

    // Another row: the old link goes, the new one comes up on the command port.
    w->connectToRow(rowOf(*w, "127.0.0.2"));
    ASSERT_TRUE(waitUntil([&] { return a->clientCount() == 1 && c->clientCount() == 0; }));
    EXPECT_EQ(w->engine().state().port, 10003);
    EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join(QLatin1Char('|')).toStdString();
}

TEST_F(MainWindow, MenusOfferQuitAndTheConnectedFramesCommands) {
    auto a = test::startFrame("460", "127.0.0.2");
    ASSERT_TRUE(a);
    auto w = openWindow();
    auto* file = w->findChild<QMenu*>(QStringLiteral("fileMenu"));
    auto* device = w->findChild<QMenu*>(QStringLiteral("deviceMenu"));
    auto* quit = w->findChild<QAction*>(QStringLiteral("quitAction"));
    ASSERT_TRUE(file && device && quit);
    EXPECT_EQ(w->menuBar()->actions().value(0), file->menuAction()) << "File comes first";
    EXPECT_EQ(quit->shortcut(), QKeySequence(QKeySequence::Quit));

    // The menu bar's Device menu is the list's popup, by the same rules.
    const auto texts = [&] {
        Q_EMIT device->aboutToShow();
        QStringList out;
        for (QAction* action : device->actions())
            out << (action->isSeparator() ? QStringLiteral("-") : action->text());
        return out;
    };
    const auto expected = [&](MenuRow row) {
        QStringList out;
        for (const MenuItem& item :
             buildDeviceMenu(deviceMenuInputs(w->engine().state(), row, false)))
            out << (item.separator() ? QStringLiteral("-") : QString::fromUtf8(item.text));
        return out;
    };
    EXPECT_EQ(texts(), QStringList{QStringLiteral("Refresh")});
    ASSERT_TRUE(test::connectToFirstRow(*w));
    EXPECT_EQ(texts(), expected(MenuRow::Connected));
    EXPECT_TRUE(texts().contains(QStringLiteral("Input status ...")));
    for (QAction* action : device->actions())
        if (action->text() == QStringLiteral("Input status ..."))
            action->trigger();
    EXPECT_NE(w->findChild<QDialog*>(QStringLiteral("inputStatusDialog")), nullptr);
    for (QAction* action : device->actions())
        if (action->text() == QStringLiteral("Close"))
            action->trigger();
    EXPECT_FALSE(w->engine().state().connected);

    w->show();
    ASSERT_TRUE(w->isVisible());
    quit->trigger();
    EXPECT_FALSE(w->isVisible());
}

TEST_F(MainWindow, DoubleClickOnAnotherFrameAsksBeforeDroppingTheConnectedOne) {
    auto a = test::startFrame("460", "127.0.0.2");
    auto b = test::startFrame("460", "127.0.0.3");
    ASSERT_TRUE(a && b);
    auto w = openWindow();
    ASSERT_TRUE(waitUntil([&] { return w->deviceList().rows().size() == 2; }));
    w->activateRow(rowOf(*w, "127.0.0.2")); // nothing connected: no question
    ASSERT_TRUE(waitUntil([&] { return w->engine().state().connectedAddress == "127.0.0.2"; }));
    EXPECT_TRUE(boxes.texts.isEmpty());

    boxes.setAnswer(QMessageBox::No);
    w->activateRow(rowOf(*w, "127.0.0.3"));
    ASSERT_EQ(boxes.texts.size(), 1);
    EXPECT_TRUE(boxes.texts[0].startsWith(QStringLiteral("Disconnect from ")));
    EXPECT_TRUE(boxes.texts[0].contains(QStringLiteral("127.0.0.3")));
    EXPECT_EQ(w->engine().state().connectedAddress, "127.0.0.2") << "No keeps the link";

    boxes.setAnswer(QMessageBox::Yes);
    w->activateRow(rowOf(*w, "127.0.0.3"));
    ASSERT_TRUE(waitUntil([&] { return w->engine().state().connectedAddress == "127.0.0.3"; }));
    w->activateRow(rowOf(*w, "127.0.0.3")); // the connected row: nothing, no question
    EXPECT_EQ(boxes.texts.size(), 2);
}

TEST_F(MainWindow, FirstStartFitsTheScreenAndTheLayoutComesBack) {
    const QRect available = QApplication::primaryScreen()->availableGeometry();
    QList<int> sizes;
    QSize saved;
    {
        auto w = openWindow();
        // Within the screen, unless the window cannot be made that small.
        EXPECT_LE(w->width(), std::max(available.width(), w->minimumSizeHint().width()));
        EXPECT_LE(w->height(), std::max(available.height(), w->minimumSizeHint().height()));
        EXPECT_GE(w->width(), std::min(1000, available.width()));
        EXPECT_GE(w->height(), std::min(640, available.height()));
        w->show();
        w->resize(w->size() - QSize(40, 30));
        QApplication::processEvents();
        saved = w->size();
        auto* splitter = w->findChild<QSplitter*>(QStringLiteral("mainSplitter"));
        ASSERT_NE(splitter, nullptr);
        const int total = splitter->sizes().value(0) + splitter->sizes().value(1);
        splitter->setSizes({total / 3, total - total / 3});
        sizes = splitter->sizes();
        auto* devices = w->findChild<QTableView*>(QStringLiteral("deviceList"));
        devices->setColumnWidth(4, 177);
        static_cast<QWidget*>(w.get())->close();
    }
    auto w = openWindow();
    w->show();
    EXPECT_EQ(w->size(), saved);
    EXPECT_EQ(w->findChild<QSplitter*>(QStringLiteral("mainSplitter"))->sizes(), sizes);
    EXPECT_EQ(w->findChild<QTableView*>(QStringLiteral("deviceList"))->columnWidth(4), 177);
}

TEST_F(MainWindow, ReachesTheReadyStateWithTheFramesValues) {
    auto frame = test::startFrame("460", "127.0.0.2");
    ASSERT_TRUE(frame);
    auto w = openWindow();
    ASSERT_TRUE(waitUntil([&] { return listed(*w, "127.0.0.2"); }));
    w->connectToRow(rowOf(*w, "127.0.0.2"));
    ASSERT_TRUE(waitUntil([&] { return w->engine().settingsEnabled(); }));
    const DeviceState& s = w->engine().state();
    const framesim::FrameProfile& p = frame->profile();
    EXPECT_EQ(s.settings.deviceId, p.id);
    EXPECT_EQ(s.settings.deviceName.view(), p.name);
    EXPECT_EQ(s.settings.deviceModel.view(), p.model);
    EXPECT_EQ(s.settings.serialNumber.view(), p.serial);
    EXPECT_EQ(s.settings.psuConfig, p.psuConfig);
    EXPECT_EQ(s.settings.fanConfig, p.fanConfig);
    EXPECT_EQ(s.versionNumber(), p.versionNumber());
    EXPECT_EQ(s.crosspointCount(), p.crosspointCount());
    for (int slot = 1; slot <= 8; ++slot)
        EXPECT_EQ(s.cardType(slot), p.cardType(slot)) << "slot " << slot;
    const NetworkSettings& net = s.settings.networkSettings;
    EXPECT_EQ(net.mode, p.network.mode);
    EXPECT_EQ(net.ipAddress.view(), p.network.address);
    EXPECT_EQ(net.subnetMask.view(), p.network.mask);
    EXPECT_EQ(net.gateway.view(), p.network.gateway);
    EXPECT_EQ(net.macAddress.view(), p.mac);
    for (int module = 2; module <= 20; ++module) {
        const framesim::ModuleRecord& expected = p.modules[static_cast<std::size_t>(module)];
        const HwConfRecord& hw = s.settings.hwConf[static_cast<std::size_t>(module)];
        EXPECT_EQ(hw.present != 0, expected.present != 0) << "module " << module;
        if (module == 2 || module == 3 || module >= 9) {
            EXPECT_EQ(hw.boardCode.view(), expected.boardText.substr(0, 16)) << "module " << module;
        }
        EXPECT_EQ(s.settings.swVersion[static_cast<std::size_t>(module)].second[0].view(),
                  expected.version)
            << "module " << module;
    }
    EXPECT_EQ(s.settings.fanConfig, p.fanConfig);
    EXPECT_EQ(s.live.syncSource, p.syncSource);
    EXPECT_EQ(s.live.syncState, p.syncState);
    EXPECT_EQ(s.live.actualRate, p.sampleRate);
    EXPECT_EQ(w->windowTitle(),
              QStringLiteral(" Velmar   ( Online - %1 )").arg(QString::fromStdString(p.name)));
    EXPECT_TRUE(boxes.texts.isEmpty());
}

TEST_F(MainWindow, FrameClosingTheLinkGoesOfflineWithoutAMessage) {
    auto frame = test::startFrame("460", "127.0.0.2");
    ASSERT_TRUE(frame);
    auto w = openWindow();
    ASSERT_TRUE(waitUntil([&] { return listed(*w, "127.0.0.2"); }));
    w->connectToRow(rowOf(*w, "127.0.0.2"));
    ASSERT_TRUE(waitUntil([&] { return frame->clientCount() == 1; }));
    frame->dropClients();
    ASSERT_TRUE(waitUntil([&] { return !w->engine().state().connected; }));
    EXPECT_EQ(w->windowTitle(), QStringLiteral(" Velmar"));
    EXPECT_TRUE(boxes.texts.isEmpty());
    // And the window connects again.
    w->connectToRow(rowOf(*w, "127.0.0.2"));
    ASSERT_TRUE(
        waitUntil([&] { return frame->clientCount() == 1 && w->engine().state().connected; }));
}

TEST_F(MainWindow, LostFrameIsNamedInTheStatusBarAndItsRowGoesOffline) {
    auto frame = test::startFrame("460", "127.0.0.2");
    ASSERT_TRUE(frame);
    auto w = openWindow();
    auto* status = w->findChild<QStatusBar*>(QStringLiteral("statusBar"));
    auto* view = w->findChild<QTableView*>(QStringLiteral("deviceList"));
    ASSERT_TRUE(status && view);
    ASSERT_TRUE(waitUntil([&] { return listed(*w, "127.0.0.2"); }));
    w->connectToRow(rowOf(*w, "127.0.0.2"));
    ASSERT_TRUE(waitUntil([&] { return w->engine().state().connected; }));
    frame->dropClients();
    ASSERT_TRUE(waitUntil([&] { return !w->engine().state().connected; }));
    EXPECT_EQ(
        status->currentMessage(),
        QStringLiteral("Link to Frame 460 (127.0.0.2) lost: the frame closed the connection"));
    EXPECT_TRUE(boxes.texts.isEmpty()) << "said in the status bar, not in a box";

    const int row = rowOf(*w, "127.0.0.2");
    ASSERT_GE(row, 0);
    EXPECT_TRUE(w->deviceList().rows()[static_cast<std::size_t>(row)].offline);
    const QModelIndex cell = view->model()->index(row, 2);
    EXPECT_TRUE(cell.data(Qt::ToolTipRole).toString().startsWith(QStringLiteral("offline")));
    const QColor grey = cell.data(Qt::ForegroundRole).value<QBrush>().color();
    EXPECT_TRUE(grey.red() == grey.green() && grey.green() == grey.blue() && grey.red() > 0)
        << "an offline row is drawn in grey: " << grey.name().toStdString();

    // Connected again: reachable, so no longer offline.
    w->connectToRow(row);
    ASSERT_TRUE(waitUntil([&] { return w->engine().state().connected; }));
    EXPECT_FALSE(w->deviceList().rows()[static_cast<std::size_t>(row)].offline);
    frame->dropClients();
    ASSERT_TRUE(waitUntil([&] { return !w->engine().state().connected; }));
    ASSERT_TRUE(w->deviceList().rows()[static_cast<std::size_t>(row)].offline);

    // It answers a search again: no longer offline.
    w->refresh();
    ASSERT_TRUE(waitUntil([&] {
        const int r = rowOf(*w, "127.0.0.2");
        return r >= 0 && !w->deviceList().rows()[static_cast<std::size_t>(r)].offline;
    }));
}

TEST_F(MainWindow, FrameThatStopsReadingIsDroppedAndNamed) {
    auto frame = test::startFrame("461", "127.0.0.3", [](framesim::FrameProfile& p) {
        p.faults.floodAliveLines = 4'000'000;
    });
    ASSERT_TRUE(frame);
    auto w = openWindow();
    auto* status = w->findChild<QStatusBar*>(QStringLiteral("statusBar"));
    ASSERT_TRUE(status);
    ASSERT_TRUE(waitUntil([&] { return listed(*w, "127.0.0.3"); }));
    w->connectToRow(rowOf(*w, "127.0.0.3"));
    ASSERT_TRUE(waitUntil([&] { return !w->engine().state().connected; }, 30000));
    EXPECT_EQ(status->currentMessage(),
              QStringLiteral("Link to Frame 461 (127.0.0.3) lost: the frame stopped reading what "
                             "was sent to it"));
}

TEST_F(MainWindow, SilentFrameIsNeverConnected) {
    auto frame = test::startFrame("460", "127.0.0.2",
                                  [](framesim::FrameProfile& p) { p.faults.refuseEcho = true; });
    ASSERT_TRUE(frame);
    int connects = 0;
    QObject::connect(frame.get(), &framesim::CSimulatedFrame::clientConnected, frame.get(),
                     [&] { ++connects; });
    auto w = openWindow();
    ASSERT_TRUE(waitUntil([&] { return listed(*w, "127.0.0.2"); }));
    w->connectToRow(rowOf(*w, "127.0.0.2"));
    ASSERT_TRUE(waitUntil([&] { return !boxes.texts.isEmpty(); }));
    EXPECT_EQ(boxes.texts.value(0), QStringLiteral("Connect failed, target not responding"));
    EXPECT_EQ(connects, 0) << "no TCP connection is even attempted";
    EXPECT_FALSE(w->engine().state().connected);
}

TEST_F(MainWindow, TelnetPortDiscardsItsFirstLines) {
    auto frame = test::startFrame("recovery", "127.0.0.4");
    ASSERT_TRUE(frame);
    // The frame greets every client at once with a sync status nobody asked for.
    QObject::connect(frame.get(), &framesim::CSimulatedFrame::clientConnected, frame.get(),
                     [&] { frame->sendToAll("!gsyncstat,0,1,4\r"); });
    int linesAfterSettle = 0;
    QObject::connect(frame.get(), &framesim::CSimulatedFrame::lineReceived, frame.get(),
                     [&] { ++linesAfterSettle; });
    auto w = openWindow();
    ASSERT_TRUE(waitUntil([&] { return listed(*w, "*127.0.0.4"); }));
    w->connectToRow(rowOf(*w, "*127.0.0.4"));
    ASSERT_TRUE(waitUntil([&] { return linesAfterSettle >= 3; }))
        << "the start requests after 300 ms";
    EXPECT_EQ(w->engine().state().live.syncState, 0) << "the greeting came in the first 300 ms";
    EXPECT_EQ(w->engine().state().live.syncSource, 0);
    // Later messages are taken.
    frame->setSyncStatus(1, 4);
    ASSERT_TRUE(waitUntil([&] { return w->engine().state().live.syncSource == 4; }));
}

TEST_F(MainWindow, SavedAddressAlsoAnsweringIsListedOnce) {
    settings->setValue(QStringLiteral("Devices/Count"), 2);
    settings->setValue(QStringLiteral("Devices/Device1"), QStringLiteral("127.0.0.2"));
    settings->setValue(QStringLiteral("Devices/Device2"), QStringLiteral("127.0.0.9"));
    auto frame = test::startFrame("460", "127.0.0.2");
    ASSERT_TRUE(frame);
    auto w = openWindow();
    ASSERT_TRUE(waitUntil([&] { return listed(*w, "127.0.0.9"); }))
        << "saved entries come 600 ms after the search";
    ASSERT_EQ(w->deviceList().rows().size(), 2U);
    EXPECT_EQ(w->deviceList().rows()[static_cast<std::size_t>(rowOf(*w, "127.0.0.2"))].name,
              frame->profile().name);
}

TEST_F(MainWindow, OwnAnnouncementOfTheConnectedFrameClosesTheLink) {
    auto frame = test::startFrame("460", "127.0.0.2");
    ASSERT_TRUE(frame);
    auto w = openWindow();
    ASSERT_TRUE(waitUntil([&] { return listed(*w, "127.0.0.2"); }));
    w->connectToRow(rowOf(*w, "127.0.0.2"));
    ASSERT_TRUE(waitUntil([&] { return w->engine().state().connected; }));
    frame->sendSearchAnnouncement();
    ASSERT_TRUE(waitUntil([&] { return !w->engine().state().connected; }));
    EXPECT_TRUE(listed(*w, "127.0.0.2"));
    EXPECT_TRUE(boxes.texts.isEmpty());
    EXPECT_EQ(w->statusBar()->currentMessage(),
              QStringLiteral("Link to Frame 460 (127.0.0.2) closed: the frame announced itself "
                             "anew (restarted or changed)"));
    EXPECT_FALSE(w->deviceList().rows()[static_cast<std::size_t>(rowOf(*w, "127.0.0.2"))].offline)
        << "it has just answered";
}

TEST_F(MainWindow, MalformedDatagramsLeaveTheListIntact) {
    auto frame = test::startFrame("460", "127.0.0.2");
    ASSERT_TRUE(frame);
    auto w = openWindow();
    ASSERT_TRUE(waitUntil([&] { return listed(*w, "127.0.0.2"); }));
    const std::vector<KnownDevice> before = w->deviceList().rows();

    QUdpSocket sender;
    ASSERT_TRUE(sender.bind(QHostAddress(QStringLiteral("127.0.0.7")), 0));
    const QByteArray bad[] = {
        QByteArray(":edev\r"),
        QByteArray("?edev\r"),
        QByteArray(":edev,0,1,2,'n','t',x,'s'"),
        QByteArray("xedev,0,1,2,'n','t',x,'s'\r"),
        QByteArray(":edev,0,\r"),
        QByteArray(":edev,0,") + QByteArray(260, 'a') + QByteArray("\r"),
    };
    for (const QByteArray& d : bad)
        sender.writeDatagram(d, QHostAddress(QStringLiteral("127.0.0.1")), kDiscoveryReplyPort);
    // A good one behind them shows that the bad ones were read and dropped.
    const QByteArray good(":edev,0,1,7,'Late','461',x,'SN7'\r");
    sender.writeDatagram(good, QHostAddress(QStringLiteral("127.0.0.1")), kDiscoveryReplyPort);
    ASSERT_TRUE(waitUntil([&] { return listed(*w, "127.0.0.7"); }));
    ASSERT_EQ(w->deviceList().rows().size(), before.size() + 1);
    EXPECT_EQ(w->deviceList().rows()[0].name, before[0].name);
}

TEST_F(MainWindow, AddDeviceThatDoesNotAnswerLeavesTheProfileAlone) {
    auto w = openWindow();
    QTimer::singleShot(50, w.get(), [] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* edit = top->findChild<QLineEdit*>(QStringLiteral("address"));
                edit && top->isVisible()) {
                edit->setText(QStringLiteral("127.0.0.8"));
                QMetaObject::invokeMethod(top, "accept");
            }
        }
    });
    w->addDevice();
    EXPECT_EQ(boxes.texts.value(0), QStringLiteral("Device 127.0.0.8 is not responding"));
    EXPECT_FALSE(settings->contains(QStringLiteral("Devices/Count")));
}

} // namespace
} // namespace velmar

namespace velmar {
namespace {

class MainWindowStatus : public MainWindow {
protected:
    void connectTo(framesim::CSimulatedFrame& frame, CZarvoDlg& w) {
        ASSERT_TRUE(waitUntil([&] { return listed(w, "127.0.0.2"); }));
        w.connectToRow(rowOf(w, "127.0.0.2"));
        ASSERT_TRUE(waitUntil([&] { return w.engine().settingsEnabled(); }));
        (void)frame;
    }
    static QLineEdit* field(CZarvoDlg& w, const char* name) {
        return w.findChild<QLineEdit*>(QString::fromLatin1(name));
    }
};

TEST_F(MainWindowStatus, FaultyPsuReportedByTheFrameTurnsRed) {
    auto frame = test::startFrame("460", "127.0.0.2");
    ASSERT_TRUE(frame);
    auto w = openWindow();
    connectTo(*frame, *w);
    QLineEdit* psu2 = field(*w, "psu2");
    ASSERT_TRUE(psu2);
    EXPECT_EQ(psu2->text(), QStringLiteral("OK"));
    EXPECT_TRUE(psu2->isEnabled());
    EXPECT_FALSE(psu2->styleSheet().contains(QStringLiteral("255, 0, 0")));
    EXPECT_FALSE(field(*w, "sampleRate")->text().isEmpty());
    EXPECT_FALSE(field(*w, "syncSource")->text().isEmpty());

    frame->setPsuStatus(2, 1);
    ASSERT_TRUE(waitUntil([&] { return psu2->text() == QStringLiteral("Faulty"); }));
    EXPECT_TRUE(psu2->styleSheet().contains(QStringLiteral("255, 0, 0")));
    EXPECT_EQ(field(*w, "psu1")->text(), QStringLiteral("OK"));

    frame->setSyncStatus(3, 4); // a sync fault
    ASSERT_TRUE(waitUntil([&] {
        return field(*w, "syncSource")->styleSheet().contains(QStringLiteral("255, 0, 0"));
    }));

    // Offline, every field is empty and nothing is red.
    w->closeConnection();
    ASSERT_TRUE(waitUntil([&] { return psu2->text().isEmpty(); }));
    EXPECT_FALSE(psu2->isEnabled());
    EXPECT_TRUE(psu2->styleSheet().isEmpty());
}

TEST_F(MainWindowStatus, SilentFrameIsDroppedAfterTwoAliveTicks) {
    auto frame = test::startFrame("460", "127.0.0.2");
    ASSERT_TRUE(frame);
    auto w = openWindow();
    connectTo(*frame, *w);
    frame->faults().silent = true;
    // Two ticks of the 5 s alive timer without a byte from the frame.
    ASSERT_TRUE(waitUntil([&] { return !w->engine().state().connected; }, 12000));
    EXPECT_TRUE(boxes.texts.isEmpty()) << "dropped without a message box";
    EXPECT_EQ(w->windowTitle(), QStringLiteral(" Velmar"));
    EXPECT_EQ(w->statusBar()->currentMessage(),
              QStringLiteral("Link to Frame 460 (127.0.0.2) lost: the frame stopped answering"));
}

} // namespace
} // namespace velmar

#include <QPushButton>

namespace velmar {
namespace {

// What the status group shows once a frame of each kind has been read: the
// families and run modes poll different things, and only what was polled shows.
TEST_F(MainWindowStatus, EachKindOfFrameFillsTheStatusGroupItsOwnWay) {
    struct Row {
        const char* preset;
        const char* addressColumn;
        bool readyForSettings; // the second PSU's status came: "&Settings" on
        const char* sync;
        const char* rate;
        const char* power; // every PSU and FAN field
        bool crosspointControls;
    };
    const Row rows[] = {
        {"460", "127.0.0.2", true, "Internal", "48 kHz", "OK", true},
        {"461", "127.0.0.2", true, "Internal", "48 kHz", "OK", true},
        {"hash", "#127.0.0.2", true, "", "", "OK", false}, // no stage two outside application mode
        {"465", "127.0.0.2", false, "", "", "", false},    // identity and network only
        {"450", "127.0.0.2", false, "", "", "", false},
        {"recovery", "*127.0.0.2", false, "", "", "", false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.preset);
        auto frame = test::startFrame(r.preset, "127.0.0.2");
        ASSERT_TRUE(frame);
        auto w = openWindow();
        ASSERT_TRUE(waitUntil([&] { return listed(*w, r.addressColumn); }));
        w->connectToRow(rowOf(*w, r.addressColumn));
        // Every start sequence reads the network settings; the rest follows within the same burst.
        ASSERT_TRUE(waitUntil([&] {
            return !w->engine().state().settings.networkSettings.ipAddress.view().empty();
        }));
        if (r.readyForSettings) {
            ASSERT_TRUE(waitUntil([&] { return w->engine().settingsEnabled(); }));
        }
        const auto shows = [&](const char* name, const char* text) {
            return waitUntil([&] { return field(*w, name)->text() == QString::fromLatin1(text); },
                             2000);
        };
        EXPECT_TRUE(shows("syncSource", r.sync)) << field(*w, "syncSource")->text().toStdString();
        EXPECT_TRUE(shows("sampleRate", r.rate)) << field(*w, "sampleRate")->text().toStdString();
        for (const char* name : {"psu1", "psu2", "fan1", "fan2", "fan3"})
            EXPECT_TRUE(shows(name, r.power))
                << name << ": " << field(*w, name)->text().toStdString();
        EXPECT_EQ(w->findChild<QPushButton*>(QStringLiteral("settingsButton"))->isEnabled(),
                  r.readyForSettings);
        EXPECT_EQ(w->findChild<QPushButton*>(QStringLiteral("crosspointConnect"))->isEnabled(),
                  r.crosspointControls);
        EXPECT_TRUE(boxes.texts.isEmpty());
    }
}

} // namespace
} // namespace velmar
