#pragma once

#include "server/CVelmarServer.h"
#include "videohub/VideohubRouter.h"

#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <map>
#include <memory>
#include <vector>

namespace velmar {

// How much a Videohub client may cost the server.
struct VideohubServerLimits {
    VideohubLimits blocks;
    qint64 maxUnsentBytes = 4 * 1024 * 1024; // a client that does not read is dropped past it
    int maxClientsPerFrame = 64;
};

// The frames served as Videohub routers: a listener per frame that has a
// port, a router per frame, and its clients. Changes go through the server's
// sessions like the API's, and only what the frames report goes back out.
// Lives on the server's thread.
class CVideohubServer final : public QObject, private IFrameListener {
    Q_OBJECT
public:
    CVideohubServer(CVelmarServer& server, const ServerConfig& config,
                    VideohubServerLimits limits = {}, QObject* parent = nullptr);
    ~CVideohubServer() override;

    // Opens every frame's listener; false with `error` naming the frame and
    // the port that could not be had (the others are closed again).
    bool listen(QString& error);
    // Stops taking clients and closes those there are. Idempotent.
    void close();

    struct Listening {
        std::string frameId;
        QHostAddress address;
        quint16 port = 0;
    };
    std::vector<Listening> listening() const;
    int clients() const;

private:
    struct Client {
        VideohubClient id = 0;
        QTcpSocket* socket = nullptr; // owned; deleted later
        CVideohubParser parser;
        std::string actor;
        explicit Client(VideohubLimits limits) : parser(limits) {}
    };
    struct Listener {
        int frame = 0;
        ServedFrame config;
        std::unique_ptr<QTcpServer> server;
        std::unique_ptr<CVideohubRouter> router;
        std::map<VideohubClient, std::unique_ptr<Client>> clients;
    };

    void onNewConnection(Listener& listener);
    void onReadyRead(Listener& listener, VideohubClient id);
    void drop(Listener& listener, VideohubClient id);
    void deliver(Listener& listener, std::vector<VideohubSend>& sends);
    void carryOut(Listener& listener, const Client& client, VideohubRequest request);
    Listener* listenerOf(int frame);

    // IFrameListener
    void snapshotChanged(int frame, const FrameSnapshot& snapshot) override;
    void routesChanged(int frame, const std::vector<RouteChange>& changes) override;
    void labelsChanged(int frame, const std::vector<LabelChange>& changes) override;

    CVelmarServer& m_server;
    const std::vector<Ipv4Network> m_allow;
    const VideohubServerLimits m_limits;
    std::vector<std::unique_ptr<Listener>> m_listeners;
    VideohubClient m_nextClient = 1;
    bool m_closed = false;
};

// The snapshot as a router sees it.
VideohubFrame videohubFrameOf(const FrameSnapshot& snapshot);

} // namespace velmar
