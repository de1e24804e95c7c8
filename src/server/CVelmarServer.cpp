#include "server/CVelmarServer.h"

#include "VelmarVersion.h"
#include "engine/FileAccess.h"
#include "events/EventLogFile.h"
#include "link/QtText.h"
#include "protocol/JsonWriter.h"
#include "server/ApiMessages.h"
#include "server/WebSocketCodec.h"

#include <QDateTime>
#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <algorithm>
#include <cctype>

namespace velmar {

namespace {

using Headers = std::vector<std::pair<std::string, std::string>>;

std::string secondsText(int ms) {
    return std::to_string(ms / 1000) + " s";
}

// An ID from a URL, made short enough to quote in an error.
std::string inQuotes(std::string_view id) {
    std::string s = "\"";
    s += id.substr(0, 64);
    s += "\"";
    return s;
}

std::vector<std::string> splitList(std::string_view text) {
    std::vector<std::string> out;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        if (comma != 0)
            out.emplace_back(text.substr(0, comma));
        text.remove_prefix(comma == std::string_view::npos ? text.size() : comma + 1);
    }
    return out;
}

} // namespace

CVelmarServer::CVelmarServer(ServerConfig config, std::vector<ApiToken> tokens,
                             ServerLimits limits, quint16 framePort, QObject* parent)
    : QObject(parent), m_config(std::move(config)), m_tokens(std::move(tokens)),
      m_limits(limits), m_framePort(framePort) {
    m_metrics.startTimeSeconds = static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    m_frames.resize(m_config.frames.size());
    for (std::size_t i = 0; i < m_config.frames.size(); ++i) {
        Frame& f = m_frames[i];
        f.config = m_config.frames[i];
        auto snapshot = std::make_shared<FrameSnapshot>();
        snapshot->id = f.config.id;
        snapshot->address = f.config.address;
        snapshot->routes.assign(1, 0);
        snapshot->routeReported.assign(1, false);
        snapshot->inputLabels.assign(1, {});
        snapshot->outputLabels.assign(1, {});
        f.snapshot = std::move(snapshot);
        f.metrics.id = f.config.id;
        m_byId[f.config.id] = static_cast<int>(i);
    }
}

CVelmarServer::~CVelmarServer() { shutdown(); }

void CVelmarServer::startFrames(const QString& stateDirectory) {
    if (!stateDirectory.isEmpty()) {
        auto file = std::make_unique<CEventLogFile>(stateDirectory, std::string(kVersion), m_clock);
        file->setErrorHandler([](const std::string& why) {
            qWarning("velmar-server: event log not written: %s", why.c_str());
        });
        m_log = std::make_unique<CEventLogWriter>(std::move(file), m_clock);
    }
    for (std::size_t i = 0; i < m_frames.size(); ++i) {
        Frame& f = m_frames[i];
        f.thread = std::make_unique<QThread>();
        f.thread->setObjectName(qs("frame " + f.config.id));
        IFrameEvents& events = *this;
        f.worker = std::make_unique<CFrameWorker>(static_cast<int>(i), f.config,
                                                  m_config.changeTimeoutMs, events, m_log.get(),
                                                  m_framePort);
        f.worker->moveToThread(f.thread.get());
        f.thread->start();
        QMetaObject::invokeMethod(f.worker.get(), &CFrameWorker::start, Qt::QueuedConnection);
    }
}

std::optional<QSslConfiguration> CVelmarServer::loadTls(const ServerConfig& config,
                                                       QString& error) {
    constexpr std::size_t kMaxPemFileBytes = 1024 * 1024;
    // Regular files only, bounded: a FIFO named here never blocks the start.
    const FileReadResult cert = readFileBounded(qs(config.tlsCertificate), kMaxPemFileBytes);
    if (!cert.ok()) {
        error = qs(cert.error);
        return std::nullopt;
    }
    const QList<QSslCertificate> chain =
        QSslCertificate::fromData(QByteArray::fromStdString(cert.bytes), QSsl::Pem);
    if (chain.isEmpty()) {
        error = qs(config.tlsCertificate) + QStringLiteral(": no PEM certificate in it");
        return std::nullopt;
    }
    const FileReadResult keyFile = readFileBounded(qs(config.tlsKey), kMaxPemFileBytes);
    if (!keyFile.ok()) {
        error = qs(keyFile.error);
        return std::nullopt;
    }
    const QByteArray pem = QByteArray::fromStdString(keyFile.bytes);
    QSslKey key(pem, QSsl::Rsa, QSsl::Pem);
    if (key.isNull())
        key = QSslKey(pem, QSsl::Ec, QSsl::Pem);
    if (key.isNull()) {
        error = qs(config.tlsKey) + QStringLiteral(": no PEM RSA or EC private key in it");
        return std::nullopt;
    }
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificateChain(chain);
    tls.setPrivateKey(key);
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    return tls;
}

bool CVelmarServer::listen(QString& error) {
    if (m_config.tls()) {
        const std::optional<QSslConfiguration> tls = loadTls(m_config, error);
        if (!tls)
            return false;
        auto server = std::make_unique<QSslServer>();
        server->setSslConfiguration(*tls);
        server->setHandshakeTimeout(m_limits.connection.requestTimeoutMs);
        m_listener = std::move(server);
    } else {
        m_listener = std::make_unique<QTcpServer>();
    }
    m_listener->setMaxPendingConnections(64);
    connect(m_listener.get(), &QTcpServer::pendingConnectionAvailable, this,
            &CVelmarServer::onNewConnection);
    const QHostAddress address(static_cast<quint32>(m_config.listenAddress));
    if (!m_listener->listen(address, m_config.listenPort)) {
        error = QStringLiteral("cannot listen on %1:%2: %3")
                    .arg(address.toString())
                    .arg(m_config.listenPort)
                    .arg(m_listener->errorString());
        return false;
    }
    return true;
}

quint16 CVelmarServer::port() const { return m_listener ? m_listener->serverPort() : 0; }

void CVelmarServer::shutdown() {
    if (m_stopped)
        return;
    m_stopped = true;
    if (m_listener)
        m_listener->close();
    for (CHttpConnection* c : std::vector<CHttpConnection*>(m_connections.begin(),
                                                           m_connections.end())) {
        if (c->isWebSocket())
            c->closeWebSocket(1001, "the server is stopping");
        else
            c->abort();
    }
    for (Frame& f : m_frames) {
        if (!f.worker)
            continue;
        QMetaObject::invokeMethod(f.worker.get(), &CFrameWorker::stop, Qt::BlockingQueuedConnection);
        f.thread->quit();
        f.thread->wait();
        f.worker.reset();
        f.thread.reset();
    }
    if (m_log)
        m_log->flush();
    m_log.reset();
}

const FrameSnapshot* CVelmarServer::frame(const std::string& id) const {
    const int i = frameIndex(id);
    return i < 0 ? nullptr : m_frames[static_cast<std::size_t>(i)].snapshot.get();
}

int CVelmarServer::frameIndex(const std::string& id) const {
    const auto it = m_byId.find(id);
    return it == m_byId.end() ? -1 : it->second;
}

// ---- connections ----

void CVelmarServer::onNewConnection() {
    while (m_listener && m_listener->hasPendingConnections()) {
        QTcpSocket* socket = m_listener->nextPendingConnection();
        if (!socket)
            break;
        const QString peer = socket->peerAddress().toString();
        if (m_stopped || static_cast<int>(m_connections.size()) >= m_limits.maxConnections ||
            m_perAddress[peer] >= m_limits.maxConnectionsPerAddress) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++m_perAddress[peer];
        auto* c = new CHttpConnection(socket, m_limits.connection, this);
        m_connections.insert(c);
        connect(c, &CHttpConnection::requestReady, this, &CVelmarServer::onRequest);
        connect(c, &CHttpConnection::webSocketMessage, this, &CVelmarServer::onWebSocketMessage);
        connect(c, &CHttpConnection::closed, this, &CVelmarServer::onClosed);
        connect(c, &CHttpConnection::webSocketTimedOut, this,
                [](CHttpConnection* conn) { conn->closeWebSocket(4401, "no token was sent"); });
    }
    m_metrics.httpConnections = m_connections.size();
}

void CVelmarServer::onClosed(CHttpConnection* connection, bool dropped) {
    if (m_connections.erase(connection) == 0)
        return;
    if (m_webSockets.erase(connection) && dropped)
        ++m_metrics.webSocketDropped;
    const auto it = m_perAddress.find(connection->peerAddress());
    if (it != m_perAddress.end() && --it->second <= 0)
        m_perAddress.erase(it);
    m_metrics.httpConnections = m_connections.size();
    m_metrics.webSocketClients = m_webSockets.size();
}

void CVelmarServer::answer(CHttpConnection* connection, int status, std::string_view json,
                           std::span<const std::pair<std::string, std::string>> headers) {
    ++m_metrics.httpRequestsByStatus[status];
    connection->respondJson(status, json, headers);
}

void CVelmarServer::answerError(CHttpConnection* connection, int status, std::string_view why) {
    if (status == 401) {
        const Headers h{{"WWW-Authenticate", "Bearer realm=\"velmar\""}};
        answer(connection, status, errorJson(why, status), h);
        return;
    }
    answer(connection, status, errorJson(why, status));
}

std::string CVelmarServer::actorOf(const Caller& who) const {
    return who.token ? who.token->name : std::string("a loopback client");
}

void CVelmarServer::onRequest(CHttpConnection* c, const HttpRequest& request) {
    const auto segments = splitPath(request.path);
    if (!segments) {
        answerError(c, 400, "the path is not well formed");
        return;
    }
    const ApiMatch match = matchApiRoute(request.method, *segments);
    if (!match.route) {
        if (match.status == 405) {
            const Headers h{{"Allow", match.allow}};
            answer(c, 405, errorJson(request.method.substr(0, 16) + " is not taken here; " +
                                         "this path takes " + match.allow,
                                     405),
                   h);
        } else {
            answerError(c, 404, "there is nothing at " + request.path.substr(0, 200));
        }
        return;
    }

    if (match.route->op == ApiOp::Page) {
        page(c, match.file.empty() ? std::string("index.html") : match.file);
        return;
    }

    // Authentication before anything else, roles from the table.
    Caller who;
    bool authenticated = true;
    if (!m_tokens.empty()) {
        const std::string* header = request.header("authorization");
        const auto presented = header ? bearerToken(*header) : std::nullopt;
        who.token = presented ? findToken(m_tokens, *presented) : nullptr;
        if (!who.token) {
            // A browser's WebSocket cannot send the header: its first message may.
            if (!header && match.route->op == ApiOp::Events) {
                authenticated = false;
            } else {
                answerError(c, 401,
                            header ? "the token is not valid"
                                   : "a token is needed (Authorization: Bearer TOKEN)");
                return;
            }
        } else {
            who.role = who.token->role;
        }
    }
    if (authenticated && match.route->role == Role::Operator && who.role != Role::Operator) {
        answerError(c, 403, "\"" + who.token->name + "\" is a viewer; changes need an operator");
        return;
    }

    switch (match.route->op) {
    case ApiOp::ListFrames: {
        CJsonWriter out;
        out.beginObject().key("frames").beginArray();
        for (const Frame& f : m_frames)
            writeFrameSummaryJson(out, *f.snapshot);
        out.endArray().endObject();
        answer(c, 200, out.text());
        return;
    }
    case ApiOp::GetFrame:
        if (const Frame* f = requireFrame(c, match.frameId, false)) {
            CJsonWriter out;
            writeFrameStatusJson(out, *f->snapshot);
            answer(c, 200, out.text());
        }
        return;
    case ApiOp::GetRoutes:
        if (const Frame* f = requireFrame(c, match.frameId, true)) {
            CJsonWriter out;
            writeRoutesJson(out, *f->snapshot);
            answer(c, 200, out.text());
        }
        return;
    case ApiOp::GetLabels:
        if (const Frame* f = requireFrame(c, match.frameId, true)) {
            CJsonWriter out;
            writeLabelsJson(out, *f->snapshot);
            answer(c, 200, out.text());
        }
        return;
    case ApiOp::SetRoute:
    case ApiOp::ClearRoute:
    case ApiOp::Salvo: routes(c, match, request, who); return;
    case ApiOp::SetLabels: labels(c, match, request, who); return;
    case ApiOp::Events: events(c, request, who, authenticated); return;
    case ApiOp::WhoAmI:
        answer(c, 200,
               whoAmIJson(who.token ? &who.token->name : nullptr,
                          roleName(who.token ? who.role : Role::Operator)));
        return;
    case ApiOp::OpenApi: openApi(c); return;
    case ApiOp::Metrics: metrics(c); return;
    case ApiOp::Page: return; // answered above, before the token
    }
}

void CVelmarServer::page(CHttpConnection* c, const std::string& file) {
    // The page's own files, built into the program: nothing outside them.
    static constexpr std::pair<std::string_view, std::string_view> kTypes[] = {
        {".html", "text/html; charset=utf-8"}, {".js", "text/javascript; charset=utf-8"},
        {".css", "text/css; charset=utf-8"},   {".svg", "image/svg+xml"},
        {".png", "image/png"},                 {".json", "application/json"},
    };
    std::string_view type;
    for (const auto& [suffix, mime] : kTypes)
        if (file.size() > suffix.size() && file.compare(file.size() - suffix.size(), suffix.size(), suffix) == 0)
            type = mime;
    const bool plainName = !file.empty() && file.front() != '.' &&
                           std::all_of(file.begin(), file.end(), [](char ch) {
                               return std::isalnum(static_cast<unsigned char>(ch)) || ch == '.' ||
                                      ch == '-' || ch == '_';
                           });
    QFile resource(QStringLiteral(":/velmar/web/") + qs(file));
    if (type.empty() || !plainName || !resource.open(QIODevice::ReadOnly)) {
        answerError(c, 404, "there is no page file " + inQuotes(file));
        return;
    }
    const QByteArray bytes = resource.readAll();
    static const Headers kHeaders{
        {"Content-Security-Policy",
         "default-src 'self'; connect-src 'self' ws: wss:; img-src 'self' data:; "
         "style-src 'self'; script-src 'self'; frame-ancestors 'none'"},
        {"X-Content-Type-Options", "nosniff"},
        {"Referrer-Policy", "no-referrer"},
        {"Cache-Control", "no-cache"},
    };
    ++m_metrics.httpRequestsByStatus[200];
    c->respond(200, type, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
               kHeaders);
}

const CVelmarServer::Frame* CVelmarServer::requireFrame(CHttpConnection* c, const std::string& id,
                                                        bool needLink) {
    const int i = frameIndex(id);
    if (i < 0) {
        answerError(c, 404, "no frame " + inQuotes(id) + " is served here");
        return nullptr;
    }
    const Frame& f = m_frames[static_cast<std::size_t>(i)];
    if (needLink && f.snapshot->link != FrameLinkState::Connected) {
        answerError(c, 503,
                    "the frame " + inQuotes(id) + " is " +
                        std::string(frameLinkStateName(f.snapshot->link)) +
                        (f.snapshot->offlineReason.empty() ? std::string()
                                                           : " (" + f.snapshot->offlineReason + ")"));
        return nullptr;
    }
    if (needLink && f.snapshot->crosspoints == 0) {
        answerError(c, f.snapshot->read ? 404 : 503,
                    f.snapshot->read ? "the frame " + inQuotes(id) + " has no crosspoint matrix"
                                     : "the frame " + inQuotes(id) + " is still being read");
        return nullptr;
    }
    return &f;
}

void CVelmarServer::routes(CHttpConnection* c, const ApiMatch& m, const HttpRequest& r,
                           const Caller& who) {
    const Frame* f = requireFrame(c, m.frameId, true);
    if (!f)
        return;
    const int count = f->snapshot->crosspoints;
    std::vector<RouteChange> changes;
    Pending kind = Pending::Route;
    if (m.route->op == ApiOp::Salvo) {
        auto body = parseSalvoBody(r.body, count);
        if (!body.ok()) {
            answerError(c, 400, body.error);
            return;
        }
        changes = std::move(body.value);
        kind = Pending::Salvo;
    } else {
        const auto output = parseOutputSegment(m.output, count);
        if (!output) {
            answerError(c, 404,
                        "no output " + inQuotes(m.output) + " on this frame (1 to " +
                            std::to_string(count) + ")");
            return;
        }
        int input = 0;
        if (m.route->op == ApiOp::SetRoute) {
            auto body = parseRouteBody(r.body, count);
            if (!body.ok()) {
                answerError(c, 400, body.error);
                return;
            }
            input = body.value;
        }
        changes.push_back({*output, input});
    }
    PendingAnswer pending;
    pending.connection = c;
    pending.kind = kind;
    pending.frame = frameIndex(m.frameId);
    queue(std::move(pending), std::move(changes), actorOf(who), &CFrameWorker::applyRoutes);
}

void CVelmarServer::labels(CHttpConnection* c, const ApiMatch& m, const HttpRequest& r,
                           const Caller& who) {
    const Frame* f = requireFrame(c, m.frameId, true);
    if (!f)
        return;
    auto body = parseLabelsBody(r.body, std::min(f->snapshot->crosspoints, kLabelChannels));
    if (!body.ok()) {
        answerError(c, 400, body.error);
        return;
    }
    PendingAnswer pending;
    pending.connection = c;
    pending.kind = Pending::Labels;
    pending.frame = frameIndex(m.frameId);
    queue(std::move(pending), std::move(body.value), actorOf(who), &CFrameWorker::applyLabels);
}

void CVelmarServer::changeRoutes(int frame, std::vector<RouteChange> changes, std::string actor,
                                 RoutesDone done) {
    if (frame < 0 || frame >= frameCount() || m_stopped)
        return;
    PendingAnswer pending;
    pending.kind = Pending::Salvo;
    pending.frame = frame;
    pending.routesDone = std::move(done);
    queue(std::move(pending), std::move(changes), std::move(actor), &CFrameWorker::applyRoutes);
}

void CVelmarServer::changeLabels(int frame, std::vector<LabelChange> changes, std::string actor,
                                 LabelsDone done) {
    if (frame < 0 || frame >= frameCount() || m_stopped)
        return;
    PendingAnswer pending;
    pending.kind = Pending::Labels;
    pending.frame = frame;
    pending.labelsDone = std::move(done);
    queue(std::move(pending), std::move(changes), std::move(actor), &CFrameWorker::applyLabels);
}

// The change goes to the frame's own thread; its answer comes back through
// routesDone or labelsDone under this number.
template <typename Changes>
void CVelmarServer::queue(PendingAnswer pending, Changes changes, std::string actor,
                          void (CFrameWorker::*apply)(std::uint64_t, Changes, std::string)) {
    const std::uint64_t id = m_nextRequest++;
    CFrameWorker* worker = m_frames[static_cast<std::size_t>(pending.frame)].worker.get();
    m_pending[id] = std::move(pending);
    QMetaObject::invokeMethod(
        worker,
        [worker, apply, id, changes = std::move(changes), actor = std::move(actor)]() mutable {
            (worker->*apply)(id, std::move(changes), std::move(actor));
        },
        Qt::QueuedConnection);
}

void CVelmarServer::events(CHttpConnection* c, const HttpRequest& r, const Caller& who,
                           bool authenticated) {
    const WebSocketUpgrade upgrade = checkWebSocketUpgrade(r);
    if (!upgrade.ok) {
        if (upgrade.status == 426) {
            const Headers h{{"Sec-WebSocket-Version", "13"}};
            answer(c, 426, errorJson(upgrade.error, 426), h);
        } else {
            answerError(c, upgrade.status, upgrade.error);
        }
        return;
    }
    std::vector<std::string> follow;
    if (const auto list = r.queryParam("frame")) {
        follow = splitList(*list);
        for (const std::string& id : follow)
            if (frameIndex(id) < 0) {
                answerError(c, 404, "no frame " + inQuotes(id) + " is served here");
                return;
            }
    }
    if (static_cast<int>(m_webSockets.size()) >= m_limits.maxWebSocketClients) {
        answerError(c, 503, "too many event clients; try again later");
        return;
    }
    ++m_metrics.httpRequestsByStatus[101];
    c->frames = std::move(follow);
    c->authenticated = authenticated;
    c->tokenName = who.token ? who.token->name : std::string();
    c->role = static_cast<int>(who.role);
    m_webSockets.insert(c);
    m_metrics.webSocketClients = m_webSockets.size();
    c->acceptWebSocket(upgrade.accept);
    if (authenticated)
        greet(c);
}

void CVelmarServer::greet(CHttpConnection* c) {
    std::vector<const FrameSnapshot*> frames;
    for (const Frame& f : m_frames)
        if (c->frames.empty() ||
            std::find(c->frames.begin(), c->frames.end(), f.config.id) != c->frames.end())
            frames.push_back(f.snapshot.get());
    c->sendText(helloMessage(c->tokenName, roleName(static_cast<Role>(c->role)), frames));
}

void CVelmarServer::onWebSocketMessage(CHttpConnection* c, const std::string& text) {
    if (c->authenticated)
        return; // the stream only speaks; what a client says after its token is ignored
    const auto token = parseTokenMessage(text);
    const ApiToken* found = token ? findToken(m_tokens, *token) : nullptr;
    if (!found) {
        c->closeWebSocket(4401, token ? "the token is not valid"
                                      : "the first message must be {\"token\": \"...\"}");
        return;
    }
    c->authenticated = true;
    c->tokenName = found->name;
    c->role = static_cast<int>(found->role);
    greet(c);
}

void CVelmarServer::broadcast(int frame, const std::string& message) {
    const std::string& id = m_frames[static_cast<std::size_t>(frame)].config.id;
    for (CHttpConnection* c : std::vector<CHttpConnection*>(m_webSockets.begin(),
                                                           m_webSockets.end())) {
        if (!c->authenticated)
            continue;
        if (!c->frames.empty() && std::find(c->frames.begin(), c->frames.end(), id) == c->frames.end())
            continue;
        c->sendText(message); // a client too far behind is dropped here
    }
}

void CVelmarServer::openApi(CHttpConnection* c) {
    QFile file(QStringLiteral(":/velmar/openapi.json"));
    if (!file.open(QIODevice::ReadOnly)) {
        answerError(c, 500, "the API description is missing from this build");
        return;
    }
    const QByteArray json = file.readAll();
    answer(c, 200, std::string_view(json.constData(), static_cast<std::size_t>(json.size())));
}

void CVelmarServer::metrics(CHttpConnection* c) {
    std::vector<FrameMetrics> frames;
    frames.reserve(m_frames.size());
    for (const Frame& f : m_frames) {
        FrameMetrics m = f.metrics;
        const FrameSnapshot& s = *f.snapshot;
        m.up = s.link == FrameLinkState::Connected && s.read;
        if (m.up) {
            m.syncLocked = s.syncLocked;
            m.sampleRateHz = s.sampleRateHz;
            for (const auto& [unit, state] : s.psus)
                m.psus.push_back({unit, state});
            for (const auto& [unit, state] : s.fans)
                m.fans.push_back({unit, state});
        }
        frames.push_back(std::move(m));
    }
    ++m_metrics.httpRequestsByStatus[200];
    c->respond(200, "text/plain; version=0.0.4; charset=utf-8", prometheusText(frames, m_metrics));
}

// ---- what the frames tell, moved to this thread ----

void CVelmarServer::snapshotChanged(int frame, std::shared_ptr<const FrameSnapshot> snapshot) {
    QMetaObject::invokeMethod(
        this,
        [this, frame, snapshot = std::move(snapshot)]() mutable {
            Frame& f = m_frames[static_cast<std::size_t>(frame)];
            const bool differs = summaryDiffers(*f.snapshot, *snapshot);
            f.snapshot = std::move(snapshot);
            if (differs)
                broadcast(frame, frameMessage(*f.snapshot));
            for (IFrameListener* l : std::vector<IFrameListener*>(m_listeners))
                l->snapshotChanged(frame, *f.snapshot);
            Q_EMIT frameChanged(frame);
        },
        Qt::QueuedConnection);
}

void CVelmarServer::routesChanged(int frame, std::vector<RouteChange> changes) {
    QMetaObject::invokeMethod(
        this,
        [this, frame, changes = std::move(changes)] {
            const std::string& id = m_frames[static_cast<std::size_t>(frame)].config.id;
            for (const RouteChange& change : changes)
                broadcast(frame, routeMessage(id, change));
            for (IFrameListener* l : std::vector<IFrameListener*>(m_listeners))
                l->routesChanged(frame, changes);
        },
        Qt::QueuedConnection);
}

void CVelmarServer::labelsChanged(int frame, std::vector<LabelChange> changes) {
    QMetaObject::invokeMethod(
        this,
        [this, frame, changes = std::move(changes)] {
            const std::string& id = m_frames[static_cast<std::size_t>(frame)].config.id;
            for (const LabelChange& change : changes)
                broadcast(frame, labelMessage(id, change));
            for (IFrameListener* l : std::vector<IFrameListener*>(m_listeners))
                l->labelsChanged(frame, changes);
        },
        Qt::QueuedConnection);
}

void CVelmarServer::eventLogged(int frame, const Event& event) {
    QMetaObject::invokeMethod(
        this,
        [this, frame, event] {
            broadcast(frame,
                      eventMessage(m_frames[static_cast<std::size_t>(frame)].config.id, event));
        },
        Qt::QueuedConnection);
}

void CVelmarServer::pollRoundTrip(int frame, double seconds) {
    QMetaObject::invokeMethod(
        this,
        [this, frame, seconds] {
            m_frames[static_cast<std::size_t>(frame)].metrics.pollRoundTrip.observe(seconds);
        },
        Qt::QueuedConnection);
}

void CVelmarServer::reconnecting(int frame) {
    QMetaObject::invokeMethod(
        this, [this, frame] { ++m_frames[static_cast<std::size_t>(frame)].metrics.reconnects; },
        Qt::QueuedConnection);
}

void CVelmarServer::routesDone(std::uint64_t request, std::vector<RouteResult> results) {
    QMetaObject::invokeMethod(
        this, [this, request, results = std::move(results)] { finishRoutes(request, results); },
        Qt::QueuedConnection);
}

void CVelmarServer::labelsDone(std::uint64_t request, std::vector<LabelResult> results) {
    QMetaObject::invokeMethod(
        this, [this, request, results = std::move(results)] { finishLabels(request, results); },
        Qt::QueuedConnection);
}

void CVelmarServer::finishRoutes(std::uint64_t request, const std::vector<RouteResult>& results) {
    const auto it = m_pending.find(request);
    if (it == m_pending.end())
        return;
    const PendingAnswer pending = it->second;
    m_pending.erase(it);
    Frame& f = m_frames[static_cast<std::size_t>(pending.frame)];
    int counts[4] = {0, 0, 0, 0};
    for (const RouteResult& r : results) {
        ++counts[static_cast<int>(r.outcome)];
        switch (r.outcome) {
        case ChangeOutcome::Confirmed: ++f.metrics.routesConfirmed; break;
        case ChangeOutcome::Refused: ++f.metrics.routesRefused; break;
        case ChangeOutcome::Unanswered: ++f.metrics.routesUnanswered; break;
        case ChangeOutcome::Offline: ++f.metrics.routesOffline; break;
        }
    }
    if (pending.routesDone) {
        pending.routesDone(results);
        return;
    }
    if (!pending.connection)
        return; // the client left; the change stands as the frame answered it
    const int refused = counts[static_cast<int>(ChangeOutcome::Refused)];
    const int unanswered = counts[static_cast<int>(ChangeOutcome::Unanswered)];
    const int offline = counts[static_cast<int>(ChangeOutcome::Offline)];
    const int status = refused ? 409 : unanswered ? 504 : offline ? 503 : 200;
    const std::string timeout = secondsText(m_config.changeTimeoutMs);

    CJsonWriter out;
    out.beginObject();
    if (status != 200) {
        std::string why;
        if (pending.kind != Pending::Salvo) {
            const RouteResult& r = results.front();
            why = status == 409   ? "the frame refused the route (status " +
                                      std::to_string(r.status) + ")"
                  : status == 504 ? "the frame did not answer within " + timeout
                                  : "the frame went offline before it answered";
        } else {
            why = status == 409   ? "the frame refused " + std::to_string(refused) + " of " +
                                      std::to_string(results.size()) + " routes"
                  : status == 504 ? std::to_string(unanswered) +
                                      " routes were not answered within " + timeout
                                  : "the frame went offline before it answered";
        }
        out.field("error", why).field("status", status);
    }
    out.field("frame", f.config.id);
    const auto writeResult = [&out](const RouteResult& r) {
        out.field("output", r.asked.output).key("input");
        r.asked.input > 0 ? out.value(r.asked.input) : out.null();
        out.field("state", changeOutcomeName(r.outcome));
        if (r.outcome == ChangeOutcome::Refused)
            out.field("frameStatus", static_cast<std::int64_t>(r.status));
    };
    if (pending.kind == Pending::Salvo) {
        out.key("routes").beginArray();
        for (const RouteResult& r : results) {
            out.beginObject();
            writeResult(r);
            out.endObject();
        }
        out.endArray();
        out.field("confirmed", counts[0]).field("refused", refused).field("unanswered", unanswered);
    } else {
        writeResult(results.front());
    }
    out.endObject();
    answer(pending.connection, status, out.text());
}

void CVelmarServer::finishLabels(std::uint64_t request, const std::vector<LabelResult>& results) {
    const auto it = m_pending.find(request);
    if (it == m_pending.end())
        return;
    const PendingAnswer pending = it->second;
    m_pending.erase(it);
    if (pending.labelsDone) {
        pending.labelsDone(results);
        return;
    }
    if (!pending.connection)
        return;
    int refused = 0;
    int unanswered = 0;
    int offline = 0;
    for (const LabelResult& r : results) {
        refused += r.outcome == ChangeOutcome::Refused;
        unanswered += r.outcome == ChangeOutcome::Unanswered;
        offline += r.outcome == ChangeOutcome::Offline;
    }
    const int status = refused ? 409 : unanswered ? 504 : offline ? 503 : 200;
    CJsonWriter out;
    out.beginObject();
    if (status != 200)
        out.field("error", status == 409   ? "the frame refused " + std::to_string(refused) +
                                                 " of " + std::to_string(results.size()) + " labels"
                           : status == 504 ? std::to_string(unanswered) +
                                                 " labels were not answered within " +
                                                 secondsText(m_config.changeTimeoutMs)
                                           : std::string("the frame went offline before it answered"))
            .field("status", status);
    out.field("frame", m_frames[static_cast<std::size_t>(pending.frame)].config.id);
    const auto writeLabel = [&out](const LabelResult& r) {
        out.beginObject().field("channel", r.channel).field("side", r.output ? "output" : "input");
        out.field("label", r.text).field("state", changeOutcomeName(r.outcome));
        if (!r.why.empty())
            out.field("why", r.why);
        out.endObject();
    };
    out.key("labels").beginArray();
    for (const LabelResult& r : results)
        writeLabel(r);
    out.endArray().key("refused").beginArray();
    for (const LabelResult& r : results)
        if (r.outcome == ChangeOutcome::Refused)
            writeLabel(r);
    out.endArray().endObject();
    answer(pending.connection, status, out.text());
}

} // namespace velmar
