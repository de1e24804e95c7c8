#include "main/CZarvoDlg.h"

#include "link/CAddDevDlg.h"
#include "link/CDiscovery.h"
#include "link/CQtProfileStore.h"
#include "link/CUDPSocketThread.h"
#include "link/CZarvoSocket.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace velmar {

namespace {

QString qs(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

constexpr const char* kAboutTitle = "About Velmar";
constexpr const char* kAboutText = "Velmar Version 2.0.0.0";

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
        widget->setStyleSheet(field.red ? QStringLiteral("QLineEdit { color: black; background: rgb(255, 0, 0); }")
                                        : QString());
    }
}

} // namespace

CZarvoDlg::CZarvoDlg(StartupOptions options, QSettings& profile, DiscoveryPorts ports,
                     QWidget* parent)
    : QMainWindow(parent), m_options(options), m_profile(profile), m_ports(ports),
      m_engine(*this, *this, *this, *this) {
    buildWidgets();
    m_engine.setStartupFlags(options.telnet, options.xy, options.service);
    m_engine.initialise();

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
    if (m_socket) {
        m_socket->close();
        delete m_socket;
    }
    if (m_worker)
        m_worker->stop(100);
}

// ---- widgets ----

void CZarvoDlg::buildWidgets() {
    auto* help = menuBar()->addMenu(QStringLiteral("&Help"));
    QAction* about = help->addAction(QStringLiteral("&About Velmar..."));
    about->setObjectName(QStringLiteral("aboutAction"));
    connect(about, &QAction::triggered, this, &CZarvoDlg::showAbout);

    auto* central = new QWidget(this);
    auto* layout = new QHBoxLayout(central);
    layout->addWidget(buildDeviceGroup(), 1);
    auto* right = new QVBoxLayout;
    right->addWidget(buildStatusGroup());
    right->addStretch(1);
    layout->addLayout(right);
    setCentralWidget(central);
    resize(760, 420);
}

QGroupBox* CZarvoDlg::buildDeviceGroup() {
    auto* group = new QGroupBox(QStringLiteral(" Device selection"));
    m_deviceModel = new CDeviceListModel(m_devices, this);
    m_deviceView = new QTableView;
    m_deviceView->setObjectName(QStringLiteral("deviceList"));
    m_deviceView->setModel(m_deviceModel);
    m_deviceView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_deviceView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_deviceView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_deviceView->setContextMenuPolicy(Qt::CustomContextMenu);
    m_deviceView->verticalHeader()->hide();
    m_deviceView->verticalHeader()->setDefaultSectionSize(m_deviceView->fontMetrics().height() + 6);
    m_deviceView->horizontalHeader()->setStretchLastSection(true);
    m_deviceView->setShowGrid(false);
    for (int c = 0; c < CDeviceListModel::ColumnCount; ++c)
        m_deviceView->setColumnWidth(c, CDeviceListModel::kColumnWidths[c]);
    // A double click, or Enter on the selected row, connects.
    connect(m_deviceView, &QTableView::activated, this,
            [this](const QModelIndex& index) { connectToRow(index.row()); });
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

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_refreshButton);
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
    for (int i = 0; i < 2; ++i) {
        const QString name = QStringLiteral("PSU %1").arg(i + 1);
        m_status.psu[static_cast<std::size_t>(i)] = statusField(QStringLiteral("psu%1").arg(i + 1));
        grid->addWidget(new QLabel(name), 2 + i, 0);
        grid->addWidget(m_status.psu[static_cast<std::size_t>(i)], 2 + i, 1);
    }
    for (int i = 0; i < 3; ++i) {
        const QString name = QStringLiteral("FAN %1").arg(i + 1);
        m_status.fan[static_cast<std::size_t>(i)] = statusField(QStringLiteral("fan%1").arg(i + 1));
        grid->addWidget(new QLabel(name), 4 + i, 0);
        grid->addWidget(m_status.fan[static_cast<std::size_t>(i)], 4 + i, 1);
    }
    return group;
}

void CZarvoDlg::showAbout() {
    QMessageBox::about(this, QString::fromLatin1(kAboutTitle), QString::fromLatin1(kAboutText));
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

void CZarvoDlg::refresh() {
    m_devices.clear();
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
    // The connected frame announced itself anew: it restarted or changed.
    if (disconnect)
        m_engine.disconnect();
}

void CZarvoDlg::loadSavedEntries() {
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
    m_engine.selectDevice(bareAddress(device.address), device.address, device.type);
}

void CZarvoDlg::closeConnection() {
    m_engine.disconnect();
}

void CZarvoDlg::removeRow(int row) {
    if (m_devices.removeFromList(row))
        listChanged();
}

void CZarvoDlg::showDeviceMenu(const QPoint& pos) {
    const QModelIndex index = m_deviceView->indexAt(pos);
    const int row = index.isValid() ? index.row() : -1;
    QMenu menu(this);
    const bool connected = m_engine.state().connected;
    const bool connectedRow =
        row >= 0 &&
        m_devices.rows()[static_cast<std::size_t>(row)].addressValue == connectedAddress();
    if (row >= 0 && !connectedRow) {
        menu.addAction(QStringLiteral("Connect"), this, [this, row] { connectToRow(row); });
        if (m_devices.canRemove(row))
            menu.addAction(QStringLiteral("Remove from list"), this,
                           [this, row] { removeRow(row); });
        // The network settings dialog is not there yet.
        menu.addAction(QStringLiteral("Change Network settings ..."))->setEnabled(false);
    } else if (connected) {
        menu.addAction(QStringLiteral("Close"), this, &CZarvoDlg::closeConnection);
    } else {
        menu.addAction(QStringLiteral("Refresh"), this, &CZarvoDlg::refresh);
    }
    menu.exec(m_deviceView->viewport()->mapToGlobal(pos));
}

// ---- timers ----

void CZarvoDlg::startTimer(int id, int periodMs) {
    QTimer*& timer = m_timers[id];
    if (!timer) {
        timer = new QTimer(this);
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer, &QTimer::timeout, this, [this, id] { onTimer(id); });
    }
    timer->start(periodMs); // a running timer takes the new period
}

void CZarvoDlg::stopTimer(int id) {
    const auto it = m_timers.find(id);
    if (it != m_timers.end())
        it->second->stop();
}

void CZarvoDlg::onTimer(int id) {
    if (m_engine.onTimer(id))
        return;
    switch (id) {
    case kTimerDiscoveryQueue:
        stopTimer(id);
        drainDiscoveryQueue();
        break;
    case kTimerDeviceList:
        stopTimer(id);
        loadSavedEntries();
        break;
    default:
        stopTimer(id);
        break; // nothing else runs these yet
    }
}

// ---- link ----

int CZarvoDlg::open(std::string_view address, int port, bool probeFirst) {
    const QString host = qs(address);
    if (probeFirst && !CDiscovery::echoProbe(host, 1000, m_ports.framePort))
        return 1;
    auto* socket = new CZarvoSocket(*this, this);
    const int result = socket->connectTo(host, static_cast<quint16>(port));
    if (result != 0) {
        delete socket;
        return result;
    }
    connect(socket, &CZarvoSocket::peerClosed, this, [this] { m_engine.onPeerClosed(); });
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

bool CZarvoDlg::receiving() const {
    return m_engine.receiving();
}

void CZarvoDlg::onDataReceived() {
    m_engine.onDataReceived();
}

void CZarvoDlg::onMessage(const DeviceMessage& message, bool isReply) {
    if (m_socket)
        m_engine.onMessage(message, isReply, m_socket->receiver().decoder());
}

void CZarvoDlg::sendRaw(const DeviceMessage& message) {
    m_engine.sendRaw(message);
}

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

// ---- view ----

void CZarvoDlg::titleChanged(std::string_view title) {
    setWindowTitle(qs(title));
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

void CZarvoDlg::settingsEnabledChanged(bool enabled) {
    m_settingsButton->setEnabled(enabled);
}

// The crosspoint panel is not part of the window yet; these have nothing to show.
void CZarvoDlg::crosspointControlsEnabledChanged(bool) {}
void CZarvoDlg::crosspointListCleared() {}
void CZarvoDlg::rebuildCrosspointTypeLists() {}
void CZarvoDlg::crosspointRowChanged(int) {}
void CZarvoDlg::crosspointListChanged() {}
void CZarvoDlg::ipFlowListChanged(bool) {}
void CZarvoDlg::inputOutputSelectionCleared() {}

// The connect button stays hidden: connecting is done from the list.
void CZarvoDlg::connectButtonTextChanged(std::string_view) {}

void CZarvoDlg::deviceListReset() {
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
    stopTimer(kTimerAlive);
    stopTimer(kTimerXyBurst);
    stopTimer(kTimerDeviceList);
    CQtProfileStore store(m_profile);
    m_devices.saveSaved(store);
    m_profile.sync();
    event->accept();
}

} // namespace velmar
