#include "window/CZarvoDlg.h"

#include "VelmarVersion.h"
#include "controls/FileDialogs.h"
#include "controls/LinkLostBanner.h"
#include "session/CHealthCheck.h"
#include "events/CEventLogPanel.h"
#include "channels/ChannelDialogs.h"
#include "iprouting/IpRoutingDialogs.h"
#include "link/CAddDevDlg.h"
#include "link/CDiscovery.h"
#include "link/CQtProfileStore.h"
#include "link/CUDPSocketThread.h"
#include "link/CZarvoSocket.h"
#include "link/Ipv4.h"
#include "link/QtText.h"
#include "window/CXYDlg.h"
#include "engine/FileAccess.h"
#include "maintenance/CDevLANDlg.h"
#include "maintenance/MaintenanceDialogs.h"
#include "panel/PanelDialogs.h"
#include "settings/CSettingsDlg.h"
#include "settings/SettingsDialogs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>

namespace velmar {

namespace {

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
    else if (commandId == devcmd::kNetworkSettings)
        m_window.openNetworkSettings(m_window.m_menuRow);
    else
        m_window.openDialog(commandId);
}

// Every dialog the menus open, one line per subsystem that offers some.
const DialogOpeners& CZarvoDlg::dialogOpeners() {
    static const DialogOpeners all = [] {
        DialogOpeners joined;
        for (DialogOpeners part : {channelDialogOpeners(), ipRoutingDialogOpeners(),
                                   maintenanceDialogOpeners(), panelDialogOpeners(),
                                   settingsDialogOpeners()})
            joined.insert(joined.end(), part.begin(), part.end());
        return joined;
    }();
    return all;
}

void CZarvoDlg::openDialog(int commandId) {
    const DialogOpeners& openers = dialogOpeners();
    const auto opener = std::find_if(openers.begin(), openers.end(),
                                     [commandId](const DialogOpener& o) { return o.commandId == commandId; });
    if (opener == openers.end())
        return;
    DialogContext context{m_engine, *this, this, {}, {}, {}, {}};
    for (const KnownDevice& row : m_devices.rows())
        context.listedAddresses.emplace_back(bareAddress(row.address));
    context.showStatus = [this](std::string_view text) { statusMessage(text); };
    context.labelsChanged = [this] { crosspointListChanged(); };
    context.frameRestarting = [this] {
        m_menuHost.removeConnectedRow();
        closeConnection();
    };
    opener->open(context);
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
