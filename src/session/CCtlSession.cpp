#include "session/CCtlSession.h"

#include "link/CDiscovery.h"
#include "link/CZarvoSocket.h"
#include "link/DeviceList.h"
#include "link/QtText.h"
#include "engine/CQtTimerHost.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QScopedValueRollback>
#include <QTimer>
#include <algorithm>

namespace velmar {

namespace {

// How long the echo probe waits, as in the window.
constexpr int kProbeTimeoutMs = 1000;

} // namespace

CCtlSession::CCtlSession(quint16 framePort, const TimerHostFactory& timers)
    : m_framePort(framePort),
      m_timers(std::make_unique<TrackedTimers>(
          timers ? timers([this](int id) { onTimer(id); })
                 : std::make_unique<CQtTimerHost>([this](int id) { onTimer(id); }))),
      m_engine(*m_timers, m_link, *this, *this), m_burst(*m_timers, m_engine) {
    m_engine.setBurstStop([this] { m_burst.stop(); });
    m_engine.initialise();
}

CCtlSession::~CCtlSession() {
    m_observer = nullptr;
    m_dispatchHook = nullptr;
    m_sendHook = nullptr;
    close();
}

bool CCtlSession::open(const CtlTarget& target, bool telnet, int timeoutMs) {
    m_connectTimeoutMs = timeoutMs;
    m_linkEnd = LinkEnd::Open;
    m_lastMessage.clear();
    m_tagsEchoed = false;
    m_gipSent = m_gipReplies = 0;
    m_engine.setStartupFlags(telnet, false, false);
    m_engine.selectDevice(bareAddress(target.addressColumn), target.addressColumn, target.type);
    return connected();
}

void CCtlSession::close() {
    if (!connected())
        return;
    const QScopedValueRollback closing(m_closing, true);
    m_engine.disconnect();
}

void CCtlSession::interrupt() { m_interrupted = true; }

std::uint16_t CCtlSession::nextTag() {
    m_tag = static_cast<std::uint16_t>(m_tag % 65535 + 1); // 1..65535; 0 means no tag
    return m_tag;
}

bool CCtlSession::pumpUntil(const std::function<bool()>& done, int timeoutMs, const bool& stop) {
    // Every change a caller waits for arrives as an event (socket data, a
    // timer, a signal from another thread); this timer is the event of the
    // deadline, and only it says that the time is up (a timer may fire a
    // little before a clock would agree). Between events the thread sleeps.
    bool timeUp = timeoutMs == 0;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline, &QTimer::timeout, &deadline, [&timeUp] { timeUp = true; });
    if (timeoutMs > 0)
        deadline.start(timeoutMs);
    while (!stop) {
        if (done())
            return true;
        if (timeUp)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return false;
}

CCtlSession::Wait CCtlSession::waitFor(const std::function<bool()>& done, int timeoutMs) {
    Wait result = Wait::TimedOut;
    pumpUntil(
        [&] {
            if (done())
                result = Wait::Done;
            else if (!connected())
                result = Wait::LinkLost;
            return result != Wait::TimedOut;
        },
        timeoutMs, m_interrupted);
    return m_interrupted && result == Wait::TimedOut ? Wait::Interrupted : result;
}

CCtlSession::Wait CCtlSession::waitUntilSettled(int timeoutMs) {
    const auto pollPending = [this] {
        return m_timers->isActive(kTimerStartPoll) || m_timers->isActive(kTimerSettingsReady);
    };
    const QDeadlineTimer deadline(timeoutMs);
    while (true) {
        // Stage two and the card poll follow the start requests on timers.
        Wait wait = waitFor([&] { return !pollPending(); },
                            static_cast<int>(std::max<qint64>(0, deadline.remainingTime())));
        if (wait != Wait::Done)
            return wait;
        DeviceMessage marker = DeviceMessage::request(CommandId::gip);
        marker.tag = nextTag();
        m_markerTag = marker.tag;
        m_markerAnswered = false;
        m_markerGipReply = m_gipReplies + std::max(0, m_gipSent - m_gipReplies) + 1;
        m_engine.sendRaw(marker);
        const int sentWithMarker = m_sent;
        wait = waitFor([this] { return m_markerAnswered; },
                       static_cast<int>(std::max<qint64>(0, deadline.remainingTime())));
        m_markerTag = 0;
        if (wait != Wait::Done)
            return wait;
        // Replies that came in meanwhile may have asked for more, or started a poll.
        if (m_sent == sentWithMarker && !pollPending())
            return Wait::Done;
    }
}

void CCtlSession::TrackedTimers::startTimer(int id, int periodMs) {
    m_active.insert(id);
    m_host->startTimer(id, periodMs);
}

void CCtlSession::TrackedTimers::stopTimer(int id) {
    m_active.erase(id);
    m_host->stopTimer(id);
}

void CCtlSession::onTimer(int id) {
    if (m_engine.onTimer(id))
        return;
    if (id == kTimerXyBurst)
        m_burst.onTick();
    else
        m_timers->stopTimer(id); // nothing else runs here
}

void CCtlSession::sendRaw(const DeviceMessage& message) { m_engine.sendRaw(message); }

void CCtlSession::onMessage(const DeviceMessage& message, bool isReply) {
    if (!m_socket)
        return;
    const CResponseDecoder& decoder = m_socket->receiver().decoder();
    if (m_dispatchHook)
        m_dispatchHook(message, isReply);
    m_engine.onMessage(message, isReply, decoder);
    if (isReply && message.tag != 0)
        m_tagsEchoed = true;
    if (isReply && message.command == CommandId::gip) {
        ++m_gipReplies;
        // Untagged: the marker's answer by its place, unless the frame has
        // shown that it echoes tags (then this is some other line).
        if (m_markerTag != 0 && message.tag == 0 && !m_tagsEchoed &&
            m_gipReplies >= m_markerGipReply)
            m_markerAnswered = true;
    }
    if (isReply && m_markerTag != 0 && message.tag == m_markerTag)
        m_markerAnswered = true;
    if (m_observer)
        m_observer(message, isReply, decoder);
}

void CCtlSession::onAliveAnswer(const DeviceMessage& message) {
    // Not the engine's business (it counted as a sign of life already), but
    // `send ?aliverequest` waits for exactly this.
    if (m_socket && m_observer)
        m_observer(message, true, m_socket->receiver().decoder());
}

// ---- the engine's link ----

int CCtlSession::Link::open(std::string_view address, int port, bool probeFirst) {
    const QString host = qs(address);
    if (probeFirst && !CDiscovery::echoProbe(host, kProbeTimeoutMs, m_session.m_framePort))
        return 1;
    auto* socket = new CZarvoSocket(m_session, &m_session);
    const int result =
        socket->connectTo(host, static_cast<quint16>(port), m_session.m_connectTimeoutMs);
    if (result != 0) {
        delete socket;
        return result;
    }
    QObject::connect(socket, &CZarvoSocket::peerClosed, &m_session, [this, socket] {
        const QScopedValueRollback peer(m_session.m_peerClosing, true);
        m_session.m_lossCause = socket->lossCause();
        m_session.m_engine.onLinkLost(m_session.m_lossCause);
    });
    m_session.m_socket = socket;
    return 0;
}

void CCtlSession::Link::close() {
    CCtlSession& s = m_session;
    if (s.m_linkEnd == LinkEnd::Open)
        s.m_linkEnd = s.m_closing       ? LinkEnd::ClosedByUs
                      : s.m_peerClosing ? LinkEnd::PeerClosed
                                        : LinkEnd::Silent; // alive supervision gave up
    if (!s.m_socket)
        return;
    // This may run inside the socket's own read handler: let it unwind first.
    s.m_socket->close();
    s.m_socket->deleteLater();
    s.m_socket = nullptr;
}

void CCtlSession::Link::send(const DeviceMessage& message) {
    if (!m_session.m_socket)
        return;
    m_session.m_socket->send(message);
    if (m_session.m_sendHook)
        m_session.m_sendHook(message);
    ++m_session.m_sent;
    if (message.command == CommandId::gip && message.isRequest())
        ++m_session.m_gipSent;
}

// ---- operator ----

void CCtlSession::showMessage(std::string_view text) { m_lastMessage = text; }

bool CCtlSession::askYesNo(std::string_view) { return false; }

bool CCtlSession::askYesNo(std::string_view, std::string_view) { return false; }

} // namespace velmar
