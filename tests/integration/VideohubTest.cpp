// velmar-server's frames as Videohub routers, in this process against
// simulated frames. The client here is written from the protocol's
// description alone: text blocks, each a header line, its lines and a blank
// line; ports count from 0.

#include "CtlSupport.h"
#include "IntegrationSupport.h"
#include "server/CVelmarServer.h"
#include "server/CVideohubServer.h"

#include <QTcpSocket>
#include <QTemporaryDir>
#include <map>

namespace velmar {
namespace {

using test::startFrame;
// The limit only bounds a failing test; a loaded machine (the test command
// runs two at a time beside other builds) must not fail a passing one.
bool waitUntil(const std::function<bool()>& condition, int limitMs = 20000) {
    return test::waitUntil(condition, limitMs);
}

constexpr quint16 kPortA = 9990;
constexpr quint16 kPortB = 9991;

struct HubBlock {
    QString header;
    QStringList lines;
};

class HubClient {
public:
    HubClient() {
        QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [this] {
            pending += socket.readAll();
            for (qsizetype end; (end = pending.indexOf("\n\n")) >= 0;) {
                QStringList lines = QString::fromUtf8(pending.left(end)).split(QLatin1Char('\n'));
                pending.remove(0, end + 2);
                HubBlock block{lines.takeFirst(), lines};
                blocks.push_back(block);
            }
        });
        QObject::connect(&socket, &QTcpSocket::disconnected, &socket, [this] { closed = true; });
    }
    // Connects (from `from` when given) and waits for the end of the prelude.
    bool open(quint16 port, const QString& from = {}) {
        if (!from.isEmpty())
            socket.bind(QHostAddress(from));
        socket.connectToHost(QHostAddress::LocalHost, port);
        return waitUntil([this] { return closed || find("END PRELUDE:") >= 0; }) && !closed;
    }
    void send(const QByteArray& text) { socket.write(text); }
    int find(const QString& header, std::size_t from = 0) const {
        for (std::size_t i = from; i < blocks.size(); ++i)
            if (blocks[i].header == header)
                return static_cast<int>(i);
        return -1;
    }
    // Sends a block and waits for its answer: "ACK" or "NAK".
    QString ask(const QByteArray& text) {
        const std::size_t from = blocks.size();
        send(text);
        int at = -1;
        waitUntil([&] {
            for (std::size_t i = from; i < blocks.size() && at < 0; ++i)
                if (blocks[i].header == QLatin1String("ACK") ||
                    blocks[i].header == QLatin1String("NAK"))
                    at = static_cast<int>(i);
            return at >= 0 || closed;
        });
        return at < 0 ? QStringLiteral("nothing") : blocks[static_cast<std::size_t>(at)].header;
    }
    // "Key: value" lines of the first block of that header.
    std::map<QString, QString> fields(const QString& header) const {
        std::map<QString, QString> out;
        const int at = find(header);
        if (at >= 0)
            for (const QString& line : blocks[static_cast<std::size_t>(at)].lines) {
                const qsizetype colon = line.indexOf(QLatin1String(": "));
                out[line.left(colon)] = line.mid(colon + 2);
            }
        return out;
    }
    // Every "index value" of every block of that header, the latest winning:
    // the state a client keeps.
    std::map<int, QString> state(const QString& header) const {
        std::map<int, QString> out;
        for (const HubBlock& b : blocks)
            if (b.header == header)
                for (const QString& line : b.lines) {
                    const qsizetype space = line.indexOf(QLatin1Char(' '));
                    out[line.left(space).toInt()] = line.mid(space + 1);
                }
        return out;
    }
    QString route(int output) const {
        return state(QStringLiteral("VIDEO OUTPUT ROUTING:"))[output];
    }
    QString lock(int output) const { return state(QStringLiteral("VIDEO OUTPUT LOCKS:"))[output]; }
    // Whether any block of that header ever said "index value".
    bool said(const QString& header, int index, const QString& value) const {
        const QString line = QString::number(index) + QLatin1Char(' ') + value;
        for (const HubBlock& b : blocks)
            if (b.header == header && b.lines.contains(line))
                return true;
        return false;
    }

    QTcpSocket socket;
    QByteArray pending;
    std::vector<HubBlock> blocks;
    bool closed = false;
};

const QString kRouting = QStringLiteral("VIDEO OUTPUT ROUTING:");

class Videohub : public ::testing::Test {
protected:
    void SetUp() override {
        frameA = startFrame("460", "127.0.0.2",
                            [](framesim::FrameProfile& p) { p.crosspoints[3] = 12; });
        frameB = startFrame("460", "127.0.0.3");
        ASSERT_TRUE(frameA && frameB);
    }
    void TearDown() override {
        if (hubs)
            hubs->close();
        if (server)
            server->shutdown();
    }

    void startServer(std::vector<Ipv4Network> allow = {}, VideohubServerLimits limits = {}) {
        ServerConfig config;
        config.listenPort = 0;
        std::string why;
        config.frames = {
            *parseServedFrame("127.0.0.2=a videohub-port=9990", why),
            *parseServedFrame("127.0.0.3=b videohub-port=9991 videohub-read-only", why)};
        config.changeTimeoutMs = 1000;
        config.videohubAllow = std::move(allow);
        server = std::make_unique<CVelmarServer>(config, std::vector<ApiToken>{});
        QString error;
        ASSERT_TRUE(server->listen(error)) << error.toStdString();
        hubs = std::make_unique<CVideohubServer>(*server, config, limits);
        ASSERT_TRUE(hubs->listen(error)) << error.toStdString();
        server->startFrames(logDir.path());
        ASSERT_TRUE(waitUntil(
            [this] { return server->frame("a")->read && server->frame("b")->read; }, 10000));
    }

    std::unique_ptr<framesim::CSimulatedFrame> frameA;
    std::unique_ptr<framesim::CSimulatedFrame> frameB;
    QTemporaryDir logDir;
    std::unique_ptr<CVelmarServer> server;
    std::unique_ptr<CVideohubServer> hubs;
};

TEST_F(Videohub, PreludeDescribesTheFrame) {
    startServer();
    ASSERT_EQ(hubs->listening().size(), 2U);
    HubClient c;
    ASSERT_TRUE(c.open(kPortA));
    ASSERT_GE(c.blocks.size(), 7U);
    EXPECT_EQ(c.blocks[0].header, QStringLiteral("PROTOCOL PREAMBLE:"));
    EXPECT_EQ(c.fields(QStringLiteral("PROTOCOL PREAMBLE:"))[QStringLiteral("Version")],
              QStringLiteral("2.8"));
    EXPECT_EQ(c.blocks[1].header, QStringLiteral("VIDEOHUB DEVICE:"));
    auto device = c.fields(QStringLiteral("VIDEOHUB DEVICE:"));
    const FrameSnapshot& snap = *server->frame("a");
    EXPECT_EQ(device[QStringLiteral("Device present")], QStringLiteral("true"));
    EXPECT_EQ(device[QStringLiteral("Model name")], QStringLiteral("Velmar 460"));
    EXPECT_EQ(device[QStringLiteral("Friendly name")],
              QString::fromStdString(snap.name.empty() ? snap.id : snap.name));
    EXPECT_FALSE(device[QStringLiteral("Unique ID")].isEmpty());
    EXPECT_EQ(device[QStringLiteral("Video inputs")].toInt(), snap.crosspoints + 1);
    EXPECT_EQ(device[QStringLiteral("Video outputs")].toInt(), snap.crosspoints);
    ASSERT_GT(snap.crosspoints, 0);

    const auto inputs = c.state(QStringLiteral("INPUT LABELS:"));
    ASSERT_EQ(static_cast<int>(inputs.size()), snap.crosspoints + 1);
    EXPECT_EQ(inputs.at(snap.crosspoints), QStringLiteral("Unrouted"));
    EXPECT_EQ(inputs.at(16), QStringLiteral("CARD1  17"));
    EXPECT_EQ(static_cast<int>(c.state(QStringLiteral("OUTPUT LABELS:")).size()), snap.crosspoints);
    const auto locks = c.state(QStringLiteral("VIDEO OUTPUT LOCKS:"));
    ASSERT_EQ(static_cast<int>(locks.size()), snap.crosspoints);
    EXPECT_TRUE(std::all_of(locks.begin(), locks.end(),
                            [](const auto& l) { return l.second == QStringLiteral("U"); }));
    const auto routes = c.state(kRouting);
    ASSERT_EQ(static_cast<int>(routes.size()), snap.crosspoints);
    EXPECT_EQ(routes.at(2), QStringLiteral("11"));
    for (int output = 1; output <= snap.crosspoints; ++output) {
        const int input = frameA->model().crosspoint(output);
        ASSERT_EQ(routes.at(output - 1).toInt(), input > 0 ? input - 1 : snap.crosspoints)
            << output;
    }
    EXPECT_EQ(c.blocks.back().header, QStringLiteral("END PRELUDE:"));
}

// A route is acknowledged, made by the frame and then reported to every
// client; one the frame refuses is never reported as made.
TEST_F(Videohub, OnlyConfirmedRoutesAreReported) {
    startServer();
    HubClient one, two;
    ASSERT_TRUE(one.open(kPortA) && two.open(kPortA));
    const int unrouted = server->frame("a")->crosspoints;

    EXPECT_EQ(one.ask("VIDEO OUTPUT ROUTING:\n4 16\n5 " + QByteArray::number(unrouted) + "\n\n"),
              QStringLiteral("ACK"));
    ASSERT_TRUE(waitUntil([&] {
        return one.route(4) == QStringLiteral("16") && two.route(4) == QStringLiteral("16");
    }));
    EXPECT_EQ(frameA->model().crosspoint(5), 17);
    EXPECT_LE(frameA->model().crosspoint(6), 0);
    EXPECT_EQ(two.route(5), QString::number(unrouted));

    frameA->faults().refused[CommandId::scross] = 5;
    const std::size_t from = two.blocks.size();
    EXPECT_EQ(one.ask("VIDEO OUTPUT ROUTING:\n4 20\n\n"), QStringLiteral("ACK"));
    // The frame answers in order: once a later label is seen, the refusal is in.
    EXPECT_EQ(one.ask("INPUT LABELS:\n30 after\n\n"), QStringLiteral("ACK"));
    ASSERT_TRUE(waitUntil(
        [&] { return two.said(QStringLiteral("INPUT LABELS:"), 30, QStringLiteral("after")); }));
    frameA->faults().refused.clear();
    EXPECT_EQ(one.ask("VIDEO OUTPUT ROUTING:\n8 2\n\n"), QStringLiteral("ACK"));
    ASSERT_TRUE(waitUntil([&] {
        return one.route(8) == QStringLiteral("2") && two.route(8) == QStringLiteral("2");
    }));
    EXPECT_EQ(one.route(4), QStringLiteral("16"));
    EXPECT_EQ(two.route(4), QStringLiteral("16"));
    EXPECT_EQ(frameA->model().crosspoint(5), 17);
    for (std::size_t i = from; i < two.blocks.size(); ++i)
        EXPECT_FALSE(two.blocks[i].lines.contains(QStringLiteral("4 20")));

    // A route made elsewhere (velmarctl here) reaches every client.
    CtlEnvironment env;
    env.out = [](std::string_view) {};
    env.err = [](std::string_view) {};
    CCtlRunner ctl(env);
    std::vector<std::string_view> args{"route", "127.0.0.2", "10", "30"};
    ASSERT_EQ(ctl.runArguments(args), kExitOk);
    EXPECT_TRUE(waitUntil([&] {
        return one.route(9) == QStringLiteral("29") && two.route(9) == QStringLiteral("29");
    }));
}

TEST_F(Videohub, LabelsGoThroughTheFrame) {
    startServer();
    HubClient one, two;
    ASSERT_TRUE(one.open(kPortA) && two.open(kPortA));
    const QString was = two.state(QStringLiteral("OUTPUT LABELS:"))[3];
    EXPECT_EQ(one.ask("INPUT LABELS:\n2 MIC 3\n\nOUTPUT LABELS:\n3 seventeen chars!!\n\n"),
              QStringLiteral("ACK"));
    ASSERT_TRUE(waitUntil([&] {
        return one.said(QStringLiteral("INPUT LABELS:"), 2, QStringLiteral("MIC 3")) &&
               two.said(QStringLiteral("INPUT LABELS:"), 2, QStringLiteral("MIC 3"));
    }));
    // The refused label stays as it was: a later one arrives, that one never.
    EXPECT_EQ(one.ask("OUTPUT LABELS:\n2 PA L\n\n"), QStringLiteral("ACK"));
    ASSERT_TRUE(waitUntil(
        [&] { return two.said(QStringLiteral("OUTPUT LABELS:"), 2, QStringLiteral("PA L")); }));
    EXPECT_FALSE(
        two.said(QStringLiteral("OUTPUT LABELS:"), 3, QStringLiteral("seventeen chars!!")));
    EXPECT_EQ(two.state(QStringLiteral("OUTPUT LABELS:"))[3], was);
}

TEST_F(Videohub, LocksHoldBetweenClients) {
    startServer();
    HubClient one, two;
    ASSERT_TRUE(one.open(kPortA) && two.open(kPortA));
    EXPECT_EQ(one.ask("VIDEO OUTPUT LOCKS:\n7 O\n\n"), QStringLiteral("ACK"));
    ASSERT_TRUE(waitUntil([&] { return two.lock(7) == QStringLiteral("L"); }));
    EXPECT_EQ(one.lock(7), QStringLiteral("O"));

    const int before = frameA->model().crosspoint(8);
    EXPECT_EQ(two.ask("VIDEO OUTPUT ROUTING:\n7 3\n8 3\n\n"), QStringLiteral("ACK"));
    ASSERT_TRUE(waitUntil([&] { return one.route(8) == QStringLiteral("3"); }));
    EXPECT_EQ(frameA->model().crosspoint(8), before) << "a locked output refuses another client";
    EXPECT_NE(one.route(7), QStringLiteral("3"));

    EXPECT_EQ(two.ask("VIDEO OUTPUT LOCKS:\n7 U\n\n"), QStringLiteral("ACK"));
    EXPECT_EQ(two.ask("PING:\n\n"), QStringLiteral("ACK"));
    EXPECT_EQ(two.lock(7), QStringLiteral("L")) << "U frees only one's own lock";
    EXPECT_EQ(two.ask("VIDEO OUTPUT LOCKS:\n7 F\n\n"), QStringLiteral("ACK"));
    ASSERT_TRUE(waitUntil(
        [&] { return one.lock(7) == QStringLiteral("U") && two.lock(7) == QStringLiteral("U"); }));
    EXPECT_EQ(two.ask("VIDEO OUTPUT ROUTING:\n7 3\n\n"), QStringLiteral("ACK"));
    ASSERT_TRUE(waitUntil([&] { return one.route(7) == QStringLiteral("3"); }));
    EXPECT_EQ(frameA->model().crosspoint(8), 4);

    // A client that leaves lets its locks go.
    EXPECT_EQ(one.ask("VIDEO OUTPUT LOCKS:\n9 O\n\n"), QStringLiteral("ACK"));
    ASSERT_TRUE(waitUntil([&] { return two.lock(9) == QStringLiteral("L"); }));
    one.socket.disconnectFromHost();
    EXPECT_TRUE(waitUntil([&] { return two.lock(9) == QStringLiteral("U"); }));
}

TEST_F(Videohub, MalformedBlocksReadOnlyFramesAndBounds) {
    startServer();
    HubClient c;
    ASSERT_TRUE(c.open(kPortA));
    for (const char* bad :
         {"VIDEO OUTPUT ROUTING:\n1\n\n", "VIDEO OUTPUT ROUTING:\n1 x\n\n",
          "VIDEO OUTPUT ROUTING:\n99999 1\n\n", "VIDEO OUTPUT LOCKS:\n1 Q\n\n", "HELLO\n\n"})
        EXPECT_EQ(c.ask(bad), QStringLiteral("NAK")) << bad;
    EXPECT_EQ(c.ask("PING:\n\n"), QStringLiteral("ACK"));
    const std::size_t from = c.blocks.size();
    EXPECT_EQ(c.ask("VIDEO OUTPUT ROUTING:\n\n"), QStringLiteral("ACK"));
    ASSERT_TRUE(waitUntil([&] { return c.find(kRouting, from) >= 0; }));

    HubClient ro;
    ASSERT_TRUE(ro.open(kPortB));
    const int before = frameB->model().crosspoint(1);
    for (const char* change : {"VIDEO OUTPUT ROUTING:\n0 5\n\n", "INPUT LABELS:\n0 x\n\n",
                               "VIDEO OUTPUT LOCKS:\n0 O\n\n"})
        EXPECT_EQ(ro.ask(change), QStringLiteral("NAK")) << change;
    EXPECT_EQ(ro.ask("PING:\n\n"), QStringLiteral("ACK"));
    EXPECT_EQ(frameB->model().crosspoint(1), before);

    // A line past the bound is refused and the client closed.
    c.send(QByteArray(4096, 'A'));
    EXPECT_TRUE(waitUntil([&] { return c.closed; }));
    EXPECT_EQ(c.blocks.back().header, QStringLiteral("NAK"));
}

TEST_F(Videohub, ClientsOutsideTheAllowedNetworksAndSlowReadersAreClosed) {
    VideohubServerLimits limits;
    limits.maxUnsentBytes = 16 * 1024; // less than a 460's prelude
    startServer({{0x7F000005, 32}}, limits);
    HubClient outside;
    EXPECT_FALSE(outside.open(kPortA, QStringLiteral("127.0.0.6")));
    EXPECT_TRUE(outside.closed);
    EXPECT_TRUE(outside.blocks.empty()) << "nothing told to a stranger";
    HubClient inside;
    EXPECT_FALSE(inside.open(kPortA, QStringLiteral("127.0.0.5")));
    EXPECT_TRUE(inside.closed) << "its prelude did not fit what it may leave unread";
    EXPECT_EQ(hubs->clients(), 0);
}

TEST_F(Videohub, TenThousandConnectsLeaveTheListenerServing) {
    startServer();
    // Each is told the whole prelude and goes; the listener and its frame
    // carry on, and a client after them is served as the first was.
    EXPECT_EQ(test::connectInWaves(kPortA, 10000, 50, [this] { return hubs->clients(); }), 10000);
    HubClient after;
    ASSERT_TRUE(after.open(kPortA));
    EXPECT_EQ(after.ask("PING:\n\n"), QStringLiteral("ACK"));
}

} // namespace
} // namespace velmar
