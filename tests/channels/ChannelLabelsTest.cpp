#include "channels/ChannelLabels.h"

#include "ChannelRig.h"
#include "engine/Dispatch.h"

#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace velmar {
namespace {

using test::ChannelRig;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::vector<std::string> linesOf(const std::vector<DeviceMessage>& requests) {
    std::vector<std::string> lines;
    for (const DeviceMessage& m : requests)
        lines.push_back(test::lineOf(m));
    return lines;
}

TEST(ChannelTypes, NamesByIndex) {
    const std::vector<std::pair<int, std::string>> rows{
        {0, "CARD 1"}, {63, "CARD 1"}, {64, "CARD 2"}, {511, "CARD 8"},  {512, "AES"},
        {527, "AES"},  {528, "PHD 1"}, {559, "PHD 1"}, {560, "PHD 2"},   {591, "PHD 2"},
        {592, "MADI"}, {656, "SFP 1"}, {784, "SFP 2"}, {912, "IP"},      {976, "SUM"},
        {1007, "SUM"}, {1008, ""},     {1023, ""},     {1024, "CARD 1"}, {1535, "CARD 8"},
        {1536, ""},    {-1, ""},
    };
    for (const auto& [index, name] : rows)
        EXPECT_EQ(channelTypeName(index), name) << index;
}

TEST(ChannelTypes, RangeFollowsFamilyServiceModeAndVersion) {
    ChannelRig small;
    EXPECT_EQ(channelRangeOf(small.state()).offset, 0);
    EXPECT_EQ(channelRangeOf(small.state()).count, 1024);
    ChannelRig big(kFamily460, true);
    EXPECT_EQ(channelRangeOf(big.state()).count, 1536);
    ChannelRig f461(kFamily461);
    EXPECT_EQ(channelRangeOf(f461.state()).offset, 512);
    EXPECT_EQ(channelRangeOf(f461.state()).rows(), 512);
    ChannelRig service(kFamily461, false, false, true);
    EXPECT_EQ(channelRangeOf(service.state()).offset, 0);
}

TEST(ChannelLabels, OpeningAsksInBlocksOfThirtyTwoInputsThenOutputs) {
    ChannelRig f461(kFamily461);
    const auto lines = linesOf(labelOpeningRequests(channelRangeOf(f461.state())));
    ASSERT_EQ(lines.size(), 32U); // 512 channels, 16 blocks, two kinds
    EXPECT_EQ(lines[0], "?llabel,0,513,32");
    EXPECT_EQ(lines[1], "?llabel,1,513,32");
    EXPECT_EQ(lines[2], "?llabel,0,545,32");
    EXPECT_EQ(lines.back(), "?llabel,1,993,32");
}

TEST(ChannelLabels, DefaultAllForTenTwentyFourChannels) {
    ChannelRig rig;
    CChannelLabels logic(rig.state(), rig.engine, rig.questions);
    const auto lines = linesOf(logic.defaultAllPressed());
    ASSERT_EQ(lines.size(), 2048U);
    EXPECT_EQ(lines[0], "&slabel,0,1,'SOURCE-0001'");
    EXPECT_EQ(lines[998], "&slabel,0,999,'SOURCE-0999'");
    EXPECT_EQ(lines[1023], "&slabel,0,1024,'SOURCE-1024'");
    EXPECT_EQ(lines[1024], "&slabel,1,1,'DESTINATION-0001'");
    EXPECT_EQ(lines[2047], "&slabel,1,1024,'DESTINATION-1024'");
    EXPECT_THAT(rig.questions.asked,
                ElementsAre("Channel labels: Generate default labels on all channels"));
    EXPECT_THAT(rig.link.take(), IsEmpty()) << "the run sends them, not the button";
}

TEST(ChannelLabels, DefaultAllForFifteenThirtySixChannelsWithoutPhd) {
    ChannelRig rig(kFamily460, true, true);
    CChannelLabels logic(rig.state(), rig.engine, rig.questions);
    const auto requests = logic.defaultAllPressed();
    ASSERT_EQ(requests.size(), 2U * (1536 - 64));
    const auto lines = linesOf(requests);
    EXPECT_EQ(lines[527], "&slabel,0,528,'SOURCE-0528'");
    EXPECT_EQ(lines[528], "&slabel,0,593,'SOURCE-0593'") << "529..592 are skipped";
    EXPECT_EQ(lines[1471], "&slabel,0,1536,'SOURCE-1536'");
    EXPECT_EQ(lines.back(), "&slabel,1,1536,'DESTINATION-1536'");
    EXPECT_EQ(logic.rowTexts(528)[1], "----");
    EXPECT_EQ(logic.rowTexts(527)[1], "AES");
    EXPECT_EQ(logic.rowTexts(592)[1], "MADI");

    rig.questions.answer = false;
    EXPECT_THAT(logic.defaultAllPressed(), IsEmpty());
    EXPECT_THAT(logic.clearAllPressed(), IsEmpty());
}

TEST(ChannelLabels, ClearAllSendsEmptyLabelsForEveryListedChannel) {
    ChannelRig rig(kFamily461);
    CChannelLabels logic(rig.state(), rig.engine, rig.questions);
    const auto lines = linesOf(logic.clearAllPressed());
    ASSERT_EQ(lines.size(), 1024U);
    EXPECT_EQ(lines[0], "&slabel,0,513,''");
    EXPECT_EQ(lines[512], "&slabel,1,513,''");
    EXPECT_EQ(rig.questions.asked.back(), "Channel labels: Clear all labels");
}

struct LabelsOpen : ::testing::Test {
    ChannelRig rig{kFamily460, false, true};
    CChannelLabels logic{rig.state(), rig.engine, rig.questions};
    LabelsOpen() {
        rig.engine.dialogs().channelLabels = &logic;
        rig.feed(":glabel,0,0,5,'Kick'");
        rig.feed(":glabel,0,1,5,'Desk 1'");
        logic.takeChangedChannels();
        logic.takeFullRefresh();
    }
    ~LabelsOpen() override { rig.engine.dialogs().channelLabels = nullptr; }
};

TEST_F(LabelsOpen, ApplySendsOnlyTheLabelsThatDiffer) {
    EXPECT_EQ(logic.apply(5, "Kick", "Desk 1"), 0);
    EXPECT_THAT(rig.link.take(), IsEmpty());
    EXPECT_EQ(logic.apply(5, "Kick", "Desk 2"), 1);
    EXPECT_THAT(rig.link.take(), ElementsAre("&slabel,1,5,'Desk 2'"));
    EXPECT_EQ(logic.apply(5, "kick", "Desk 1"), 1) << "case counts";
    EXPECT_THAT(rig.link.take(), ElementsAre("&slabel,0,5,'kick'"));
    EXPECT_EQ(logic.label(LabelKind::Input, 5), "Kick") << "the copy waits for the frame";
}

TEST_F(LabelsOpen, ApplyRefusesWhatTheFrameCannotCarry) {
    for (std::string_view bad : {"Kick, snare", "It's", "Tab\there", "SEVENTEEN-CHARS-X"}) {
        EXPECT_EQ(logic.apply(5, bad, "Desk 1"), 0) << bad;
        EXPECT_EQ(logic.apply(5, "Kick", bad), 0) << bad;
        EXPECT_FALSE(logic.notice().empty());
    }
    EXPECT_THAT(rig.link.take(), IsEmpty()) << "not even the valid half goes out";
    EXPECT_EQ(logic.apply(5, "SIXTEEN-CHARS-XX", "Desk 1"), 1);
    EXPECT_EQ(logic.apply(530, "Phd", ""), 0) << "a blocked PHD channel";
    EXPECT_EQ(logic.apply(1025, "Beyond", ""), 0) << "not listed";
}

TEST_F(LabelsOpen, RepliesRefreshTheirRowsAndTheLastBlockEverything) {
    rig.feed(":slabel,0,1,5,'Desk 9'");
    EXPECT_EQ(logic.label(LabelKind::Output, 5), "Desk 9");
    EXPECT_THAT(logic.takeChangedChannels(), ElementsAre(5));
    rig.feed(":slabel,3,1,5,'Nope'");
    EXPECT_EQ(logic.label(LabelKind::Output, 5), "Desk 9") << "a refusal changes nothing";

    rig.feed(":llabel,0,0,33,2,'A','B'");
    EXPECT_THAT(logic.takeChangedChannels(), ElementsAre(33, 34));
    EXPECT_FALSE(logic.takeFullRefresh());
    EXPECT_EQ(logic.rowTexts(32), (std::vector<std::string>{"33", "CARD 1", "A", ""}));

    std::string lastBlock = ":llabel,0,1,993,32";
    for (int k = 0; k < 32; ++k)
        lastBlock += ",'Out" + std::to_string(993 + k) + "'";
    rig.feed(lastBlock);
    EXPECT_TRUE(logic.takeFullRefresh());
    EXPECT_EQ(logic.label(LabelKind::Output, 1024), "Out1024");
    EXPECT_EQ(rig.view.fullRedraws, 1) << "the crosspoint lists show labels too";
}

// What the checking readers pass on: command and status of each message.
struct PassedOn final : IDialogSink {
    std::vector<std::pair<CommandId, std::int32_t>> got;
    void onDeviceMessage(const DeviceMessage& m, bool, const CResponseDecoder&) override {
        got.emplace_back(m.command, m.status);
    }
};

std::string block(int kind, int first, int count, std::string_view prefix = "L") {
    std::string line = ":llabel,0," + std::to_string(kind) + "," + std::to_string(first) + "," +
                       std::to_string(count);
    for (int k = 0; k < std::max(count, 0) && k < 32; ++k)
        line += ",'" + std::string(prefix) + std::to_string(first + k) + "'";
    return line;
}

TEST(LabelListRead, TakesOnlyAnswersToItsRequests) {
    struct Row {
        const char* name;
        std::vector<std::string> lines;
        std::string failure; // empty: the read is fine
        std::string input1;  // input label of channel 1 afterwards
    };
    const Row rows[] = {
        {"answers", {block(0, 1, 32), block(1, 1, 32)}, "", "L1"},
        {"unasked single labels are not read",
         {block(0, 1, 32), ":slabel,0,0,1,'UNASKED'", ":glabel,0,0,1,'UNASKED'", block(1, 1, 32)},
         "",
         "L1"},
        {"refused block",
         {":llabel,3,0,1,32"},
         "the frame refused the input labels of channels 1 .. 32 (status 3)",
         ""},
        {"another block",
         {block(0, 33, 32)},
         "the frame answered with input labels from channel 33 on, which were not asked for",
         ""},
        {"the same block twice",
         {block(0, 1, 32), block(0, 1, 32, "X")},
         "the frame answered with input labels from channel 1 on, which were not asked for",
         "L1"},
        {"negative count",
         {":llabel,0,0,1,-1"},
         "the frame reported -1 labels for the input labels of channels 1 .. 32",
         ""},
    };
    for (const Row& r : rows) {
        ChannelRig rig;
        const std::vector<DeviceMessage> requests{labelOpeningRequests({0, 32, false})};
        ASSERT_EQ(requests.size(), 2U);
        PassedOn next;
        CLabelListRead read(requests, next);
        rig.engine.dialogs().requestRun = &read;
        for (const std::string& line : r.lines)
            rig.feed(line);
        EXPECT_EQ(read.failure(), r.failure) << r.name;
        EXPECT_EQ(read.label(LabelKind::Input, 1), r.input1) << r.name;
        if (r.failure.empty()) {
            EXPECT_EQ(read.label(LabelKind::Output, 32), "L32") << r.name;
        }
    }
}

TEST(LabelWriteCheck, ConfirmedOnlyWithTheTextWritten) {
    ChannelRig rig;
    const std::vector<DeviceMessage> writes{
        labelRequest(LabelKind::Input, 5, "Kick"), labelRequest(LabelKind::Output, 5, "Desk"),
        labelRequest(LabelKind::Input, 6, "Snare"), labelRequest(LabelKind::Input, 7, "Tom")};
    PassedOn next;
    CLabelWriteCheck check(writes, next);
    rig.engine.dialogs().requestRun = &check;
    for (const char* line : {":slabel,0,0,5,'Kick'", ":slabel,0,1,5,'NOPE'", ":slabel,2,0,6",
                             ":slabel,0,0,7,'Tom'", ":slabel,0,0,9,'Other'"})
        rig.feed(line);
    const std::int32_t other = CLabelWriteCheck::kOtherText;
    EXPECT_THAT(next.got,
                ElementsAre(std::pair{CommandId::slabel, 0}, std::pair{CommandId::slabel, other},
                            std::pair{CommandId::slabel, 2}, std::pair{CommandId::slabel, 0},
                            std::pair{CommandId::slabel, 0}));
    EXPECT_EQ(check.otherTexts(), 1);
    EXPECT_THAT(check.otherTextNotes(), ElementsAre("channel 5 output 'NOPE'"));
    EXPECT_EQ(check.refusedByStatus(), 1);
    EXPECT_THAT(check.refusals(), ElementsAre("channel 6 (status 2)"));
    EXPECT_EQ(rig.state().settings.outputLabels[5].view(), "NOPE") << "the state keeps the answer";
}

TEST(LabelDispatch, BlockEndingAtTheLastChannelCompletesTheTables) {
    EXPECT_TRUE(labelBlockEndsTables(993, 32, 1024));
    EXPECT_TRUE(labelBlockEndsTables(1505, 32, 1536));
    EXPECT_FALSE(labelBlockEndsTables(993, 32, 1536));
    EXPECT_FALSE(labelBlockEndsTables(961, 32, 1024));

    // Labels the frame lists or confirms are kept for the crosspoint lists,
    // even with the labels dialog closed; a single read is not.
    ChannelRig rig;
    rig.feed(":llabel,0,0,1,2,'Kick','Snare'");
    rig.feed(":slabel,0,1,7,'Desk'");
    rig.feed(":glabel,0,1,8,'Ignored'");
    EXPECT_EQ(rig.state().settings.inputLabels[2].view(), "Snare");
    EXPECT_EQ(rig.state().settings.outputLabels[7].view(), "Desk");
    EXPECT_TRUE(rig.state().settings.outputLabels[8].empty());
}

} // namespace
} // namespace velmar
