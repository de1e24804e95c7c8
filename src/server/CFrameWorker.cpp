#include "server/CFrameWorker.h"

#include "channels/ChannelLabels.h"
#include "engine/ChannelRange.h"
#include "engine/FrameIdentity.h"
#include "engine/XyBurst.h"
#include "protocol/WireText.h"

#include <QThread>

namespace velmar {

namespace {

constexpr int kConnectTimeoutMs = 5000;
// A burst of messages (a poll's answers) makes one full snapshot.
constexpr int kPublishDelayMs = 50;

bool changesRoutes(const DeviceMessage& m) {
    return m.command == CommandId::scross || m.command == CommandId::gcross ||
           m.command == CommandId::lcross;
}

bool changesLabels(const DeviceMessage& m) {
    return m.command == CommandId::slabel || m.command == CommandId::llabel ||
           m.command == CommandId::glabel;
}

std::size_t at(int n) { return static_cast<std::size_t>(n); }

} // namespace

std::string_view changeOutcomeName(ChangeOutcome outcome) {
    switch (outcome) {
    case ChangeOutcome::Confirmed: return "confirmed";
    case ChangeOutcome::Refused: return "refused";
    case ChangeOutcome::Unanswered: return "unanswered";
    case ChangeOutcome::Offline: return "offline";
    }
    return "unanswered";
}

CFrameWorker::CFrameWorker(int index, ServedFrame frame, int changeTimeoutMs,
                           IFrameEvents& events, IEventSink* log, quint16 framePort)
    : m_index(index), m_frame(std::move(frame)), m_changeTimeoutMs(changeTimeoutMs),
      m_framePort(framePort), m_events(events), m_log(log),
      m_random(static_cast<std::mt19937::result_type>(std::hash<std::string>{}(m_frame.id))) {
    m_snapshot.id = m_frame.id;
    m_snapshot.address = m_frame.address;
}

CFrameWorker::~CFrameWorker() = default;

void CFrameWorker::start() {
    m_reconnect = std::make_unique<QTimer>();
    m_reconnect->setSingleShot(true);
    connect(m_reconnect.get(), &QTimer::timeout, this, &CFrameWorker::connectNow);
    m_publish = std::make_unique<QTimer>();
    m_publish->setSingleShot(true);
    m_publish->setInterval(kPublishDelayMs);
    connect(m_publish.get(), &QTimer::timeout, this, [this] { publish(true); });

    m_session = std::make_unique<CCtlSession>(m_framePort);
    IEventSink& sink = *this;
    m_deriver = std::make_unique<CEventDeriver>(m_clock, sink);
    m_session->engine().setStateObserver(this);
    m_session->engine().setReadLabelsInBackground(true);
    m_session->setObserver(
        [this](const DeviceMessage& m, bool isReply, const CResponseDecoder&) { onMessage(m, isReply); });
    m_session->setDispatchHook([this](const DeviceMessage& m, bool isReply) { beforeDispatch(m, isReply); });
    m_session->setSendHook([this](const DeviceMessage& m) { onSent(m); });
    connectNow();
}

void CFrameWorker::stop() {
    m_stopping = true;
    if (m_reconnect)
        m_reconnect->stop();
    if (m_publish)
        m_publish->stop();
    while (!m_requests.empty())
        giveUp(m_requests.begin()->first, ChangeOutcome::Offline);
    // A stop delivered while open() waits must not end the session under it;
    // connectNow ends it once open() has returned.
    if (m_opening)
        return;
    if (m_session) {
        m_session->close();
        m_session->engine().setStateObserver(nullptr);
    }
    // Everything with a timer or a socket goes on this thread.
    m_session.reset();
    m_reconnect.reset();
    m_publish.reset();
}

void CFrameWorker::connectNow() {
    if (m_stopping || !m_session || m_session->connected())
        return;
    m_snapshot.link = FrameLinkState::Connecting;
    publish(false);
    m_read = false;
    m_opening = true;
    const bool ok = m_session->open({m_frame.address, {}}, false, kConnectTimeoutMs);
    m_opening = false;
    if (m_stopping) {
        stop();
        return;
    }
    if (!ok) {
        linkEnded(m_session->lastMessage().empty() ? std::string("not reachable")
                                                   : m_session->lastMessage());
        return;
    }
    m_attempt = 0;
    m_snapshot.link = FrameLinkState::Connected;
    m_snapshot.offlineReason.clear();
    publish(true);
}

void CFrameWorker::scheduleReconnect() {
    if (m_stopping || !m_reconnect || m_reconnect->isActive())
        return;
    ++m_attempt;
    std::uniform_real_distribution<double> jitter(0.0, 1.0);
    m_reconnect->start(reconnectDelayMs(m_attempt, jitter(m_random)));
    if (m_attempt > 1 || m_snapshot.link != FrameLinkState::Connecting)
        m_events.reconnecting(m_index);
}

void CFrameWorker::linkEnded(std::string why) {
    m_read = false;
    m_aliveOut = false;
    while (!m_requests.empty())
        giveUp(m_requests.begin()->first, ChangeOutcome::Offline);
    m_snapshot.link = FrameLinkState::Offline;
    m_snapshot.offlineReason = std::move(why);
    publish(true);
    scheduleReconnect();
}

void CFrameWorker::beforeDispatch(const DeviceMessage& message, bool isReply) {
    m_actor.clear();
    if (!isReply || message.command != CommandId::scross)
        return;
    const auto it = m_routeWaits.find(message.i(1));
    if (it != m_routeWaits.end() && !it->second.empty())
        m_actor = it->second.front().actor;
}

void CFrameWorker::onSent(const DeviceMessage& message) {
    if (message.command == CommandId::aliverequest && message.isRequest() && !m_aliveOut) {
        m_aliveSent = std::chrono::steady_clock::now();
        m_aliveOut = true;
    }
}

void CFrameWorker::onMessage(const DeviceMessage& message, bool isReply) {
    m_actor.clear();
    if (!m_session)
        return;
    const DeviceState& state = m_session->state();
    if (isReply && message.command == CommandId::aliverequest && m_aliveOut) {
        m_aliveOut = false;
        m_events.pollRoundTrip(
            m_index, std::chrono::duration<double>(std::chrono::steady_clock::now() - m_aliveSent)
                         .count());
        return;
    }

    std::vector<std::uint64_t> done;
    if (isReply && message.command == CommandId::scross) {
        const auto it = m_routeWaits.find(message.i(1));
        if (it != m_routeWaits.end() && !it->second.empty()) {
            const PendingRoute wait = it->second.front();
            it->second.pop_front();
            Request& request = m_requests[wait.request];
            RouteResult& r = request.routes[wait.slot];
            r.status = message.status;
            r.reported = message.status == 0 ? message.i(2) : 0;
            r.outcome = message.status == 0 && r.reported == r.asked.input
                            ? ChangeOutcome::Confirmed
                            : ChangeOutcome::Refused;
            if (--request.open == 0)
                done.push_back(wait.request);
        }
    }
    if (isReply && message.command == CommandId::slabel) {
        const auto it = m_labelWaits.find({message.i(1), message.i(2)});
        if (it != m_labelWaits.end() && !it->second.empty()) {
            const PendingLabel wait = it->second.front();
            it->second.pop_front();
            Request& request = m_requests[wait.request];
            LabelResult& r = request.labelResults[wait.slot];
            const std::string_view kept = message.text(3, 17);
            if (message.status != 0) {
                r.outcome = ChangeOutcome::Refused;
                r.why = "the frame refused it (status " + std::to_string(message.status) + ")";
            } else if (kept != wait.text) {
                r.outcome = ChangeOutcome::Refused;
                r.why = std::string("the frame kept \"").append(kept).append("\"");
            } else {
                r.outcome = ChangeOutcome::Confirmed;
            }
            if (--request.open == 0)
                done.push_back(wait.request);
        }
    }

    const bool wasRead = m_read;
    if (!m_read && state.connected) {
        const auto& progress = m_session->engine().startupProgress();
        m_read = progress.lastStageSent && !progress.reading;
    }
    if (m_read && !wasRead) {
        publish(true);
    } else if (wasRead && changesRoutes(message)) {
        std::vector<RouteChange> changes;
        const int count = std::min(m_snapshot.crosspoints, state.crosspointCount());
        for (int n = 1; n <= count; ++n) {
            const std::int32_t now = std::max(0, state.live.crosspoints[at(n)]);
            if (now != m_snapshot.routes[at(n)])
                changes.push_back({n, now});
        }
        publish(false);
        if (!changes.empty())
            m_events.routesChanged(m_index, std::move(changes));
    } else if (wasRead && changesLabels(message)) {
        std::vector<LabelChange> changes;
        const int count = std::min({m_snapshot.crosspoints, state.crosspointCount(), kLabelChannels});
        for (int n = 1; n <= count; ++n) {
            const std::string_view in = state.settings.inputLabels[at(n)].view();
            const std::string_view out = state.settings.outputLabels[at(n)].view();
            if (in != m_snapshot.inputLabels[at(n)] || out != m_snapshot.outputLabels[at(n)])
                changes.push_back({n, std::string(in), std::string(out)});
        }
        publish(false);
        if (!changes.empty())
            m_events.labelsChanged(m_index, std::move(changes));
    } else {
        publishSoon();
    }
    for (const std::uint64_t id : done)
        finish(id);
}

void CFrameWorker::publishSoon() {
    if (m_publish && !m_publish->isActive())
        m_publish->start();
}

void CFrameWorker::publish(bool full) {
    if (m_session && m_session->connected()) {
        const DeviceState& state = m_session->state();
        if (full) {
            fillSnapshot(m_snapshot, state, m_session->engine().statusFields(),
                         m_session->engine().settingsEnabled());
        } else {
            fillRoutes(m_snapshot, state);
        }
        m_snapshot.firmware = std::string(state.settings.swVersion[kModuleMainBoard].second[0].view());
    } else if (full) {
        m_snapshot.crosspoints = 0;
        m_snapshot.routes.assign(1, 0);
        m_snapshot.routeReported.assign(1, false);
        m_snapshot.inputLabels.assign(1, {});
        m_snapshot.outputLabels.assign(1, {});
    }
    m_snapshot.read = m_read;
    if (full && m_publish)
        m_publish->stop();
    m_events.snapshotChanged(m_index, std::make_shared<const FrameSnapshot>(m_snapshot));
}

void CFrameWorker::applyRoutes(std::uint64_t id, std::vector<RouteChange> changes,
                               std::string actor) {
    Request& request = m_requests[id];
    for (const RouteChange& c : changes)
        request.routes.push_back({c, ChangeOutcome::Unanswered, 0, 0});
    if (!m_session || !m_session->connected()) {
        giveUp(id, ChangeOutcome::Offline);
        return;
    }
    const int count = m_session->state().crosspointCount();
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const RouteChange& c = changes[i];
        if (c.output < 1 || c.output > count || c.input < 0 || c.input > count) {
            request.routes[i].outcome = ChangeOutcome::Refused;
            continue;
        }
        m_routeWaits[c.output].push_back({id, i, actor});
        ++request.open;
    }
    // Every wait is filed before the first request goes, so an answer that
    // comes at once finds its entry.
    for (const RouteChange& c : changes)
        if (c.output >= 1 && c.output <= count && c.input >= 0 && c.input <= count)
            m_session->engine().sendRequest(crosspointRequest(c.output, c.input));
    if (request.open == 0) {
        finish(id);
        return;
    }
    armTimeLimit(id, request);
}

void CFrameWorker::applyLabels(std::uint64_t id, std::vector<LabelChange> changes,
                               std::string actor) {
    Request& request = m_requests[id];
    request.labels = true;
    for (const LabelChange& c : changes)
        for (const bool output : {false, true})
            if (const auto& text = output ? c.output : c.input)
                request.labelResults.push_back(
                    {c.channel, output, *text, ChangeOutcome::Unanswered, {}});
    if (!m_session || !m_session->connected()) {
        giveUp(id, ChangeOutcome::Offline);
        return;
    }
    const DeviceState& state = m_session->state();
    const ChannelRange range = channelRangeOf(state);
    std::vector<DeviceMessage> sends;
    for (std::size_t i = 0; i < request.labelResults.size(); ++i) {
        LabelResult& r = request.labelResults[i];
        const LabelKind kind = r.output ? LabelKind::Output : LabelKind::Input;
        const auto& now = r.output ? state.settings.outputLabels : state.settings.inputLabels;
        if (!range.listed(r.channel) || range.blocked(r.channel) || r.channel > kLabelChannels) {
            r.outcome = ChangeOutcome::Refused;
            r.why = "channel " + std::to_string(r.channel) + " cannot be labelled on this frame";
        } else if (auto problem = sendableTextProblem(r.text, kLabelLength)) {
            r.outcome = ChangeOutcome::Refused;
            r.why = "the label " + *problem;
        } else if (now[at(r.channel)].view() == r.text) {
            r.outcome = ChangeOutcome::Confirmed; // already so: nothing to send
        } else {
            m_labelWaits[{static_cast<int>(kind), r.channel}].push_back({id, i, r.text});
            sends.push_back(labelRequest(kind, r.channel, r.text));
            ++request.open;
        }
    }
    for (const DeviceMessage& m : sends)
        m_session->engine().sendRequest(m);
    if (!sends.empty())
        logServerEvent(EventKind::SettingsApplied,
                       "Labels sent by " + actor + ": " + std::to_string(sends.size()));
    if (request.open == 0) {
        finish(id);
        return;
    }
    armTimeLimit(id, request);
}

void CFrameWorker::armTimeLimit(std::uint64_t id, Request& request) {
    request.timer = std::make_unique<QTimer>();
    request.timer->setSingleShot(true);
    connect(request.timer.get(), &QTimer::timeout, this,
            [this, id] { giveUp(id, ChangeOutcome::Unanswered); });
    request.timer->start(m_changeTimeoutMs);
}

void CFrameWorker::giveUp(std::uint64_t id, ChangeOutcome outcome) {
    const auto it = m_requests.find(id);
    if (it == m_requests.end())
        return;
    for (auto& [output, waits] : m_routeWaits)
        std::erase_if(waits, [id](const PendingRoute& w) { return w.request == id; });
    for (auto& [key, waits] : m_labelWaits)
        std::erase_if(waits, [id](const PendingLabel& w) { return w.request == id; });
    for (RouteResult& r : it->second.routes)
        if (r.outcome == ChangeOutcome::Unanswered)
            r.outcome = outcome;
    for (LabelResult& r : it->second.labelResults)
        if (r.outcome == ChangeOutcome::Unanswered)
            r.outcome = outcome;
    it->second.open = 0;
    finish(id);
}

void CFrameWorker::finish(std::uint64_t id) {
    const auto it = m_requests.find(id);
    if (it == m_requests.end())
        return;
    Request request = std::move(it->second);
    m_requests.erase(it);
    if (request.timer)
        request.timer->stop();
    // Clients that read the routes after the answer see what it confirmed.
    if (m_session && m_session->connected())
        publish(false);
    if (request.labels)
        m_events.labelsDone(id, std::move(request.labelResults));
    else
        m_events.routesDone(id, std::move(request.routes));
}

void CFrameWorker::logServerEvent(EventKind kind, std::string text) {
    Event event;
    event.timeMs = m_clock.nowMs();
    event.kind = kind;
    event.text = std::move(text);
    if (m_session)
        event.frame = frameIdentityOf(m_session->state());
    if (event.frame.address.empty())
        event.frame.address = m_frame.address;
    onEvent(event);
}

// ---- the event deriver, and what the link does ----

void CFrameWorker::linkOpened(const DeviceState& state) { m_deriver->linkOpened(state); }

void CFrameWorker::connectFailed(std::string_view address) { m_deriver->connectFailed(address); }

void CFrameWorker::linkClosing(const DeviceState& state, std::string_view lost) {
    m_deriver->linkClosing(state, lost);
    if (m_stopping)
        return;
    // Called from inside the engine: the reconnect waits for the stack to unwind.
    std::string why = lost.empty() ? std::string("link closed") : std::string(lost);
    QMetaObject::invokeMethod(
        this, [this, why = std::move(why)]() mutable { linkEnded(std::move(why)); },
        Qt::QueuedConnection);
}

void CFrameWorker::dispatched(const DeviceState& state, const DeviceMessage& message,
                              bool isReply) {
    m_deriver->dispatched(state, message, isReply);
}

void CFrameWorker::settingsApplied(const DeviceState& state, int requests) {
    m_deriver->settingsApplied(state, requests);
}

void CFrameWorker::onEvent(const Event& event) {
    Event named = event;
    if (!m_actor.empty() &&
        (event.kind == EventKind::RouteOwn || event.kind == EventKind::RouteRefused)) {
        named.text += " (by ";
        named.text += m_actor;
        named.text += ")";
    }
    if (m_log)
        m_log->onEvent(named);
    m_events.eventLogged(m_index, named);
}

} // namespace velmar
