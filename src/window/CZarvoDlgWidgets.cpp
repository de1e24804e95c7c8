// The main window's widgets, menus and layout: how it is built, and how its
// size, splitters and columns are kept in the profile.
#include "window/CZarvoDlg.h"

#include "VelmarVersion.h"
#include "controls/LinkLostBanner.h"
#include "session/CHealthCheck.h"
#include "events/CEventLogPanel.h"
#include "link/Ipv4.h"
#include "link/QtText.h"
#include "window/CCrosspointModels.h"
#include "maintenance/MaintenanceDialogs.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
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
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
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
} // namespace

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

    addMaintenanceMenu(*menuBar(), m_engine, [this](int id) { openDialog(id); });
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

} // namespace velmar
