// Power and cooling values the frame never answered are not shown as "OK".

#include "EngineFakes.h"

#include <gtest/gtest.h>

namespace velmar::test {
namespace {

TEST(UnreportedStatus, FieldsStayEmptyUntilTheFrameAnswers) {
    struct Row {
        const char* name;
        std::vector<std::string> lines;
        std::array<const char*, 2> psu;
        std::array<const char*, 3> fan;
    };
    const Row rows[] = {
        {"fitted units whose status never came",
         {":gpsuconf,0,3", ":gfanconf,0,7"},
         {"", ""},
         {"", "", ""}},
        {"PSU 2 refused, FAN 2 refused",
         {":gpsuconf,0,3", ":gfanconf,0,7", ":gpsustatus,0,1,0", ":gpsustatus,3,2",
          ":gfanstatus,0,1,0", ":gfanstatus,2,2", ":gfanstatus,0,3,1"},
         {"OK", ""},
         {"OK", "", "Faulty"}},
        {"every unit answered",
         {":gpsuconf,0,1", ":gpsustatus,0,1,0", ":gpsustatus,0,2,0"},
         {"OK", ""},
         {"", "", ""}},
        {"an unsolicited status counts as reported",
         {":gpsuconf,0,2", "!gpsustatus,0,2,0"},
         {"", "OK"},
         {"", "", ""}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EngineRig rig;
        rig.connect();
        for (const std::string& line : r.lines)
            rig.feed(line);
        const StatusFields s = rig.engine.statusFields();
        for (std::size_t k = 0; k < 2; ++k)
            EXPECT_EQ(s.psu[k].text, r.psu[k]) << "PSU " << k + 1;
        for (std::size_t k = 0; k < 3; ++k)
            EXPECT_EQ(s.fan[k].text, r.fan[k]) << "FAN " << k + 1;
        EXPECT_EQ(rig.view.status, s) << "the window shows the same";
    }
}

TEST(UnreportedStatus, StateKnowsWhatWasReportedAndForgetsItAtReconnect) {
    EngineRig rig;
    rig.connect();
    rig.feed(":gpsuconf,0,3");
    rig.feed(":gfanconf,5,0"); // refused: which fans are fitted is not known
    rig.feed(":gpsustatus,0,1,0");
    const LiveStatus& live = rig.engine.state().live;
    EXPECT_TRUE(live.psuConfigReported);
    EXPECT_FALSE(live.fanConfigReported);
    EXPECT_TRUE(live.psuReported[1]);
    EXPECT_FALSE(live.psuReported[2]);

    rig.engine.disconnect();
    rig.connect();
    EXPECT_FALSE(rig.engine.state().live.psuConfigReported);
    EXPECT_FALSE(rig.engine.state().live.psuReported[1]);
}

} // namespace
} // namespace velmar::test
