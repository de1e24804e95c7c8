// velmar-server in this process against simulated frames: the API answered
// from the frames' own threads, changes judged by the frames' answers, the
// event stream, tokens and roles, and the bounds a hostile client meets.
// Clients are Qt's own HTTP and WebSocket clients, and raw sockets where a
// client must misbehave.

#include "CtlSupport.h"
#include "IntegrationSupport.h"
#include "server/CVelmarServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QWebSocket>
#include <QScopeGuard>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace velmar {
namespace {

using test::startFrame;
// The limit only bounds a failing test; a loaded machine (the test command
// runs two at a time beside other builds) must not fail a passing one.
bool waitUntil(const std::function<bool()>& condition, int limitMs = 20000) {
    return test::waitUntil(condition, limitMs);
}

constexpr const char* kOperatorToken = "desk-0123456789abcdef";
constexpr const char* kViewerToken = "wall-0123456789abcdef";

struct Reply {
    int status = 0;
    QByteArray body;
    QJsonObject json;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QByteArray header(const char* name) const { return headers.value(name); }
    QMap<QByteArray, QByteArray> headers;
};

// A WebSocket client that keeps what it receives.
struct EventClient {
    QWebSocket socket;
    std::vector<QJsonObject> messages;
    bool closed = false;
    EventClient() {
        QObject::connect(&socket, &QWebSocket::textMessageReceived, &socket,
                         [this](const QString& text) {
                             messages.push_back(QJsonDocument::fromJson(text.toUtf8()).object());
                         });
        QObject::connect(&socket, &QWebSocket::disconnected, &socket, [this] { closed = true; });
    }
    // The first message of this type after `from`, or an empty object.
    QJsonObject find(const QString& type, std::size_t from = 0) const {
        for (std::size_t i = from; i < messages.size(); ++i)
            if (messages[i][QStringLiteral("type")].toString() == type)
                return messages[i];
        return {};
    }
};

class ServerApi : public ::testing::Test {
protected:
    void SetUp() override {
        frameA = startFrame("460", "127.0.0.2");
        frameB = startFrame("460", "127.0.0.3");
        ASSERT_TRUE(frameA && frameB);
    }
    void TearDown() override {
        if (server)
            server->shutdown();
    }

    static ServerLimits testLimits() {
        ServerLimits l;
        l.connection.requestTimeoutMs = 500;
        l.connection.webSocketAuthTimeoutMs = 2000;
        return l;
    }

    void startServer(std::vector<ApiToken> tokens = {}, ServerLimits limits = testLimits()) {
        ServerConfig config;
        config.listenPort = 0;
        config.frames = {{"127.0.0.2", "a"}, {"127.0.0.3", "b"}};
        config.changeTimeoutMs = 1000;
        server = std::make_unique<CVelmarServer>(config, std::move(tokens), limits);
        QString error;
        ASSERT_TRUE(server->listen(error)) << error.toStdString();
        server->startFrames(logDir.path());
        ASSERT_TRUE(waitUntil([this] { return read("a") && read("b"); }, 10000));
    }

    bool read(const char* id) const {
        const FrameSnapshot* f = server->frame(id);
        return f && f->read && f->link == FrameLinkState::Connected;
    }

    QUrl url(const QString& path, const char* scheme = "http") const {
        return QUrl(QStringLiteral("%1://127.0.0.1:%2%3").arg(scheme).arg(server->port()).arg(path));
    }

    Reply http(const QByteArray& method, const QString& path, const QByteArray& body = {},
               const char* token = nullptr) {
        QNetworkRequest request(url(path));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        if (token)
            request.setRawHeader("Authorization", QByteArray("Bearer ") + token);
        QNetworkReply* reply = network.sendCustomRequest(request, method, body);
        EXPECT_TRUE(waitUntil([reply] { return reply->isFinished(); }, 8000)) << path.toStdString();
        Reply r;
        r.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        r.body = reply->readAll();
        r.error = reply->error();
        for (const auto& [name, value] : reply->rawHeaderPairs())
            r.headers.insert(name.toLower(), value);
        r.json = QJsonDocument::fromJson(r.body).object();
        reply->deleteLater();
        return r;
    }

    void openEvents(EventClient& client, const QString& query = {}, const char* token = nullptr) {
        QNetworkRequest request(url(QStringLiteral("/api/v1/events") + query, "ws"));
        if (token)
            request.setRawHeader("Authorization", QByteArray("Bearer ") + token);
        client.socket.open(request);
    }

    std::unique_ptr<framesim::CSimulatedFrame> frameA;
    std::unique_ptr<framesim::CSimulatedFrame> frameB;
    QTemporaryDir logDir;
    std::unique_ptr<CVelmarServer> server;
    QNetworkAccessManager network;
};

TEST_F(ServerApi, ReadsAndChangesAreTheFramesOwn) {
    startServer();
    Reply frames = http("GET", "/api/v1/frames");
    ASSERT_EQ(frames.status, 200) << frames.body.toStdString();
    const QJsonArray list = frames.json[QStringLiteral("frames")].toArray();
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0][QStringLiteral("id")].toString(), QStringLiteral("a"));
    EXPECT_EQ(list[0][QStringLiteral("state")].toString(), QStringLiteral("connected"));
    EXPECT_EQ(list[0][QStringLiteral("health")].toString(), QStringLiteral("ok"));
    EXPECT_EQ(list[1][QStringLiteral("type")].toString(), QStringLiteral("460"));

    const Reply status = http("GET", "/api/v1/frames/a");
    ASSERT_EQ(status.status, 200);
    const QJsonObject report = status.json[QStringLiteral("status")].toObject();
    EXPECT_EQ(report[QStringLiteral("crosspoints")].toInt(), 1536);
    EXPECT_EQ(report[QStringLiteral("sampleRate")].toString(), QStringLiteral("48 kHz"));

    // A route answers once the frame confirmed it, and the frame has it.
    Reply put = http("PUT", "/api/v1/frames/a/routes/5", R"({"input": 17})");
    ASSERT_EQ(put.status, 200) << put.body.toStdString();
    EXPECT_EQ(put.json[QStringLiteral("state")].toString(), QStringLiteral("confirmed"));
    EXPECT_EQ(frameA->model().crosspoint(5), 17);
    const Reply routes = http("GET", "/api/v1/frames/a/routes");
    const QJsonObject route5 = routes.json[QStringLiteral("routes")].toArray()[4].toObject();
    EXPECT_EQ(route5[QStringLiteral("input")].toInt(), 17);
    EXPECT_EQ(route5[QStringLiteral("inputName")].toString(), QStringLiteral("CARD1  17"));
    EXPECT_TRUE(routes.json[QStringLiteral("routes")].toArray()[5][QStringLiteral("input")].isNull());

    EXPECT_EQ(http("DELETE", "/api/v1/frames/a/routes/5").status, 200);
    EXPECT_LE(frameA->model().crosspoint(5), 0);
    const Reply salvo = http("POST", "/api/v1/frames/a/routes",
                             R"({"routes":[{"output":1,"input":2},{"output":1536,"input":1536}]})");
    ASSERT_EQ(salvo.status, 200) << salvo.body.toStdString();
    EXPECT_EQ(salvo.json[QStringLiteral("confirmed")].toInt(), 2);
    EXPECT_EQ(frameA->model().crosspoint(1), 2);
    EXPECT_EQ(frameA->model().crosspoint(1536), 1536);

    const Reply labels =
        http("PUT", "/api/v1/frames/a/labels",
             R"({"labels":[{"channel":3,"input":"MIC 3","output":"PA L"},{"channel":4,"input":"seventeen chars!!"}]})");
    EXPECT_EQ(labels.status, 409) << labels.body.toStdString();
    const QJsonArray refused = labels.json[QStringLiteral("refused")].toArray();
    ASSERT_EQ(refused.size(), 1);
    EXPECT_EQ(refused[0][QStringLiteral("channel")].toInt(), 4);
    const QJsonObject label3 =
        http("GET", "/api/v1/frames/a/labels").json[QStringLiteral("labels")].toArray()[2].toObject();
    EXPECT_EQ(label3[QStringLiteral("input")].toString(), QStringLiteral("MIC 3"));
    EXPECT_EQ(label3[QStringLiteral("output")].toString(), QStringLiteral("PA L"));

    struct Bad {
        const char* method;
        const char* path;
        const char* body;
        int status;
    };
    const Bad bad[] = {
        {"PUT", "/api/v1/frames/a/routes/5", R"({"input": 1537})", 400},
        {"PUT", "/api/v1/frames/a/routes/5", R"({"input": )", 400},
        {"POST", "/api/v1/frames/a/routes", R"({"routes":[{"output":1,"input":2},{"output":1,"input":3}]})", 400},
        {"PUT", "/api/v1/frames/a/routes/0", R"({"input": 1})", 404},
        {"PUT", "/api/v1/frames/a/routes/1537", R"({"input": 1})", 404},
        {"PUT", "/api/v1/frames/zz/routes/5", R"({"input": 1})", 404},
        {"PATCH", "/api/v1/frames/a/routes/5", "{}", 405},
        {"GET", "/api/v1/nothing", "", 404},
    };
    for (const Bad& b : bad) {
        const Reply r = http(b.method, QString::fromLatin1(b.path), b.body);
        EXPECT_EQ(r.status, b.status) << b.method << " " << b.path << " " << b.body;
        EXPECT_FALSE(r.json[QStringLiteral("error")].toString().isEmpty()) << b.path;
    }
    EXPECT_EQ(http("PATCH", "/api/v1/frames/a/routes/5").header("allow"), "PUT, DELETE");
    EXPECT_EQ(frameA->model().crosspoint(1), 2) << "a refused request changed the frame";
}

TEST_F(ServerApi, RefusedUnansweredAndOfflineChangesAnswerTheirCodes) {
    startServer();
    frameA->faults().refused[CommandId::scross] = 5;
    Reply refused = http("PUT", "/api/v1/frames/a/routes/7", R"({"input": 9})");
    EXPECT_EQ(refused.status, 409) << refused.body.toStdString();
    EXPECT_EQ(refused.json[QStringLiteral("frameStatus")].toInt(), 5);
    EXPECT_EQ(refused.json[QStringLiteral("state")].toString(), QStringLiteral("refused"));
    const Reply salvo = http("POST", "/api/v1/frames/a/routes",
                             R"({"routes":[{"output":7,"input":9},{"output":8,"input":9}]})");
    EXPECT_EQ(salvo.status, 409);
    EXPECT_EQ(salvo.json[QStringLiteral("refused")].toInt(), 2);
    EXPECT_LE(frameA->model().crosspoint(7), 0);
    frameA->faults().refused.clear();

    frameA->faults().unanswered.insert(CommandId::scross);
    const Reply late = http("PUT", "/api/v1/frames/a/routes/7", R"({"input": 9})");
    EXPECT_EQ(late.status, 504) << late.body.toStdString();
    EXPECT_EQ(late.json[QStringLiteral("state")].toString(), QStringLiteral("unanswered"));
    frameA->faults().unanswered.clear();

    // A frame that goes away is offline in place, refuses changes with 503,
    // and is followed again when it comes back.
    frameB->stop();
    ASSERT_TRUE(waitUntil([this] { return server->frame("b")->link == FrameLinkState::Offline; }));
    const Reply listed = http("GET", "/api/v1/frames");
    EXPECT_EQ(listed.json[QStringLiteral("frames")].toArray()[1][QStringLiteral("state")].toString(),
              QStringLiteral("offline"));
    EXPECT_EQ(http("PUT", "/api/v1/frames/b/routes/1", R"({"input": 2})").status, 503);
    EXPECT_EQ(http("GET", "/api/v1/frames/b/routes").status, 503);
    ASSERT_TRUE(frameB->start());
    ASSERT_TRUE(waitUntil([this] { return read("b"); }, 15000));
    EXPECT_EQ(http("PUT", "/api/v1/frames/b/routes/1", R"({"input": 2})").status, 200);
    EXPECT_EQ(frameB->model().crosspoint(1), 2);
    const Reply metrics = http("GET", "/metrics");
    EXPECT_TRUE(metrics.body.contains(R"(velmar_route_changes_total{frame="a",outcome="refused"} 3)"))
        << metrics.body.toStdString();
}

TEST_F(ServerApi, TokensRolesAndTheEventStream) {
    startServer({{"desk", Role::Operator, kOperatorToken}, {"wall", Role::Viewer, kViewerToken}});
    const Reply anonymous = http("GET", "/api/v1/frames");
    EXPECT_EQ(anonymous.status, 401);
    EXPECT_TRUE(anonymous.header("www-authenticate").startsWith("Bearer"));
    EXPECT_EQ(http("GET", "/api/v1/frames", {}, "desk-0123456789abcdeX").status, 401);
    // The page loads without a token (it asks for one), with its own files only.
    const Reply page = http("GET", "/");
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(page.header("content-type").startsWith("text/html"));
    EXPECT_TRUE(page.header("content-security-policy").contains("default-src 'self'"));
    EXPECT_EQ(http("GET", "/ui/nothing.js").status, 404);
    EXPECT_EQ(http("GET", "/api/v1/frames", {}, kViewerToken).status, 200);
    const Reply viewerPut = http("PUT", "/api/v1/frames/a/routes/5", R"({"input": 17})", kViewerToken);
    EXPECT_EQ(viewerPut.status, 403);
    EXPECT_LE(frameA->model().crosspoint(5), 0);
    const Reply who = http("GET", "/api/v1/whoami", {}, kViewerToken);
    EXPECT_EQ(who.json[QStringLiteral("name")].toString(), QStringLiteral("wall"));
    EXPECT_EQ(who.json[QStringLiteral("role")].toString(), QStringLiteral("viewer"));

    // The header, the first message, a wrong first message, one frame only.
    EventClient viewer;
    EventClient byMessage;
    EventClient wrong;
    EventClient onlyB;
    openEvents(viewer, {}, kViewerToken);
    openEvents(byMessage);
    openEvents(wrong);
    openEvents(onlyB, QStringLiteral("?frame=b"), kOperatorToken);
    ASSERT_TRUE(waitUntil([&] {
        return byMessage.socket.state() == QAbstractSocket::ConnectedState &&
               wrong.socket.state() == QAbstractSocket::ConnectedState;
    }));
    byMessage.socket.sendTextMessage(QStringLiteral(R"({"token":"%1"})").arg(kOperatorToken));
    wrong.socket.sendTextMessage(QStringLiteral(R"({"token":"nope-0123456789abcdef"})"));
    ASSERT_TRUE(waitUntil([&] {
        return !viewer.messages.empty() && !byMessage.messages.empty() && !onlyB.messages.empty() &&
               wrong.closed;
    }));
    EXPECT_EQ(viewer.messages[0][QStringLiteral("role")].toString(), QStringLiteral("viewer"));
    EXPECT_EQ(byMessage.messages[0][QStringLiteral("name")].toString(), QStringLiteral("desk"));
    EXPECT_EQ(onlyB.messages[0][QStringLiteral("frames")].toArray().size(), 1);
    EXPECT_EQ(int(wrong.socket.closeCode()), 4401);
    EXPECT_TRUE(wrong.messages.empty());

    // A route by HTTP, then one by velmarctl (another client of the frame):
    // both reach every client that follows frame a, and only those.
    ASSERT_EQ(http("PUT", "/api/v1/frames/a/routes/5", R"({"input": 17})", kOperatorToken).status, 200);
    const auto routeSeen = [](const EventClient& c, int output, int input) {
        for (const QJsonObject& m : c.messages)
            if (m[QStringLiteral("type")] == QStringLiteral("route") &&
                m[QStringLiteral("output")].toInt() == output && m[QStringLiteral("input")].toInt() == input)
                return true;
        return false;
    };
    ASSERT_TRUE(waitUntil([&] { return routeSeen(viewer, 5, 17) && routeSeen(byMessage, 5, 17); }));
    CtlEnvironment env;
    env.out = [](std::string_view) {};
    env.err = [](std::string_view) {};
    CCtlRunner ctl(env);
    std::vector<std::string_view> args{"route", "127.0.0.2", "6", "18"};
    ASSERT_EQ(ctl.runArguments(args), kExitOk);
    ASSERT_TRUE(waitUntil([&] { return routeSeen(viewer, 6, 18) && routeSeen(byMessage, 6, 18); }));
    ASSERT_EQ(http("PUT", "/api/v1/frames/b/routes/9", R"({"input": 3})", kOperatorToken).status, 200);
    ASSERT_TRUE(waitUntil([&] { return routeSeen(onlyB, 9, 3); }));
    EXPECT_FALSE(routeSeen(onlyB, 5, 17)) << "a client following b heard of a";
    // The log names who made the change, and never a token.
    server->shutdown();
    QFile f(logDir.filePath(QStringLiteral("events.jsonl")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray written = f.readAll();
    EXPECT_TRUE(written.contains("(by desk)")) << written.toStdString();
    EXPECT_FALSE(written.contains(kOperatorToken));
}

TEST_F(ServerApi, BoundsOnBodiesClientsAndSlowReaders) {
    ServerLimits limits = testLimits();
    // One salvo to a client is 1536 route messages and as many events, about
    // 350 KB; the bound is kept well above two of those.
    limits.connection.maxUnsentBytes = 1024 * 1024;
    limits.connection.socketSendBuffer = 8 * 1024;
    startServer({}, limits);

    // An oversized body is refused from its header; a request that never
    // ends is answered 408; both close, and the server goes on.
    const auto raw = [this](const QByteArray& bytes) {
        QTcpSocket s;
        s.connectToHost(QStringLiteral("127.0.0.1"), server->port());
        EXPECT_TRUE(s.waitForConnected(3000));
        s.write(bytes);
        QByteArray answer;
        EXPECT_TRUE(waitUntil([&] {
            answer += s.readAll();
            return s.state() == QAbstractSocket::UnconnectedState;
        }));
        return answer;
    };
    const QByteArray big = raw("PUT /api/v1/frames/a/labels HTTP/1.1\r\nHost: x\r\n"
                               "Content-Length: 70000\r\n\r\n");
    EXPECT_TRUE(big.startsWith("HTTP/1.1 413 ")) << big.toStdString();
    const QByteArray slow = raw("GET /api/v1/frames HTTP/1.1\r\nHost: x\r\n");
    EXPECT_TRUE(slow.startsWith("HTTP/1.1 408 ")) << slow.toStdString();
    const QByteArray garbage = raw("\x16\x03\x01 hello\r\n\r\n");
    EXPECT_TRUE(garbage.startsWith("HTTP/1.1 400 ")) << garbage.toStdString();
    EXPECT_EQ(http("GET", "/api/v1/frames").status, 200);

    // A client that waits to be asked for its body is asked, then answered.
    {
        QTcpSocket s;
        s.connectToHost(QStringLiteral("127.0.0.1"), server->port());
        ASSERT_TRUE(s.waitForConnected(3000));
        s.write("PUT /api/v1/frames/a/routes/9 HTTP/1.1\r\nHost: x\r\nExpect: 100-continue\r\n"
                "Content-Length: 12\r\n\r\n");
        QByteArray got;
        ASSERT_TRUE(waitUntil([&] { got += s.readAll(); return got.contains("\r\n\r\n"); }));
        EXPECT_TRUE(got.startsWith("HTTP/1.1 100 Continue\r\n\r\n")) << got.toStdString();
        s.write(R"({"input": 4})");
        ASSERT_TRUE(waitUntil([&] { got += s.readAll(); return got.contains("confirmed"); }));
        EXPECT_TRUE(got.contains("HTTP/1.1 200 OK")) << got.toStdString();
    }

    // Clients beyond the bound are refused; those within are served.
    std::vector<std::unique_ptr<EventClient>> clients;
    for (int i = 0; i < 300; ++i) {
        clients.push_back(std::make_unique<EventClient>());
        openEvents(*clients.back());
    }
    const auto count = [&](auto predicate) {
        return std::count_if(clients.begin(), clients.end(), predicate);
    };
    // Qt's client tells a refused upgrade only in its error text.
    const auto refused = [](const auto& c) { return c->socket.errorString().contains(QStringLiteral("503")); };
    ASSERT_TRUE(waitUntil([&] {
        return count([&](const auto& c) { return !c->messages.empty() || refused(c); }) == 300;
    }, 20000));
    EXPECT_EQ(count([](const auto& c) { return !c->messages.empty(); }), 256);
    EXPECT_EQ(count(refused), 44);
    EXPECT_EQ(server->webSocketClients(), 256);
    clients.clear();
    ASSERT_TRUE(waitUntil([this] { return server->webSocketClients() == 0; }));

    // A client that never reads is dropped once it is far enough behind;
    // the others go on hearing everything.
    // A plain socket whose small receive buffer is set before it connects
    // (so the kernel cannot grow it), and that is never read.
    const int stuck = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(stuck, 0);
    const int small = 4096;
    ASSERT_EQ(::setsockopt(stuck, SOL_SOCKET, SO_RCVBUF, &small, sizeof small), 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(server->port());
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(stuck, reinterpret_cast<const sockaddr*>(&to), sizeof to), 0);
    const std::string upgrade = "GET /api/v1/events HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\n"
                                "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                                "Sec-WebSocket-Version: 13\r\n\r\n";
    ASSERT_EQ(::send(stuck, upgrade.data(), upgrade.size(), 0), static_cast<ssize_t>(upgrade.size()));
    const auto closeStuck = qScopeGuard([stuck] { ::close(stuck); });
    EventClient healthy;
    openEvents(healthy);
    ASSERT_TRUE(waitUntil([&] { return server->webSocketClients() == 2 && !healthy.messages.empty(); }));
    for (int round = 0; round < 16 && server->webSocketClients() == 2; ++round) {
        QByteArray body = R"({"routes":[)";
        for (int o = 1; o <= 1536; ++o)
            body += (o > 1 ? "," : "") + QByteArray(R"({"output":)") + QByteArray::number(o) +
                    R"(,"input":)" + QByteArray::number((o + round) % 1536 + 1) + "}";
        body += "]}";
        ASSERT_EQ(http("POST", "/api/v1/frames/a/routes", body).status, 200);
        // The client that reads has every change of the salvo before the
        // next: only the one that never reads falls behind.
        const int wanted = round + 1; // the input output 1536 has now
        const auto caughtUp = [&] {
            for (auto m = healthy.messages.rbegin(); m != healthy.messages.rend(); ++m)
                if ((*m)[QStringLiteral("type")] == QStringLiteral("route"))
                    return (*m)[QStringLiteral("output")].toInt() == 1536 &&
                           (*m)[QStringLiteral("input")].toInt() == wanted;
            return false;
        };
        ASSERT_TRUE(waitUntil([&] { return healthy.closed || caughtUp(); }));
        ASSERT_FALSE(healthy.closed) << "the client that reads was dropped in round " << round;
    }
    ASSERT_TRUE(waitUntil([this] { return server->webSocketClients() == 1; }));
    EXPECT_TRUE(http("GET", "/metrics").body.contains("velmar_websocket_dropped_total 1"));
    EXPECT_FALSE(healthy.closed);
}

TEST_F(ServerApi, ConnectionsPerAddressAreBounded) {
    ServerLimits limits = testLimits();
    limits.maxConnectionsPerAddress = 3;
    startServer({}, limits);
    // Three from one address are served; a fourth from it is closed at once,
    // while another address is still served.
    std::vector<std::unique_ptr<QTcpSocket>> held;
    for (int i = 0; i < 4; ++i) {
        held.push_back(std::make_unique<QTcpSocket>());
        held.back()->bind(QHostAddress(QStringLiteral("127.0.0.5")));
        held.back()->connectToHost(QStringLiteral("127.0.0.1"), server->port());
        ASSERT_TRUE(held.back()->waitForConnected(3000));
    }
    ASSERT_TRUE(waitUntil([&] { return held[3]->state() == QAbstractSocket::UnconnectedState; }));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(held[static_cast<std::size_t>(i)]->state(), QAbstractSocket::ConnectedState) << i;
    held[0]->write("GET /api/v1/whoami HTTP/1.1\r\nHost: x\r\n\r\n");
    QByteArray got;
    ASSERT_TRUE(waitUntil([&] { got += held[0]->readAll(); return got.contains("operator"); }));
    EXPECT_EQ(http("GET", "/api/v1/frames").status, 200); // from 127.0.0.1
}

TEST_F(ServerApi, FrameMessagesCarryTheSummaryBesideTheirOwnType) {
    startServer();
    EventClient client;
    openEvents(client);
    ASSERT_TRUE(waitUntil([&] { return !client.messages.empty(); }));
    const auto frameMessages = [&](const char* state) {
        const QJsonObject m = client.find(QStringLiteral("frame"));
        const QJsonObject summary = m[QStringLiteral("summary")].toObject();
        return m[QStringLiteral("frame")].toString() == QStringLiteral("b") &&
               summary[QStringLiteral("state")].toString() == QLatin1String(state) &&
               summary[QStringLiteral("type")].toString() == QStringLiteral("460");
    };
    frameB->stop();
    ASSERT_TRUE(waitUntil([&] { return frameMessages("offline"); }))
        << "no frame message of type \"frame\" for b going offline";
}

} // namespace
} // namespace velmar
