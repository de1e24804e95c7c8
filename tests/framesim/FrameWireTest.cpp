// The frame over real sockets, driven with the program's codec. Runs inside a
// private network namespace (127.0.0.2 and the real ports are free there).

#include "SimulatedFrame.h"
#include "TestClient.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace velmar::framesim {
namespace {

using test::CTestClient;
using test::request;

class FrameWireTest : public ::testing::Test {
protected:
    void SetUp() override { profile.aliveIntervalMs = 0; }
    bool startFrame() {
        frame = std::make_unique<CSimulatedFrame>(profile);
        QString error;
        const bool ok = frame->start(&error);
        EXPECT_TRUE(ok) << error.toStdString();
        return ok;
    }
    bool connect(CTestClient& client) {
        return client.connectTo(QString::fromStdString(profile.bindAddress),
                                frame->commandPort()) &&
               QTest::qWaitFor([&]() { return frame->clientCount() > 0; }, test::kWaitMs);
    }

    FrameProfile profile = *presetProfile("460");
    std::unique_ptr<CSimulatedFrame> frame;
};

TEST_F(FrameWireTest, AnswersRequestsWithTagsAndStatus) {
    ASSERT_TRUE(startFrame());
    CTestClient client;
    ASSERT_TRUE(connect(client));

    const auto& info = client.ask(request(CommandId::gdevinfo));
    EXPECT_EQ(info.text, ":gdevinfo,0,'460',0,'460000230001'");
    EXPECT_EQ(info.message.command, CommandId::gdevinfo);

    DeviceMessage tagged = request(CommandId::gcross, {1537});
    tagged.tag = 77;
    const auto& error = client.ask(tagged);
    EXPECT_EQ(error.text, ":gcross,1,1537,*77");
    EXPECT_EQ(error.message.status, 1);
    EXPECT_EQ(error.message.tag, 77);

    const auto& list = client.ask(request(CommandId::lcross, {1, 128}));
    EXPECT_EQ(list.message.status, 0);
    EXPECT_EQ(list.message.command, CommandId::lcross);
}

TEST_F(FrameWireTest, AChangeIsAnnouncedToTheOtherClients) {
    ASSERT_TRUE(startFrame());
    CTestClient a, b;
    ASSERT_TRUE(connect(a));
    ASSERT_TRUE(b.connectTo(QString::fromStdString(profile.bindAddress), frame->commandPort()));
    ASSERT_TRUE(QTest::qWaitFor([&]() { return frame->clientCount() == 2; }, test::kWaitMs));

    EXPECT_EQ(a.ask(request(CommandId::scross, {5, 17, 0, 0})).text, ":scross,0,5,17,0,0");
    ASSERT_TRUE(b.waitLines(1));
    EXPECT_EQ(b.lines()[0].text, "!gcross,0,5,17");
    EXPECT_EQ(b.lines()[0].message.flags, 0);
    // The one that asked hears its reply, not the announcement.
    EXPECT_EQ(a.ask(request(CommandId::gcross, {5})).text, ":gcross,0,5,17");
    EXPECT_EQ(a.lines().size(), 2u);
}

TEST_F(FrameWireTest, AliveRequestsGoBothWays) {
    ASSERT_TRUE(startFrame());
    CTestClient client;
    ASSERT_TRUE(connect(client));

    DeviceMessage ours = request(CommandId::aliverequest);
    ours.flags = FlagRequest | FlagAlive;
    ours.tag = 12;
    EXPECT_EQ(client.ask(ours).text, ":aliverequest,0,*12");

    frame->setAliveInterval(20);
    ASSERT_TRUE(client.waitLines(2));
    const DeviceMessage& theirs = client.lines()[1].message;
    EXPECT_EQ(theirs.flags, FlagRequest | FlagAlive);
    frame->setAliveInterval(0);

    DeviceMessage answer = theirs;
    answer.flags = FlagReply | FlagAlive;
    client.send(answer);
    ASSERT_TRUE(QTest::qWaitFor([&]() { return frame->aliveAnswers() == 1; }, test::kWaitMs));
}

TEST_F(FrameWireTest, ScriptedChangesReachEveryClient) {
    ASSERT_TRUE(startFrame());
    CTestClient client;
    ASSERT_TRUE(connect(client));
    frame->setSyncStatus(2, 4);
    frame->setInputStatus(3, QStringLiteral("ERR"));
    frame->setPsuStatus(2, 1);
    frame->setFanStatus(1, 1);
    frame->setUnicastClockStatus(1, QStringLiteral("Locked"));
    ASSERT_TRUE(client.waitLines(5));
    EXPECT_EQ(client.lines()[0].text, "!gsyncstat,0,4,2"); // source, then state
    EXPECT_EQ(client.lines()[1].text, "!gmaininpstatus,0,3,ERR");
    EXPECT_EQ(client.lines()[2].text, "!gpsustatus,0,2,1");
    EXPECT_EQ(client.lines()[3].text, "!gfanstatus,0,1,1");
    EXPECT_EQ(client.lines()[4].text, "!guniclkstip,0,1,Locked");
}

TEST_F(FrameWireTest, FirmwareTransferKeepsTheRecordsSent) {
    ASSERT_TRUE(startFrame());
    CTestClient client;
    ASSERT_TRUE(connect(client));
    const std::vector<std::string> file = {"S00F000068656C6C6F202020202000003C",
                                           "S11300007C0802A6900100049421FFF0", "S5030002FA",
                                           "S9030000FC"};
    EXPECT_EQ(client.ask(request(CommandId::sprog, {0})).text, ":sprog,0,0");
    for (const std::string& record : file) {
        DeviceMessage m = request(CommandId::sprog, {1});
        m.setText(fields::kProgramLine, record);
        EXPECT_EQ(client.ask(m).text, ":sprog,0,1");
    }
    EXPECT_EQ(client.ask(request(CommandId::sprog, {2})).text, ":sprog,0,2");
    EXPECT_EQ(frame->programRecords(), file);
}

TEST_F(FrameWireTest, RestartClosesTheLinkAfterItsReply) {
    ASSERT_TRUE(startFrame());
    CTestClient client;
    ASSERT_TRUE(connect(client));
    QSignalSpy restarting(frame.get(), &CSimulatedFrame::restarting);
    EXPECT_EQ(client.ask(request(CommandId::srestart, {1})).text, ":srestart,0");
    EXPECT_TRUE(client.waitDisconnected());
    ASSERT_EQ(restarting.count(), 1);
    EXPECT_EQ(restarting.at(0).at(0).toString(), QStringLiteral("srestart"));
}

TEST_F(FrameWireTest, RecoveryModeListensOnTheTelnetPortOnly) {
    profile = *presetProfile("recovery");
    profile.aliveIntervalMs = 0;
    profile.telnetPort = 20023; // stands in for 23
    ASSERT_TRUE(startFrame());
    EXPECT_EQ(frame->commandPort(), 20023);
    CTestClient client;
    ASSERT_TRUE(connect(client));
    EXPECT_EQ(client.ask(request(CommandId::gswver, {2})).text, ":gswver,0,2,'BOOT','1.0.0.3'");
    EXPECT_EQ(client.ask(request(CommandId::gcross, {1})).message.status,
              CFrameModel::kStatusNotInThisMode);
}

TEST(FrameStart, RefusesAnAddressOutsideLoopback) {
    FrameProfile p = *presetProfile("460");
    p.bindAddress = "192.0.2.10";
    CSimulatedFrame frame(p);
    QString error;
    EXPECT_FALSE(frame.start(&error));
    EXPECT_FALSE(frame.isRunning());
    EXPECT_TRUE(error.contains(QStringLiteral("allow-lan"))) << error.toStdString();
}

// ---------------------------------------------------------------- faults

TEST_F(FrameWireTest, FaultCloseAfterLines) {
    profile.faults.closeAfterLines = 2;
    ASSERT_TRUE(startFrame());
    CTestClient client;
    ASSERT_TRUE(connect(client));
    client.send(request(CommandId::gdevid));
    client.send(request(CommandId::gdevinfo));
    client.send(request(CommandId::gip));
    EXPECT_TRUE(client.waitDisconnected());
    ASSERT_EQ(client.lines().size(), 2u);
    EXPECT_EQ(client.lines()[1].message.command, CommandId::gdevinfo);
}

TEST_F(FrameWireTest, FaultSilentKeepsTheLink) {
    ASSERT_TRUE(startFrame());
    CTestClient client;
    ASSERT_TRUE(connect(client));
    QSignalSpy received(frame.get(), &CSimulatedFrame::lineReceived);
    frame->faults().silent = true;
    client.send(request(CommandId::gdevid));
    ASSERT_TRUE(QTest::qWaitFor([&]() { return received.count() == 1; }, test::kWaitMs));
    frame->setSyncStatus(2, 3); // not even its own messages
    frame->faults().silent = false;
    EXPECT_EQ(client.ask(request(CommandId::gdevinfo)).message.command, CommandId::gdevinfo);
    EXPECT_EQ(client.lines().size(), 1u);
    EXPECT_EQ(client.socket().state(), QAbstractSocket::ConnectedState);
}

TEST_F(FrameWireTest, FaultDelayHoldsReplies) {
    profile.faults.replyDelayMs = 300;
    ASSERT_TRUE(startFrame());
    CTestClient client;
    ASSERT_TRUE(connect(client));
    QSignalSpy received(frame.get(), &CSimulatedFrame::lineReceived);
    QElapsedTimer clock;
    clock.start();
    client.send(request(CommandId::gdevid));
    ASSERT_TRUE(QTest::qWaitFor([&]() { return received.count() == 1; }, test::kWaitMs));
    EXPECT_TRUE(client.lines().empty());
    ASSERT_TRUE(client.waitLines(1));
    EXPECT_GE(clock.elapsed(), 250); // a lower bound only: the delay happened
}

TEST_F(FrameWireTest, FaultProgramDelayHoldsOnlyFirmwareAcknowledgements) {
    profile.faults.programReplyDelayMs = 300;
    ASSERT_TRUE(startFrame());
    CTestClient client;
    ASSERT_TRUE(connect(client));
    QElapsedTimer clock;
    clock.start();
    client.send(request(CommandId::sprog, {0}));
    client.send(request(CommandId::gdevid));
    ASSERT_TRUE(client.waitLines(2));
    // The plain reply overtakes the held acknowledgement.
    EXPECT_EQ(client.lines()[0].message.command, CommandId::gdevid);
    EXPECT_EQ(client.lines()[1].message.command, CommandId::sprog);
    EXPECT_GE(clock.elapsed(), 250); // a lower bound only: the delay happened
}

TEST_F(FrameWireTest, FaultRefusedCommandStopsAtTheBar) {
    profile.faults.refused[CommandId::gcross] = 5;
    ASSERT_TRUE(startFrame());
    CTestClient client;
    ASSERT_TRUE(connect(client));
    const auto& r = client.ask(request(CommandId::gcross, {3}));
    EXPECT_EQ(r.text, ":gcross,5,3");
    EXPECT_EQ(r.message.status, 5);
    EXPECT_EQ(client.ask(request(CommandId::gdevid)).message.status, 0);
}

TEST_F(FrameWireTest, FaultGarbageBetweenLines) {
    profile.faults.garbageBetweenLines = true;
    ASSERT_TRUE(startFrame());
    CTestClient client;
    ASSERT_TRUE(connect(client));
    client.send(request(CommandId::gdevid));
    client.send(request(CommandId::gactrate));
    ASSERT_TRUE(client.waitLines(2));
    EXPECT_EQ(client.raw().find(FaultPlan::kGarbage), 0u);
    EXPECT_EQ(client.lines()[0].text, ":gdevid,0,1,'Frame 460'");
    EXPECT_EQ(client.lines()[1].text, ":gactrate,0,2");
}

TEST_F(FrameWireTest, FaultOverlongLineWithoutLineEnd) {
    profile.faults.overlongLineAtConnect = true;
    ASSERT_TRUE(startFrame());
    CTestClient client;
    ASSERT_TRUE(connect(client));
    ASSERT_TRUE(QTest::qWaitFor([&]() { return client.raw().size() >= 1024; }, test::kWaitMs));
    client.send(request(CommandId::gdevid));
    ASSERT_TRUE(QTest::qWaitFor([&]() { return client.raw().find('\r') != std::string::npos; },
                                test::kWaitMs));
    EXPECT_GT(client.raw().find('\r'), 1024u);
    EXPECT_EQ(client.raw().front(), ':');
}

TEST_F(FrameWireTest, FaultOneByteChunks) {
    profile.faults.oneByteChunks = true;
    ASSERT_TRUE(startFrame());
    CTestClient client;
    ASSERT_TRUE(connect(client));
    const auto& r = client.ask(request(CommandId::gdevinfo));
    EXPECT_EQ(r.text, ":gdevinfo,0,'460',0,'460000230001'");
    EXPECT_GT(client.reads(), 1);
}

TEST_F(FrameWireTest, FaultFirmwareTransferFailsAtRecord) {
    profile.faults.failProgramAtRecord = 2;
    ASSERT_TRUE(startFrame());
    CTestClient client;
    ASSERT_TRUE(connect(client));
    client.ask(request(CommandId::sprog, {0}));
    DeviceMessage record = request(CommandId::sprog, {1});
    record.setText(fields::kProgramLine, "S1130000");
    EXPECT_EQ(client.ask(record).message.status, 0);
    const auto& failed = client.ask(record);
    EXPECT_NE(failed.message.status, 0);
    EXPECT_EQ(failed.message.i(1), 1);
}

} // namespace
} // namespace velmar::framesim
