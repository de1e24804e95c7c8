#include "maintenance/ModuleDump.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

void fit(DeviceSettings& s, int module, std::string_view code, std::string_view serial) {
    HwConfRecord& r = s.hwConf[static_cast<std::size_t>(module)];
    r.module = module;
    r.present = 1;
    r.boardCode.assign(code);
    r.secondText.assign(serial);
}

void versions(DeviceSettings& s, int module,
              std::initializer_list<std::pair<std::string_view, std::string_view>> pairs) {
    SwVersionRecord& r = s.swVersion[static_cast<std::size_t>(module)];
    std::size_t k = 0;
    for (const auto& [name, version] : pairs) {
        r.first[k].assign(name);
        r.second[k].assign(version);
        ++k;
    }
}

TEST(SoftwareTextTest, PairsJoinedAndStoppedAtTheFirstEmptyOne) {
    DeviceSettings s;
    versions(s, 9, {{"A", "1.0"}, {"B", "2.0"}});
    EXPECT_EQ(softwareText(s.swVersion[9]), "A: 1.0 | B: 2.0");
    versions(s, 10, {{"A", "1.0"}, {"", ""}, {"C", "3.0"}});
    EXPECT_EQ(softwareText(s.swVersion[10]), "A: 1.0");
    versions(s, 11, {{"A", ""}, {"B", "2.0"}}); // a name without a version ends it too
    EXPECT_EQ(softwareText(s.swVersion[11]), "");
    versions(s, 12, {{"A", "1"}, {"B", "2"}, {"C", "3"}, {"D", "4"}});
    EXPECT_EQ(softwareText(s.swVersion[12]), "A: 1 | B: 2 | C: 3 | D: 4");
}

TEST(ModuleDumpTest, OnlyMiniModuleWithoutSfpGivesTheTwoHeadings) {
    DeviceSettings s;
    fit(s, 9, "460130A  250101", "4601302501001"); // a card, not asked for
    EXPECT_EQ(moduleDumpText(s, {.mini = true}),
              "[Module information]\n--- HW & SW information ---\n");
}

TEST(ModuleDumpTest, AdCardInSlotTwoGetsItsBoardModeLine) {
    DeviceSettings s;
    fit(s, 10, "460130A  250101", "4601302501001");
    versions(s, 10, {{"FPGA", "1.2"}});
    s.cards[2].cardType = 2;
    s.cards[2].cardMode = 1;
    fit(s, 11, "460140   250101", "4601402501002"); // not an AD card: no mode line
    s.cards[3].cardType = 3;
    fit(s, 12, "460131   250101", "4601312501003"); // the two-channel AD variant on Line
    s.cards[4].cardType = 6;
    EXPECT_EQ(moduleDumpText(s, {.cards = true}), "[Module information]\n"
                                                  "--- HW & SW information ---\n"
                                                  "BoardType_10=460130A  250101\n"
                                                  "BoardSN_10=4601302501001\n"
                                                  "BoardSW_10=FPGA: 1.2\n"
                                                  "BoardMode_10=MicLine\n"
                                                  "BoardType_11=460140   250101\n"
                                                  "BoardSN_11=4601402501002\n"
                                                  "BoardSW_11=\n"
                                                  "BoardType_12=460131   250101\n"
                                                  "BoardSN_12=4601312501003\n"
                                                  "BoardSW_12=\n"
                                                  "BoardMode_12=Line\n");
}

TEST(ModuleDumpTest, DanteModuleWrittenTwiceAndEverythingInOrder) {
    DeviceSettings s;
    fit(s, kModuleSfp, "460300", "SFP1");
    fit(s, 9, "460130", "CARD1");
    fit(s, kModuleIpAudio, "460180", "DANTE1");
    versions(s, kModuleIpAudio, {{"Dante", "4.1"}, {"Ctl", "2.0"}});
    s.ipAudio.primary.macAddress.assign("001DC1A2B3C4");
    EXPECT_EQ(moduleDumpText(s, {.cards = true, .mini = true, .dante = true}),
              "[Module information]\n"
              "--- LAN ---\n"
              "DanteMAC=001DC1A2B3C4\n"
              "--- HW & SW information ---\n"
              "BoardType_3=460300\n"
              "BoardSN_3=SFP1\n"
              "BoardSW_3=\n"
              "BoardType_9=460130\n"
              "BoardSN_9=CARD1\n"
              "BoardSW_9=\n"
              "BoardType_18=460180\n"
              "BoardSN_18=DANTE1\n"
              "BoardSW_18=Dante: 4.1 | Ctl: 2.0\n");
    // Not fitted: neither the LAN section nor its module lines.
    s.hwConf[kModuleIpAudio].present = 0;
    EXPECT_EQ(moduleDumpText(s, {.dante = true}),
              "[Module information]\n--- HW & SW information ---\n");
}

TEST(ModuleDumpTest, LineEndsInsideFrameTextsCannotAddLines) {
    DeviceSettings s;
    fit(s, 9, "46\r\nBoardType_99", "SN\x01");
    const std::string text = moduleDumpText(s, {.cards = true});
    EXPECT_NE(text.find("BoardType_9=46BoardType_99\n"), std::string::npos) << text;
    EXPECT_NE(text.find("BoardSN_9=SN\n"), std::string::npos);
}

TEST(ModuleDumpTest, WhyNoDump) {
    DeviceState state;
    EXPECT_FALSE(CCardsLogic::unavailableReason(state).empty());
    state.connected = true;
    state.family = kFamily465;
    EXPECT_FALSE(CCardsLogic::unavailableReason(state).empty());
    state.family = kFamily460;
    EXPECT_TRUE(CCardsLogic::unavailableReason(state).empty());
}

} // namespace
} // namespace velmar
