#include "server/CEmberServer.h"

#include "server/ClientSockets.h"

#include <QPointer>

namespace velmar {

namespace {

constexpr qint64 kReadChunk = 16 * 1024;

} // namespace

EmberFrame emberFrameOf(const FrameSnapshot& s) {
    EmberFrame f;
    f.id = s.id;
    f.name = s.name;
    f.type = s.type;
    f.serial = s.serial;
    f.firmware = s.firmware;
    f.online = s.link == FrameLinkState::Connected && s.read;
    f.syncSource = s.syncSource;
    f.syncLocked = s.syncLocked;
    f.sampleRate = s.sampleRate;
    f.psus = s.psus;
    f.fans = s.fans;
    f.crosspoints = s.crosspoints;
    f.routes = s.routes;
    f.inputLabels = s.inputLabels.shared();
    f.outputLabels = s.outputLabels.shared();
    return f;
}

CEmberServer::CEmberServer(CVelmarServer& server, const ServerConfig& config,
                           EmberServerLimits limits, QObject* parent)
    : QObject(parent), m_server(server), m_allow(config.emberAllow), m_port(config.emberPort),
      m_limits(limits), m_provider(server.frameCount(), limits.provider) {
    m_clock.start();
    if (m_port == 0)
        return; // without a port the frames' changes are not worth a copy
    std::vector<EmberSend> none;
    for (int i = 0; i < server.frameCount(); ++i)
        m_provider.frameChanged(i, emberFrameOf(server.snapshot(i)), none);
    m_keepAlive.setInterval(std::max(250, m_limits.keepAliveMs / 2));
    connect(&m_keepAlive, &QTimer::timeout, this, &CEmberServer::onKeepAlive);
    m_server.addListener(this);
}

CEmberServer::~CEmberServer() {
    if (m_port != 0)
        m_server.removeListener(this);
    close();
}

bool CEmberServer::listen(QString& error) {
    if (m_port == 0)
        return true;
    // Ember+ has no authentication: loopback unless client networks are
    // named, and then only those (checked per consumer).
    const QHostAddress address = m_allow.empty() ? QHostAddress(QHostAddress::LocalHost)
                                                 : QHostAddress(QHostAddress::AnyIPv4);
    m_listener = std::make_unique<QTcpServer>();
    connect(m_listener.get(), &QTcpServer::pendingConnectionAvailable, this,
            &CEmberServer::onNewConnection);
    if (!m_listener->listen(address, m_port)) {
        error = QStringLiteral("cannot listen for Ember+ consumers on %1:%2: %3")
                    .arg(address.toString())
                    .arg(m_port)
                    .arg(m_listener->errorString());
        m_listener.reset();
        return false;
    }
    m_keepAlive.start();
    return true;
}

void CEmberServer::close() {
    if (m_closed)
        return;
    m_closed = true;
    m_keepAlive.stop();
    if (m_listener)
        m_listener->close();
    for (auto& [id, client] : m_clients) {
        discardClientSocket(client->socket, this);
        m_provider.disconnect(id);
    }
    m_clients.clear();
}

QHostAddress CEmberServer::address() const {
    return m_listener ? m_listener->serverAddress() : QHostAddress();
}

quint16 CEmberServer::port() const { return m_listener ? m_listener->serverPort() : 0; }

void CEmberServer::onNewConnection() {
    while (m_listener && m_listener->hasPendingConnections()) {
        QTcpSocket* socket = m_listener->nextPendingConnection();
        if (!socket)
            break;
        if (m_closed || !peerAllowed(m_allow, socket->peerAddress()) ||
            static_cast<int>(m_clients.size()) >= m_limits.maxClients) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        adoptClientSocket(socket, 4 * kReadChunk);
        auto client = std::make_unique<Client>(m_limits.s101);
        client->id = m_nextClient++;
        client->socket = socket;
        client->heardMs = m_clock.elapsed();
        client->actor = clientActor("Ember+ consumer", *socket);
        const EmberClient id = client->id;
        connect(socket, &QTcpSocket::readyRead, this, [this, id] { onReadyRead(id); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, id] { pump(id); });
        connect(socket, &QTcpSocket::disconnected, this, [this, id] { drop(id); });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, id] { drop(id); });
        m_clients.emplace(id, std::move(client));
        m_provider.connect(id);
    }
}

void CEmberServer::drop(EmberClient id) {
    const auto it = m_clients.find(id);
    if (it == m_clients.end())
        return;
    discardClientSocket(it->second->socket, this);
    m_clients.erase(it);
    m_provider.disconnect(id);
}

void CEmberServer::refuse(EmberClient id, const std::string& why) {
    const auto it = m_clients.find(id);
    if (it == m_clients.end())
        return;
    // Ember+ has no message for "your stream is broken": the log says why.
    qInfo("velmar-server: %s closed: %s", it->second->actor.c_str(), why.c_str());
    ++m_dropped;
    drop(id);
}

void CEmberServer::onReadyRead(EmberClient id) {
    std::vector<S101Message> messages;
    while (true) {
        const auto it = m_clients.find(id);
        if (it == m_clients.end())
            return;
        Client& client = *it->second;
        if (client.socket->bytesAvailable() <= 0)
            return;
        client.heardMs = m_clock.elapsed();
        const QByteArray chunk = client.socket->read(kReadChunk);
        messages.clear();
        const bool ok = client.decoder.feed(
            std::string_view(chunk.constData(), static_cast<std::size_t>(chunk.size())), messages);
        const std::string actor = client.actor;
        for (const S101Message& m : messages) {
            if (!m_clients.count(id))
                return;
            switch (m.kind) {
            case S101Message::Kind::KeepAliveRequest: {
                Client& c = *m_clients.at(id);
                enqueue(c, s101KeepAliveResponse());
                pump(id);
                break;
            }
            case S101Message::Kind::KeepAliveResponse: break;
            case S101Message::Kind::Ember: {
                const GlowDecoded glow = decodeGlow(m.payload, m_limits.glow);
                if (!glow.ok()) {
                    refuse(id, "its Glow message cannot be read: " + glow.error);
                    return;
                }
                std::vector<EmberSend> sends;
                std::vector<EmberRequest> requests = m_provider.handle(id, glow.elements, sends);
                deliver(sends);
                for (EmberRequest& r : requests)
                    carryOut(id, std::move(r), actor);
                break;
            }
            }
        }
        if (!ok) {
            const auto still = m_clients.find(id);
            if (still != m_clients.end())
                refuse(id, "its S101 stream is broken: " + still->second->decoder.error());
            return;
        }
    }
}

void CEmberServer::onKeepAlive() {
    const qint64 now = m_clock.elapsed();
    std::vector<EmberClient> silent;
    for (auto& [id, client] : m_clients) {
        const qint64 quiet = now - client->heardMs;
        if (quiet >= m_limits.silentLimitMs)
            silent.push_back(id);
        else if (quiet >= m_limits.keepAliveMs)
            enqueue(*client, s101KeepAliveRequest());
    }
    std::vector<EmberClient> all;
    for (const auto& [id, client] : m_clients)
        all.push_back(id);
    for (const EmberClient id : all)
        pump(id); // may drop one that does not read
    for (const EmberClient id : silent)
        refuse(id, "it answered no keep-alive");
}

void CEmberServer::enqueue(Client& client, std::string framed) {
    client.queued += static_cast<qint64>(framed.size());
    client.queue.push_back(std::move(framed));
}

void CEmberServer::deliver(std::vector<EmberSend>& sends) {
    std::vector<EmberClient> touched;
    // A message for several followers comes as a run of equal texts: it is
    // framed once.
    const std::string* lastGlow = nullptr;
    std::string framed;
    for (EmberSend& s : sends) {
        const auto it = m_clients.find(s.client);
        if (it == m_clients.end() || s.glow.empty())
            continue;
        if (!lastGlow || *lastGlow != s.glow) {
            framed = s101EncodeEmber(s.glow);
            lastGlow = &s.glow;
        }
        enqueue(*it->second, framed);
        if (touched.empty() || touched.back() != s.client)
            touched.push_back(s.client);
    }
    sends.clear();
    std::sort(touched.begin(), touched.end());
    touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
    for (const EmberClient id : touched)
        pump(id);
}

void CEmberServer::pump(EmberClient id) {
    const auto it = m_clients.find(id);
    if (it == m_clients.end())
        return;
    Client& c = *it->second;
    // A window at a time: a consumer expanding a 1536 x 1536 matrix does not
    // hold up the others, whose turns come between its writes.
    while (!c.queue.empty() && c.socket->bytesToWrite() < m_limits.writeWindow) {
        const std::string& front = c.queue.front();
        c.socket->write(front.data(), static_cast<qint64>(front.size()));
        c.queued -= static_cast<qint64>(front.size());
        c.queue.pop_front();
    }
    if (c.queued + c.socket->bytesToWrite() > m_limits.maxUnsentBytes)
        refuse(id, "it reads too slowly to follow the frames");
}

void CEmberServer::carryOut(EmberClient client, EmberRequest request, const std::string& actor) {
    QPointer<CEmberServer> self(this);
    const int frame = request.frame;
    if (!request.routes.empty()) {
        std::vector<RouteChange> changes;
        changes.reserve(request.routes.size());
        for (const EmberRoute& r : request.routes)
            changes.push_back({r.output, r.input});
        EmberRequest asked;
        asked.frame = frame;
        asked.routes = request.routes;
        m_server.changeRoutes(frame, std::move(changes), actor,
                              [self, client, asked](const std::vector<RouteResult>& results) {
                                  if (!self || self->m_closed)
                                      return;
                                  std::vector<EmberRoute> confirmed;
                                  for (const RouteResult& r : results)
                                      if (r.outcome == ChangeOutcome::Confirmed)
                                          confirmed.push_back({r.asked.output, r.reported});
                                  std::vector<EmberSend> sends;
                                  self->m_provider.routesReported(asked.frame, confirmed, sends);
                                  self->m_provider.settled(client, asked, sends);
                                  self->deliver(sends);
                              });
    }
    if (!request.labels.empty()) {
        std::vector<LabelChange> changes;
        changes.reserve(request.labels.size());
        for (const EmberLabel& l : request.labels) {
            LabelChange c;
            c.channel = l.channel;
            (l.output ? c.output : c.input) = l.text;
            changes.push_back(std::move(c));
        }
        EmberRequest asked;
        asked.frame = frame;
        asked.labels = std::move(request.labels);
        m_server.changeLabels(frame, std::move(changes), actor,
                              [self, client, asked](const std::vector<LabelResult>& results) {
                                  if (!self || self->m_closed)
                                      return;
                                  std::vector<EmberLabel> confirmed;
                                  for (const LabelResult& r : results)
                                      if (r.outcome == ChangeOutcome::Confirmed)
                                          confirmed.push_back({r.channel, r.output, r.text});
                                  std::vector<EmberSend> sends;
                                  self->m_provider.labelsReported(asked.frame, confirmed, sends);
                                  self->m_provider.settled(client, asked, sends);
                                  self->deliver(sends);
                              });
    }
}

void CEmberServer::snapshotChanged(int frame, const FrameSnapshot& snapshot) {
    std::vector<EmberSend> sends;
    m_provider.frameChanged(frame, emberFrameOf(snapshot), sends);
    deliver(sends);
}

void CEmberServer::routesChanged(int frame, const std::vector<RouteChange>& changes) {
    std::vector<EmberRoute> routes;
    routes.reserve(changes.size());
    for (const RouteChange& c : changes)
        routes.push_back({c.output, c.input});
    std::vector<EmberSend> sends;
    m_provider.routesReported(frame, routes, sends);
    deliver(sends);
}

void CEmberServer::labelsChanged(int frame, const std::vector<LabelChange>& changes) {
    std::vector<EmberLabel> labels;
    for (const LabelChange& c : changes) {
        if (c.input)
            labels.push_back({c.channel, false, *c.input});
        if (c.output)
            labels.push_back({c.channel, true, *c.output});
    }
    std::vector<EmberSend> sends;
    m_provider.labelsReported(frame, labels, sends);
    deliver(sends);
}

} // namespace velmar
