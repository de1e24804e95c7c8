#include "channels/LevelDetectors.h"

#include "ChannelRig.h"

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

TEST(LevelDetectorFields, TimeRangesDifferBySide) {
    DetectorFields f;
    f.time1 = 600000;
    EXPECT_EQ(fieldsProblem(DetectorSide::Input, f), "");
    EXPECT_EQ(fieldsProblem(DetectorSide::Output, f), "Output time 1 must be 0 .. 60000 ms");
    f.time1 = 600001;
    EXPECT_NE(fieldsProblem(DetectorSide::Input, f), "");
    f = {};
    f.time2 = 60001;
    EXPECT_EQ(fieldsProblem(DetectorSide::Input, f), "Input time 2 must be 0 .. 60000 ms");
    f = {};
    f.time1 = -1;
    EXPECT_NE(fieldsProblem(DetectorSide::Input, f), "");
    f = {};
    f.level2 = -40000;
    EXPECT_NE(fieldsProblem(DetectorSide::Output, f), "") << "the level must fit its 16 bits";
}

TEST(LevelDetectorOpening, ThresholdsThenStateAndStatusBlocks) {
    ChannelRig f461(kFamily461);
    const auto lines = linesOf(levelDetectorOpeningRequests(channelRangeOf(f461.state())));
    ASSERT_EQ(lines.size(), 1024U + 8U + 8U);
    EXPECT_EQ(lines[0], "?glevdetthres,0,513");
    EXPECT_EQ(lines[512], "?glevdetthres,1,513");
    EXPECT_EQ(lines[1024], "?llevdetstate,0,513,128");
    EXPECT_EQ(lines[1028], "?llevdetstate,1,513,128");
    EXPECT_THAT(std::vector<std::string>(lines.begin() + 1032, lines.end()),
                ElementsAre("?llevdetstatus,0,513,128", "?llevdetstatus,0,641,128",
                            "?llevdetstatus,0,769,128", "?llevdetstatus,0,897,128",
                            "?llevdetstatus,1,513,128", "?llevdetstatus,1,641,128",
                            "?llevdetstatus,1,769,128", "?llevdetstatus,1,897,128"));
}

struct DetectorsOpen : ::testing::Test {
    ChannelRig rig{kFamily461};
    CLevelDetectors logic{rig.state(), rig.questions};
    DetectorsOpen() {
        rig.engine.dialogs().levelDetectors = &logic;
        rig.feed(":glevdetthres,0,0,520,-20.00,10,-6.50,500");
        rig.feed(":glevdetstate,0,0,520,1");
        rig.feed(":llevdetstatus,0,1,513,9,0,0,0,0,0,0,0,0,4");
    }
    ~DetectorsOpen() override { rig.engine.dialogs().levelDetectors = nullptr; }
};

TEST_F(DetectorsOpen, CellsShowTheSixValues) {
    EXPECT_EQ(logic.cellText(DetectorSide::Input, 520), "10, -20, 500, -6.50, 1, 0");
    EXPECT_EQ(logic.cellText(DetectorSide::Output, 521), "0, 0, 0, 0, 0, 4");
    EXPECT_EQ(logic.rowTexts(7)[0], "520");
    EXPECT_EQ(logic.rowTexts(7)[1], "AES");
}

TEST_F(DetectorsOpen, LoadedLevelsDropHundredthsAndApplySendsOnlyChanges) {
    const DetectorFields f = logic.fieldsOf(DetectorSide::Input, 520);
    EXPECT_EQ(f, (DetectorFields{10, -20, 500, -6, true}));
    // The stored -6.50 cannot be kept by whole-dB fields, so it is written as -6.00.
    EXPECT_THAT(linesOf(logic.applySide(DetectorSide::Input, f, {520})),
                ElementsAre("&slevdetthres,0,520,-20.00,10,-6.00,500"));
    rig.feed(":slevdetthres,0,0,520,-20.00,10,-6.00,500");
    EXPECT_THAT(logic.applySide(DetectorSide::Input, f, {520}), IsEmpty()) << "unchanged";

    DetectorFields off = f;
    off.enable = false;
    EXPECT_THAT(linesOf(logic.applySide(DetectorSide::Input, off, {520})),
                ElementsAre("&slevdetstate,0,520,0"));

    DetectorFields tooLong = f;
    tooLong.time1 = 600000;
    EXPECT_THAT(logic.applySide(DetectorSide::Output, tooLong, {520}), IsEmpty());
    EXPECT_EQ(logic.notice(), "Output time 1 must be 0 .. 60000 ms");
}

TEST_F(DetectorsOpen, BothSidesGoThresholdsFirstThenStates) {
    DetectorFields on{1, -1, 2, -2, true};
    EXPECT_EQ(linesOf(logic.applyAllPressed(on, on)).size(), 4U * 512U - 1U)
        << "channel 520's input enable is already on";
    const auto lines = linesOf(logic.applyAllPressed(on, on));
    EXPECT_THAT(std::vector<std::string>(lines.begin(), lines.begin() + 4),
                ElementsAre("&slevdetthres,0,513,-1.00,1,-2.00,2",
                            "&slevdetthres,1,513,-1.00,1,-2.00,2", "&slevdetstate,0,513,1",
                            "&slevdetstate,1,513,1"));
    EXPECT_EQ(rig.questions.asked.back(), "Level detectors: Apply to all detectors");
}

TEST_F(DetectorsOpen, ClearingSendsOnlyForWhatIsSet) {
    EXPECT_THAT(linesOf(logic.clearAllPressed()),
                ElementsAre("&slevdetthres,0,520,0.00,0,0.00,0", "&slevdetstate,0,520,0"));
    EXPECT_THAT(logic.choose(DetectorMenuEntry::ClearSelectedOutputs, {520}), IsEmpty());
    EXPECT_EQ(rig.questions.asked.back(), "Level detectors: Clear selected outputs");
    EXPECT_EQ(logic.choose(DetectorMenuEntry::ClearSelectedInputs, {520}).size(), 2U);
}

TEST_F(DetectorsOpen, ShowActiveOnlyFiltersRowsAndStatusRequests) {
    EXPECT_EQ(logic.rows().size(), 512U);
    EXPECT_EQ(linesOf(logic.statusRequests()).size(), 8U);
    logic.setShowActiveOnly(true);
    EXPECT_THAT(logic.rows(), ElementsAre(520));
    EXPECT_TRUE(logic.takeFullRefresh());
    EXPECT_THAT(linesOf(logic.choose(DetectorMenuEntry::GetStatus, {})),
                ElementsAre("?glevdetstatus,0,520", "?glevdetstatus,1,520"));

    rig.feed(":glevdetstatus,0,1,520,2");
    EXPECT_THAT(logic.takeChangedChannels(), ElementsAre(520));
    EXPECT_EQ(logic.rowTexts(0)[3], "0, 0, 0, 0, 0, 2");

    rig.feed(":slevdetstate,0,0,520,0");
    logic.setShowActiveOnly(true);
    EXPECT_THAT(logic.rows(), IsEmpty());
    EXPECT_THAT(logic.statusRequests(), IsEmpty()) << "nothing listed, nothing asked";
}

TEST_F(DetectorsOpen, MenuHoldsClearEntriesOnlyWithASelection) {
    std::vector<std::string> texts;
    for (const DetectorMenuItem& item : logic.menu({520}))
        texts.emplace_back(item.text);
    EXPECT_THAT(texts, ElementsAre("Clear selected I/O", "Clear selected inputs",
                                   "Clear selected outputs", "", "Get status"));
    EXPECT_EQ(logic.menu({}).size(), 1U);
}

TEST(LevelDetectorPhd, BlockedPhdChannelsAreSetAndClearedLikeOthers) {
    ChannelRig rig{kFamily460, false, true};
    CLevelDetectors logic{rig.state(), rig.questions};
    ASSERT_TRUE(logic.range().blocked(529));
    EXPECT_EQ(logic.rowTexts(528)[1], "----");
    const DetectorFields on{1, -1, 2, -2, true};
    EXPECT_THAT(linesOf(logic.applySide(DetectorSide::Output, on, {529})),
                ElementsAre("&slevdetthres,1,529,-1.00,1,-2.00,2", "&slevdetstate,1,529,1"));
    rig.engine.dialogs().levelDetectors = &logic;
    rig.feed(":slevdetstate,0,0,592,1");
    rig.engine.dialogs().levelDetectors = nullptr;
    EXPECT_THAT(linesOf(logic.choose(DetectorMenuEntry::ClearSelectedIo, {592})),
                ElementsAre("&slevdetstate,0,592,0"));
}

} // namespace
} // namespace velmar
