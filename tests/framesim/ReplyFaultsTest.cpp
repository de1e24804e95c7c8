// Faults in how the frame answers: replies without tags, stray lines before
// the tagged reply, commands it never answers.

#include "FrameProfile.h"
#include "SimulatedFrame.h"
#include "TestClient.h"

#include <QTest>
#include <gtest/gtest.h>

namespace velmar::framesim {
namespace {

using test::CTestClient;
using test::request;

class ReplyFaultsTest : public ::testing::Test {
protected:
    void SetUp() override { profile.aliveIntervalMs = 0; }
    bool startAndConnect() {
        frame = std::make_unique<CSimulatedFrame>(profile);
        QString error;
        EXPECT_TRUE(frame->start(&error)) << error.toStdString();
        return client.connectTo(QString::fromStdString(profile.bindAddress),
                                frame->commandPort()) &&
               QTest::qWaitFor([&]() { return frame->clientCount() > 0; }, test::kWaitMs);
    }
    static DeviceMessage tagged(DeviceMessage m, std::uint16_t tag) {
        m.tag = tag;
        return m;
    }

    FrameProfile profile = *presetProfile("460");
    std::unique_ptr<CSimulatedFrame> frame;
    CTestClient client;
};

TEST_F(ReplyFaultsTest, NoTagsAnswersInOrderWithoutTheTag) {
    profile.faults.dropTags = true;
    ASSERT_TRUE(startAndConnect());
    client.send(tagged(request(CommandId::gdevid), 7));
    client.send(tagged(request(CommandId::gactrate), 8));
    ASSERT_TRUE(client.waitLines(2));
    EXPECT_EQ(client.lines()[0].text, ":gdevid,0,1,'Frame 460'");
    EXPECT_EQ(client.lines()[1].text, ":gactrate,0,2");
}

TEST_F(ReplyFaultsTest, StrayLineComesBeforeEachTaggedReplyOnly) {
    profile.faults.strayBeforeTagged = true;
    profile.crosspoints[5] = 17;
    ASSERT_TRUE(startAndConnect());
    client.send(tagged(request(CommandId::gcross, {5}), 3));
    client.send(request(CommandId::gactrate)); // untagged: no stray
    ASSERT_TRUE(client.waitLines(3));
    EXPECT_EQ(client.lines()[0].text, ":gcross,1,5");
    EXPECT_EQ(client.lines()[1].text, ":gcross,0,5,17,*3");
    EXPECT_EQ(client.lines()[2].text, ":gactrate,0,2");
}

TEST_F(ReplyFaultsTest, IgnoredCommandIsNeverAnswered) {
    profile.faults.unanswered.insert(CommandId::gpsustatus);
    ASSERT_TRUE(startAndConnect());
    client.send(request(CommandId::gpsustatus, {0, 1}));
    client.send(request(CommandId::gactrate));
    ASSERT_TRUE(client.waitLines(1));
    EXPECT_EQ(client.lines()[0].text, ":gactrate,0,2") << "the next request is answered";
    EXPECT_FALSE(client.waitLines(2, 200));
}

TEST_F(ReplyFaultsTest, AnswersThatAnswerSomethingElse) {
    profile.faults.otherId = {CommandId::gcrtxflow, CommandId::llabel};
    profile.faults.negativeCount = {CommandId::gcrrxflow, CommandId::gcuropertime};
    profile.faults.labelAnswer = "NOPE";
    profile.faults.unaskedLabels = true;
    ASSERT_TRUE(startAndConnect());
    client.send(request(CommandId::gcrtxflow, {4}));
    client.send(request(CommandId::gcrrxflow, {4}));
    client.send(request(CommandId::gcuropertime));
    DeviceMessage write = request(CommandId::slabel, {0, 9});
    write.setText(3, 17, "Kick");
    client.send(write);
    client.send(request(CommandId::llabel, {1, 1, 2}));
    ASSERT_TRUE(client.waitLines(6));
    EXPECT_EQ(client.lines()[0].text.rfind(":gcrtxflow,0,5,", 0), 0U) << client.lines()[0].text;
    EXPECT_EQ(client.lines()[1].text.rfind(":gcrrxflow,0,4,-1,", 0), 0U) << client.lines()[1].text;
    EXPECT_EQ(client.lines()[2].text, ":gcuropertime,0,-1,15,30");
    EXPECT_EQ(client.lines()[3].text, ":slabel,0,0,9,'NOPE'");
    EXPECT_EQ(client.lines()[4].text, ":llabel,0,1,3,2,'',''") << "the next block up";
    EXPECT_EQ(client.lines()[5].text, ":slabel,0,1,1,'UNASKED'") << "answers nothing";
}

TEST(ReplyFaultsProfile, KeysSetTheFaults) {
    std::string error;
    const auto p = parseProfile("fault.no-tags = on\n"
                                "fault.stray-lines = on\n"
                                "fault.ignore = gpsustatus\n"
                                "fault.ignore = gfanstatus\n"
                                "fault.other-id = gppminfo\n"
                                "fault.negative = llabel\n"
                                "fault.label-answer = NOPE\n"
                                "fault.unasked-labels = on\n",
                                error);
    ASSERT_TRUE(p) << error;
    EXPECT_TRUE(p->faults.dropTags);
    EXPECT_TRUE(p->faults.strayBeforeTagged);
    EXPECT_EQ(p->faults.unanswered,
              (std::set<CommandId>{CommandId::gpsustatus, CommandId::gfanstatus}));
    EXPECT_EQ(p->faults.otherId, std::set<CommandId>{CommandId::gppminfo});
    EXPECT_EQ(p->faults.negativeCount, std::set<CommandId>{CommandId::llabel});
    EXPECT_EQ(p->faults.labelAnswer, "NOPE");
    EXPECT_TRUE(p->faults.unaskedLabels);
    EXPECT_FALSE(parseProfile("fault.ignore = nosuchcommand\n", error));
    EXPECT_FALSE(parseProfile("fault.label-answer = SEVENTEEN-CHARS-X\n", error));
}

} // namespace
} // namespace velmar::framesim
