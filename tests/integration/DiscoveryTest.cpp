#include "IntegrationSupport.h"
#include "ctl/CCtlRunner.h"
#include "link/CDiscovery.h"
#include "link/CUDPSocketThread.h"
#include "link/DeviceList.h"

#include <QAbstractEventDispatcher>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSemaphore>
#include <QSignalSpy>
#include <QUdpSocket>
#include <algorithm>
#include <fstream>
#include <sched.h>
#include <set>

namespace velmar {
namespace {

using test::waitUntil;

// Keeps the worker's event loop busy, as a loaded machine does, so that what
// arrives meanwhile has to wait in the socket's receive buffer.
class WorkerHold {
public:
    explicit WorkerHold(QThread& worker) {
        auto held = std::make_shared<QSemaphore>();
        QMetaObject::invokeMethod(
            worker.eventDispatcher(),
            [held, gate = m_gate] {
                held->release();
                gate->acquire();
            },
            Qt::QueuedConnection);
        m_holding = held->tryAcquire(1, 5000);
    }
    ~WorkerHold() { m_gate->release(); }
    WorkerHold(const WorkerHold&) = delete;
    WorkerHold& operator=(const WorkerHold&) = delete;
    bool holding() const { return m_holding; }

private:
    std::shared_ptr<QSemaphore> m_gate = std::make_shared<QSemaphore>();
    bool m_holding = false;
};

class Discovery : public ::testing::Test {
protected:
    void SetUp() override {
        worker = std::make_unique<CUDPSocketThread>(queue);
        if (bufferBytes > 0)
            worker->setReceiveBufferSize(bufferBytes);
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

    // Starts a frame that answers one search with `count` replies from
    // consecutive addresses, sends the search while the worker is held, and
    // waits until every reply was either received or dropped by the kernel.
    std::unique_ptr<framesim::CSimulatedFrame> burst(int count) {
        auto frame = test::startFrame("460", "127.0.0.2", [count](framesim::FrameProfile& p) {
            p.faults.searchBurst = count;
        });
        EXPECT_TRUE(frame);
        if (!frame)
            return nullptr;
        QSignalSpy answered(frame.get(), &framesim::CSimulatedFrame::searchAnswered);
        {
            WorkerHold hold(*worker);
            EXPECT_TRUE(hold.holding());
            EXPECT_GE(CDiscovery::search(), 1);
            EXPECT_TRUE(waitUntil([&answered] { return answered.count() >= 1; }));
        }
        const auto settled = [this, count] {
            return received.size() + worker->droppedDatagrams().value_or(0) >=
                   static_cast<std::size_t>(count);
        };
        EXPECT_TRUE(waitUntil(settled, 20000));
        QCoreApplication::processEvents();
        return frame;
    }

    int bufferBytes = 0; // the worker's default unless set
    CReplyQueue queue;
    QObject context;
    std::unique_ptr<CUDPSocketThread> worker;
    std::vector<std::string> received;
};

// The kernel's limit for the receive buffer an ordinary program may ask for.
long long receiveBufferLimit() {
    std::ifstream file("/proc/sys/net/core/rmem_max");
    long long limit = 0;
    file >> limit;
    return limit;
}

TEST_F(Discovery, ABurstOfAThousandRepliesIsListedWhole) {
    if (receiveBufferLimit() < kSearchReceiveBufferBytes)
        GTEST_SKIP() << "net.core.rmem_max is below " << kSearchReceiveBufferBytes
                     << " here; the system cannot hold such a burst for any program";
    EXPECT_GE(worker->receiveBufferSize(), kSearchReceiveBufferBytes);
    const auto frame = burst(1000);
    ASSERT_TRUE(frame);
    EXPECT_EQ(worker->droppedDatagrams(), std::optional<quint64>(0));
    ASSERT_EQ(received.size(), 1000U);

    CDeviceList list;
    for (const std::string& text : received)
        list.addRowFromText(text, CDeviceList::Source::SearchReply, std::nullopt);
    EXPECT_EQ(list.rows().size(), 1000U);
    std::set<std::string> serials;
    for (const KnownDevice& row : list.rows())
        serials.insert(row.serial);
    EXPECT_EQ(serials.size(), 1000U);
    // 127.0.0.2 .. .254, then .1 .. .254 of the next three blocks: 253 + 254 + 254 + 239.
    EXPECT_GE(list.findRow(*parseIpv4("127.0.0.2")), 0);
    EXPECT_GE(list.findRow(*parseIpv4("127.0.3.239")), 0);
    EXPECT_EQ(list.findRow(*parseIpv4("127.0.3.240")), -1);
}

TEST_F(Discovery, WorkerIsNotStarvedByABusyMachine) {
    // An idle-class thread gets no time while other programs keep every core
    // busy; the search replies would wait for minutes.
    int policy = -1;
    QMetaObject::invokeMethod(
        worker->eventDispatcher(), [&policy] { policy = sched_getscheduler(0); },
        Qt::BlockingQueuedConnection);
    EXPECT_NE(policy, -1);
    EXPECT_NE(policy, SCHED_IDLE);
}

TEST(CtlDiscover, ABurstOfAThousandIsListedAndTheDropCountReported) {
    if (receiveBufferLimit() < kSearchReceiveBufferBytes)
        GTEST_SKIP() << "net.core.rmem_max is below " << kSearchReceiveBufferBytes;
    auto frame = test::startFrame("460", "127.0.0.2",
                                  [](framesim::FrameProfile& p) { p.faults.searchBurst = 1000; });
    ASSERT_TRUE(frame);
    std::string out;
    std::string err;
    CtlEnvironment e;
    e.out = [&out](std::string_view text) { out += text; };
    e.err = [&err](std::string_view text) { err += text; };
    CCtlRunner runner(e);
    const std::vector<std::string_view> args = {"discover", "--wait", "1500", "--json"};
    ASSERT_EQ(runner.runArguments(args), 0) << err;
    const QJsonObject doc = QJsonDocument::fromJson(QByteArray::fromStdString(out)).object();
    EXPECT_EQ(doc["frames"].toArray().size(), 1000);
    ASSERT_TRUE(doc["dropped"].isDouble()) << out.substr(out.size() - 40);
    EXPECT_EQ(doc["dropped"].toInt(), 0);
    EXPECT_EQ(err, "");
}

class SmallBufferDiscovery : public Discovery {
protected:
    void SetUp() override {
        bufferBytes = 16 * 1024;
        Discovery::SetUp();
    }
};

TEST_F(SmallBufferDiscovery, RepliesTheSystemDroppedAreCounted) {
    const auto frame = burst(400);
    ASSERT_TRUE(frame);
    const std::optional<quint64> dropped = worker->droppedDatagrams();
    ASSERT_TRUE(dropped.has_value()) << "Linux tells the drops of a socket";
    EXPECT_GT(*dropped, 0U);
    EXPECT_LT(received.size(), 400U);
    EXPECT_EQ(received.size() + *dropped, 400U) << "every reply is either listed or counted";

    // The count outlives the worker.
    worker->stop(1000);
    EXPECT_EQ(worker->droppedDatagrams(), dropped);
}

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
