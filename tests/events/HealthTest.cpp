#include "engine/Health.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace velmar {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// A frame that answered everything and is in good order.
DeviceState healthyFrame() {
    DeviceState s;
    s.reset(true, 0x0A000114);
    s.connectedAddress = "10.0.1.20";
    s.settings.deviceId = 4;
    s.settings.deviceName.assign("Studio A");
    s.settings.serialNumber.assign("SN-77");
    s.settings.psuConfig = 3;
    s.settings.fanConfig = 1;
    s.live.psuConfigReported = s.live.fanConfigReported = true;
    s.live.psuReported = {false, true, true};
    s.live.fanReported = {false, true, false, false};
    s.live.syncSource = 2;
    s.live.actualRate = 2;
    return s;
}

TEST(Health, VerdictsFollowTheWorstFinding) {
    HealthReport ok = assessHealth(healthyFrame());
    EXPECT_EQ(ok.verdict, HealthVerdict::Healthy);
    EXPECT_THAT(ok.psus, ElementsAre("PSU 1 OK", "PSU 2 OK"));
    EXPECT_THAT(ok.fans, ElementsAre("FAN 1 OK")) << "unfitted fans are not listed";

    DeviceState psu = healthyFrame();
    psu.live.psuStatus[2] = 1;
    psu.live.actualRate = 0; // a warning as well; the alarm wins and comes first
    const HealthReport failed = assessHealth(psu);
    EXPECT_EQ(failed.verdict, HealthVerdict::Alarm);
    EXPECT_THAT(failed.problems, ElementsAre("PSU 2 faulty", "sample rate not reported"));

    DeviceState unreported = healthyFrame();
    unreported.live.psuReported[2] = false;
    EXPECT_EQ(assessHealth(unreported).verdict, HealthVerdict::Warning)
        << "a status the frame never gave is not OK";
    DeviceState noConfig = healthyFrame();
    noConfig.live.fanConfigReported = false;
    EXPECT_EQ(assessHealth(noConfig).verdict, HealthVerdict::Warning);

    DeviceState unlocked = healthyFrame();
    unlocked.live.syncState = 1;
    EXPECT_EQ(assessHealth(unlocked).verdict, HealthVerdict::Alarm);
    unlocked.live.actualRate = 0; // a warning found after the alarm does not lower it
    EXPECT_EQ(assessHealth(unlocked).verdict, HealthVerdict::Alarm);

    std::vector<HealthReport> all{ok, failed};
    EXPECT_EQ(worstVerdict(all), HealthVerdict::Alarm);
    all.push_back(unreachableHealth("10.0.1.30", "no answer"));
    EXPECT_EQ(worstVerdict(all), HealthVerdict::Unreachable);
    EXPECT_EQ(worstVerdict({}), HealthVerdict::Healthy);
}

TEST(Health, LineEscapesTheFramesTexts) {
    DeviceState s = healthyFrame();
    s.settings.deviceName.assign("Evil\x1b[2J");
    const std::string line = healthLine(assessHealth(s));
    EXPECT_EQ(line.find('\x1b'), std::string::npos);
    EXPECT_THAT(line, HasSubstr("10.0.1.20  OK  "));
    EXPECT_THAT(line, HasSubstr("Word locked, 48 kHz, PSU 1 OK, PSU 2 OK, FAN 1 OK"));
    EXPECT_EQ(healthLine(unreachableHealth("10.0.1.30", "no answer")),
              "10.0.1.30  Unreachable  -- no answer");
}

TEST(Health, EachKindOfUnitIsJudgedByWhatItIsAskedFor) {
    // Answered its start requests only: no sync, rate, PSU or fan values.
    const auto answered = [](int family, int runMode) {
        DeviceState s;
        s.reset(true, 0x0A000114);
        s.connectedAddress = "10.0.1.20";
        s.family = family;
        s.runMode = runMode;
        return s;
    };
    struct Row {
        const char* name;
        DeviceState state;
        HealthVerdict verdict;
        const char* title;
    };
    DeviceState panelWithFault = answered(kFamily450, kRunModeApplication);
    panelWithFault.settings.psuConfig = 1;
    panelWithFault.live.psuConfigReported = panelWithFault.live.psuReported[1] = true;
    panelWithFault.live.psuStatus[1] = 1;
    DeviceState hashWithUnits = answered(kFamily460, kRunModeHash);
    hashWithUnits.live.psuConfigReported = hashWithUnits.live.fanConfigReported = true;
    const Row rows[] = {
        {"450 panel", answered(kFamily450, kRunModeApplication), HealthVerdict::Healthy, "OK"},
        {"465", answered(kFamily465, kRunModeApplication), HealthVerdict::Healthy, "OK"},
        {"460 in recovery mode", answered(kFamily460, kRunModeRecovery), HealthVerdict::Warning,
         "Recovery mode"},
        {"461 in the # state", hashWithUnits, HealthVerdict::Healthy, "OK"},
        {"461 in the # state, units unreported", answered(kFamily461, kRunModeHash),
         HealthVerdict::Warning, "Warning"},
        {"460 that answered nothing", answered(kFamily460, kRunModeApplication),
         HealthVerdict::Warning, "Warning"},
        {"450 reporting a faulty PSU anyway", panelWithFault, HealthVerdict::Alarm, "Alarm"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const HealthReport r = assessHealth(row.state);
        EXPECT_EQ(r.verdict, row.verdict);
        EXPECT_EQ(healthTitle(r), row.title);
        const std::string line = healthLine(r);
        EXPECT_THAT(line, HasSubstr(std::string("  ") + row.title + "  "));
        EXPECT_EQ(line.find("sync ?") == std::string::npos, !r.expectsClock) << line;
    }
    const HealthReport recovery = assessHealth(answered(kFamily460, kRunModeRecovery));
    EXPECT_THAT(recovery.problems, ElementsAre(HasSubstr("recovery mode")));
}

} // namespace
} // namespace velmar
