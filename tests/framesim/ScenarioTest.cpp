// Scheduled scenarios: chosen by profile, started by the first client, their
// steps reported as "!" lines in order.

#include "SimulatedFrame.h"
#include "TestClient.h"

#include <gtest/gtest.h>

namespace velmar::framesim {
namespace {

TEST(Scenario, ProfileKeysChooseAndCheckIt) {
    FrameProfile p = *presetProfile("460");
    std::string error;
    EXPECT_TRUE(applySetting(p, "scenario", "sync", error)) << error;
    EXPECT_EQ(p.scenario, "sync");
    EXPECT_FALSE(applySetting(p, "scenario", "meltdown", error));
    EXPECT_EQ(p.scenario, "sync") << "a refused name leaves the setting alone";
    EXPECT_TRUE(applySetting(p, "scenario-tick-ms", "250", error));
    EXPECT_EQ(p.scenarioTickMs, 250);
    EXPECT_FALSE(applySetting(p, "scenario-tick-ms", "0", error)) << "a busy loop is no tick";
    EXPECT_TRUE(applySetting(p, "scenario-repeat", "1", error));
    EXPECT_TRUE(p.scenarioRepeat);
    EXPECT_FALSE(applySetting(p, "scenario-repeat", "2", error));
    for (std::string_view name : scenarioNames()) {
        const std::optional<Scenario> s = scenarioByName(name);
        ASSERT_TRUE(s) << name;
        EXPECT_TRUE(std::is_sorted(
            s->steps.begin(), s->steps.end(),
            [](const ScenarioStep& a, const ScenarioStep& b) { return a.tick < b.tick; }))
            << name;
        EXPECT_GT(s->lengthTicks, s->steps.back().tick) << name;
    }
}

TEST(Scenario, StartsWithTheFirstClientAndReportsEachStep) {
    FrameProfile profile = *presetProfile("460");
    profile.aliveIntervalMs = 0;
    profile.scenario = "psu";
    profile.scenarioTickMs = 10;
    CSimulatedFrame frame(profile);
    QString error;
    ASSERT_TRUE(frame.start(&error)) << error.toStdString();
    QTest::qWait(50);
    EXPECT_EQ(frame.scenarioStepsDone(), 0) << "nothing happens before anyone watches";

    test::CTestClient client;
    ASSERT_TRUE(client.connectTo(QString::fromStdString(profile.bindAddress), frame.commandPort()));
    ASSERT_TRUE(client.waitLines(2));
    EXPECT_EQ(client.lines()[0].text, "!gpsustatus,0,2,1");
    EXPECT_EQ(client.lines()[1].text, "!gpsustatus,0,2,0");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !frame.scenarioRunning(); }, test::kWaitMs))
        << "a scenario without repeat ends";
}

} // namespace
} // namespace velmar::framesim
