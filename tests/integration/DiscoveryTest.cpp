#include "IntegrationSupport.h"
#include "link/CDiscovery.h"
#include "link/CUDPSocketThread.h"
#include "link/DeviceList.h"

#include <QSignalSpy>
#include <QUdpSocket>
#include <algorithm>

namespace velmar {
namespace {

using test::waitUntil;

class Discovery : public ::testing::Test {
protected:
    void SetUp() override {
        worker = std::make_unique<CUDPSocketThread>(queue);
        QObject::connect(
            worker.get(), &CUDPSocketThread::replyQueued, &context,
            [this] {
                for (std::string& text : queue.drain())
                    received.push_back(std::move(text));
            },
            Qt::QueuedConnection);
        worker->start();
        ASSERT_TRUE(worker->waitUntilBound(2000));
    }
    void TearDown() override { worker->stop(1000); }

    CReplyQueue queue;
    QObject context;
    std::unique_ptr<CUDPSocketThread> worker;
    std::vector<std::string> received;
};

TEST_F(Discovery, BroadcastReachesThreeFrames) {
    auto a = test::startFrame("460", "127.0.0.2");
    auto b = test::startFrame("461", "127.0.0.3");
    auto c = test::startFrame("recovery", "127.0.0.4");
    ASSERT_TRUE(a && b && c);
    EXPECT_GE(CDiscovery::search(), 1);
    ASSERT_TRUE(waitUntil([this] { return received.size() >= 3; }));

    CDeviceList list;
    for (const std::string& text : received)
        list.addRowFromText(text, CDeviceList::Source::SearchReply, std::nullopt);
    ASSERT_EQ(list.rows().size(), 3U);
    const auto row = [&list](const char* address) {
        const int i = list.findRow(*parseIpv4(address));
        EXPECT_GE(i, 0) << address;
        return list.rows()[static_cast<std::size_t>(std::max(i, 0))];
    };
    EXPECT_EQ(row("127.0.0.2").address, "127.0.0.2");
    EXPECT_EQ(row("127.0.0.2").name, a->profile().name);
    EXPECT_EQ(row("127.0.0.2").type, "460");
    EXPECT_EQ(row("127.0.0.2").serial, a->profile().serial);
    EXPECT_EQ(row("127.0.0.2").id, std::to_string(a->profile().id));
    EXPECT_EQ(row("127.0.0.3").type, "461");
    EXPECT_EQ(row("127.0.0.4").address, "*127.0.0.4") << "a frame in recovery mode is marked";
}

TEST_F(Discovery, OwnAnnouncementCarriesTheMark) {
    auto a = test::startFrame("460", "127.0.0.2");
    ASSERT_TRUE(a);
    a->sendSearchAnnouncement();
    ASSERT_TRUE(waitUntil([this] { return !received.empty(); }));
    EXPECT_EQ(received[0].front(), '1');
    EXPECT_EQ(received[0].rfind("127.0.0.2,", 0), 0U);
    EXPECT_EQ(received[0].back(), ',');
}

TEST_F(Discovery, MalformedDatagramsAreDropped) {
    QUdpSocket sender;
    ASSERT_TRUE(sender.bind(QHostAddress(QStringLiteral("127.0.0.7")), 0));
    const QHostAddress to(QStringLiteral("127.0.0.1"));
    const QByteArray bad[] = {
        QByteArray("?edev\r"),
        QByteArray(":edev\r"),
        QByteArray(":edev,0,1,2,'n','t',x,'s'"),
        QByteArray("%edev,0,1,2,'n','t',x,'s'\r"),
        QByteArray(":Edev,0,1,2,'n','t',x,'s'\r"),
        QByteArray(":edev,0,\r"),
        QByteArray(":edev,0,") + QByteArray(300, 'a') + QByteArray("\r"),
    };
    for (const QByteArray& d : bad)
        ASSERT_EQ(sender.writeDatagram(d, to, kDiscoveryReplyPort), d.size());
    const QByteArray good(":edev,0,1,5,'Good','460',x,'SN5'\r");
    ASSERT_EQ(sender.writeDatagram(good, to, kDiscoveryReplyPort), good.size());
    ASSERT_TRUE(waitUntil([this] { return !received.empty(); }));
    QCoreApplication::processEvents();
    ASSERT_EQ(received.size(), 1U) << received.front();
    EXPECT_EQ(received[0], "127.0.0.7,1,5,'Good','460',x,'SN5'");
}

TEST(SetAddress, OnlyTheFrameWithThatSerialApplies) {
    auto a = test::startFrame("460", "127.0.0.2");
    auto b = test::startFrame("461", "127.0.0.3");
    ASSERT_TRUE(a && b);
    QSignalSpy appliedA(a.get(), &framesim::CSimulatedFrame::networkApplied);
    QSignalSpy appliedB(b.get(), &framesim::CSimulatedFrame::networkApplied);
    SetAddressRequest r{b->profile().serial, 0, "127.0.0.33", "255.0.0.0", "127.0.0.1", true};
    EXPECT_GE(CDiscovery::sendSetAddress(r), 1);
    ASSERT_TRUE(waitUntil([&] { return appliedB.count() == 1; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(appliedA.count(), 0);
}

} // namespace
} // namespace velmar
