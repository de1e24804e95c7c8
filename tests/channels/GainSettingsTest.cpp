#include "channels/GainSettings.h"

#include "ChannelRig.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace velmar {
namespace {

using test::ChannelRig;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(GainTexts, SignWholeAndTwoDigitsOfHundredths) {
    EXPECT_EQ(gainText({true, 3, 5}), "-3.05");
    EXPECT_EQ(gainText({true, 3, 50}), "-3.50");
    EXPECT_EQ(gainText({false, 0, 0}), "0.00");
    EXPECT_EQ(gainText({false, 12, 99}), "12.99");
    EXPECT_EQ(gainText({false, 1, -7}), "1.07") << "a hostile frame's hundredths stay digits";
    EXPECT_EQ(detectorLevelText({true, 6, 50}), "-6.50");
    EXPECT_EQ(detectorLevelText({true, 20, 0}), "-20");
}

TEST(Gains, OpeningListsInputsThenOutputsOverTheListedChannels) {
    ChannelRig f461(kFamily461);
    std::vector<std::string> lines;
    for (const DeviceMessage& m : gainOpeningRequests(channelRangeOf(f461.state())))
        lines.push_back(test::lineOf(m));
    EXPECT_THAT(lines, ElementsAre("?lgain,0,513,512", "?lgain,1,513,512"));
}

struct GainsOpen : ::testing::Test {
    ChannelRig rig{kFamily460, false, false, true};
    CGainSettings logic{rig.state(), rig.engine, rig.questions};
    GainsOpen() {
        rig.engine.dialogs().gainSettings = &logic;
        rig.feed(":ggain,0,0,1,-3.05,0,1"); // input 1 muted
        rig.feed(":ggain,0,0,2,-3.50,1,0"); // input 2 phase inverted
        rig.feed(":ggain,0,0,3,0.00,0,0");
        rig.feed(":ggain,0,1,3,6.00,1,1");
        rig.feed(":ggain,3,0,4,9.00,1,1"); // a refused read
    }
    ~GainsOpen() override { rig.engine.dialogs().gainSettings = nullptr; }
};

TEST_F(GainsOpen, RowsShowGainPhaseAndMute) {
    EXPECT_THAT(logic.takeChangedChannels(), ElementsAre(1, 2, 3, 3));
    EXPECT_EQ(logic.rowTexts(0),
              (std::vector<std::string>{"1", "CARD 1", "-3.05", "0", "yes", "0.00", "0", "no"}));
    EXPECT_EQ(logic.rowTexts(1)[2], "-3.50");
    EXPECT_EQ(logic.rowTexts(1)[3], "inverted");
    EXPECT_EQ(logic.rowTexts(2)[5], "6.00");
    EXPECT_EQ(logic.rowTexts(3)[2], "0.00") << "the refused read left channel 4 alone";
}

TEST_F(GainsOpen, MuteTogglesEachSelectedChannelsOwnFlag) {
    logic.choose(GainMenuEntry::InputMute, {1, 2, 3});
    EXPECT_THAT(rig.link.take(),
                ElementsAre("&sgain,0,1,-3.05,0,0", "&sgain,0,2,-3.50,1,1", "&sgain,0,3,0.00,0,1"));
    logic.choose(GainMenuEntry::OutputPhase, {3});
    EXPECT_THAT(rig.link.take(), ElementsAre("&sgain,1,3,6.00,0,1"));
    EXPECT_EQ(logic.setting(GainSide::Input, 1).mute, 1) << "the copy waits for the frame";
    rig.feed(":sgain,0,0,1,-3.05,0,0");
    EXPECT_EQ(logic.setting(GainSide::Input, 1).mute, 0);
    rig.feed(":sgain,2,0,2,-3.50,1,1");
    EXPECT_EQ(logic.setting(GainSide::Input, 2).mute, 0) << "a refusal changes nothing";
}

TEST_F(GainsOpen, MenuDependsOnServiceModeAndSelection) {
    std::vector<std::string> texts;
    for (const GainMenuItem& item : logic.menu(2, {2}))
        texts.emplace_back(item.text);
    EXPECT_THAT(texts, ElementsAre("Clear all settings", "Clear selected settings", "",
                                   "Input Phase", "Input Mute", "Output Phase", "Output Mute"));
    EXPECT_TRUE(logic.menu(2, {2})[3].checked);
    EXPECT_FALSE(logic.menu(2, {2})[4].checked);
    EXPECT_THAT(logic.menu(2, {}), IsEmpty()) << "no selected row, no menu";

    ChannelRig plain;
    CGainSettings outside(plain.state(), plain.engine, plain.questions);
    texts.clear();
    for (const GainMenuItem& item : outside.menu(1, {1}))
        texts.emplace_back(item.text);
    EXPECT_THAT(texts, ElementsAre("Input Phase", "Output Phase"));
}

TEST_F(GainsOpen, ClearingAsksAndZeroesBothSides) {
    const auto selected = logic.choose(GainMenuEntry::ClearSelected, {2, 3});
    ASSERT_EQ(selected.size(), 4U);
    EXPECT_EQ(test::lineOf(selected[0]), "&sgain,0,2,0.00,0,0");
    EXPECT_EQ(test::lineOf(selected[1]), "&sgain,1,2,0.00,0,0");
    EXPECT_EQ(rig.questions.asked.back(), "Gain settings: Clear settings for selected channels");
    EXPECT_EQ(logic.choose(GainMenuEntry::ClearAll, {}).size(), 2048U);
    rig.questions.answer = false;
    EXPECT_THAT(logic.choose(GainMenuEntry::ClearAll, {}), IsEmpty());
}

TEST(GainPhd, BlockedPhdChannelsToggleAndClearAndTheMenuOpensBesideTheRows) {
    ChannelRig rig{kFamily460, false, true, true};
    CGainSettings logic{rig.state(), rig.engine, rig.questions};
    rig.engine.dialogs().gainSettings = &logic;
    rig.feed(":ggain,0,0,530,1.00,1,0");
    rig.engine.dialogs().gainSettings = nullptr;
    EXPECT_EQ(logic.rowTexts(529)[1], "----");
    logic.choose(GainMenuEntry::InputPhase, {529, 530});
    EXPECT_THAT(rig.link.take(), ElementsAre("&sgain,0,529,0.00,1,0", "&sgain,0,530,1.00,0,0"));
    EXPECT_EQ(logic.choose(GainMenuEntry::ClearSelected, {529}).size(), 2U);

    // A click beside the rows: the marks follow the first selected channel.
    const auto menu = logic.menu(0, {530, 1});
    ASSERT_EQ(menu.size(), 7U);
    EXPECT_TRUE(menu[3].checked) << "channel 530's input phase";
    EXPECT_FALSE(logic.menu(0, {1, 530})[3].checked);
    EXPECT_TRUE(logic.menu(0, {}).empty());
}

} // namespace
} // namespace velmar
