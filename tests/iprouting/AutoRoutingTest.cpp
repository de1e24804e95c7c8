#include "iprouting/AutoRouting.h"

#include "IpRoutingFakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace velmar {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;

struct RoutingRig {
    DeviceState state = test::connectedFrame();
    test::RecordingSink sink;
    test::ScriptedQuestions questions;
    test::FrameLines frame;
    CAutoRoutingLogic logic{state, sink, questions};

    void feed(const std::string& line) { frame.feed(logic, line); }
    void version(const char* text) {
        state.settings.swVersion[kModuleMainBoard].second[0].assign(text);
    }
};

TEST(AutoRouting, SourceChannelTextAndLatencyRule) {
    EXPECT_EQ(sourceChannelText(5), "05");
    EXPECT_EQ(sourceChannelText(1), "01");
    EXPECT_EQ(sourceChannelText(12), "12");
    EXPECT_EQ(sourceChannelText(64), "64");
    EXPECT_EQ(sourceChannelText(0), "") << "no channel removes the route";

    EXPECT_EQ(sourceChannelNumber("05"), 5);
    EXPECT_EQ(sourceChannelNumber(""), 0);
    EXPECT_EQ(sourceChannelNumber("65"), 0);
    EXPECT_EQ(sourceChannelNumber("5x"), 0);

    EXPECT_EQ(performValues(100, 5000), (PerformValues{250, 4}));
    EXPECT_EQ(performValues(1500, 5000), (PerformValues{1500, 16}));
    EXPECT_EQ(performValues(6000, 5000), (PerformValues{5000, 32}));
    EXPECT_EQ(performValues(600, 0), (PerformValues{1000, 4})) << "no maximum known yet";
    EXPECT_EQ(performValues(499, 5000), (PerformValues{499, 4}));
    EXPECT_EQ(performValues(500, 5000), (PerformValues{500, 8}));
    EXPECT_EQ(performValues(999, 5000), (PerformValues{999, 8}));
    EXPECT_EQ(performValues(1999, 5000), (PerformValues{1999, 16}));
    EXPECT_EQ(performValues(2000, 5000), (PerformValues{2000, 32}));
}

TEST(AutoRouting, OpeningAndSet) {
    RoutingRig r;
    r.state.settings.ipAudio.moduleName.assign("DANTE-1");
    r.logic.opened();
    const auto sent = r.sink.take();
    ASSERT_THAT(sent, SizeIs(4 + 64));
    EXPECT_THAT(std::vector(sent.begin(), sent.begin() + 5),
                ElementsAre("?gautorouteip", "?gframeip,'DANTE-1'", "?glatencyip,'DANTE-1'",
                            "?gmaxlatencyip,'DANTE-1'", "?gcrossip,1,'localhost'"));
    EXPECT_EQ(sent.back(), "?gcrossip,64,'localhost'");

    r.state.live.maxLatency = 5000;
    EXPECT_EQ(r.logic.setPressed(6000), (PerformValues{5000, 32}));
    EXPECT_THAT(r.sink.take(), ElementsAre("&sperformip,'DANTE-1',32,5000"));
    r.state.settings.ipAudio.moduleName.clear();
    r.logic.setPressed(100);
    EXPECT_THAT(r.sink.take(), ElementsAre("&sperformip,'localhost',4,250"));
}

TEST(AutoRouting, ConnectSendsTwoDigitSourceAndEmptyRemoves) {
    RoutingRig r;
    r.state.settings.ipAudio.moduleName.assign("DANTE-1");
    EXPECT_TRUE(r.logic.connect(5, "studio-b", 3, "").sent);
    EXPECT_TRUE(r.logic.connect(12, "", 4, "stage").sent);
    EXPECT_TRUE(r.logic.connect(0, "studio-b", 7, "").sent);
    EXPECT_THAT(r.sink.take(), ElementsAre("&scrossip,3,'localhost','05','studio-b'",
                                           "&scrossip,4,'stage','12','DANTE-1'",
                                           "&scrossip,7,'localhost','','studio-b'"));

    EXPECT_EQ(r.logic.connect(5, "localhost", 3, "").message,
              "Source and destination are the same device");
    EXPECT_FALSE(r.logic.connect(5, "studio,b", 3, "").sent);
    EXPECT_FALSE(r.logic.connect(5, "studio-b", 3, "o'neil").sent);
    EXPECT_FALSE(r.logic.connect(5, "studio-b", 0, "").sent);
    EXPECT_FALSE(r.logic.connect(65, "studio-b", 1, "").sent);
    EXPECT_FALSE(r.logic.connect(5, std::string(32, 'a'), 1, "").sent);
    EXPECT_THAT(r.sink.take(), IsEmpty());
}

TEST(AutoRouting, RouteRepliesMakeNumberedRows) {
    RoutingRig r;
    r.feed(":gcrossip,0,3,'localhost','05','studio-b'");
    r.feed(":gcrossip,0,9,'localhost','64','studio-c'");
    r.feed(":gcrossip,0,65,'localhost','01','x'");
    r.feed(":gcrossip,0,4,'localhost','','x'");
    r.feed(":gcrossip,0,5,'localhost','70','x'");
    ASSERT_THAT(r.logic.rows(), SizeIs(2));
    const RouteRow& row = r.logic.rows()[1];
    EXPECT_EQ(row.channel, 9);
    EXPECT_EQ(row.number, "2");
    EXPECT_EQ(row.sourceDevice, "studio-c");
    EXPECT_EQ(row.sourceChannel, "64");
    EXPECT_EQ(row.destinationDevice, "localhost");
    EXPECT_EQ(row.destinationChannel, "9");

    // An empty source channel removes the row of that destination channel.
    r.feed(":scrossip,0,3,'localhost','','studio-b'");
    ASSERT_THAT(r.logic.rows(), SizeIs(1));
    EXPECT_EQ(r.logic.rows()[0].channel, 9);
    EXPECT_EQ(r.logic.route(3), RouteRecord{});
    // A refusal says so and leaves the list as it is.
    r.feed(":scrossip,4,9,'localhost','','studio-c'");
    EXPECT_THAT(r.logic.rows(), SizeIs(1));
    EXPECT_EQ(r.logic.notice(), "The frame refused the route (status 4)");
}

TEST(AutoRouting, DeleteRoutesAsksForSeveralAndGoesLastFirst) {
    RoutingRig r;
    for (int x : {2, 6, 8})
        r.feed(":gcrossip,0," + std::to_string(x) + ",'localhost','0" + std::to_string(x) +
               "','src-" + std::to_string(x) + "'");
    EXPECT_TRUE(r.logic.deleteRoutes({1}).sent);
    EXPECT_THAT(r.questions.asked, IsEmpty());
    EXPECT_THAT(r.sink.take(), ElementsAre("&scrossip,6,'localhost','','src-6'"));

    r.questions.answer = false;
    EXPECT_FALSE(r.logic.deleteRoutes({0, 1, 2}).sent);
    EXPECT_THAT(r.questions.asked, ElementsAre("IP routing status: Disconnect selected"));
    EXPECT_THAT(r.sink.take(), IsEmpty());

    r.questions.answer = true;
    EXPECT_TRUE(r.logic.deleteRoutes({0, 1, 2}).sent);
    EXPECT_THAT(r.sink.take(), ElementsAre("&scrossip,8,'localhost','','src-8'",
                                           "&scrossip,6,'localhost','','src-6'",
                                           "&scrossip,2,'localhost','','src-2'"));
    EXPECT_THAT(r.questions.asked, SizeIs(2)) << "asked once per command";
}

TEST(AutoRouting, EnableRulesAndTheAutoRoutingQuestion) {
    RoutingRig r;
    r.version("2.0.2.0");
    r.logic.opened();
    EXPECT_FALSE(r.logic.latencyEnabled()) << "2.0.2.0 is not newer than 2.0.2.0";
    r.version("2.0.2.1");
    r.logic.opened();
    EXPECT_TRUE(r.logic.latencyEnabled());
    r.sink.take();

    r.feed(":gautorouteip,0,0");
    EXPECT_FALSE(r.logic.connectEnabled());
    r.questions.answer = false;
    EXPECT_FALSE(r.logic.autoRoutingClicked(true));
    EXPECT_THAT(r.sink.take(), IsEmpty()) << "No leaves it off and sends nothing";
    EXPECT_FALSE(r.logic.connectEnabled());

    r.questions.answer = true;
    EXPECT_TRUE(r.logic.autoRoutingClicked(true));
    EXPECT_THAT(r.sink.take(), ElementsAre("&sautorouteip,1"));
    r.feed(":sautorouteip,0,1");
    EXPECT_TRUE(r.logic.connectEnabled());
    r.questions.asked.clear();
    EXPECT_FALSE(r.logic.autoRoutingClicked(false));
    EXPECT_THAT(r.questions.asked, IsEmpty()) << "switching off asks nothing";
    EXPECT_THAT(r.sink.take(), ElementsAre("&sautorouteip,0"));
    r.feed(":gautorouteip,3");
    EXPECT_FALSE(r.logic.autoRouting()) << "0 on an error reply";
}

TEST(AutoRouting, FrameAndLatencyReplies) {
    RoutingRig r;
    r.feed(":gframeip,0,'DANTE-1',16");
    r.feed(":glatencyip,0,'DANTE-1',1500");
    EXPECT_EQ(r.logic.frameValue(), 16);
    EXPECT_EQ(r.logic.latencyField(), 1500);
    r.feed(":gframeip,2");
    EXPECT_EQ(r.logic.frameValue(), 0) << "0 on an error reply";

    r.state.settings.ipAudio.latency = 5000;
    r.state.settings.ipAudio.frameSize = 32;
    r.feed(":sperformip,0,'DANTE-1',32,5000");
    EXPECT_EQ(r.logic.latencyField(), 5000);
    EXPECT_EQ(r.logic.frameValue(), 32);
    r.feed(":sperformip,3,'DANTE-1',4,250");
    EXPECT_EQ(r.logic.latencyField(), 5000);
    EXPECT_EQ(r.logic.notice(), "The frame refused the latency (status 3)");
}

TEST(AutoRouting, SetSaysWhyTheLatencySentIsNotTheOneTyped) {
    struct Row {
        int typed, maxLatency;
        const char* notice;
    };
    const Row rows[] = {
        {99999, 1000, "The module's latency goes up to 1000 us: 1000 us was sent"},
        {600, 0, "The module has not reported its maximum latency: 1000 us was sent"},
        {100, 5000, "The module's latency starts at 250 us: 250 us was sent"},
        {1500, 5000, ""},
        {5000, 5000, ""},
    };
    for (const Row& row : rows) {
        RoutingRig r;
        r.feed(":sperformip,3,'DANTE-1',4,250"); // an earlier refusal is not repeated
        r.state.live.maxLatency = row.maxLatency;
        r.logic.setPressed(row.typed);
        EXPECT_EQ(r.logic.notice(), row.notice) << row.typed << " / " << row.maxLatency;
        EXPECT_TRUE(r.logic.takeChanged());
    }
}

TEST(AutoRouting, TheLatencyFieldChangesOnlyWithTheFramesLatency) {
    RoutingRig r;
    // [line, the field takes the latency]
    const std::pair<const char*, bool> rows[] = {
        {":glatencyip,0,'DANTE-1',1500", true},
        {":glatencyip,0,'DANTE-1',1500", false}, // the same value: a typed one stays
        {":gframeip,0,'DANTE-1',16", false},
        {":gautorouteip,0,1", false},
        {":gcrossip,0,3,'localhost','05','studio-b'", false},
        {":sperformip,2,'DANTE-1',4,250", false},
        {":sperformip,0,'DANTE-1',4,250", true}, // shows the stored latency (0 here)
        {":glatencyip,0,'DANTE-1',250", true},
        {":glatencyip,4", true}, // an error reply reads 0, which differs
    };
    for (const auto& [line, update] : rows) {
        r.feed(line);
        EXPECT_EQ(r.logic.takeLatencyUpdate(), update) << line;
    }
}

} // namespace
} // namespace velmar
