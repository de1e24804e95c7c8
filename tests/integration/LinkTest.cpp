#include "IntegrationSupport.h"
#include "link/CDiscovery.h"
#include "link/CZarvoSocket.h"
#include "protocol/RequestEncoder.h"

#include <QSignalSpy>
#include <vector>

namespace velmar {
namespace {

using test::waitUntil;

class Handler : public CLineReceiver::IHandler {
public:
    explicit Handler(CZarvoSocket*& socket) : m_socket(socket) {}
    bool isReceiving = true;
    int dataEvents = 0;
    std::vector<std::pair<DeviceMessage, bool>> messages;

    bool receiving() const override { return isReceiving; }
    void onDataReceived() override { ++dataEvents; }
    void onMessage(const DeviceMessage& m, bool isReply) override {
        messages.emplace_back(m, isReply);
    }
    void sendRaw(const DeviceMessage& m) override {
        if (m_socket)
            m_socket->send(m);
    }

private:
    CZarvoSocket*& m_socket;
};

class Link : public ::testing::Test {
protected:
    void SetUp() override {
        frame = test::startFrame("460", "127.0.0.2");
        ASSERT_TRUE(frame);
        socketPtr = &socket;
        ASSERT_EQ(socket.connectTo(QStringLiteral("127.0.0.2"), 10003), 0);
        ASSERT_TRUE(waitUntil([this] { return frame->clientCount() == 1; }));
    }
    void request(CommandId id, int p1 = 0) {
        DeviceMessage m = DeviceMessage::request(id);
        m.setI(1, p1);
        socket.send(m);
    }
    std::size_t count(CommandId id) const {
        std::size_t n = 0;
        for (const auto& [m, reply] : handler.messages)
            n += m.command == id ? 1 : 0;
        return n;
    }

    std::unique_ptr<framesim::CSimulatedFrame> frame;
    CZarvoSocket* socketPtr = nullptr;
    Handler handler{socketPtr};
    CZarvoSocket socket{handler};
};

TEST_F(Link, RepliesArriveInOrder) {
    request(CommandId::gdevid);
    request(CommandId::gmaster);
    request(CommandId::gdevinfo);
    ASSERT_TRUE(waitUntil([this] { return handler.messages.size() >= 3; }));
    EXPECT_EQ(handler.messages[0].first.command, CommandId::gdevid);
    EXPECT_TRUE(handler.messages[0].second);
    EXPECT_EQ(handler.messages[0].first.text(2, 17), frame->profile().name);
    EXPECT_EQ(handler.messages[1].first.command, CommandId::gmaster);
    EXPECT_EQ(handler.messages[2].first.command, CommandId::gdevinfo);
    EXPECT_EQ(handler.messages[2].first.text(4, 17), frame->profile().serial);
}

TEST_F(Link, TwoLinesInOneChunkAndOneByteChunks) {
    frame->sendToAll("!gsyncstat,0,1,4\r!gsyncstat,0,0,2\r");
    ASSERT_TRUE(waitUntil([this] { return handler.messages.size() >= 2; }));
    EXPECT_EQ(handler.messages[0].first.i(2), 4);
    EXPECT_EQ(handler.messages[1].first.i(2), 2);
    EXPECT_FALSE(handler.messages[0].second);

    frame->faults().oneByteChunks = true;
    request(CommandId::gdevid);
    ASSERT_TRUE(waitUntil([this] { return count(CommandId::gdevid) == 1; }));
    EXPECT_EQ(handler.messages.back().first.text(2, 17), frame->profile().name)
        << "a line that came byte by byte is dispatched once, whole";
    EXPECT_GT(handler.dataEvents, 10);
}

TEST_F(Link, FramesAliveRequestIsAnsweredWithItsTag) {
    QSignalSpy lines(frame.get(), &framesim::CSimulatedFrame::lineReceived);
    frame->sendToAll("?aliverequest,*12\r");
    ASSERT_TRUE(waitUntil([&] {
        for (const auto& args : lines)
            if (args.at(0).toString().startsWith(QStringLiteral(":aliverequest")))
                return true;
        return false;
    }));
    QString answer;
    for (const auto& args : lines)
        if (args.at(0).toString().startsWith(QStringLiteral(":aliverequest")))
            answer = args.at(0).toString();
    EXPECT_EQ(answer.trimmed(), QStringLiteral(":aliverequest,0,*12"));
    EXPECT_TRUE(handler.messages.empty()) << "alive traffic is not dispatched";
}

TEST_F(Link, OverlongLineAndGarbageAreDroppedAndTheLinkGoesOn) {
    frame->sendOverlongLine();
    frame->faults().garbageBetweenLines = true;
    request(CommandId::gdevid);
    request(CommandId::gmaster);
    ASSERT_TRUE(waitUntil([this] { return count(CommandId::gmaster) == 1; }));
    EXPECT_EQ(count(CommandId::gdevid), 1U);
    for (const auto& [m, reply] : handler.messages)
        EXPECT_NE(m.command, CommandId::InvalidReply);
}

TEST_F(Link, FrameClosingTheLinkIsReported) {
    QSignalSpy closed(&socket, &CZarvoSocket::peerClosed);
    frame->dropClients();
    ASSERT_TRUE(waitUntil([&] { return closed.count() == 1; }));
    EXPECT_FALSE(socket.isOpen());
    EXPECT_EQ(socket.lossCause(), LinkLoss::Closed);
    // Sending without a link does nothing, and the socket connects again.
    request(CommandId::gdevid);
    ASSERT_EQ(socket.connectTo(QStringLiteral("127.0.0.2"), 10003), 0);
    request(CommandId::gdevid);
    ASSERT_TRUE(waitUntil([this] { return count(CommandId::gdevid) == 1; }));
}

TEST_F(Link, OurOwnCloseIsNoPeerClose) {
    QSignalSpy closed(&socket, &CZarvoSocket::peerClosed);
    socket.close();
    ASSERT_TRUE(waitUntil([this] { return frame->clientCount() == 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(closed.count(), 0);
}

TEST(LinkFlood, AFrameThatStopsReadingIsDroppedWithBoundedMemory) {
    // Far more alive requests than the kernel buffers and our bound hold
    // together: answering them all would queue megabytes.
    auto frame = test::startFrame("460", "127.0.0.2", [](framesim::FrameProfile& p) {
        p.faults.floodAliveLines = 4'000'000;
    });
    ASSERT_TRUE(frame);
    CZarvoSocket* socketPtr = nullptr;
    Handler handler(socketPtr);
    CZarvoSocket socket(handler);
    socketPtr = &socket;
    QSignalSpy closed(&socket, &CZarvoSocket::peerClosed);
    ASSERT_EQ(socket.connectTo(QStringLiteral("127.0.0.2"), 10003), 0);
    ASSERT_TRUE(waitUntil([&] { return closed.count() == 1; }, 60000));
    EXPECT_EQ(socket.lossCause(), LinkLoss::Stalled);
    EXPECT_FALSE(socket.isOpen());
    // The queue reached the bound and went no further than the line that crossed it.
    EXPECT_GT(socket.peakPendingWrite(), CZarvoSocket::kMaxPendingWrite);
    EXPECT_LE(socket.peakPendingWrite(),
              CZarvoSocket::kMaxPendingWrite + static_cast<qint64>(kEncodeBufferSize));
    EXPECT_TRUE(handler.messages.empty()) << "alive requests are answered, not dispatched";
    // Nothing more is written once the link is dropped.
    socket.send(DeviceMessage::request(CommandId::gdevid));
    EXPECT_FALSE(socket.isOpen());
}

TEST_F(Link, AFullCrosspointLoadStaysFarBelowTheBound) {
    // 1536 routes go out in one go, as a loaded file sends them.
    for (int output = 1; output <= 1536; ++output) {
        DeviceMessage m = DeviceMessage::request(CommandId::scross);
        m.setI(1, output);
        m.setI(2, output);
        socket.send(m);
    }
    EXPECT_LT(socket.peakPendingWrite(), CZarvoSocket::kMaxPendingWrite / 4);
    ASSERT_TRUE(waitUntil([this] { return count(CommandId::scross) == 1536; }, 20000));
    EXPECT_TRUE(socket.isOpen());
}

TEST(LinkConnect, RefusedOrUnreachableFails) {
    CZarvoSocket* none = nullptr;
    Handler handler(none);
    CZarvoSocket socket(handler);
    EXPECT_NE(socket.connectTo(QStringLiteral("127.0.0.9"), 10003), 0) << "nobody listens there";
    EXPECT_FALSE(socket.isOpen());
}

TEST(EchoProbe, AnsweredRefusedAndAbsent) {
    auto frame = test::startFrame("460", "127.0.0.2");
    ASSERT_TRUE(frame);
    EXPECT_TRUE(CDiscovery::echoProbe(QStringLiteral("127.0.0.2"), 1000));
    frame->faults().refuseEcho = true;
    EXPECT_FALSE(CDiscovery::echoProbe(QStringLiteral("127.0.0.2"), 200));
    EXPECT_FALSE(CDiscovery::echoProbe(QStringLiteral("127.0.0.5"), 100)) << "no frame there";
    EXPECT_FALSE(CDiscovery::echoProbe(QStringLiteral("not an address"), 100));
}

} // namespace
} // namespace velmar
