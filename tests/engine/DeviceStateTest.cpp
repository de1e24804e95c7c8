#include "engine/DeviceState.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

TEST(DeviceState, VersionNumberAndCrosspointCount) {
    struct Row {
        const char* text;
        int family;
        int version;
        int crosspoints;
    };
    const Row rows[] = {
        {"2.0.0.1", kFamily460, 2000001, 1536},
        {"2.0.0.0", kFamily460, 2000000, 1024},
        {"2.0.0.1", kFamily461, 2000001, 1024},
        {"1.23.45.67", kFamily460, 1234567, 1024},
        {"", kFamily460, 0, 1024},
        {"2.0.1", kFamily460, 0, 1024},
        {"x2.0.0.1", kFamily460, 0, 1024},
        {"2.0.0.1 beta", kFamily460, 2000001, 1536},
        {"4294.0.0.0", kFamily460, 0, 1024},
        {"2147.48.36.47", kFamily460, 2147483647, 1536},
    };
    for (const Row& r : rows) {
        DeviceState s;
        s.family = r.family;
        s.settings.swVersion[2].second[0].assign(r.text);
        EXPECT_EQ(s.versionNumber(), r.version) << r.text;
        EXPECT_EQ(s.crosspointCount(), r.crosspoints) << r.text;
    }
}

// Crosspoints count as read only when the frame told every output's route,
// up to the last output of its own count.
TEST(DeviceState, CrosspointsReadNeedsEveryOutput) {
    struct Row {
        int family;
        const char* version;
        int first, last; // outputs reported
        bool read;
    };
    const Row rows[] = {
        {kFamily461, "2.0.0.1", 1, 1024, true},  {kFamily461, "2.0.0.1", 1, 1023, false},
        {kFamily461, "2.0.0.1", 2, 1024, false}, {kFamily460, "2.0.0.1", 1, 1024, false},
        {kFamily460, "2.0.0.1", 1, 1536, true},  {kFamily460, "2.0.0.1", 1, 1535, false},
        {kFamily460, "2.0.0.0", 1, 1024, true},  {kFamily461, "2.0.0.1", 1, 0, false},
    };
    for (const Row& r : rows) {
        DeviceState s;
        s.family = r.family;
        s.settings.swVersion[2].second[0].assign(r.version);
        for (int output = r.first; output <= r.last; ++output)
            s.live.crosspointReported[static_cast<std::size_t>(output)] = true;
        EXPECT_EQ(s.crosspointsRead(), r.read) << r.family << " " << r.first << ".." << r.last;
    }
}

TEST(DeviceState, FamilyAndRunModeFromTexts) {
    struct Row {
        const char* text;
        int fromModel;
        int fromListType;
    };
    const Row rows[] = {
        {"461", 1, 1}, {"QB16", 0, 0}, {"RB16", 1, 1}, {"465", 2, 2}, {"GRID", 0, 0},
        {"450", 6, 6}, {"460", 0, 0},  {"", 0, 1},     {"999", 0, 1}, {"qb16", 0, 1},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(familyFromModel(r.text), r.fromModel) << r.text;
        EXPECT_EQ(familyFromListType(r.text), r.fromListType) << r.text;
    }
    EXPECT_EQ(runModeFromListAddress("#10.0.0.1"), 2);
    EXPECT_EQ(runModeFromListAddress("*10.0.0.1"), 0);
    EXPECT_EQ(runModeFromListAddress("10.0.0.1"), 1);
    EXPECT_EQ(runModeFromListAddress(""), 1);
}

TEST(DeviceState, DerivedPresenceFlags) {
    DeviceState s;
    EXPECT_FALSE(s.ipModulePresent());
    EXPECT_FALSE(s.sfpPresent());
    EXPECT_FALSE(s.noPhd());
    s.settings.hwConf[18].present = 1;
    s.settings.hwConf[3].present = 2;
    s.settings.hwConf[2].boardCode.assign("460101");
    EXPECT_TRUE(s.ipModulePresent());
    EXPECT_TRUE(s.sfpPresent());
    EXPECT_TRUE(s.noPhd());
    s.settings.hwConf[2].boardCode.assign("460100");
    EXPECT_FALSE(s.noPhd());
    s.settings.hwConf[2].boardCode.assign("46010");
    EXPECT_FALSE(s.noPhd());
}

TEST(DeviceState, ResetWipesFrameValuesAndPresetsPortNumbers) {
    DeviceState s;
    s.runMode = 0;
    s.family = 2;
    s.useTelnetPort = true;
    s.settings.systemDelay = 5;
    s.settings.outputLabels[7].assign("Out");
    s.live.crosspoints[3] = 9;
    s.live.crosspointReported[3] = true;
    s.live.psuStatus[1] = 1;
    s.deviceTitleName = "Frame";
    s.reset(true, 0x0A000001);
    EXPECT_TRUE(s.connected);
    EXPECT_EQ(s.deviceAddress, 0x0A000001U);
    EXPECT_TRUE(s.deviceTitleName.empty());
    EXPECT_EQ(s.settings.systemDelay, 0);
    EXPECT_TRUE(s.settings.outputLabels[7].empty());
    EXPECT_EQ(s.live, LiveStatus{});
    for (int port = 1; port <= 3; ++port) {
        EXPECT_EQ(s.settings.madiInMode[static_cast<std::size_t>(port)].port, port);
        EXPECT_EQ(s.settings.madiOutMode[static_cast<std::size_t>(port)].port, port);
    }
    EXPECT_EQ(s.settings.optMode[1].port, 1);
    EXPECT_EQ(s.settings.optMode[2].port, 2);
    EXPECT_EQ(s.runMode, 0) << "run mode and family are the list's, not the frame's";
    EXPECT_EQ(s.family, 2);
    EXPECT_TRUE(s.useTelnetPort);
    s.reset(false, 0x0A000001);
    EXPECT_EQ(s.deviceAddress, 0U);
}

TEST(DeviceState, FixedTextsNeverOverrun) {
    FixedText<4> t;
    t.assign("abcdef");
    EXPECT_EQ(t.view(), "abc");
    t.assign("x");
    EXPECT_EQ(t.view(), "x");
    EXPECT_EQ(t.chars[2], '\0');
}

} // namespace
} // namespace velmar
