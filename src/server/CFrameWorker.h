#pragma once

#include "events/Event.h"
#include "events/EventDeriver.h"
#include "events/EventLogFile.h"
#include "server/ApiTable.h"
#include "server/FrameSnapshot.h"
#include "server/ServerConfig.h"
#include "session/CCtlSession.h"

#include <QObject>
#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <random>

namespace velmar {

// What became of one route or label a client asked for.
enum class ChangeOutcome { Confirmed, Refused, Unanswered, Offline };
std::string_view changeOutcomeName(ChangeOutcome outcome); // "confirmed" ...

struct RouteResult {
    RouteChange asked;
    ChangeOutcome outcome = ChangeOutcome::Unanswered;
    std::int32_t status = 0; // the frame's status when refused
    int reported = 0;        // the input the frame's answer reports
};

struct LabelResult {
    int channel = 0;
    bool output = false; // which side
    std::string text;    // asked for
    ChangeOutcome outcome = ChangeOutcome::Unanswered;
    std::string why; // for a refusal, in plain words
};

// What a frame's thread tells the server's thread. Called on the frame's
// thread; the server moves each call over to its own.
class IFrameEvents {
public:
    virtual ~IFrameEvents() = default;
    virtual void snapshotChanged(int frame, std::shared_ptr<const FrameSnapshot> snapshot) = 0;
    // Outputs whose route changed after the frame was read, with the new input.
    virtual void routesChanged(int frame, std::vector<RouteChange> changes) = 0;
    virtual void labelsChanged(int frame, std::vector<LabelChange> changes) = 0;
    virtual void eventLogged(int frame, const Event& event) = 0;
    virtual void routesDone(std::uint64_t request, std::vector<RouteResult> results) = 0;
    virtual void labelsDone(std::uint64_t request, std::vector<LabelResult> results) = 0;
    virtual void pollRoundTrip(int frame, double seconds) = 0;
    virtual void reconnecting(int frame) = 0;
};

// One frame of the facility, kept connected on a thread of its own: the
// window's engine (through CCtlSession) connects, reads the frame and keeps
// its state from the frame's announcements, while this object reconnects
// after a lost link, carries out the changes clients ask for and publishes a
// snapshot after every change. A frame that blocks a connect or goes silent
// holds up only its own thread.
class CFrameWorker final : public QObject, private IStateObserver, private IEventSink {
    Q_OBJECT
public:
    CFrameWorker(int index, ServedFrame frame, int changeTimeoutMs, IFrameEvents& events,
                 IEventSink* log, quint16 framePort = 10002);
    ~CFrameWorker() override;

    // These run on the worker's thread (queue them there).
    void start();
    void stop();
    void applyRoutes(std::uint64_t request, std::vector<RouteChange> changes, std::string actor);
    void applyLabels(std::uint64_t request, std::vector<LabelChange> changes, std::string actor);

private:
    struct PendingRoute {
        std::uint64_t request = 0;
        std::size_t slot = 0; // its place in the request's results
        std::string actor;
    };
    struct PendingLabel {
        std::uint64_t request = 0;
        std::size_t slot = 0;
        std::string text;
    };
    struct Request {
        bool labels = false;
        std::vector<RouteResult> routes;
        std::vector<LabelResult> labelResults;
        int open = 0;
        std::unique_ptr<QTimer> timer;
    };

    void connectNow();
    void scheduleReconnect();
    void onMessage(const DeviceMessage& message, bool isReply);
    void beforeDispatch(const DeviceMessage& message, bool isReply);
    void onSent(const DeviceMessage& message);
    void publish(bool full);
    void publishSoon();
    void linkEnded(std::string why);
    void finish(std::uint64_t id);
    void giveUp(std::uint64_t id, ChangeOutcome outcome);
    // Unanswered once the change time-out has passed.
    void armTimeLimit(std::uint64_t id, Request& request);
    void logServerEvent(EventKind kind, std::string text);

    // IStateObserver: passed on to the event deriver.
    void linkOpened(const DeviceState& state) override;
    void connectFailed(std::string_view address) override;
    void linkClosing(const DeviceState& state, std::string_view lost) override;
    void dispatched(const DeviceState& state, const DeviceMessage& message, bool isReply) override;
    void settingsApplied(const DeviceState& state, int requests) override;
    // IEventSink: the deriver's events, to the log and to the clients.
    void onEvent(const Event& event) override;

    const int m_index;
    const ServedFrame m_frame;
    const int m_changeTimeoutMs;
    const quint16 m_framePort;
    IFrameEvents& m_events;
    IEventSink* m_log;
    CSystemEventClock m_clock;
    std::unique_ptr<CCtlSession> m_session;
    std::unique_ptr<CEventDeriver> m_deriver;
    std::unique_ptr<QTimer> m_reconnect; // made and ended on the frame's thread
    std::unique_ptr<QTimer> m_publish;   // coalesces the full snapshots of a burst of messages
    int m_attempt = 0;
    std::mt19937 m_random;
    FrameSnapshot m_snapshot;
    bool m_read = false;
    bool m_stopping = false;
    bool m_opening = false; // open() waits in a nested event loop: the session is on the stack
    std::string m_actor; // who asked for the answer being dispatched
    std::map<int, std::deque<PendingRoute>> m_routeWaits;                 // by output
    std::map<std::pair<int, int>, std::deque<PendingLabel>> m_labelWaits; // by kind, channel
    std::map<std::uint64_t, Request> m_requests;
    std::chrono::steady_clock::time_point m_aliveSent{};
    bool m_aliveOut = false;
};

} // namespace velmar
