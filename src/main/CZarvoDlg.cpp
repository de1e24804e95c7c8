#include "main/CZarvoDlg.h"

#include "VelmarVersion.h"
#include "channels/CChnLabelDlg.h"
#include "channels/CIOGainDlg.h"
#include "channels/CLevDetDlg.h"
#include "controls/FileDialogs.h"
#include "controls/LinkLostBanner.h"
#include "ctl/CHealthCheck.h"
#include "events/CEventLogPanel.h"
#include "iprouting/CAutoIPDlg.h"
#include "iprouting/CFlowDlg.h"
#include "iprouting/CPPMDlg.h"
#include "link/CAddDevDlg.h"
#include "link/CDiscovery.h"
#include "link/CQtProfileStore.h"
#include "link/CUDPSocketThread.h"
#include "link/CZarvoSocket.h"
#include "link/Ipv4.h"
#include "link/QtText.h"
#include "main/CCrosspointModels.h"
#include "main/CLoadStDlg.h"
#include "main/CXYDlg.h"
#include "main/CrosspointFile.h"
#include "main/FileAccess.h"
#include "main/LoadStatusLogic.h"
#include "maintenance/CCardsDlg.h"
#include "maintenance/CDevIDDlg.h"
#include "maintenance/CDevLANDlg.h"
#include "maintenance/CDevPsuCfgDlg.h"
#include "maintenance/CFlashDlg.h"
#include "maintenance/CTimeDlg.h"
#include "panel/C450DornDlg.h"
#include "panel/CInpStDlg.h"
#include "settings/CHWConfDlg.h"
#include "settings/CSettingsDlg.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace velmar {

namespace {

constexpr const char* kAboutTitle = "About Velmar";
constexpr const char* kAboutText = "Velmar Version ";

QLineEdit* statusField(const QString& objectName) {
    auto* field = new QLineEdit;
    field->setObjectName(objectName);
    field->setReadOnly(true);
    field->setFocusPolicy(Qt::NoFocus);
    field->setEnabled(false);
    field->setMinimumWidth(90);
    return field;
}

void showField(QLineEdit* widget, const StatusField& field) {
    // Only what changed is touched: a style sheet change restyles the widget,
    // and a frame may send status messages by the thousand.
    const QString text = qs(field.text);
    if (widget->text() != text)
        widget->setText(text);
    if (widget->isEnabled() != field.enabled)
        widget->setEnabled(field.enabled);
    const bool red = !widget->styleSheet().isEmpty();
    if (red != field.red) {
        // Black on red for a field that needs the operator's eye.
        widget->setStyleSheet(
            field.red ? QStringLiteral("QLineEdit { color: black; background: rgb(255, 0, 0); }")
                      : QString());
    }
}

} // namespace

CZarvoDlg::CZarvoDlg(StartupOptions options, QSettings& profile, DiscoveryPorts ports,
                     QWidget* parent)
    : QMainWindow(parent), m_options(options), m_profile(profile), m_ports(ports),
      m_timerHost([this](int id) { onTimer(id); }), m_engine(*this, *this, *this, *this),
      m_burst(*this, m_engine),
      m_grid(m_engine.state(), m_engine, *this, m_burst,
             [this](const QString& text) { statusBar()->showMessage(text); }),
      m_panel(m_engine.state(), m_grid.journal(), *this, m_burst),
      m_crosspoints(m_engine.state(), m_grid.journal(), *this, m_burst), m_menuHost(*this),
      m_commands(m_engine.state(), m_engine, *this, *this, m_burst, m_menuHost) {
    m_engine.setBurstStop([this] { m_burst.stop(); });
    m_engine.setRestartCommand([this] { m_commands.restart(); });
    buildWidgets();
    buildStatusBar();
    buildEventLog();
    m_engine.setStartupFlags(options.telnet, options.xy, options.service);
    m_engine.setReadLabelsInBackground(true); // the lists and the grid show them
    m_engine.initialise();
    restoreLayout();

    m_worker = std::make_unique<CUDPSocketThread>(m_replies, m_ports.replyPort);
    connect(
        m_worker.get(), &CUDPSocketThread::replyQueued, this,
        [this] { startTimer(kTimerDiscoveryQueue, 200); }, Qt::QueuedConnection);
    m_worker->start();
    // Replies on loopback come back within microseconds: the socket must be
    // bound before the first search goes out.
    m_worker->waitUntilBound(1000);
    refresh();
}

CZarvoDlg::~CZarvoDlg() {
    closeLinkDialogs(this); // they use the engine, which goes before its children
    if (m_socket) {
        m_socket->close();
        delete m_socket;
    }
    if (m_worker)
        m_worker->stop(100);
}

// ---- widgets ----

void CZarvoDlg::buildWidgets() {
    buildMenus();

    // Left: the frames and the connected one's status. Right: its crosspoints.
    auto* leftSide = new QWidget;
    auto* left = new QVBoxLayout(leftSide);
    left->setContentsMargins(0, 0, 0, 0);
    left->addWidget(buildDeviceGroup(), 1);
    left->addWidget(buildStatusGroup());
    m_listSplitter = new QSplitter(Qt::Vertical);
    m_listSplitter->setObjectName(QStringLiteral("listSplitter"));
    m_listSplitter->setChildrenCollapsible(false);
    m_listSplitter->addWidget(buildControlGroup());
    m_listSplitter->addWidget(buildCrosspointGroup());
    // The routes are what the operator reads most: the list gets the larger share.
    m_listSplitter->setStretchFactor(0, 2);
    m_listSplitter->setStretchFactor(1, 3);
    // The grid is a second view of the same crosspoints, beside the lists.
    auto* views = new QTabWidget;
    views->setObjectName(QStringLiteral("crosspointViews"));
    views->addTab(m_listSplitter, QStringLiteral("Lists"));
    m_grid.addTab(views, &m_profile);
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("mainSplitter"));
    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(leftSide);
    m_splitter->addWidget(views);
    m_splitter->setStretchFactor(0, 2);
    m_splitter->setStretchFactor(1, 3);
    setCentralWidget(m_splitter);
    setCrosspointControlsEnabled(false);
}

void CZarvoDlg::buildMenus() {
    auto* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("fileMenu"));
    QAction* quit = file->addAction(QStringLiteral("&Quit"));
    quit->setObjectName(QStringLiteral("quitAction"));
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, this, &QWidget::close);

    m_grid.addEditMenu(menuBar());

    // The connected frame's commands, by the same rules as the list's popup.
    // Alt+D is the "&Disconnect" button's, Alt+E the Edit menu's.
    m_frameMenu = menuBar()->addMenu(QStringLiteral("Dev&ice"));
    m_frameMenu->setObjectName(QStringLiteral("deviceMenu"));
    connect(m_frameMenu, &QMenu::aboutToShow, this, [this] {
        m_frameMenu->clear();
        const MenuRow kind = m_engine.state().connected ? MenuRow::Connected : MenuRow::None;
        fillDeviceMenu(*m_frameMenu,
                       buildDeviceMenu(deviceMenuInputs(m_engine.state(), kind, false)));
    });
    connect(m_frameMenu, &QMenu::triggered, this, [this](QAction* action) {
        const MenuRow kind = m_engine.state().connected ? MenuRow::Connected : MenuRow::None;
        m_menuRow = -1; // the connected frame, whatever row is selected
        m_commands.execute(action->data().toInt(), kind, -1);
    });

    auto* maintenance = menuBar()->addMenu(QStringLiteral("&Maintenance"));
    QAction* join = maintenance->addAction(QStringLiteral("Save all flash file ..."));
    join->setObjectName(QStringLiteral("saveAllFlashAction"));
    connect(join, &QAction::triggered, this, [this] { runFlashJoin(this); });
    QAction* psuFan = maintenance->addAction(QStringLiteral("PSU and FAN configuration ..."));
    psuFan->setObjectName(QStringLiteral("psuFanAction"));
    connect(psuFan, &QAction::triggered, this,
            [this] { openAdminDialog(admincmd::kPsuFanConfiguration); });
    QAction* dump = maintenance->addAction(QStringLiteral("Save module HW/SW dump ..."));
    dump->setObjectName(QStringLiteral("moduleDumpAction"));
    connect(dump, &QAction::triggered, this, [this] { openAdminDialog(admincmd::kModuleDump); });
    // Both need the connected frame's state.
    connect(maintenance, &QMenu::aboutToShow, this, [this, psuFan, dump] {
        psuFan->setEnabled(m_engine.state().connected);
        dump->setEnabled(CCardsLogic::unavailableReason(m_engine.state()).empty());
    });
    auto* help = menuBar()->addMenu(QStringLiteral("&Help"));
    QAction* about = help->addAction(QStringLiteral("&About Velmar..."));
    about->setObjectName(QStringLiteral("aboutAction"));
    connect(about, &QAction::triggered, this, &CZarvoDlg::showAbout);
}

namespace {
constexpr const char* kLayoutGroup = "Window";
constexpr const char* kLayoutKeys[] = {"geometry",     "state",         "splitter",
                                       "listSplitter", "deviceColumns", "crosspointColumns"};
} // namespace

void CZarvoDlg::restoreLayout() {
    m_profile.beginGroup(QLatin1String(kLayoutGroup));
    const QByteArray geometry = m_profile.value(QLatin1String(kLayoutKeys[0])).toByteArray();
    const QByteArray state = m_profile.value(QLatin1String(kLayoutKeys[1])).toByteArray();
    const QByteArray splitter = m_profile.value(QLatin1String(kLayoutKeys[2])).toByteArray();
    const QByteArray lists = m_profile.value(QLatin1String(kLayoutKeys[3])).toByteArray();
    const QByteArray devices = m_profile.value(QLatin1String(kLayoutKeys[4])).toByteArray();
    const QByteArray crosspoints = m_profile.value(QLatin1String(kLayoutKeys[5])).toByteArray();
    m_profile.endGroup();
    if (geometry.isEmpty() || !restoreGeometry(geometry)) {
        // First start: most of the screen, so the lists show the routes and
        // not three rows of them.
        const QScreen* screen = this->screen() ? this->screen() : QApplication::primaryScreen();
        const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1000, 640);
        const QSize size(std::min(available.width(), std::max(1000, available.width() * 9 / 10)),
                         std::min(available.height(), std::max(640, available.height() * 9 / 10)));
        resize(size);
        move(available.center() - QPoint(size.width() / 2, size.height() / 2));
        // The event log below takes a fifth; the routes get the rest.
        resizeDocks({m_eventLog}, {size.height() / 5}, Qt::Vertical);
    }
    if (!state.isEmpty())
        restoreState(state);
    if (!splitter.isEmpty())
        m_splitter->restoreState(splitter);
    if (!lists.isEmpty())
        m_listSplitter->restoreState(lists);
    if (!devices.isEmpty())
        m_deviceView->horizontalHeader()->restoreState(devices);
    if (!crosspoints.isEmpty())
        m_crosspointView->horizontalHeader()->restoreState(crosspoints);
}

void CZarvoDlg::saveLayout() {
    m_profile.beginGroup(QLatin1String(kLayoutGroup));
    m_profile.setValue(QLatin1String(kLayoutKeys[0]), saveGeometry());
    m_profile.setValue(QLatin1String(kLayoutKeys[1]), saveState());
    m_profile.setValue(QLatin1String(kLayoutKeys[2]), m_splitter->saveState());
    m_profile.setValue(QLatin1String(kLayoutKeys[3]), m_listSplitter->saveState());
    m_profile.setValue(QLatin1String(kLayoutKeys[4]),
                       m_deviceView->horizontalHeader()->saveState());
    m_profile.setValue(QLatin1String(kLayoutKeys[5]),
                       m_crosspointView->horizontalHeader()->saveState());
    m_profile.endGroup();
}

QGroupBox* CZarvoDlg::buildDeviceGroup() {
    auto* group = new QGroupBox(QStringLiteral(" Device selection"));
    m_deviceModel = new CDeviceListModel(m_devices, this);
    m_deviceView = new CDeviceListView(*m_deviceModel);
    m_deviceView->setObjectName(QStringLiteral("deviceList"));
    // A double click, or Enter on the selected row, connects.
    connect(m_deviceView, &CDeviceListView::rowActivated, this, &CZarvoDlg::activateRow);
    connect(m_deviceView, &QTableView::customContextMenuRequested, this,
            &CZarvoDlg::showDeviceMenu);

    m_refreshButton = new QPushButton(QStringLiteral("&Refresh"));
    m_refreshButton->setObjectName(QStringLiteral("refreshButton"));
    m_settingsButton = new QPushButton(QStringLiteral("&Settings"));
    m_settingsButton->setObjectName(QStringLiteral("settingsButton"));
    m_settingsButton->setEnabled(false);
    m_addButton = new QPushButton(QStringLiteral("&Add device"));
    m_addButton->setObjectName(QStringLiteral("addDeviceButton"));
    connect(m_refreshButton, &QPushButton::clicked, this, &CZarvoDlg::refresh);
    connect(m_addButton, &QPushButton::clicked, this, &CZarvoDlg::addDevice);
    connect(m_settingsButton, &QPushButton::clicked, this, &CZarvoDlg::openSettingsDialog);

    m_checkAllButton = new QPushButton(QStringLiteral("Check &all"));
    m_checkAllButton->setObjectName(QStringLiteral("checkAllButton"));
    m_checkAllButton->setToolTip(QStringLiteral("Check the health of every listed frame"));
    connect(m_checkAllButton, &QPushButton::clicked, this, &CZarvoDlg::checkAllHealth);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_refreshButton);
    buttons->addWidget(m_checkAllButton);
    buttons->addWidget(m_settingsButton);
    buttons->addWidget(m_addButton);
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(m_deviceView, 1);
    layout->addLayout(buttons);
    return group;
}

QGroupBox* CZarvoDlg::buildStatusGroup() {
    auto* group = new QGroupBox(QStringLiteral(" Device status "));
    auto* grid = new QGridLayout(group);
    m_status.syncSource = statusField(QStringLiteral("syncSource"));
    m_status.sampleRate = statusField(QStringLiteral("sampleRate"));
    grid->addWidget(new QLabel(QStringLiteral("Sync source")), 0, 0);
    grid->addWidget(m_status.syncSource, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Sample rate")), 1, 0);
    grid->addWidget(m_status.sampleRate, 1, 1);
    // Power and cooling beside sync and rate: PSUs in one column, fans in the next.
    for (int i = 0; i < 2; ++i) {
        const QString name = QStringLiteral("PSU %1").arg(i + 1);
        m_status.psu[static_cast<std::size_t>(i)] = statusField(QStringLiteral("psu%1").arg(i + 1));
        grid->addWidget(new QLabel(name), i, 2);
        grid->addWidget(m_status.psu[static_cast<std::size_t>(i)], i, 3);
    }
    for (int i = 0; i < 3; ++i) {
        const QString name = QStringLiteral("FAN %1").arg(i + 1);
        m_status.fan[static_cast<std::size_t>(i)] = statusField(QStringLiteral("fan%1").arg(i + 1));
        grid->addWidget(new QLabel(name), i, 4);
        grid->addWidget(m_status.fan[static_cast<std::size_t>(i)], i, 5);
    }
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(3, 1);
    grid->setColumnStretch(5, 1);
    return group;
}

QGroupBox* CZarvoDlg::buildControlGroup() {
    auto* group = new QGroupBox(QStringLiteral(" Crosspoint control based on type "));
    auto* grid = new QGridLayout(group);
    const char* const sideNames[] = {"input", "output"};
    const char* const sideTitles[] = {"Input", "Output"};
    for (int side : {kSideInput, kSideOutput}) {
        const auto i = static_cast<std::size_t>(side);
        auto* chooser = new QComboBox;
        chooser->setObjectName(QStringLiteral("%1Type").arg(QLatin1String(sideNames[i])));
        auto* view = new QListView;
        view->setObjectName(QStringLiteral("%1Channels").arg(QLatin1String(sideNames[i])));
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setUniformItemSizes(true); // long lists lay out at once
        auto* model = new CChannelListModel(m_panel, side, this);
        view->setModel(model);
        m_typeChoosers[i] = chooser;
        m_channelViews[i] = view;
        m_channelModels[i] = model;
        connect(chooser, &QComboBox::currentIndexChanged, this, [this, side, model](int row) {
            if (row < 0)
                return;
            m_panel.selectType(side, row);
            model->reload();
        });
        grid->addWidget(new QLabel(QStringLiteral("%1 type").arg(QLatin1String(sideTitles[i]))), 0,
                        side * 2);
        grid->addWidget(chooser, 0, side * 2 + 1);
        grid->addWidget(view, 1, side * 2, 1, 2);
    }
    m_mono = new QRadioButton(QStringLiteral("Mono"));
    m_mono->setObjectName(QStringLiteral("mono"));
    m_stereo = new QRadioButton(QStringLiteral("Stereo"));
    m_stereo->setObjectName(QStringLiteral("stereo"));
    m_mono->setChecked(true);
    auto* monoStereo = new QButtonGroup(group);
    monoStereo->addButton(m_mono);
    monoStereo->addButton(m_stereo);
    connect(m_stereo, &QRadioButton::toggled, this, [this](bool stereo) {
        m_panel.setStereo(stereo);
        for (CChannelListModel* model : m_channelModels)
            model->reload();
    });

    m_connectButton = new QPushButton(QStringLiteral("&Connect"));
    m_connectButton->setObjectName(QStringLiteral("crosspointConnect"));
    m_disconnectButton = new QPushButton(QStringLiteral("&Disconnect"));
    m_disconnectButton->setObjectName(QStringLiteral("crosspointDisconnect"));
    m_loadButton = new QPushButton(QStringLiteral("&Load from file ..."));
    m_loadButton->setObjectName(QStringLiteral("loadCrosspoints"));
    m_saveButton = new QPushButton(QStringLiteral("Save &to file ...")); // Alt+F opens File
    m_saveButton->setObjectName(QStringLiteral("saveCrosspoints"));
    connect(m_connectButton, &QPushButton::clicked, this, [this] {
        m_grid.batch("Connect", [this] {
            m_panel.connectSelected(selectedRows(m_channelViews[0]),
                                    selectedRows(m_channelViews[1]));
        });
        if (!m_panel.notice().empty())
            statusMessage(m_panel.notice());
    });
    connect(m_disconnectButton, &QPushButton::clicked, this, [this] {
        m_grid.batch("Disconnect",
                     [this] { m_panel.disconnectSelected(selectedRows(m_channelViews[1])); });
        if (!m_panel.notice().empty())
            statusMessage(m_panel.notice());
    });
    connect(m_loadButton, &QPushButton::clicked, this, &CZarvoDlg::loadCrosspoints);
    connect(m_saveButton, &QPushButton::clicked, this, [this] { saveCrosspoints(false); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_mono);
    buttons->addWidget(m_stereo);
    buttons->addStretch(1);
    buttons->addWidget(m_connectButton);
    buttons->addWidget(m_disconnectButton);
    grid->addLayout(buttons, 2, 0, 1, 4);
    auto* files = new QHBoxLayout;
    files->addStretch(1);
    files->addWidget(m_loadButton);
    files->addWidget(m_saveButton);
    grid->addLayout(files, 3, 0, 1, 4);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    return group;
}

QGroupBox* CZarvoDlg::buildCrosspointGroup() {
    auto* group = new QGroupBox(QStringLiteral(" Crosspoint status (mono channels) "));
    m_crosspointModel = new CCrosspointModel(m_crosspoints, this);
    m_crosspointView = new QTableView;
    m_crosspointView->setObjectName(QStringLiteral("crosspointList"));
    m_crosspointView->setModel(m_crosspointModel);
    m_crosspointView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_crosspointView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_crosspointView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_crosspointView->setContextMenuPolicy(Qt::CustomContextMenu);
    m_crosspointView->setShowGrid(false);
    m_crosspointView->verticalHeader()->hide();
    m_crosspointView->verticalHeader()->setDefaultSectionSize(
        m_crosspointView->fontMetrics().height() + 4);
    m_crosspointView->horizontalHeader()->setSectionsClickable(true);
    m_crosspointView->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_crosspointView->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Fixed);
    m_crosspointView->setColumnWidth(0, 55);
    connect(m_crosspointView->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) {
                m_crosspoints.headerClicked(column);
                m_crosspointModel->refreshHeader();
            });
    connect(m_crosspointView, &QTableView::customContextMenuRequested, this,
            &CZarvoDlg::showCrosspointMenu);
    // What the list holds, so a range filter never hides rows unnoticed.
    m_crosspointSummary = new QLabel;
    m_crosspointSummary->setObjectName(QStringLiteral("crosspointSummary"));
    connect(m_crosspointModel, &QAbstractItemModel::modelReset, this,
            &CZarvoDlg::showCrosspointSummary);
    connect(m_crosspointModel, &QAbstractItemModel::rowsInserted, this,
            &CZarvoDlg::showCrosspointSummary);
    connect(m_crosspointModel, &QAbstractItemModel::rowsRemoved, this,
            &CZarvoDlg::showCrosspointSummary);
    connect(m_crosspointModel, &QAbstractItemModel::headerDataChanged, this,
            &CZarvoDlg::showCrosspointSummary);
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(m_crosspointSummary);
    layout->addWidget(m_crosspointView);
    showCrosspointSummary();
    return group;
}

void CZarvoDlg::buildStatusBar() {
    statusBar()->setObjectName(QStringLiteral("statusBar"));
    statusBar()->setSizeGripEnabled(true);
}

void CZarvoDlg::buildEventLog() {
    m_eventLog =
        new CEventLogPanel(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation), this);
    addDockWidget(Qt::BottomDockWidgetArea, m_eventLog);
    auto* view = new QMenu(QStringLiteral("&View"), this);
    view->addAction(m_eventLog->toggleViewAction());
    menuBar()->insertMenu(menuBar()->actions().value(menuBar()->actions().size() - 1), view);
    m_engine.setStateObserver(&m_eventLog->deriver());

    m_alarmStatus = new QLabel(this);
    m_alarmStatus->setObjectName(QStringLiteral("alarmStatus"));
    m_alarmStatus->setStyleSheet(
        QStringLiteral("QLabel { background: #c00000; color: white; padding: 0 4px; }"));
    m_alarmStatus->hide();
    statusBar()->addPermanentWidget(m_alarmStatus);
    connect(m_eventLog, &CEventLogPanel::alarmChanged, this, [this](const QString& text) {
        m_alarm = text;
        m_alarmStatus->setText(text);
        m_alarmStatus->setVisible(!text.isEmpty());
        showTitle();
    });
    connect(m_eventLog, &CEventLogPanel::logProblem, this,
            [this](const QString& text) { statusBar()->showMessage(text); });
}

void CZarvoDlg::checkAllHealth() {
    if (!m_healthCheck) {
        m_healthCheck = new CHealthCheck(this);
        connect(m_healthCheck, &CHealthCheck::checked, this, [this](int k) {
            const HealthReport& r = m_healthCheck->report(k);
            using Shade = CDeviceListModel::HealthShade;
            const Shade shade = r.verdict == HealthVerdict::Healthy   ? Shade::Good
                                : r.verdict == HealthVerdict::Warning ? Shade::Warning
                                                                      : Shade::Bad;
            QString why;
            for (const std::string& p : r.problems)
                why += (why.isEmpty() ? QString() : QStringLiteral("; ")) + qs(p);
            if (const std::optional<Ipv4Address> a = parseIpv4(r.frame.address))
                m_deviceModel->setHealth(*a, qs(healthTitle(r)), shade, why);
        });
        connect(m_healthCheck, &CHealthCheck::finished, this, [this] {
            m_checkAllButton->setEnabled(true);
            int bad = 0;
            for (const HealthReport& r : m_healthCheck->reports())
                bad += r.verdict != HealthVerdict::Healthy ? 1 : 0;
            const int all = static_cast<int>(m_healthCheck->reports().size());
            statusBar()->showMessage(
                bad == 0
                    ? QStringLiteral("Health: all %1 frames OK").arg(all)
                    : QStringLiteral("Health: %1 of %2 frames need attention").arg(bad).arg(all));
        });
    }
    std::vector<CtlTarget> targets;
    for (const KnownDevice& d : m_devices.rows())
        targets.push_back({d.address, d.type});
    if (targets.empty()) {
        statusBar()->showMessage(QStringLiteral("Health: no frame is listed; search first"));
        return;
    }
    m_deviceModel->clearHealth();
    CHealthCheck::Options options;
    options.framePort = m_ports.framePort;
    if (!m_healthCheck->start(std::move(targets), options))
        return;
    m_checkAllButton->setEnabled(false);
    statusBar()->showMessage(QStringLiteral("Checking the health of %1 frames ...")
                                 .arg(static_cast<int>(m_healthCheck->targets().size())));
}

void CZarvoDlg::showTitle() {
    setWindowTitle(m_alarm.isEmpty() ? m_title : m_title + QStringLiteral(" - ") + m_alarm);
}

void CZarvoDlg::showCrosspointSummary() {
    const QString text = qs(m_crosspoints.summary());
    m_crosspointSummary->setText(text);
    m_crosspointView->horizontalHeader()->setToolTip(text);
}

void CZarvoDlg::showAbout() {
    QMessageBox::about(this, QString::fromLatin1(kAboutTitle),
                       QString::fromLatin1(kAboutText) + qs(kVersion));
}

// ---- device list ----

std::optional<Ipv4Address> CZarvoDlg::connectedAddress() const {
    const DeviceState& s = m_engine.state();
    if (!s.connected)
        return std::nullopt;
    return s.deviceAddress;
}

void CZarvoDlg::listChanged() {
    m_deviceModel->reload();
    m_deviceModel->setConnectedAddress(connectedAddress());
}

namespace {
// Search replies that never reached the list: dropped by the system, or
// turned away by a full hand-over queue.
quint64 lostSearchReplies(const CUDPSocketThread* worker, const CReplyQueue& queue) {
    return (worker ? worker->droppedDatagrams().value_or(0) : 0) + queue.lost();
}
} // namespace

void CZarvoDlg::refresh() {
    // The rows stay in place; those whose frames stay silent go when the
    // search is over (loadSavedEntries).
    m_devices.beginSearch();
    m_dropsAtSearch = lostSearchReplies(m_worker.get(), m_replies);
    m_searchNote.clear();
    listChanged();
    CDiscovery::search(m_ports.framePort);
    startTimer(kTimerDeviceList, 600);
}

void CZarvoDlg::drainDiscoveryQueue() {
    bool changed = false;
    bool disconnect = false;
    for (const std::string& text : m_replies.drain()) {
        const auto outcome =
            m_devices.addRowFromText(text, CDeviceList::Source::SearchReply, connectedAddress());
        changed = changed || outcome.changed;
        disconnect = disconnect || outcome.disconnect;
    }
    if (changed)
        listChanged();
    const quint64 drops = lostSearchReplies(m_worker.get(), m_replies);
    const std::string note = CDeviceList::searchNote(
        m_devices.unlistedCount(), drops > m_dropsAtSearch ? drops - m_dropsAtSearch : 0);
    if (note != m_searchNote && !note.empty())
        statusBar()->showMessage(qs(note));
    m_searchNote = note;
    // The connected frame announced itself anew: it restarted or changed.
    if (disconnect)
        m_engine.onFrameAnnounced();
}

void CZarvoDlg::loadSavedEntries() {
    drainDiscoveryQueue(); // late replies first, so their rows keep their places
    if (m_devices.pruneUnanswered(connectedAddress()))
        listChanged();
    CQtProfileStore store(m_profile);
    m_devices.loadSaved(store, connectedAddress());
    listChanged();
}

void CZarvoDlg::addDevice() {
    CAddDevDlg dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const std::string text = dialog.address().toStdString();
    CQtProfileStore store(m_profile);
    const auto probe = [this](std::string_view address) {
        return CDiscovery::echoProbe(qs(address), 1000, m_ports.framePort);
    };
    const CDeviceList::AddDevice result = m_devices.addDevice(text, probe, store);
    if (result == CDeviceList::AddDevice::Added)
        startTimer(kTimerDeviceList, 100);
    const std::string message = CDeviceList::addDeviceMessage(result, text);
    if (!message.empty())
        showMessage(message);
}

void CZarvoDlg::connectToRow(int row) {
    if (row < 0 || row >= static_cast<int>(m_devices.rows().size()))
        return;
    const KnownDevice device = m_devices.rows()[static_cast<std::size_t>(row)];
    if (device.addressValue && device.addressValue == connectedAddress())
        return; // already connected to it
    m_engine.selectDevice(bareAddress(device.address), device.address, device.type, device.name);
}

void CZarvoDlg::activateRow(int row) {
    if (row < 0 || row >= static_cast<int>(m_devices.rows().size()))
        return;
    const KnownDevice device = m_devices.rows()[static_cast<std::size_t>(row)];
    if (m_engine.state().connected && device.addressValue != connectedAddress()) {
        // A stray double click must not take a frame off the operator's hands.
        if (!askYesNo(switchFrameQuestion(m_engine.frameLabel(), device.name,
                                          bareAddress(device.address))))
            return;
        // The list may have changed while the question was open.
        if (device.addressValue)
            row = m_devices.findRow(*device.addressValue);
    }
    connectToRow(row);
}

void CZarvoDlg::closeConnection() { m_engine.disconnect(); }

void CZarvoDlg::removeRow(int row) {
    if (m_devices.removeFromList(row))
        listChanged();
}

void CZarvoDlg::showDeviceMenu(const QPoint& pos) {
    const int row = m_deviceView->rowAt(pos);
    MenuRow kind = MenuRow::None;
    if (row >= 0) {
        const bool connectedRow =
            m_devices.rows()[static_cast<std::size_t>(row)].addressValue == connectedAddress();
        kind = connectedRow ? MenuRow::Connected : MenuRow::Other;
    }
    const std::vector<MenuItem> items = buildDeviceMenu(deviceMenuInputs(
        m_engine.state(), kind, kind == MenuRow::Other && m_devices.canRemove(row)));
    QMenu menu(this);
    fillDeviceMenu(menu, items);
    // The popup opens a little to the right of the cursor.
    QAction* chosen = menu.exec(m_deviceView->viewport()->mapToGlobal(pos + QPoint(5, 0)));
    m_menuRow = row;
    if (chosen)
        m_commands.execute(chosen->data().toInt(), kind, row);
}

void CZarvoDlg::fillDeviceMenu(QMenu& menu, const std::vector<MenuItem>& items) const {
    for (const MenuItem& item : items) {
        if (item.separator()) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(qs(item.text));
        action->setData(item.id);
        action->setEnabled(item.enabled);
    }
}

void CZarvoDlg::MenuHost::removeConnectedRow() {
    const std::optional<Ipv4Address> address = m_window.connectedAddress();
    if (!address)
        return;
    if (m_window.m_devices.deleteRow(m_window.m_devices.findRow(*address)))
        m_window.listChanged();
}

void CZarvoDlg::MenuHost::openDialog(int commandId) {
    if (commandId == devcmd::kXyControl)
        m_window.openXyDialog();
    else if (commandId == devcmd::kHwConfiguration)
        m_window.openHwConfDialog();
    else if (commandId == devcmd::kManualIpRouting || commandId == devcmd::kAutoIpRouting ||
             commandId == devcmd::kPpmStreams)
        m_window.openIpRoutingDialog(commandId);
    else if (commandId == devcmd::kChannelLabels) {
        runChannelLabelsDialog(m_window.m_engine, m_window, &m_window);
        m_window.crosspointListChanged(); // the lists show the new labels
    } else if (commandId == devcmd::kGainSettings)
        runGainDialog(m_window.m_engine, m_window, &m_window);
    else if (commandId == devcmd::kLevelDetectors)
        runLevelDetectorDialog(m_window.m_engine, m_window, &m_window);
    else if (commandId == devcmd::kFirmwareUpdate)
        runFlashDialog(m_window.m_engine, &m_window, [this] {
            removeConnectedRow();
            m_window.closeConnection();
        });
    else if (commandId == devcmd::kKeySettings)
        runPanelUnitDialog(m_window.m_engine, m_window, &m_window);
    else if (commandId == devcmd::kInputStatus)
        showInputStatusDialog(m_window.m_engine, &m_window);
    else if (commandId == devcmd::kNetworkSettings)
        m_window.openNetworkSettings(m_window.m_menuRow);
    else
        m_window.openAdminDialog(commandId);
}

void CZarvoDlg::openNetworkSettings(int row) {
    const bool listed = row >= 0 && row < static_cast<int>(m_devices.rows().size());
    const std::optional<NetworkTarget> target = networkTargetFor(
        m_engine.state(), listed ? &m_devices.rows()[static_cast<std::size_t>(row)] : nullptr,
        listed ? row : -1);
    if (!target)
        return;
    if (target->kind == NetworkTarget::Kind::Discovered) {
        // Another frame, reached over UDP: the link's end does not concern it.
        QTimer::singleShot(0, this, [] {
            if (QWidget* dialog = QApplication::activeModalWidget())
                dialog->setProperty(kLinkIndependentProperty, true);
        });
    }
    const NetworkDialogResult result = runNetworkDialog(m_engine, *target, this);
    if (result.setAddress) {
        // The frame leaves its old address: its row goes, and a search a
        // moment later finds it at the new one.
        if (m_devices.deleteRow(m_devices.findRow(target->address)))
            listChanged();
        if (CDiscovery::sendSetAddress(*result.setAddress, m_ports.framePort) == 0)
            statusMessage("The new network settings could not be sent on any adapter.");
        else
            statusMessage(result.status);
        QTimer::singleShot(kSearchAfterReaddressMs, this, &CZarvoDlg::refresh);
    } else if (!result.status.empty()) {
        statusMessage(result.status);
    }
}

void CZarvoDlg::openAdminDialog(int commandId) {
    std::string status;
    if (commandId == devcmd::kIdSettings)
        status = runIdDialog(m_engine, this);
    else if (commandId == devcmd::kOperationalTime)
        runTimeDialog(m_engine, this);
    else if (commandId == admincmd::kPsuFanConfiguration)
        status = runPsuFanDialog(m_engine, this);
    else if (commandId == admincmd::kModuleDump)
        status = runModuleDump(m_engine, this);
    if (!status.empty())
        statusMessage(status);
}

void CZarvoDlg::openIpRoutingDialog(int commandId) {
    // The flow dialog refuses destinations that are frames of the device list.
    std::vector<std::string> listed;
    for (const KnownDevice& row : m_devices.rows())
        listed.emplace_back(bareAddress(row.address));
    if (commandId == devcmd::kManualIpRouting)
        runFlowDialog(m_engine, *this, std::move(listed), this);
    else if (commandId == devcmd::kAutoIpRouting)
        runAutoIpDialog(m_engine, *this, this);
    else if (commandId == devcmd::kPpmStreams)
        runPpmDialog(m_engine, *this, this);
}

void CZarvoDlg::openHwConfDialog() { runHwConfDialog(m_engine, *this, this); }

void CZarvoDlg::openSettingsDialog() {
    if (m_engine.settingsEnabled())
        runSettingsDialog(m_engine, this);
}

void CZarvoDlg::openXyDialog() {
    CXyControl logic(m_engine.state(), m_engine, *this, m_burst);
    CXYDlg dialog(logic, this);
    // Registered while it runs, so the frame's replies reach its response fields.
    const CScopedDialogSlot registered(m_engine.dialogs().xyControl, &dialog);
    dialog.exec();
}

// ---- crosspoints ----

std::vector<int> CZarvoDlg::selectedRows(QListView* view) const {
    std::vector<int> rows;
    const QModelIndexList selected = view->selectionModel()->selectedIndexes();
    rows.reserve(static_cast<std::size_t>(selected.size()));
    for (const QModelIndex& index : selected)
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end()); // in list order, as the lists show them
    return rows;
}

std::vector<int> CZarvoDlg::selectedCrosspointRows() const {
    std::vector<int> rows;
    const QModelIndexList selected = m_crosspointView->selectionModel()->selectedRows();
    for (const QModelIndex& index : selected)
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CZarvoDlg::reloadPanel() {
    for (int side : {kSideInput, kSideOutput}) {
        const auto i = static_cast<std::size_t>(side);
        QComboBox* chooser = m_typeChoosers[i];
        const QSignalBlocker block(chooser);
        chooser->clear();
        for (const TypeEntry& entry : m_panel.typeList(side))
            chooser->addItem(qs(entry.text), entry.type);
        chooser->setCurrentIndex(m_panel.selectedTypeRow(side));
        m_channelModels[i]->reload();
    }
}

void CZarvoDlg::setCrosspointControlsEnabled(bool enabled) {
    for (QWidget* w :
         {static_cast<QWidget*>(m_typeChoosers[0]), static_cast<QWidget*>(m_typeChoosers[1]),
          static_cast<QWidget*>(m_channelViews[0]), static_cast<QWidget*>(m_channelViews[1]),
          static_cast<QWidget*>(m_mono), static_cast<QWidget*>(m_stereo),
          static_cast<QWidget*>(m_connectButton), static_cast<QWidget*>(m_disconnectButton),
          static_cast<QWidget*>(m_loadButton), static_cast<QWidget*>(m_saveButton)})
        w->setEnabled(enabled);
}

void CZarvoDlg::showCrosspointMenu(const QPoint& pos) {
    const std::vector<int> rows = selectedCrosspointRows();
    if (!m_crosspoints.menuAvailable(rows))
        return;
    QMenu menu(this);
    QAction* disconnect = menu.addAction(qs(kMenuDisconnect));
    QAction* save = menu.addAction(qs(kMenuSaveToFile));
    QAction* chosen = menu.exec(m_crosspointView->viewport()->mapToGlobal(pos));
    if (chosen == disconnect)
        m_grid.batch("Disconnect selected", [&] { m_crosspoints.disconnectSelectedRows(rows); });
    else if (chosen == save)
        saveCrosspoints(true);
}

namespace {
const QStringList kCrosspointFilters{QStringLiteral("Crosspoint status (*.xpt)"),
                                     QStringLiteral("All Files (*)")};
} // namespace

void CZarvoDlg::saveCrosspoints(bool selectedOnly) {
    if (!crosspointFilesAvailable(m_engine.state()))
        return;
    const QString path = askFilePath(this, FileDialogKind::Save,
                                     qs(selectedOnly ? xpt::kSaveSelectedTitle : xpt::kSaveTitle),
                                     kCrosspointFilters, QStringLiteral("xpt"));
    if (!path.isEmpty())
        saveCrosspointsTo(path, selectedOnly);
}

void CZarvoDlg::saveCrosspointsTo(const QString& path, bool selectedOnly) {
    if (path.isEmpty() || !crosspointFilesAvailable(m_engine.state()))
        return;
    // An output the frame never answered for reads as unrouted: a file saved
    // now would silently lack its route.
    if (!m_engine.state().crosspointsRead()) {
        showMessage("The frame has not reported the routes of all its outputs. Nothing was saved.");
        return;
    }
    const std::string text =
        selectedOnly
            ? writeSelectedCrosspoints(m_engine.state(), m_crosspoints, selectedCrosspointRows())
            : writeCrosspointStatus(m_engine.state(), m_crosspoints);
    if (const std::string why = writeFileAtomically(path, text); !why.empty()) {
        showMessage(asSentence(why));
        return;
    }
    statusBar()->showMessage((selectedOnly ? QStringLiteral("Selected crosspoints saved to ")
                                           : QStringLiteral("Crosspoint status saved to ")) +
                             QDir::toNativeSeparators(path));
}

void CZarvoDlg::loadCrosspoints() {
    if (!crosspointFilesAvailable(m_engine.state()))
        return;
    const QString path = askFilePath(this, FileDialogKind::Open, qs(xpt::kOpenTitle),
                                     kCrosspointFilters, QStringLiteral("xpt"));
    if (!path.isEmpty())
        loadCrosspointsFrom(path);
}

void CZarvoDlg::loadCrosspointsFrom(const QString& path) {
    if (!crosspointFilesAvailable(m_engine.state()))
        return;
    const FileReadResult file = readFileBounded(path, kMaxCrosspointFileBytes);
    if (!file.ok()) {
        showMessage(asSentence(file.error));
        return;
    }
    const std::string shownPath = QDir::toNativeSeparators(path).toStdString();
    const CLoadStatusLogic logic(shownPath, file.bytes, m_engine.state().crosspointCount());
    if (!logic.refusal().empty()) {
        showMessage(shownPath + " " + logic.refusal() + ". Nothing was sent.");
        return;
    }
    CLoadStDlg dialog(logic, this);
    if (dialog.exec() == QDialog::Accepted)
        m_grid.batch("file load",
                     [&] { logic.confirm(m_engine.state(), m_burst, m_grid.journal()); });
}

// ---- timers ----

void CZarvoDlg::startTimer(int id, int periodMs) { m_timerHost.startTimer(id, periodMs); }

void CZarvoDlg::stopTimer(int id) { m_timerHost.stopTimer(id); }

void CZarvoDlg::onTimer(int id) {
    if (m_engine.onTimer(id))
        return;
    switch (id) {
    case kTimerXyBurst: m_burst.onTick(); break;
    case kTimerDiscoveryQueue:
    case kTimerDeviceList:
        if (m_opening) {
            // The list must not change under a connect that is waiting for
            // its frame; look again once it has settled.
            startTimer(id, kDeferWhileOpeningMs);
            break;
        }
        stopTimer(id);
        if (id == kTimerDiscoveryQueue)
            drainDiscoveryQueue();
        else
            loadSavedEntries();
        break;
    default: stopTimer(id); break; // nothing else runs these yet
    }
}

// ---- link ----

int CZarvoDlg::open(std::string_view address, int port, bool probeFirst) {
    // The probe and the connect wait in local event loops; the device list
    // must not change under the engine meanwhile (see onTimer).
    const QScopedValueRollback opening(m_opening, true);
    const QString host = qs(address);
    if (probeFirst && !CDiscovery::echoProbe(host, 1000, m_ports.framePort))
        return 1;
    auto* socket = new CZarvoSocket(*this, this);
    const int result = socket->connectTo(host, static_cast<quint16>(port));
    if (result != 0) {
        delete socket;
        return result;
    }
    connect(socket, &CZarvoSocket::peerClosed, this,
            [this, socket] { m_engine.onLinkLost(socket->lossCause()); });
    m_socket = socket;
    return 0;
}

void CZarvoDlg::close() {
    if (!m_socket)
        return;
    // This may run from inside the socket's own read handler: let it unwind first.
    m_socket->close();
    m_socket->deleteLater();
    m_socket = nullptr;
}

void CZarvoDlg::send(const DeviceMessage& message) {
    if (m_socket)
        m_socket->send(message);
}

bool CZarvoDlg::receiving() const { return m_engine.receiving(); }

void CZarvoDlg::onDataReceived() { m_engine.onDataReceived(); }

void CZarvoDlg::onMessage(const DeviceMessage& message, bool isReply) {
    if (m_socket) {
        m_engine.onMessage(message, isReply, m_socket->receiver().decoder());
        m_grid.onMessage(message, isReply);
    }
}

void CZarvoDlg::sendRaw(const DeviceMessage& message) { m_engine.sendRaw(message); }

// ---- operator ----

void CZarvoDlg::showMessage(std::string_view text) {
    QMessageBox box(QMessageBox::Warning, windowTitle(), qs(text), QMessageBox::Ok, this);
    box.exec();
}

bool CZarvoDlg::askYesNo(std::string_view text) {
    QMessageBox box(QMessageBox::Question, windowTitle(), qs(text),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

bool CZarvoDlg::askYesNo(std::string_view title, std::string_view text) {
    QMessageBox box(QMessageBox::Question, title.empty() ? windowTitle() : qs(title), qs(text),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

// ---- view ----

void CZarvoDlg::titleChanged(std::string_view title) {
    m_title = qs(title);
    showTitle();
}

void CZarvoDlg::statusFieldsChanged(const StatusFields& fields) {
    // A burst of status messages is drawn once, when the burst has been read.
    m_pendingStatus = fields;
    if (!m_statusQueued) {
        m_statusQueued = true;
        QTimer::singleShot(0, this, &CZarvoDlg::showStatusFields);
    }
}

void CZarvoDlg::showStatusFields() {
    m_statusQueued = false;
    const StatusFields& fields = m_pendingStatus;
    showField(m_status.syncSource, fields.syncSource);
    showField(m_status.sampleRate, fields.sampleRate);
    for (std::size_t i = 0; i < 2; ++i)
        showField(m_status.psu[i], fields.psu[i]);
    for (std::size_t i = 0; i < 3; ++i)
        showField(m_status.fan[i], fields.fan[i]);
}

void CZarvoDlg::settingsEnabledChanged(bool enabled) { m_settingsButton->setEnabled(enabled); }

void CZarvoDlg::crosspointControlsEnabledChanged(bool enabled) {
    setCrosspointControlsEnabled(enabled);
}

void CZarvoDlg::crosspointListCleared() {
    m_crosspoints.clear();
    m_crosspointModel->refreshHeader(); // another frame starts with "ALL"
    m_panel.clear();
    reloadPanel();
    m_grid.cleared();
}

void CZarvoDlg::rebuildCrosspointTypeLists() {
    m_panel.rebuildTypeLists();
    reloadPanel();
    m_grid.typesChanged();
}

void CZarvoDlg::crosspointRowChanged(int output) {
    m_crosspoints.redrawOutput(output);
    m_grid.crosspointChanged();
}

void CZarvoDlg::crosspointListChanged() {
    m_crosspoints.redrawAll(kSortByOutput);
    m_grid.crosspointChanged();
}

void CZarvoDlg::ipFlowListChanged(bool outputs) {
    const int side = outputs ? kSideOutput : kSideInput;
    if (m_panel.refreshIpLists(side))
        m_channelModels[static_cast<std::size_t>(side)]->reload();
}

void CZarvoDlg::inputOutputSelectionCleared() {
    for (QListView* view : m_channelViews)
        view->clearSelection();
}

void CZarvoDlg::statusMessage(std::string_view text) { statusBar()->showMessage(qs(text)); }

void CZarvoDlg::deviceOffline(std::string_view address) {
    if (const auto a = parseIpv4(address); a && m_devices.setOffline(*a, true))
        listChanged();
}

// The connect button stays hidden: connecting is done from the list.
void CZarvoDlg::connectButtonTextChanged(std::string_view text) {
    markLinkDialogs(text == "Connect");
}

void CZarvoDlg::markLinkDialogs(bool linkEnded) {
    const QString notice = qs(m_engine.linkEndedNotice());
    const QList<QDialog*> dialogs = findChildren<QDialog*>();
    for (QDialog* dialog : dialogs) {
        // Questions and file choosers come and go with their own answers.
        if (qobject_cast<QMessageBox*>(dialog) || qobject_cast<QFileDialog*>(dialog) ||
            dialog->property(kLinkIndependentProperty).toBool())
            continue;
        if (!linkEnded)
            clearLinkLost(dialog);
        else if (dialog->isVisible())
            showLinkLost(dialog, notice);
    }
    // The input status dialog outlives links: a new one starts from "?", not
    // from the last frame's status.
    if (!linkEnded && m_engine.dialogs().signalInputStatus != nullptr)
        m_engine.dialogs().signalInputStatus->refreshAll();
}

void CZarvoDlg::deviceListReset() {
    // A frame that could be connected again is reachable, whatever a search said.
    if (const auto a = connectedAddress(); a && m_devices.setOffline(*a, false))
        m_deviceModel->reload();
    m_deviceView->clearSelection();
    m_deviceModel->setConnectedAddress(connectedAddress());
    m_deviceView->viewport()->update();
}

void CZarvoDlg::deviceRowInfoChanged(std::string_view address, std::string_view model,
                                     std::string_view serialNumber) {
    if (const auto a = parseIpv4(address); a && m_devices.refreshRow(*a, model, serialNumber))
        listChanged();
}

void CZarvoDlg::deviceRowIdentityChanged(std::string_view address, int id, std::string_view name) {
    if (const auto a = parseIpv4(address); a && m_devices.refreshIdentity(*a, id, name))
        listChanged();
}

// ---- end ----

void CZarvoDlg::closeEvent(QCloseEvent* event) {
    saveLayout();
    stopTimer(kTimerAlive);
    stopTimer(kTimerXyBurst);
    stopTimer(kTimerDeviceList);
    CQtProfileStore store(m_profile);
    m_devices.saveSaved(store);
    m_profile.sync();
    event->accept();
}

} // namespace velmar
