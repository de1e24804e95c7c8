#include "engine/PollingEngine.h"

#include "link/DeviceList.h"
#include "link/Ipv4.h"
#include "link/WindowTitle.h"
#include "engine/CodeTables.h"
#include "engine/SettingsApply.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <utility>

namespace velmar {

namespace {

// One line of a request sequence: the command once (from = 0), or once per
// index from..to in p1; `second`, when set, goes into p2.
struct PollStep {
    CommandId command;
    std::int16_t from = 0;
    std::int16_t to = 0;
    std::int16_t second = 0;
    bool applicationOnly = false; // left out in run modes 0 and 2
};

using C = CommandId;

constexpr PollStep kStart465[] = {
    {C::gdevid, 0, 0, 0, true},
    {C::gip},
};

constexpr PollStep kStart450[] = {
    {C::gdevid, 0, 0, 0, true}, {C::gdevinfo, 0, 0, 0, true},   {C::gip}, {C::ghwconf, 2, 2},
    {C::gswver, 2, 2},          {C::galivetime, 0, 0, 0, true},
};

constexpr PollStep kStartRecovery[] = {
    {C::gip},
    {C::ghwconf, 2, 2},
    {C::gswver, 2, 2},
};

constexpr PollStep kStartFrame[] = {
    {C::gdevid},
    {C::gdevinfo},
    {C::gip},
    {C::ghwconf, 2, 20},
    {C::gswver, 2, 20},
    {C::gfanconf},
    {C::gpsuconf},
    {C::galivetime},
    {C::gsystemdelay},
    {C::ggenrate},
    {C::grateadptsrc},
    {C::gwclkout},
    {C::lsyncprio, 2, 2, 17},
    {C::gsyncterm},
    {C::gaeschstat},
    {C::gphdmode},
    {C::goptred},
    {C::goptmode, 1, 2},
    {C::gmadiinmode, 1, 3},
    {C::gmadioutmode, 1, 3},
    {C::gmadidsdmode, 1, 3},
    {C::ghlinkinmode, 1, 2},
    {C::ghlinkoutmode, 1, 2},
    {C::gbkip},
    {C::gbkname},
    {C::gswmodeip},
    {C::gbksecip},
    {C::gsrenaip},
    {C::gprefmastip},
};

// The IP audio values asked by the module's name; the frame answers for its
// own module whatever name is given, so none is sent.
constexpr C kStageTwoIpAudio[] = {C::gmaxlatencyip, C::gframeip, C::glatencyip};

constexpr C kAdChannelPoll[] = {C::gadinpmode,  C::gadmute,      C::gadphanpow, C::gadphase,
                                C::gadmiclevel, C::gadlinelevel, C::gadsigdet,  C::gadovldet};
constexpr C kDaChannelPoll[] = {C::gdaoutlevel, C::gdamute, C::gdasigdet, C::gdaovldet,
                                C::gdacardet};
constexpr C kSdiPortPoll[] = {C::gembena, C::gtxsrcrate};
constexpr C kSdiGroupPoll[] = {C::gembmode, C::grxsrcena};
constexpr C kMadiCardPoll[] = {C::gcifmode, C::gcifred, C::gchlinkinmode, C::gchlinkoutmode};
constexpr C kMadiPortPoll[] = {C::gcmadiinmode, C::gcmadirxsrcena, C::gcmadioutmode,
                               C::gcmadidsdmode, C::gcifinact};

constexpr int kCrosspointBlock = 128;
constexpr int kFanCount = 3;
constexpr int kPsuCount = 2;

DeviceMessage requestOf(CommandId id, std::initializer_list<std::int32_t> values) {
    DeviceMessage m = DeviceMessage::request(id);
    int slot = 1;
    for (const std::int32_t v : values)
        m.setI(slot++, v);
    return m;
}

} // namespace

CPollingEngine::CPollingEngine(ITimerHost& timers, ILink& link, IOperator& op, IMainView& view)
    : m_timers(timers), m_link(link), m_operator(op),
      m_view(view), m_context{m_state, m_dialogs, view, timers, *this} {}

void CPollingEngine::setStartupFlags(bool telnet, bool xy, bool service) {
    m_state.useTelnetPort = telnet;
    m_state.xyEnabled = xy;
    m_state.serviceMode = service;
}

void CPollingEngine::initialise() { resetLink(false); }

bool CPollingEngine::selectDevice(std::string_view address, std::string_view listAddressColumn,
                                  std::string_view listTypeColumn, std::string_view rowName) {
    if (m_state.connected)
        disconnect();
    m_state.runMode = runModeFromListAddress(listAddressColumn);
    m_state.family = familyFromListType(listTypeColumn);
    m_rowName = rowName;
    return connect(bareAddress(address));
}

bool CPollingEngine::connect(std::string_view address) {
    if (m_state.connected) {
        disconnect();
        return false;
    }
    stopBurst();
    m_frameName = std::exchange(m_rowName, {});

    const std::optional<Ipv4Address> parsed = parseIpv4(address);
    const Ipv4Address ip = parsed.value_or(0);
    if (ip == 0) {
        if (m_observer)
            m_observer->connectFailed(address);
        m_operator.showMessage(kConnectFailed);
        return false;
    }
    const bool telnet = m_state.runMode == kRunModeRecovery || m_state.runMode == kRunModeHash ||
                        m_state.useTelnetPort;
    const int port = telnet ? kPortTelnet : kPortCommand;
    if (m_link.open(address, port, m_state.runMode == kRunModeApplication) != 0) {
        if (m_observer)
            m_observer->connectFailed(address);
        m_operator.showMessage(kConnectFailed);
        return false;
    }
    m_state.port = port;
    m_state.connectedAddress = address;
    m_state.deviceAddress = ip;
    resetLink(true);
    if (m_observer)
        m_observer->linkOpened(m_state);
    return true;
}

void CPollingEngine::disconnect() {
    if (m_state.connected) {
        m_linkEndedNotice = "The link to ";
        m_linkEndedNotice += frameLabel();
        if (m_lossText.empty()) {
            m_linkEndedNotice += " was closed.";
        } else {
            m_linkEndedNotice += " was lost: ";
            m_linkEndedNotice += m_lossText;
            m_linkEndedNotice += ".";
        }
        m_linkEndedNotice += " What you typed is kept; what would send is off until the frame is "
                             "connected again.";
    }
    if (m_observer && m_state.connected)
        m_observer->linkClosing(m_state, m_lossText);
    m_lossText.clear();
    m_link.close();
    m_state.connectedAddress.clear();
    resetLink(false);
}

void CPollingEngine::onLinkLost(LinkLoss cause) {
    if (!m_state.connected)
        return;
    const std::string address = m_state.connectedAddress;
    const std::string label = frameLabel();
    m_lossText = linkLossText(cause);
    disconnect();
    std::string text = "Link to ";
    text += label;
    text += " lost: ";
    text += linkLossText(cause);
    m_view.statusMessage(text);
    if (!address.empty())
        m_view.deviceOffline(address);
}

void CPollingEngine::onFrameAnnounced() {
    if (!m_state.connected)
        return;
    const std::string label = frameLabel();
    m_lossText = "the frame announced itself anew (restarted or changed)";
    disconnect();
    m_view.statusMessage("Link to " + label +
                         " closed: the frame announced itself anew (restarted or changed)");
}

std::string CPollingEngine::frameName() const {
    // The row's name is what the operator chose by; the frame's own comes later.
    if (!m_frameName.empty())
        return m_frameName;
    if (!m_state.deviceTitleName.empty())
        return m_state.deviceTitleName;
    return m_state.connectedAddress;
}

std::string CPollingEngine::frameLabel() const {
    const std::string name = frameName();
    return name == m_state.connectedAddress ? name : name + " (" + m_state.connectedAddress + ")";
}

void CPollingEngine::reportStartup() {
    if (!m_startup.reading)
        return;
    const std::string label = frameName();
    if (m_startup.lastStageSent && m_startup.answered >= m_startup.sent) {
        m_startup.reading = false;
        m_view.statusMessage("Connected to " + label + ": " + std::to_string(m_startup.answered) +
                             " replies read");
        startLabelRead();
        return;
    }
    m_view.statusMessage("Reading " + label + " ... " + std::to_string(m_startup.answered) +
                         " of " + std::to_string(m_startup.sent));
}

void CPollingEngine::resetLink(bool connected) {
    m_state.reset(connected, m_state.deviceAddress);
    m_timers.stopTimer(kTimerAlive);
    m_view.crosspointListCleared();
    // A poll or the settings enable still pending from the previous link must
    // not reach the next one.
    m_timers.stopTimer(kTimerStartPoll);
    m_timers.stopTimer(kTimerSettingsReady);
    m_syncSourceText.clear();
    m_sampleRateText.clear();
    m_startup = {};
    m_startup.reading = connected;
    m_timers.stopTimer(kTimerLabelRead);
    m_labelReadStarted = false;
    m_labelQueue.clear();
    m_labelNext = 0;
    m_labelInFlight = 0;

    if (connected) {
        m_state.aliveCounter = 0;
        if (m_state.port == kPortTelnet) {
            // The telnet port greets with lines of its own: they are dropped.
            m_state.receiving = false;
            m_timers.startTimer(kTimerStartPoll, kTelnetSettleMs);
        } else {
            m_state.receiving = true;
            startRequests();
            if (m_state.aliveEnabled)
                m_timers.startTimer(kTimerAlive, kAlivePeriodMs);
        }
    } else {
        // Back to the default, so a link closed during its telnet settling time
        // does not leave the next one deaf.
        m_state.receiving = true;
        m_view.inputOutputSelectionCleared();
    }

    stopBurst();
    updateTitle();
    m_view.connectButtonTextChanged(connected ? "Close" : "Connect");
    m_statusShown = false;
    publishStatus();
    m_settingsEnabled = true; // forces the notification
    setSettingsEnabled(false);
    m_view.crosspointControlsEnabledChanged(connected && m_state.runMode == kRunModeApplication &&
                                            m_state.family != kFamily465 &&
                                            m_state.family != kFamily450);
    m_view.deviceListReset();
    reportStartup();
}

bool CPollingEngine::onTimer(int id) {
    switch (id) {
    case kTimerAlive: aliveTick(); return true;
    case kTimerStartPoll:
        m_timers.stopTimer(id);
        startPollTimer();
        return true;
    case kTimerSettingsReady:
        m_timers.stopTimer(id);
        settingsReady();
        return true;
    case kTimerLabelRead: labelTimer(); return true;
    case kTimerFirmware:
    case kTimerDiscoveryQueue:
    case kTimerDeviceList:
        m_timers.stopTimer(id); // one-shot: killed before its owner runs
        return false;
    default: return false;
    }
}

void CPollingEngine::aliveTick() {
    if (!m_state.connected || m_state.port != kPortCommand) {
        m_timers.stopTimer(kTimerAlive);
        return;
    }
    if (m_state.programming)
        return;
    sendAliveRequest();
    if (--m_state.aliveCounter < 0)
        onLinkLost(LinkLoss::Silent);
}

void CPollingEngine::startPollTimer() {
    if (!m_state.connected)
        return;
    if (!m_state.receiving) {
        m_state.receiving = true;
        startRequests();
        reportStartup();
        return;
    }
    if (m_state.runMode == kRunModeApplication) {
        if (m_state.family == kFamily465 || m_state.family == kFamily450) {
            m_view.rebuildCrosspointTypeLists();
            sendAliveRequest();
        } else {
            stageTwoPoll();
        }
    }
    // Nothing more belongs to the start-up poll after this.
    m_startup.lastStageSent = true;
    // Should a reply of the poll never come, the labels are read all the same.
    if (m_labelReadWanted && !m_labelReadStarted)
        m_timers.startTimer(kTimerLabelRead, kLabelReadFallbackMs);
    reportStartup();
}

void CPollingEngine::startLabelRead() {
    const DeviceState& s = m_state;
    if (!m_labelReadWanted || m_labelReadStarted || !s.connected ||
        s.runMode != kRunModeApplication || s.family == kFamily450 || s.family == kFamily465 ||
        s.versionNumber() <= 1040001) {
        if (!m_labelReadStarted)
            m_timers.stopTimer(kTimerLabelRead);
        return;
    }
    m_labelReadStarted = true;
    // The channels the labels dialog lists: a 461 outside service mode from 513.
    const int first = s.family == kFamily461 && !s.serviceMode ? 513 : 1;
    const int last = s.crosspointCount();
    constexpr int kBlock = 32;
    for (int n = first; n <= last; n += kBlock)
        for (const int outputs : {0, 1})
            m_labelQueue.push_back(
                requestOf(C::llabel, {outputs, n, std::min(kBlock, last - n + 1)}));
    sendLabelWindow();
}

void CPollingEngine::sendLabelWindow() {
    while (m_labelInFlight < kLabelReadWindow && m_labelNext < m_labelQueue.size()) {
        DeviceMessage m = m_labelQueue[m_labelNext++];
        ++m_labelInFlight;
        // Not part of the start-up poll's count, even when it starts early.
        m.flags = FlagRequest;
        m.tag = 0;
        m.length = static_cast<std::uint16_t>(m.size + 6);
        m_link.send(m);
    }
    if (m_labelInFlight > 0)
        m_timers.startTimer(kTimerLabelRead, kLabelReadStallMs);
    else
        m_timers.stopTimer(kTimerLabelRead);
}

void CPollingEngine::labelTimer() {
    if (!m_labelReadStarted) {
        m_timers.stopTimer(kTimerLabelRead);
        startLabelRead();
        return;
    }
    // Nothing came back for a while: the frame dropped or refused them silently.
    m_labelInFlight = 0;
    sendLabelWindow();
}

void CPollingEngine::settingsReady() {
    if (!m_state.connected)
        return;
    setSettingsEnabled(true);
    pollCards();
}

void CPollingEngine::onDataReceived() {
    if (m_state.receiving)
        m_state.aliveCounter = 1;
}

void CPollingEngine::onMessage(const DeviceMessage& message, bool isReply) {
    onMessage(message, isReply, m_decoder);
}

void CPollingEngine::onMessage(const DeviceMessage& message, bool isReply,
                               const CResponseDecoder& decoder) {
    if (!m_state.connected || !m_state.receiving)
        return;
    dispatch(m_context, message, isReply, decoder);
    if (m_observer && m_state.connected)
        m_observer->dispatched(m_state, message, isReply);
    if (isReply && message.command == C::llabel && m_labelReadStarted && m_state.connected) {
        m_labelInFlight = std::max(0, m_labelInFlight - 1);
        sendLabelWindow();
    }
    if (isReply && m_startup.reading && m_state.connected) {
        ++m_startup.answered;
        reportStartup();
    }
}

void CPollingEngine::sendRequest(DeviceMessage message) {
    if (!m_state.connected)
        return;
    message.flags = FlagRequest;
    message.tag = 0;
    message.length = static_cast<std::uint16_t>(message.size + 6);
    if (m_startup.reading)
        ++m_startup.sent;
    m_link.send(message);
}

void CPollingEngine::sendRaw(const DeviceMessage& message) {
    if (m_state.connected)
        m_link.send(message);
}

void CPollingEngine::sendAliveRequest() {
    DeviceMessage alive;
    alive.command = CommandId::aliverequest;
    alive.flags = FlagRequest | FlagAlive;
    sendRaw(alive);
}

void CPollingEngine::startRequests() {
    std::span<const PollStep> steps;
    if (m_state.family == kFamily465)
        steps = kStart465;
    else if (m_state.family == kFamily450)
        steps = kStart450;
    else if (m_state.runMode == kRunModeRecovery)
        steps = kStartRecovery;
    else
        steps = kStartFrame;

    const bool application = m_state.runMode == kRunModeApplication;
    for (const PollStep& step : steps) {
        if (step.applicationOnly && !application)
            continue;
        for (int k = step.from; k <= step.to; ++k) {
            DeviceMessage m = DeviceMessage::request(step.command);
            if (k != 0)
                m.setI(1, k);
            if (step.second != 0)
                m.setI(2, step.second);
            sendRequest(m);
        }
    }
    if (m_state.receiving)
        m_timers.startTimer(kTimerStartPoll, kStageTwoFallbackMs);
}

void CPollingEngine::stageTwoPoll() {
    sendRequest(DeviceMessage::request(C::gactrate));
    sendRequest(DeviceMessage::request(C::gsyncstat));
    if (m_state.ipModulePresent())
        for (const C id : kStageTwoIpAudio)
            sendRequest(DeviceMessage::request(id));
    const int outputs = m_state.crosspointCount();
    for (int first = 1; first <= outputs; first += kCrosspointBlock)
        sendRequest(requestOf(C::lcross, {first, std::min(kCrosspointBlock, outputs - first + 1)}));
    const int version = m_state.versionNumber();
    if (version > 2000000)
        for (int port = 1; port <= 2; ++port)
            sendRequest(requestOf(C::goptinact, {port}));
    sendRequest(requestOf(C::lmaininpstatus, {1, kMainInputs}));
    if (m_dialogs.signalInputStatus != nullptr)
        m_dialogs.signalInputStatus->refreshAll();
    if (version >= 2010003) {
        sendRequest(DeviceMessage::request(C::gbklock));
        sendRequest(DeviceMessage::request(C::gbkdomain));
    }
}

void CPollingEngine::pollCards() {
    for (int slot = 1; slot <= kCardSlots; ++slot) {
        switch (m_state.cardType(slot)) {
        case kCardTypeAd:
        case kCardTypeAd2: {
            sendRequest(requestOf(C::gadbrdtype, {slot}));
            const int channels = m_state.cardType(slot) == kCardTypeAd ? 8 : 2;
            for (int ch = 1; ch <= channels; ++ch)
                for (const C id : kAdChannelPoll)
                    sendRequest(requestOf(id, {slot, ch}));
            break;
        }
        case kCardTypeSdi:
            for (int port = 1; port <= 2; ++port) {
                for (const C id : kSdiPortPoll)
                    sendRequest(requestOf(id, {slot, port}));
                for (int group = 1; group <= 4; ++group)
                    for (const C id : kSdiGroupPoll)
                        sendRequest(requestOf(id, {slot, port, group}));
            }
            for (int port = 1; port <= 2; ++port)
                sendRequest(requestOf(C::gsdirxstat, {slot, port}));
            break;
        case kCardTypeDa:
            sendRequest(requestOf(C::gdadsdfilter, {slot}));
            for (int ch = 1; ch <= kCardChannels; ++ch)
                for (const C id : kDaChannelPoll)
                    sendRequest(requestOf(id, {slot, ch}));
            break;
        case kCardTypeAes:
            for (int ch = 1; ch <= kCardChannels; ++ch)
                sendRequest(requestOf(C::gaesrxsrcena, {slot, ch}));
            for (int ch = 1; ch <= kCardChannels; ++ch)
                sendRequest(requestOf(C::gaesinpstatus, {slot, ch}));
            break;
        case kCardTypeMadi:
            for (const C id : kMadiCardPoll)
                sendRequest(requestOf(id, {slot}));
            for (int port = 1; port <= 2; ++port)
                for (const C id : kMadiPortPoll)
                    sendRequest(requestOf(id, {slot, port}));
            for (int port = 1; port <= 2; ++port)
                sendRequest(requestOf(C::gcifstatus, {slot, port}));
            break;
        default: break; // no card, EQ, or a card without ports: nothing to ask
        }
    }
}

int CPollingEngine::applySettings(const DeviceSettings& edited, const DeviceSettings& opened) {
    const DeviceSettings next = settingsAfterApply(m_state.settings, opened, edited);
    const SettingsApplyPlan plan =
        planSettingsApply(m_state.settings, next, settingsApplyContext(m_state));
    m_state.settings = next;
    for (const DeviceMessage& request : plan.requests)
        sendRequest(request);
    if (m_observer && m_state.connected)
        m_observer->settingsApplied(m_state, static_cast<int>(plan.requests.size()));
    const int result = static_cast<int>(plan.result);
    if (result == 2) {
        if (m_restart)
            m_restart();
    } else if (result == 1) {
        m_view.rebuildCrosspointTypeLists();
        m_timers.startTimer(kTimerStartPoll, kSettingsAppliedMs);
    }
    return result;
}

std::string CPollingEngine::title() const {
    return windowTitle(m_state.connected, m_state.deviceTitleName, m_state.port == kPortTelnet);
}

void CPollingEngine::stopBurst() {
    // The burst's owner also forgets that it runs; without one, the timer alone.
    if (m_burstStop)
        m_burstStop();
    else
        m_timers.stopTimer(kTimerXyBurst);
}

void CPollingEngine::updateTitle() { m_view.titleChanged(title()); }

StatusFields CPollingEngine::statusFields() const {
    const bool on = m_state.connected;
    StatusFields f;
    f.syncSource = {m_syncSourceText, on, on && m_state.live.syncState != 0};
    f.sampleRate = {m_sampleRateText, on, on && m_sampleRateText == kUnknownCode};
    // A unit whose status the frame did not report stays empty, as before
    // the first reply: a zero nobody sent is not "OK".
    const auto unit = [on](bool fitted, bool reported, std::int32_t status) {
        StatusField field;
        field.text = !fitted || !reported ? "" : (status != 0 ? "Faulty" : "OK");
        field.enabled = on && fitted;
        field.red = on && !field.text.empty() && field.text != "OK";
        return field;
    };
    const LiveStatus& live = m_state.live;
    for (int k = 0; k < kPsuCount; ++k) {
        const auto at = static_cast<std::size_t>(k + 1);
        f.psu[at - 1] = unit((m_state.settings.psuConfig & (1 << k)) != 0, live.psuReported[at],
                             live.psuStatus[at]);
    }
    for (int k = 0; k < kFanCount; ++k) {
        const auto at = static_cast<std::size_t>(k + 1);
        f.fan[at - 1] = unit((m_state.settings.fanConfig & (1 << k)) != 0, live.fanReported[at],
                             live.fanStatus[at]);
    }
    return f;
}

void CPollingEngine::publishStatus() {
    StatusFields fields = statusFields();
    if (m_statusShown && fields == m_shownStatus)
        return;
    m_shownStatus = std::move(fields);
    m_statusShown = true;
    m_view.statusFieldsChanged(m_shownStatus);
}

void CPollingEngine::showSampleRate() {
    m_sampleRateText = sampleRateName(m_state.live.actualRate);
    publishStatus();
}

void CPollingEngine::showSyncSource() {
    m_syncSourceText = syncSourceName(m_state.live.syncSource);
    publishStatus();
}

void CPollingEngine::showPowerAndFans() { publishStatus(); }

void CPollingEngine::setSettingsEnabled(bool enabled) {
    if (enabled == m_settingsEnabled)
        return;
    m_settingsEnabled = enabled;
    m_view.settingsEnabledChanged(enabled);
}

} // namespace velmar
