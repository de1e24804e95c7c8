// velmar-server's frames as an Ember+ provider, in this process against
// simulated frames. The consumer here speaks through the project's own codec;
// the tests under tests/ember drive the same listener with a consumer someone
// else wrote.

#include "CtlSupport.h"
#include "IntegrationSupport.h"
#include "emberplus/EmberProvider.h"
#include "emberplus/S101.h"
#include "server/CEmberServer.h"
#include "server/CVelmarServer.h"

#include <QTcpSocket>
#include <QTemporaryDir>

namespace velmar {
namespace {

using test::startFrame;
using namespace ember;

bool waitUntil(const std::function<bool()>& condition, int limitMs = 20000) {
    return test::waitUntil(condition, limitMs);
}

constexpr quint16 kEmberPort = 9000;

class Consumer {
public:
    Consumer() {
        QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [this] {
            const QByteArray bytes = socket.readAll();
            std::vector<S101Message> messages;
            if (!decoder.feed(
                    std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                    messages))
                broken = true;
            for (const S101Message& m : messages) {
                if (m.kind != S101Message::Kind::Ember) {
                    keepAlives.push_back(m.kind);
                    continue;
                }
                GlowDecoded d = decodeGlow(m.payload);
                if (!d.ok())
                    broken = true;
                for (GlowElement& e : d.elements)
                    received.push_back(std::move(e));
            }
        });
        QObject::connect(&socket, &QTcpSocket::disconnected, &socket, [this] { closed = true; });
    }
    bool open(const QString& from = {}) {
        if (!from.isEmpty())
            socket.bind(QHostAddress(from));
        socket.connectToHost(QHostAddress::LocalHost, kEmberPort);
        return socket.waitForConnected(5000);
    }
    void send(const std::vector<GlowElement>& message) {
        raw(s101EncodeEmber(encodeGlow(message)));
    }
    void raw(const std::string& bytes) {
        socket.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }

    // The connection of a target as last told, with its disposition.
    std::optional<GlowConnection> connection(int target, std::size_t from = 0) const {
        std::optional<GlowConnection> out;
        for (std::size_t i = from; i < received.size(); ++i)
            if (received[i].type == GlowElementType::Matrix && received[i].connections)
                for (const GlowConnection& c : *received[i].connections)
                    if (c.target == target)
                        out = c;
        return out;
    }
    std::size_t connectionsTold() const {
        std::size_t n = 0;
        for (const GlowElement& e : received)
            if (e.type == GlowElementType::Matrix && e.connections)
                n += e.connections->size();
        return n;
    }

    QTcpSocket socket;
    CS101Decoder decoder;
    std::vector<GlowElement> received;
    std::vector<S101Message::Kind> keepAlives;
    bool closed = false;
    bool broken = false;
};

GlowElement ask(GlowPath path, GlowCommandType type = GlowCommandType::GetDirectory,
                GlowElementType kind = GlowElementType::Node) {
    GlowElement command;
    command.type = GlowElementType::Command;
    command.command = type;
    GlowElement e;
    e.type = kind;
    e.path = std::move(path);
    e.children = std::vector<GlowElement>{command};
    return e;
}

GlowElement route(int target, std::vector<std::int32_t> sources) {
    GlowConnection c;
    c.target = target;
    c.sources = std::move(sources);
    c.operation = GlowConnectionOperation::Absolute;
    GlowElement m;
    m.type = GlowElementType::Matrix;
    m.path = GlowPath{1, kCrosspoints};
    m.connections = std::vector<GlowConnection>{c};
    return m;
}

class Ember : public ::testing::Test {
protected:
    void SetUp() override {
        frame = startFrame("460", "127.0.0.2");
        ASSERT_TRUE(frame);
    }
    void TearDown() override {
        if (ember)
            ember->close();
        if (server)
            server->shutdown();
    }

    void startServer(EmberServerLimits limits = {}, std::vector<Ipv4Network> allow = {}) {
        ServerConfig config;
        config.listenPort = 0;
        config.frames = {{"127.0.0.2", "a"}};
        config.changeTimeoutMs = 1000;
        config.emberPort = kEmberPort;
        config.emberAllow = std::move(allow);
        server = std::make_unique<CVelmarServer>(config, std::vector<ApiToken>{});
        QString error;
        ASSERT_TRUE(server->listen(error)) << error.toStdString();
        ember = std::make_unique<CEmberServer>(*server, config, limits);
        ASSERT_TRUE(ember->listen(error)) << error.toStdString();
        server->startFrames(logDir.path());
        ASSERT_TRUE(waitUntil([this] { return server->frame("a")->read; }, 10000));
    }

    // Asks for the matrix and waits for every connection of it.
    bool readMatrix(Consumer& c) {
        c.send({ask({1, kCrosspoints}, GlowCommandType::GetDirectory, GlowElementType::Matrix)});
        const std::size_t want = static_cast<std::size_t>(server->frame("a")->crosspoints);
        return waitUntil([&] { return c.closed || c.connectionsTold() >= want; }) && !c.closed;
    }

    std::unique_ptr<framesim::CSimulatedFrame> frame;
    QTemporaryDir logDir;
    std::unique_ptr<CVelmarServer> server;
    std::unique_ptr<CEmberServer> ember;
};

TEST_F(Ember, RoutesGoThroughTheFrameAndOnlyItsStateIsTold) {
    startServer();
    Consumer c, other;
    ASSERT_TRUE(c.open());
    ASSERT_TRUE(other.open());
    ASSERT_TRUE(readMatrix(c));
    ASSERT_TRUE(readMatrix(other));
    const int targets = server->frame("a")->crosspoints;
    ASSERT_EQ(targets, 1536);
    for (int t : {0, 1, 100, targets - 1}) {
        const int input = frame->model().crosspoint(t + 1);
        EXPECT_EQ(c.connection(t)->sources,
                  input > 0 ? std::vector<std::int32_t>{input - 1} : std::vector<std::int32_t>{})
            << t;
    }

    // A route: pending to the asker at once, then the frame's tally to all.
    std::size_t from = c.received.size();
    c.send({route(9, {4})});
    ASSERT_TRUE(waitUntil([&] {
        const auto now = c.connection(9, from);
        return now && now->disposition == GlowConnectionDisposition::Tally;
    }));
    EXPECT_EQ(c.connection(9, from)->sources, std::vector<std::int32_t>{4});
    EXPECT_EQ(frame->model().crosspoint(10), 5);
    ASSERT_TRUE(
        waitUntil([&] { return other.connection(9)->sources == std::vector<std::int32_t>{4}; }));

    // A route the frame refuses: the asker hears the connection unchanged.
    const auto before = c.connection(10)->sources;
    frame->faults().refused[CommandId::scross] = 5;
    from = c.received.size();
    c.send({route(10, {2})});
    ASSERT_TRUE(waitUntil([&] {
        const auto now = c.connection(10, from);
        return now && now->disposition == GlowConnectionDisposition::Tally;
    }));
    EXPECT_EQ(c.connection(10, from)->sources, before);
    frame->faults().refused.clear();

    // A change made by another face reaches every consumer that follows.
    bool done = false;
    server->changeRoutes(0, {{12, 7}}, "test",
                         [&](const std::vector<RouteResult>&) { done = true; });
    ASSERT_TRUE(waitUntil(
        [&] { return done && other.connection(11)->sources == std::vector<std::int32_t>{6}; }));
    EXPECT_FALSE(c.broken || other.broken);
}

TEST_F(Ember, IdentityStatusAndKeepAlives) {
    startServer();
    Consumer c;
    ASSERT_TRUE(c.open());
    c.send({ask({1, kIdentity}), ask({1, kStatus})});
    ASSERT_TRUE(waitUntil([&] { return c.received.size() >= 11; })); // 5 + at least 6
    const FrameSnapshot& snap = *server->frame("a");
    std::map<std::string, GlowValue> values;
    for (const GlowElement& p : c.received)
        values[p.contents->identifier.value_or("")] = p.contents->value.value_or(GlowValue{});
    EXPECT_EQ(std::get<std::string>(values["serial"]), snap.serial);
    EXPECT_EQ(std::get<std::string>(values["type"]), "460");
    EXPECT_EQ(std::get<bool>(values["online"]), true);
    EXPECT_NE(std::get<std::int64_t>(values["sampleRate"]), 0);
    EXPECT_TRUE(values.count("psu1"));

    // Keep-alive both ways: the provider answers, and asks one that is silent.
    c.raw(s101KeepAliveRequest());
    ASSERT_TRUE(waitUntil([&] {
        return std::count(c.keepAlives.begin(), c.keepAlives.end(),
                          S101Message::Kind::KeepAliveResponse) == 1;
    }));
}

TEST_F(Ember, HostileStreamsAreClosedAndTheOthersCarryOn) {
    EmberServerLimits limits;
    limits.maxUnsentBytes = 64 * 1024;
    limits.keepAliveMs = 400;
    limits.silentLimitMs = 1200;
    startServer(limits);
    Consumer steady;
    ASSERT_TRUE(steady.open());

    struct Case {
        const char* what;
        std::string bytes;
    };
    std::string badCrc = s101EncodeEmber(encodeGlow({ask({1})}));
    badCrc[badCrc.size() - 3] ^= 0x01;
    const std::string tooLong = "\xFE" + std::string(20000, 'x');
    const std::string notBer = s101EncodeEmber(std::string("\x60\x85\xFF\xFF\xFF\xFF\xFF", 7));
    for (const Case& c : std::vector<Case>{{"a bad CRC", badCrc},
                                           {"a frame past its bound", tooLong},
                                           {"a message that is no BER", notBer}}) {
        SCOPED_TRACE(c.what);
        Consumer hostile;
        ASSERT_TRUE(hostile.open());
        hostile.raw(c.bytes);
        EXPECT_TRUE(waitUntil([&] { return hostile.closed; }));
    }

    // A consumer that never reads while a large matrix goes out is dropped,
    // and one that stops talking is asked, then closed.
    QTcpSocket stuck;
    stuck.setReadBufferSize(1);
    stuck.connectToHost(QHostAddress::LocalHost, kEmberPort);
    ASSERT_TRUE(stuck.waitForConnected(5000));
    const std::string ask3 = s101EncodeEmber(
        encodeGlow({ask({1, kCrosspoints}, GlowCommandType::GetDirectory, GlowElementType::Matrix),
                    ask({1, kLabels, kTargetLabels}), ask({1, kLabels, kSourceLabels})}));
    for (int i = 0; i < 20; ++i)
        stuck.write(ask3.data(), static_cast<qint64>(ask3.size()));
    ASSERT_TRUE(waitUntil([&] { return stuck.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_TRUE(waitUntil([&] { return steady.closed; }));
    EXPECT_GE(steady.keepAlives.size(), 1u); // it was asked before it was closed

    // Ten thousand connects, in waves the listener takes whole: it closes
    // what goes, and still serves.
    EXPECT_EQ(test::connectInWaves(kEmberPort, 10000, 50, [this] { return ember->clients(); }),
              10000);
    Consumer after;
    ASSERT_TRUE(after.open());
    ASSERT_TRUE(readMatrix(after));
}

TEST_F(Ember, ConsumersBeyondTheAllowedNetworksAreRefused) {
    startServer({}, {Ipv4Network{0x7F000001, 32}});
    Consumer outsider, insider;
    ASSERT_TRUE(outsider.open(QStringLiteral("127.0.0.5")));
    EXPECT_TRUE(waitUntil([&] { return outsider.closed; }));
    ASSERT_TRUE(insider.open(QStringLiteral("127.0.0.1")));
    ASSERT_TRUE(readMatrix(insider));
}

} // namespace
} // namespace velmar
