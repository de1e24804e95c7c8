#pragma once

#include "emberplus/EmberProvider.h"
#include "emberplus/S101.h"
#include "server/CVelmarServer.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <deque>
#include <map>
#include <memory>

namespace velmar {

// How much an Ember+ consumer may cost the server.
struct EmberServerLimits {
    // What a consumer sends is small (a salvo of every target is some 30 KB):
    // its messages are bounded well below what a provider's replies may be,
    // which also bounds the memory a decoded message can take.
    S101Limits s101{.maxFrameBytes = 8 * 1024, .maxMessageBytes = 256 * 1024};
    GlowLimits glow{.maxDepth = 64, .maxElements = 16 * 1024, .maxStringBytes = 4 * 1024};
    EmberProviderLimits provider;
    qint64 maxUnsentBytes = 16 * 1024 * 1024; // a consumer further behind is dropped
    qint64 writeWindow = 64 * 1024; // handed to the socket at a time, so others take turns
    int maxClients = 64;
    int keepAliveMs = 10000;   // a consumer silent this long is asked if it is there
    int silentLimitMs = 30000; // and one silent this long is closed
};

// Every frame as an Ember+ provider on one port: S101 framing, a consumer per
// connection, the tree kept by CEmberProvider. Changes go through the
// server's sessions like the API's, and only what the frames report goes back
// out. Lives on the server's thread.
class CEmberServer final : public QObject, private IFrameListener {
    Q_OBJECT
public:
    CEmberServer(CVelmarServer& server, const ServerConfig& config, EmberServerLimits limits = {},
                 QObject* parent = nullptr);
    ~CEmberServer() override;

    // Opens the listener when a port is configured; false with `error` when
    // it cannot be had.
    bool listen(QString& error);
    // Stops taking consumers and closes those there are. Idempotent.
    void close();

    bool listening() const { return m_listener && m_listener->isListening(); }
    QHostAddress address() const;
    quint16 port() const;
    int clients() const { return static_cast<int>(m_clients.size()); }
    qint64 dropped() const { return m_dropped; }

private:
    struct Client {
        EmberClient id = 0;
        QTcpSocket* socket = nullptr; // owned; deleted later
        CS101Decoder decoder;
        std::deque<std::string> queue; // framed, not yet handed to the socket
        qint64 queued = 0;
        std::string actor;
        qint64 heardMs = 0; // when it last sent anything
        explicit Client(const S101Limits& limits) : decoder(limits) {}
    };

    void onNewConnection();
    void onReadyRead(EmberClient id);
    void onKeepAlive();
    void drop(EmberClient id);
    // Closes a consumer whose stream is broken, saying why in the log line.
    void refuse(EmberClient id, const std::string& why);
    void deliver(std::vector<EmberSend>& sends);
    void enqueue(Client& client, std::string framed);
    void pump(EmberClient id);
    void carryOut(EmberClient client, EmberRequest request, const std::string& actor);

    // IFrameListener
    void snapshotChanged(int frame, const FrameSnapshot& snapshot) override;
    void routesChanged(int frame, const std::vector<RouteChange>& changes) override;
    void labelsChanged(int frame, const std::vector<LabelChange>& changes) override;

    CVelmarServer& m_server;
    const std::vector<Ipv4Network> m_allow;
    const quint16 m_port;
    const EmberServerLimits m_limits;
    CEmberProvider m_provider;
    std::unique_ptr<QTcpServer> m_listener;
    std::map<EmberClient, std::unique_ptr<Client>> m_clients;
    EmberClient m_nextClient = 1;
    QTimer m_keepAlive;
    QElapsedTimer m_clock;
    qint64 m_dropped = 0;
    bool m_closed = false;
};

// The snapshot as a consumer sees it.
EmberFrame emberFrameOf(const FrameSnapshot& snapshot);

} // namespace velmar
