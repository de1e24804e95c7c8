// What the frame did not report is said, never shown as "OK".

#include "../engine/EngineFakes.h"
#include "session/Reports.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace velmar {
namespace {

using test::EngineRig;
using ::testing::ContainsRegex;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

// A 460 in application mode that answered stage two; the power and cooling
// lines are the row's.
EngineRig& polled(EngineRig& rig, const std::vector<std::string>& lines) {
    rig.connect(kFamily460, kRunModeApplication, "10.0.1.20");
    rig.feed(":gactrate,0,2");
    rig.feed(":gsyncstat,0,1,0");
    for (const std::string& line : lines)
        rig.feed(line);
    return rig;
}

std::string statusJson(const DeviceState& s, const StatusFields& f,
                       const std::vector<std::string>& missing) {
    CJsonWriter out;
    writeStatusJson(out, s, f, missing);
    return out.take();
}

TEST(StatusNotReported, RefusedOrUnansweredUnitsAreNamed) {
    struct Row {
        const char* name;
        std::vector<std::string> lines;
        std::vector<std::string> missing;
    };
    const Row rows[] = {
        {"everything answered",
         {":gpsuconf,0,3", ":gfanconf,0,1", ":gpsustatus,0,1,0", ":gpsustatus,0,2,0",
          ":gfanstatus,0,1,0"},
         {}},
        {"PSU status refused, the card poll never came",
         {":gpsuconf,0,3", ":gfanconf,0,1", ":gpsustatus,0,1,0", ":gpsustatus,2,2",
          ":gfanstatus,0,1,0"},
         {"PSU 2 status", "card settings"}},
        {"fan status never answered",
         {":gpsuconf,0,3", ":gfanconf,0,6", ":gpsustatus,0,1,0", ":gpsustatus,0,2,0",
          ":gfanstatus,0,2,1"},
         {"FAN 3 status"}},
        {"configurations refused",
         {":gpsuconf,4,0", ":gfanconf,4,0"},
         {"PSU configuration", "FAN configuration", "card settings"}},
        {"nothing about power at all",
         {},
         {"PSU configuration", "FAN configuration", "card settings"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EngineRig rig;
        polled(rig, r.lines);
        rig.timers.advance(1000); // the card poll, when the second PSU answered
        EXPECT_EQ(notReportedStatus(rig.engine.state(), rig.engine.statusFields(),
                                    rig.engine.settingsEnabled()),
                  r.missing);
    }
}

TEST(StatusNotReported, UnitsShowNotReportedAndJsonNull) {
    EngineRig rig;
    polled(rig, {":gpsuconf,0,3", ":gfanconf,2,0", ":gpsustatus,0,1,0"});
    const DeviceState& s = rig.engine.state();
    const StatusFields f = rig.engine.statusFields();
    const std::string text = statusText(s, f);
    EXPECT_THAT(text, ContainsRegex("PSU 1: +OK\n"));
    EXPECT_THAT(text, ContainsRegex("PSU 2: +not reported\n"));
    EXPECT_THAT(text, ContainsRegex("FAN 1: +not reported\n"));
    EXPECT_THAT(text, Not(HasSubstr("not fitted")));

    const std::vector<std::string> missing = notReportedStatus(s, f, rig.engine.settingsEnabled());
    EXPECT_THAT(missing, ElementsAre("PSU 2 status", "FAN configuration", "card settings"));
    const std::string j = statusJson(s, f, missing);
    EXPECT_THAT(j, HasSubstr(R"("psu":[{"unit":1,"fitted":true,"ok":true,"text":"OK"},)"
                             R"({"unit":2,"fitted":true,"ok":null,"text":"not reported"}])"));
    EXPECT_THAT(j, HasSubstr(R"({"unit":3,"fitted":null,"ok":null,"text":"not reported"}])"));
    EXPECT_THAT(j, HasSubstr(R"("notReported":["PSU 2 status","FAN configuration",)"
                             R"("card settings"]})"));
}

TEST(StatusNotReported, StageTwoGapsOnlyWhereStageTwoRuns) {
    EngineRig rig;
    rig.connect(kFamily460, kRunModeApplication, "10.0.1.20");
    rig.feed(":gpsuconf,0,0");
    rig.feed(":gfanconf,0,0");
    rig.feed(":gpsustatus,0,1,0");
    rig.feed(":gpsustatus,0,2,0");
    rig.timers.advance(1000);
    EXPECT_THAT(notReportedStatus(rig.engine.state(), rig.engine.statusFields(), true),
                ElementsAre("sync source", "sample rate"));

    // A recovery frame is asked for none of it.
    EngineRig recovery;
    recovery.connect(kFamily460, kRunModeRecovery, "10.0.1.20");
    EXPECT_THAT(notReportedStatus(recovery.engine.state(), recovery.engine.statusFields(), false),
                IsEmpty());
    // Nor is a 465.
    EngineRig frame465;
    frame465.connect(kFamily465, kRunModeApplication, "10.0.1.20");
    EXPECT_THAT(notReportedStatus(frame465.engine.state(), frame465.engine.statusFields(), false),
                IsEmpty());
}

} // namespace
} // namespace velmar
