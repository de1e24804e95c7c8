#pragma once

#include "events/EventLogWriter.h"
#include "server/CFrameWorker.h"
#include "server/CHttpConnection.h"
#include "server/Metrics.h"
#include "server/ServerConfig.h"
#include "server/Tokens.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QThread>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

namespace velmar {

// What another protocol face (a router protocol's listener) hears of the
// frames, on the server's thread.
class IFrameListener {
public:
    virtual ~IFrameListener() = default;
    virtual void snapshotChanged(int /*frame*/, const FrameSnapshot& /*snapshot*/) {}
    virtual void routesChanged(int /*frame*/, const std::vector<RouteChange>& /*changes*/) {}
    virtual void labelsChanged(int /*frame*/, const std::vector<LabelChange>& /*changes*/) {}
};

// How many clients the server takes at once.
struct ServerLimits {
    ConnectionLimits connection;
    int maxConnections = 2048;
    int maxConnectionsPerAddress = 320;
    int maxWebSocketClients = 256;
};

// velmar-server: every configured frame kept connected, each on its own
// thread, and served to authorised clients over HTTP and WebSocket. A
// request travels: connection -> table match -> token and role -> the frame's
// snapshot (reads) or its worker (changes) -> the frame's answer -> the reply.
// What the frames announce goes to every WebSocket client that follows them.
class CVelmarServer final : public QObject, private IFrameEvents {
    Q_OBJECT
public:
    CVelmarServer(ServerConfig config, std::vector<ApiToken> tokens, ServerLimits limits = {},
                  quint16 framePort = 10002, QObject* parent = nullptr);
    ~CVelmarServer() override;

    // Opens the event log in `stateDirectory` (empty: none) and starts every
    // frame's session.
    void startFrames(const QString& stateDirectory);
    // The TLS settings of `config`'s certificate and key, or why they are no
    // good (the program checks them before it starts anything).
    static std::optional<QSslConfiguration> loadTls(const ServerConfig& config, QString& error);
    // Listens; false with `error` set when the address cannot be had or the
    // TLS files are no good.
    bool listen(QString& error);
    quint16 port() const;
    // Stops taking clients, closes every session and the log. Idempotent.
    void shutdown();

    // The snapshot the API answers from; nullptr for an unknown ID.
    const FrameSnapshot* frame(const std::string& id) const;
    int frameCount() const { return static_cast<int>(m_frames.size()); }
    const FrameSnapshot& snapshot(int frame) const {
        return *m_frames.at(static_cast<std::size_t>(frame)).snapshot;
    }

    // Changes for the other faces, carried out like the API's: `done` is
    // called on this thread once the frame has answered every one (or
    // failed to, or the link is gone). `actor` names the client in the log.
    using RoutesDone = std::function<void(const std::vector<RouteResult>&)>;
    using LabelsDone = std::function<void(const std::vector<LabelResult>&)>;
    void changeRoutes(int frame, std::vector<RouteChange> changes, std::string actor,
                      RoutesDone done);
    void changeLabels(int frame, std::vector<LabelChange> changes, std::string actor,
                      LabelsDone done);
    // Listeners hear every snapshot, route and label change after the API's
    // clients; they must outlive the server's frames or be removed.
    void addListener(IFrameListener* listener) { m_listeners.push_back(listener); }
    void removeListener(IFrameListener* listener) { std::erase(m_listeners, listener); }
    int webSocketClients() const { return static_cast<int>(m_webSockets.size()); }

Q_SIGNALS:
    void frameChanged(int index);

private:
    struct Frame {
        ServedFrame config;
        std::shared_ptr<const FrameSnapshot> snapshot;
        std::unique_ptr<QThread> thread;
        std::unique_ptr<CFrameWorker> worker;
        FrameMetrics metrics;
    };
    enum class Pending { Route, Salvo, Labels };
    struct PendingAnswer {
        QPointer<CHttpConnection> connection;
        Pending kind = Pending::Route;
        int frame = 0;
        RoutesDone routesDone; // a change of another face: called instead of answering
        LabelsDone labelsDone;
    };
    struct Caller {
        const ApiToken* token = nullptr; // nullptr on a server without tokens
        Role role = Role::Operator;
    };

    void onNewConnection();
    void onRequest(CHttpConnection* connection, const HttpRequest& request);
    void onWebSocketMessage(CHttpConnection* connection, const std::string& text);
    void onClosed(CHttpConnection* connection, bool dropped);
    void answer(CHttpConnection* connection, int status, std::string_view json,
                std::span<const std::pair<std::string, std::string>> headers = {});
    void answerError(CHttpConnection* connection, int status, std::string_view why);
    int frameIndex(const std::string& id) const;
    // The frame of a request with a frame ID: answers 404 or 503 itself when none.
    const Frame* requireFrame(CHttpConnection* c, const std::string& id, bool needLink);

    void routes(CHttpConnection* c, const ApiMatch& m, const HttpRequest& r, const Caller& who);
    void labels(CHttpConnection* c, const ApiMatch& m, const HttpRequest& r, const Caller& who);
    void events(CHttpConnection* c, const HttpRequest& r, const Caller& who, bool authenticated);
    void metrics(CHttpConnection* c);
    void openApi(CHttpConnection* c);
    void page(CHttpConnection* c, const std::string& file);
    void greet(CHttpConnection* c);
    void broadcast(int frame, const std::string& message);
    std::string actorOf(const Caller& who) const;

    // IFrameEvents: called on the frames' threads; each moves to this one.
    void snapshotChanged(int frame, std::shared_ptr<const FrameSnapshot> snapshot) override;
    void routesChanged(int frame, std::vector<RouteChange> changes) override;
    void labelsChanged(int frame, std::vector<LabelChange> changes) override;
    void eventLogged(int frame, const Event& event) override;
    void routesDone(std::uint64_t request, std::vector<RouteResult> results) override;
    void labelsDone(std::uint64_t request, std::vector<LabelResult> results) override;
    void pollRoundTrip(int frame, double seconds) override;
    void reconnecting(int frame) override;

    template <typename Changes>
    void queue(PendingAnswer pending, Changes changes, std::string actor,
               void (CFrameWorker::*apply)(std::uint64_t, Changes, std::string));
    void finishRoutes(std::uint64_t request, const std::vector<RouteResult>& results);
    void finishLabels(std::uint64_t request, const std::vector<LabelResult>& results);

    const ServerConfig m_config;
    const std::vector<ApiToken> m_tokens;
    const ServerLimits m_limits;
    const quint16 m_framePort;
    std::unique_ptr<QTcpServer> m_listener;
    std::vector<Frame> m_frames;
    std::map<std::string, int> m_byId;
    std::set<CHttpConnection*> m_connections;
    std::set<CHttpConnection*> m_webSockets;
    std::map<QString, int> m_perAddress;
    std::map<std::uint64_t, PendingAnswer> m_pending;
    std::vector<IFrameListener*> m_listeners;
    std::uint64_t m_nextRequest = 1;
    CSystemEventClock m_clock;
    std::unique_ptr<CEventLogWriter> m_log;
    ServerMetrics m_metrics;
    bool m_stopped = false;
};

} // namespace velmar
