// Search, echo probe and set-address over UDP, inside the private namespace.

#include "SimulatedFrame.h"

#include <QCoreApplication>
#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>
#include <algorithm>
#include <gtest/gtest.h>
#include <set>

namespace velmar::framesim {
namespace {

constexpr int kWaitMs = 5000;

std::unique_ptr<CSimulatedFrame> startFrame(const std::string& address, int id,
                                            const std::string& serial) {
    FrameProfile p = *presetProfile("460");
    p.bindAddress = address;
    p.aliveIntervalMs = 0;
    p.id = id;
    p.serial = serial;
    p.name = "Frame " + std::to_string(id);
    auto frame = std::make_unique<CSimulatedFrame>(p);
    QString error;
    EXPECT_TRUE(frame->start(&error)) << error.toStdString();
    return frame;
}

QByteArray echoPacket() {
    QByteArray packet("\x0b\x00", 2);
    packet.append("Brix Echo");
    return packet;
}

class FrameUdpTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The program's side: replies to the search arrive on 10004.
        ASSERT_TRUE(replies.bind(QHostAddress(QStringLiteral("127.0.0.1")), 10004));
        ASSERT_TRUE(sender.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    }
    std::vector<QNetworkDatagram> collect(QUdpSocket& socket, std::size_t count) {
        std::vector<QNetworkDatagram> out;
        (void)QTest::qWaitFor(
            [&]() {
                while (socket.hasPendingDatagrams())
                    out.push_back(socket.receiveDatagram());
                return out.size() >= count;
            },
            kWaitMs);
        return out;
    }

    QUdpSocket replies;
    QUdpSocket sender;
};

TEST_F(FrameUdpTest, ABroadcastSearchReachesThreeFrames) {
    auto a = startFrame("127.0.0.2", 11, "SN-A");
    auto b = startFrame("127.0.0.3", 12, "SN-B");
    auto c = startFrame("127.0.0.4", 13, "SN-C");
    sender.writeDatagram("?edev\r", QHostAddress::Broadcast, 10002);
    const auto got = collect(replies, 3);
    ASSERT_EQ(got.size(), 3u);
    std::set<QString> texts;
    std::set<QString> senders;
    for (const QNetworkDatagram& d : got) {
        texts.insert(QString::fromLatin1(d.data()));
        senders.insert(d.senderAddress().toString());
    }
    EXPECT_EQ(senders, (std::set<QString>{QStringLiteral("127.0.0.2"), QStringLiteral("127.0.0.3"),
                                          QStringLiteral("127.0.0.4")}));
    EXPECT_TRUE(texts.count(QStringLiteral(":edev,0,1,12,'Frame 12','460',x,'SN-B'\r")));
}

TEST_F(FrameUdpTest, SearchReplyCarriesTheRunMode) {
    FrameProfile p = *presetProfile("recovery");
    p.bindAddress = "127.0.0.2";
    p.telnetPort = 20023;
    p.aliveIntervalMs = 0;
    CSimulatedFrame frame(p);
    ASSERT_TRUE(frame.start());
    sender.writeDatagram("?edev\r", QHostAddress(QStringLiteral("127.0.0.2")), 10002);
    const auto got = collect(replies, 1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(got[0].data().startsWith(":edev,0,0,1,'Recovery','460',x,"));
}

TEST_F(FrameUdpTest, EchoProbeComesBackUnlessRefused) {
    auto frame = startFrame("127.0.0.2", 1, "SN-A");
    sender.writeDatagram(echoPacket(), QHostAddress(QStringLiteral("127.0.0.2")), 10002);
    auto got = collect(sender, 1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].data(), echoPacket());

    QSignalSpy refused(frame.get(), &CSimulatedFrame::echoRefused);
    frame->faults().refuseEcho = true;
    sender.writeDatagram(echoPacket(), QHostAddress(QStringLiteral("127.0.0.2")), 10002);
    ASSERT_TRUE(refused.wait(kWaitMs));
    frame->faults().refuseEcho = false;
    sender.writeDatagram(echoPacket(), QHostAddress(QStringLiteral("127.0.0.2")), 10002);
    got = collect(sender, 1);
    ASSERT_EQ(got.size(), 1u); // only the answer to the third probe
    EXPECT_FALSE(sender.hasPendingDatagrams());
}

TEST_F(FrameUdpTest, SetAddressAppliesToTheMatchingSerialOnly) {
    auto a = startFrame("127.0.0.2", 1, "SN-A");
    auto b = startFrame("127.0.0.3", 2, "SN-B");
    QSignalSpy appliedA(a.get(), &CSimulatedFrame::networkApplied);
    QSignalSpy appliedB(b.get(), &CSimulatedFrame::networkApplied);
    sender.writeDatagram("%eip,'SN-X',0,'10.9.9.9','255.0.0.0','10.0.0.1',1\r",
                         QHostAddress::Broadcast, 10002);
    sender.writeDatagram("%eip,'SN-B',1,'10.0.0.7','255.255.255.0','10.0.0.1',1\r",
                         QHostAddress::Broadcast, 10002);
    ASSERT_TRUE(appliedB.wait(kWaitMs));
    EXPECT_EQ(appliedB.count(), 1);
    EXPECT_EQ(b->model().network().address, "10.0.0.7");
    EXPECT_EQ(b->model().network().mode, 1);
    EXPECT_EQ(appliedA.count(), 0);
    EXPECT_EQ(a->model().network().address, "127.0.0.2");
}

TEST_F(FrameUdpTest, AFixedAddressMovesTheFrameThere) {
    auto frame = startFrame("127.0.0.2", 1, "SN-A");
    QSignalSpy moved(frame.get(), &CSimulatedFrame::moved);
    sender.writeDatagram("%eip,'SN-A',0,'127.0.0.9','255.0.0.0','127.0.0.1',1\r",
                         QHostAddress::Broadcast, 10002);
    ASSERT_TRUE(moved.wait(kWaitMs));
    EXPECT_EQ(frame->address().toString(), QStringLiteral("127.0.0.9"));
    EXPECT_EQ(frame->model().network().address, "127.0.0.9");

    // It answers the search from there, and TCP there and no longer at the old place.
    sender.writeDatagram("?edev\r", QHostAddress::Broadcast, 10002);
    const auto got = collect(replies, 1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].senderAddress().toString(), QStringLiteral("127.0.0.9"));
    QTcpSocket there;
    there.connectToHost(QStringLiteral("127.0.0.9"), 10003);
    EXPECT_TRUE(there.waitForConnected(kWaitMs));
    QTcpSocket old;
    old.connectToHost(QStringLiteral("127.0.0.2"), 10003);
    EXPECT_FALSE(old.waitForConnected(kWaitMs));
}

TEST_F(FrameUdpTest, AutomaticAddressingOrTheIgnoreFaultLeaveTheFrameWhereItIs) {
    auto frame = startFrame("127.0.0.2", 1, "SN-A");
    QSignalSpy applied(frame.get(), &CSimulatedFrame::networkApplied);
    QSignalSpy moved(frame.get(), &CSimulatedFrame::moved);
    QSignalSpy searched(frame.get(), &CSimulatedFrame::searchAnswered);
    frame->faults().ignoreSetAddress = true;
    sender.writeDatagram("%eip,'SN-A',0,'127.0.0.9','255.0.0.0','127.0.0.1',1\r",
                         QHostAddress::Broadcast, 10002);
    // Datagrams from one sender arrive in order: once the search is answered
    // the request before it was handled.
    sender.writeDatagram("?edev\r", QHostAddress::Broadcast, 10002);
    ASSERT_TRUE(searched.wait(kWaitMs));
    EXPECT_EQ(applied.count(), 0);
    frame->faults().ignoreSetAddress = false;

    sender.writeDatagram("%eip,'SN-A',1,'0.0.0.0','0.0.0.0','0.0.0.0',1\r", QHostAddress::Broadcast,
                         10002);
    ASSERT_TRUE(applied.wait(kWaitMs));
    sender.writeDatagram("?edev\r", QHostAddress::Broadcast, 10002);
    ASSERT_TRUE(searched.wait(kWaitMs));
    QCoreApplication::processEvents();
    EXPECT_EQ(moved.count(), 0);
    EXPECT_EQ(frame->address().toString(), QStringLiteral("127.0.0.2"));
    EXPECT_EQ(frame->model().network().mode, 1);
}

TEST_F(FrameUdpTest, FrameAnnouncesItselfOnItsOwn) {
    auto frame = startFrame("127.0.0.2", 5, "SN-A");
    frame->setAnnounceAddress(QHostAddress(QStringLiteral("127.0.0.1")));
    frame->sendSearchAnnouncement();
    const auto got = collect(replies, 1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].data(), QByteArray("!edev,0,1,5,'Frame 5','460',x,'SN-A'\r"));
}

TEST_F(FrameUdpTest, SearchBurstAnswersFromConsecutiveAddresses) {
    std::string error;
    const auto profile = parseProfile("preset = 460\nbind = 127.0.0.2\nserial = 'SN-A'\n"
                                      "alive-interval = 0\nfault.search-burst = 300\n",
                                      error);
    ASSERT_TRUE(profile) << error;
    EXPECT_EQ(profile->faults.searchBurst, 300);
    FrameProfile tooMany = *profile;
    EXPECT_FALSE(applySetting(tooMany, "fault.search-burst", "10001", error));

    CSimulatedFrame frame(*profile);
    ASSERT_TRUE(frame.start());
    // The burst arrives faster than this thread reads it.
    replies.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 1024 * 1024);
    sender.writeDatagram("?edev\r", QHostAddress(QStringLiteral("127.0.0.2")), 10002);
    const auto got = collect(replies, 300);
    ASSERT_EQ(got.size(), 300u);
    std::set<QString> senders;
    std::set<QByteArray> texts;
    for (const QNetworkDatagram& d : got) {
        senders.insert(d.senderAddress().toString());
        texts.insert(d.data());
    }
    EXPECT_EQ(senders.size(), 300u);
    EXPECT_EQ(texts.size(), 300u);
    EXPECT_TRUE(senders.count(QStringLiteral("127.0.0.2"))) << "the frame itself answers first";
    EXPECT_TRUE(senders.count(QStringLiteral("127.0.0.254")));
    EXPECT_FALSE(senders.count(QStringLiteral("127.0.0.255")));
    EXPECT_FALSE(senders.count(QStringLiteral("127.0.1.0")));
    EXPECT_TRUE(senders.count(QStringLiteral("127.0.1.47"))) << "253 + 47 = 300";
    EXPECT_EQ(std::count_if(texts.begin(), texts.end(),
                            [](const QByteArray& t) {
                                return t.startsWith(":edev,0,1,") && t.endsWith(",'SN-A-299'\r");
                            }),
              1);
}

TEST(AddressRequest, ParsesTheSetAddressLine) {
    AddressRequest r;
    ASSERT_TRUE(
        parseAddressRequest("%eip,'SN01',1,'192.168.1.20','255.255.255.0','192.168.1.1',1\r", r));
    EXPECT_EQ(r.serial, "SN01");
    EXPECT_EQ(r.settings.mode, 1);
    EXPECT_EQ(r.settings.gateway, "192.168.1.1");
    EXPECT_EQ(r.flag, 1);
    EXPECT_FALSE(parseAddressRequest("%eip,'SN01',1\r", r));
    EXPECT_FALSE(parseAddressRequest("?edev\r", r));
}

} // namespace
} // namespace velmar::framesim
