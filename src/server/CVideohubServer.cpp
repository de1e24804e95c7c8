#include "server/CVideohubServer.h"

#include "server/ClientSockets.h"

#include <QPointer>

namespace velmar {

namespace {

constexpr qint64 kReadChunk = 16 * 1024;

} // namespace

VideohubFrame videohubFrameOf(const FrameSnapshot& s) {
    VideohubFrame f;
    f.id = s.id;
    f.name = s.name;
    f.type = s.type;
    f.serial = s.serial;
    f.read = s.read;
    f.crosspoints = s.crosspoints;
    f.routes = s.routes;
    f.inputLabels = s.inputLabels;
    f.outputLabels = s.outputLabels;
    return f;
}

CVideohubServer::CVideohubServer(CVelmarServer& server, const ServerConfig& config,
                                 VideohubServerLimits limits, QObject* parent)
    : QObject(parent), m_server(server), m_allow(config.videohubAllow), m_limits(limits) {
    for (int i = 0; i < static_cast<int>(config.frames.size()) && i < server.frameCount(); ++i) {
        const ServedFrame& frame = config.frames[static_cast<std::size_t>(i)];
        if (frame.videohubPort == 0)
            continue;
        auto l = std::make_unique<Listener>();
        l->frame = i;
        l->config = frame;
        l->router = std::make_unique<CVideohubRouter>(frame.videohubReadOnly);
        std::vector<VideohubSend> none;
        l->router->frameChanged(videohubFrameOf(server.snapshot(i)), none);
        m_listeners.push_back(std::move(l));
    }
    m_server.addListener(this);
}

CVideohubServer::~CVideohubServer() {
    m_server.removeListener(this);
    close();
}

bool CVideohubServer::listen(QString& error) {
    // The protocol has no authentication: loopback unless client networks
    // are named, and then only those (checked per client).
    const QHostAddress address = m_allow.empty() ? QHostAddress(QHostAddress::LocalHost)
                                                 : QHostAddress(QHostAddress::AnyIPv4);
    for (auto& l : m_listeners) {
        l->server = std::make_unique<QTcpServer>();
        Listener* listener = l.get();
        connect(l->server.get(), &QTcpServer::pendingConnectionAvailable, this,
                [this, listener] { onNewConnection(*listener); });
        if (!l->server->listen(address, l->config.videohubPort)) {
            error = QStringLiteral("cannot listen for Videohub clients of frame %1 on %2:%3: %4")
                        .arg(QString::fromStdString(l->config.id), address.toString())
                        .arg(l->config.videohubPort)
                        .arg(l->server->errorString());
            for (auto& other : m_listeners)
                other->server.reset();
            return false;
        }
    }
    return true;
}

void CVideohubServer::close() {
    if (m_closed)
        return;
    m_closed = true;
    for (auto& l : m_listeners) {
        if (l->server)
            l->server->close();
        for (auto& [id, client] : l->clients)
            discardClientSocket(client->socket, this);
        l->clients.clear();
    }
}

std::vector<CVideohubServer::Listening> CVideohubServer::listening() const {
    std::vector<Listening> out;
    for (const auto& l : m_listeners)
        if (l->server && l->server->isListening())
            out.push_back({l->config.id, l->server->serverAddress(), l->server->serverPort()});
    return out;
}

int CVideohubServer::clients() const {
    int n = 0;
    for (const auto& l : m_listeners)
        n += static_cast<int>(l->clients.size());
    return n;
}

void CVideohubServer::onNewConnection(Listener& l) {
    while (l.server && l.server->hasPendingConnections()) {
        QTcpSocket* socket = l.server->nextPendingConnection();
        if (!socket)
            break;
        if (m_closed || !peerAllowed(m_allow, socket->peerAddress()) ||
            static_cast<int>(l.clients.size()) >= m_limits.maxClientsPerFrame) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        adoptClientSocket(socket, 4 * kReadChunk);
        auto client = std::make_unique<Client>(m_limits.blocks);
        client->id = m_nextClient++;
        client->socket = socket;
        client->actor = clientActor("Videohub client", *socket);
        const VideohubClient id = client->id;
        Listener* listener = &l;
        connect(socket, &QTcpSocket::readyRead, this,
                [this, listener, id] { onReadyRead(*listener, id); });
        connect(socket, &QTcpSocket::disconnected, this,
                [this, listener, id] { drop(*listener, id); });
        connect(socket, &QTcpSocket::errorOccurred, this,
                [this, listener, id] { drop(*listener, id); });
        l.clients.emplace(id, std::move(client));
        std::vector<VideohubSend> sends{{id, l.router->connect(id)}};
        deliver(l, sends);
    }
}

void CVideohubServer::drop(Listener& l, VideohubClient id) {
    const auto it = l.clients.find(id);
    if (it == l.clients.end())
        return;
    discardClientSocket(it->second->socket, this);
    l.clients.erase(it);
    std::vector<VideohubSend> sends;
    l.router->disconnect(id, sends);
    deliver(l, sends);
}

void CVideohubServer::deliver(Listener& l, std::vector<VideohubSend>& sends) {
    std::vector<VideohubClient> slow;
    for (const VideohubSend& s : sends) {
        const auto it = l.clients.find(s.client);
        if (it == l.clients.end() || s.text.empty())
            continue;
        QTcpSocket* socket = it->second->socket;
        socket->write(s.text.data(), static_cast<qint64>(s.text.size()));
        if (socket->bytesToWrite() > m_limits.maxUnsentBytes)
            slow.push_back(s.client);
    }
    sends.clear();
    // A client that does not read would make the server hold all it is
    // told: it goes, and gets the whole state again when it comes back.
    for (const VideohubClient id : slow)
        drop(l, id);
}

void CVideohubServer::onReadyRead(Listener& l, VideohubClient id) {
    std::vector<VideohubBlock> blocks;
    std::vector<VideohubSend> sends;
    while (true) {
        const auto it = l.clients.find(id);
        if (it == l.clients.end())
            return;
        Client& client = *it->second;
        if (client.socket->bytesAvailable() <= 0)
            return;
        const QByteArray chunk = client.socket->read(kReadChunk);
        if (!client.parser.feed(std::string_view(chunk.constData(), chunk.size()), blocks)) {
            // Past a bound: a clear refusal, then the door.
            client.socket->write(kVideohubNak.data(), static_cast<qint64>(kVideohubNak.size()));
            client.socket->disconnect(this);
            client.socket->disconnectFromHost();
            QTcpSocket* socket = client.socket;
            l.clients.erase(it);
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            if (socket->state() == QAbstractSocket::UnconnectedState)
                socket->deleteLater();
            l.router->disconnect(id, sends);
            deliver(l, sends);
            return;
        }
        for (const VideohubBlock& block : blocks) {
            if (!l.clients.count(id))
                return; // dropped while being answered
            VideohubRequest request = l.router->handle(id, block, sends);
            deliver(l, sends);
            if (!request.routes.empty() || !request.labels.empty()) {
                const auto still = l.clients.find(id);
                if (still == l.clients.end())
                    return;
                carryOut(l, *still->second, std::move(request));
            }
        }
        blocks.clear();
    }
}

void CVideohubServer::carryOut(Listener& l, const Client& client, VideohubRequest request) {
    QPointer<CVideohubServer> self(this);
    Listener* listener = &l;
    if (!request.routes.empty()) {
        std::vector<RouteChange> changes;
        changes.reserve(request.routes.size());
        for (const VideohubRoute& r : request.routes)
            changes.push_back({r.output, r.input});
        m_server.changeRoutes(l.frame, std::move(changes), client.actor,
                              [self, listener](const std::vector<RouteResult>& results) {
                                  if (!self || self->m_closed)
                                      return;
                                  // Only what the frame confirmed is news.
                                  std::vector<VideohubRoute> confirmed;
                                  for (const RouteResult& r : results)
                                      if (r.outcome == ChangeOutcome::Confirmed)
                                          confirmed.push_back({r.asked.output, r.reported});
                                  std::vector<VideohubSend> sends;
                                  listener->router->routesReported(confirmed, sends);
                                  self->deliver(*listener, sends);
                              });
    }
    if (!request.labels.empty()) {
        std::vector<LabelChange> changes;
        changes.reserve(request.labels.size());
        for (VideohubLabel& label : request.labels) {
            LabelChange c;
            c.channel = label.channel;
            (label.output ? c.output : c.input) = std::move(label.text);
            changes.push_back(std::move(c));
        }
        m_server.changeLabels(l.frame, std::move(changes), client.actor,
                              [self, listener](const std::vector<LabelResult>& results) {
                                  if (!self || self->m_closed)
                                      return;
                                  std::vector<VideohubLabel> confirmed;
                                  for (const LabelResult& r : results)
                                      if (r.outcome == ChangeOutcome::Confirmed)
                                          confirmed.push_back({r.channel, r.output, r.text});
                                  std::vector<VideohubSend> sends;
                                  listener->router->labelsReported(confirmed, sends);
                                  self->deliver(*listener, sends);
                              });
    }
}

CVideohubServer::Listener* CVideohubServer::listenerOf(int frame) {
    for (auto& l : m_listeners)
        if (l->frame == frame)
            return l.get();
    return nullptr;
}

void CVideohubServer::snapshotChanged(int frame, const FrameSnapshot& snapshot) {
    if (Listener* l = listenerOf(frame)) {
        std::vector<VideohubSend> sends;
        l->router->frameChanged(videohubFrameOf(snapshot), sends);
        deliver(*l, sends);
    }
}

void CVideohubServer::routesChanged(int frame, const std::vector<RouteChange>& changes) {
    if (Listener* l = listenerOf(frame)) {
        std::vector<VideohubRoute> routes;
        routes.reserve(changes.size());
        for (const RouteChange& c : changes)
            routes.push_back({c.output, c.input});
        std::vector<VideohubSend> sends;
        l->router->routesReported(routes, sends);
        deliver(*l, sends);
    }
}

void CVideohubServer::labelsChanged(int frame, const std::vector<LabelChange>& changes) {
    if (Listener* l = listenerOf(frame)) {
        std::vector<VideohubLabel> labels;
        for (const LabelChange& c : changes) {
            if (c.input)
                labels.push_back({c.channel, false, *c.input});
            if (c.output)
                labels.push_back({c.channel, true, *c.output});
        }
        std::vector<VideohubSend> sends;
        l->router->labelsReported(labels, sends);
        deliver(*l, sends);
    }
}

} // namespace velmar
