#pragma once

#include "link/CLineReceiver.h"
#include "engine/EngineInterfaces.h"
#include "engine/PollingEngine.h"
#include "engine/Questions.h"
#include "engine/XyBurst.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace velmar {

class CZarvoSocket;

// The frame velmarctl talks to, as the window's device list row would name it.
struct CtlTarget {
    std::string addressColumn; // the dotted address, with "*" or "#" in front for those states
    std::string type;          // the Type column ("460" ...); empty when unknown
};

// One connection to a frame, run by the window's own polling engine: the same
// probe, port, start requests, stage-two poll, card poll, dispatch into
// DeviceState and alive supervision. Where the window shows things, the
// session keeps them for velmarctl to print; where it asks, nobody is there
// to answer, so every question is answered "No".
class CCtlSession final : public QObject,
                          private IOperator,
                          private IMainView,
                          private IQuestions,
                          private CLineReceiver::IHandler {
    Q_OBJECT
public:
    // How the numbered timers are kept; tests hand in a clock of their own.
    using TimerHostFactory = std::function<std::unique_ptr<ITimerHost>(std::function<void(int)>)>;

    enum class Wait { Done, TimedOut, LinkLost, Interrupted };
    // How a link ended, for the exit status.
    enum class LinkEnd { Open, ClosedByUs, PeerClosed, Silent };

    explicit CCtlSession(quint16 framePort = 10002, const TimerHostFactory& timers = {});
    ~CCtlSession() override;

    // Connects as the window does when the row is chosen. False when the frame
    // was not reached; lastMessage() then says why.
    bool open(const CtlTarget& target, bool telnet, int timeoutMs);
    void close();
    bool connected() const { return m_engine.state().connected; }

    // Runs the event loop until `done` holds, the time is up, the link is
    // lost or interrupt() was called.
    Wait waitFor(const std::function<bool()>& done, int timeoutMs);
    // Runs the event loop until `done` holds (true), the time is up (-1: no
    // limit) or `stop` turns true (false). `done` and `stop` are looked at
    // after each event; the thread sleeps in between.
    static bool pumpUntil(const std::function<bool()>& done, int timeoutMs, const bool& stop);
    // Waits until everything the engine has asked for is answered and no poll
    // is pending: the start requests, stage two, the settings and card poll.
    // Marker requests ("gip" with a tag) tell when the frame has answered all
    // that went before, since it answers in order; from a frame that answers
    // without the tag, the marker's answer is told by its place among the
    // gip replies.
    Wait waitUntilSettled(int timeoutMs);
    // Ends the current and every later wait with Interrupted.
    void interrupt();

    // Sends one request as typed (flags and tag as the message has them).
    void sendRaw(const DeviceMessage& message) override;

    // Every message the frame sends, after the engine has dispatched it, and
    // the frame's answers to alive requests (isReply set; not dispatched).
    using Observer =
        std::function<void(const DeviceMessage&, bool isReply, const CResponseDecoder&)>;
    void setObserver(Observer observer) { m_observer = std::move(observer); }
    // Every message the frame sends, before the engine dispatches it (so a
    // caller can tell the event log on whose behalf the answer came).
    using Hook = std::function<void(const DeviceMessage&, bool isReply)>;
    void setDispatchHook(Hook hook) { m_dispatchHook = std::move(hook); }
    // Every message sent to the frame, as it goes (round-trip times).
    void setSendHook(std::function<void(const DeviceMessage&)> hook) { m_sendHook = std::move(hook); }

    CPollingEngine& engine() { return m_engine; }
    const DeviceState& state() const { return m_engine.state(); }
    CXyBurst& burst() { return m_burst; }
    IQuestions& questions() { return *this; }
    LinkEnd linkEnd() const { return m_linkEnd; }
    // Why the frame's side ended the link (meaningful for LinkEnd::PeerClosed).
    LinkLoss lossCause() const { return m_lossCause; }
    // The last message the engine wanted to show ("Connect failed, target not responding").
    const std::string& lastMessage() const { return m_lastMessage; }
    // Tags velmarctl puts on requests of its own count up from here.
    std::uint16_t nextTag();
    // True once a reply came back with a tag: the frame echoes tags, so an
    // untagged line is never the answer to a tagged request.
    bool tagsEchoed() const { return m_tagsEchoed; }

private:
    void onTimer(int id);
    // IOperator
    void showMessage(std::string_view text) override;
    bool askYesNo(std::string_view text) override;
    // IQuestions
    bool askYesNo(std::string_view title, std::string_view text) override;
    // IMainView: nothing is drawn.
    void titleChanged(std::string_view) override {}
    void statusFieldsChanged(const StatusFields&) override {}
    void settingsEnabledChanged(bool) override {}
    void crosspointControlsEnabledChanged(bool) override {}
    void connectButtonTextChanged(std::string_view) override {}
    void deviceListReset() override {}
    void deviceRowInfoChanged(std::string_view, std::string_view, std::string_view) override {}
    void deviceRowIdentityChanged(std::string_view, int, std::string_view) override {}
    void crosspointListCleared() override {}
    void rebuildCrosspointTypeLists() override {}
    void crosspointRowChanged(int) override {}
    void crosspointListChanged() override {}
    void ipFlowListChanged(bool) override {}
    void inputOutputSelectionCleared() override {}
    void statusMessage(std::string_view) override {}
    void deviceOffline(std::string_view) override {}
    // CLineReceiver::IHandler
    bool receiving() const override { return m_engine.receiving(); }
    void onDataReceived() override { m_engine.onDataReceived(); }
    void onMessage(const DeviceMessage& message, bool isReply) override;
    void onAliveAnswer(const DeviceMessage& message) override;

    // The engine's link: the echo probe, a CZarvoSocket.
    class Link final : public ILink {
    public:
        explicit Link(CCtlSession& session) : m_session(session) {}
        int open(std::string_view address, int port, bool probeFirst) override;
        void close() override;
        void send(const DeviceMessage& message) override;

    private:
        CCtlSession& m_session;
    };

    // Keeps which timers run, whoever backs them, so the session knows when
    // a poll is still to come.
    class TrackedTimers final : public ITimerHost {
    public:
        explicit TrackedTimers(std::unique_ptr<ITimerHost> host) : m_host(std::move(host)) {}
        void startTimer(int id, int periodMs) override;
        void stopTimer(int id) override;
        bool isActive(int id) const { return m_active.count(id) != 0; }

    private:
        std::unique_ptr<ITimerHost> m_host;
        std::set<int> m_active;
    };

    quint16 m_framePort;
    int m_connectTimeoutMs = 5000;
    Link m_link{*this};
    std::unique_ptr<TrackedTimers> m_timers;
    CPollingEngine m_engine;
    CXyBurst m_burst;
    QPointer<CZarvoSocket> m_socket;
    Observer m_observer;
    Hook m_dispatchHook;
    std::function<void(const DeviceMessage&)> m_sendHook;
    std::string m_lastMessage;
    LinkEnd m_linkEnd = LinkEnd::Open;
    LinkLoss m_lossCause = LinkLoss::Closed;
    bool m_peerClosing = false;
    bool m_closing = false;
    bool m_interrupted = false;
    int m_sent = 0;
    std::uint16_t m_tag = 0;
    std::uint16_t m_markerTag = 0;
    bool m_markerAnswered = false;
    bool m_tagsEchoed = false;
    // "gip" requests sent and replies received, tagged or not. A frame that
    // drops tags still answers in order, so the marker's answer is the gip
    // reply that follows the answers to every gip sent before it.
    int m_gipSent = 0;
    int m_gipReplies = 0;
    int m_markerGipReply = 0; // the count m_gipReplies reaches with the marker's answer
};

} // namespace velmar
