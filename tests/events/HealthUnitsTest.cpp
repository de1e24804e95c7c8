// Every PSU and fan, the first and the last, and every sync fault code count
// alike in the health verdict.
#include "engine/Health.h"
#include "engine/DeviceState.h"

#include <gtest/gtest.h>
#include <string>

namespace velmar {
namespace {

DeviceState healthyFrame() {
    DeviceState s;
    s.live.syncSource = 1;
    s.live.actualRate = 2;
    s.settings.psuConfig = 3;
    s.settings.fanConfig = 7;
    s.live.psuConfigReported = s.live.fanConfigReported = true;
    s.live.psuReported = {false, true, true};
    s.live.fanReported = {false, true, true, true};
    return s;
}

TEST(HealthUnits, EachFaultyUnitAndEachSyncFaultIsAnAlarm) {
    ASSERT_EQ(assessHealth(healthyFrame()).verdict, HealthVerdict::Healthy);
    const struct {
        void (*fault)(DeviceState&);
        const char* problem;
    } cases[] = {
        {[](DeviceState& s) { s.live.psuStatus[1] = 1; }, "PSU 1 faulty"},
        {[](DeviceState& s) { s.live.psuStatus[2] = 1; }, "PSU 2 faulty"},
        {[](DeviceState& s) { s.live.fanStatus[1] = 1; }, "FAN 1 faulty"},
        {[](DeviceState& s) { s.live.fanStatus[3] = 1; }, "FAN 3 faulty"},
        {[](DeviceState& s) { s.live.syncState = 1; }, "sync not locked (Internal)"},
        {[](DeviceState& s) { s.live.syncState = 2; }, "sync not locked (Internal)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.problem);
        DeviceState s = healthyFrame();
        c.fault(s);
        const HealthReport r = assessHealth(s);
        EXPECT_EQ(r.verdict, HealthVerdict::Alarm);
        ASSERT_FALSE(r.problems.empty());
        EXPECT_EQ(r.problems.front(), c.problem);
    }
    DeviceState unreported = healthyFrame();
    unreported.live.fanReported[3] = false;
    EXPECT_EQ(assessHealth(unreported).verdict, HealthVerdict::Warning);
}

} // namespace
} // namespace velmar
