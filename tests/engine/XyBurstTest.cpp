#include "engine/XyBurst.h"

#include "CrosspointFakes.h"
#include "engine/Crosspoints.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace velmar {
namespace {

using test::scross;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The engine and the X-Y dialog's logic wired as the main window wires them:
// timer 5 is not the engine's, so it goes to the burst.
struct XyRig : test::EngineRig {
    test::FakeQuestions questions;
    CXyBurst burst{timers, engine};
    CXyControl xy{engine.state(), engine, questions, burst};

    XyRig() {
        timers.onFire = [this](int id) {
            if (!engine.onTimer(id) && id == kTimerXyBurst)
                burst.onTick();
        };
        connect(kFamily461);
        timers.advance(2000); // start requests and stage two are out of the way
        link.take();
        engine.dialogs().xyControl = &xy;
    }
};

TEST(XyBurst, OneCrosspointPerMillisecondTick) {
    const std::vector<std::tuple<const char*, int, int, std::vector<std::string>>> rows = {
        {"input 0 clears outputs 1..4",
         0,
         4,
         {scross(1, 0), scross(2, 0), scross(3, 0), scross(4, 0)}},
        {"any other input routes n to n", 9, 3, {scross(1, 1), scross(2, 2), scross(3, 3)}},
        {"a burst of one", 5, 1, {scross(1, 1)}},
    };
    for (const auto& [name, input, output, lines] : rows) {
        SCOPED_TRACE(name);
        XyRig rig;
        ASSERT_TRUE(rig.xy.burstPressed(input, output));
        EXPECT_THAT(rig.questions.asked, ElementsAre("X-Y crosspoint control|ARE YOU SURE"));
        EXPECT_THAT(rig.link.sent, IsEmpty()); // the first step waits for the first tick
        for (std::size_t k = 0; k < lines.size(); ++k) {
            rig.timers.advance(1);
            ASSERT_EQ(rig.link.sent.size(), k + 1);
            EXPECT_EQ(rig.link.sent.back(), lines[k]);
        }
        EXPECT_FALSE(rig.burst.running());
        EXPECT_FALSE(rig.timers.running(kTimerXyBurst));
        rig.timers.advance(50);
        EXPECT_EQ(rig.link.sent.size(), lines.size());
    }
}

TEST(XyBurst, RefusesCommandsWhileItRunsAndStopsWithTheDialog) {
    XyRig rig;
    ASSERT_TRUE(rig.xy.burstPressed(1, 100));
    rig.timers.advance(3);
    EXPECT_TRUE(rig.burst.running());
    EXPECT_FALSE(rig.xy.connectPressed(1, 1));
    EXPECT_FALSE(rig.xy.interrogatePressed(1));
    EXPECT_FALSE(rig.xy.burstPressed(1, 2));

    test::RecordingSink sink;
    CCrosspointPanel panel{rig.engine.state(), sink, rig.questions, rig.burst};
    panel.rebuildTypeLists();
    EXPECT_EQ(panel.connectSelected(std::vector<int>{0}, std::vector<int>{0}), 0);

    rig.xy.closed();
    EXPECT_FALSE(rig.timers.running(kTimerXyBurst));
    rig.timers.advance(10);
    EXPECT_EQ(rig.link.take().size(), 3u);
    EXPECT_TRUE(rig.xy.connectPressed(1, 1));
}

TEST(XyBurst, StrayTickSendsNothing) {
    XyRig rig;
    EXPECT_FALSE(rig.burst.onTick());
    rig.burst.start(0, true); // no outputs: nothing starts
    EXPECT_FALSE(rig.burst.running());
    EXPECT_THAT(rig.link.sent, IsEmpty());
}

TEST(XyControl, ButtonsSendByNumber) {
    XyRig rig;
    EXPECT_TRUE(rig.xy.connectPressed(65, 513));
    EXPECT_TRUE(rig.xy.interrogatePressed(2048));
    EXPECT_THAT(rig.link.take(), ElementsAre(scross(513, 65), "?gcross,2048"));

    for (int output : {0, -1, 2049}) {
        SCOPED_TRACE(output);
        EXPECT_FALSE(rig.xy.connectPressed(1, output));
        EXPECT_FALSE(rig.xy.interrogatePressed(output));
        EXPECT_FALSE(rig.xy.burstPressed(1, output));
    }
    rig.questions.answer = false;
    EXPECT_FALSE(rig.xy.burstPressed(1, 4));
    EXPECT_FALSE(rig.burst.running());
    EXPECT_THAT(rig.link.sent, IsEmpty());

    rig.engine.setProgramming(true);
    rig.questions.answer = true;
    EXPECT_FALSE(rig.xy.connectPressed(1, 1));
    EXPECT_FALSE(rig.xy.burstPressed(1, 1));
    EXPECT_EQ(rig.xy.notice(), "A firmware transfer is running: nothing sent");
    rig.engine.setProgramming(false);
    rig.engine.disconnect();
    EXPECT_FALSE(rig.xy.connectPressed(1, 1));
    EXPECT_FALSE(rig.xy.interrogatePressed(1));
    EXPECT_EQ(rig.xy.notice(), "Not connected: nothing sent");
}

TEST(XyControl, InputIsRangeCheckedAndEveryRefusalSaysWhy) {
    XyRig rig;
    for (int input : {-1, 2049, 99999}) {
        SCOPED_TRACE(input);
        EXPECT_FALSE(rig.xy.connectPressed(input, 5));
        EXPECT_EQ(rig.xy.notice(),
                  "Input " + std::to_string(input) + " is outside 0..2048: nothing sent");
        EXPECT_FALSE(rig.xy.burstPressed(input, 5));
    }
    EXPECT_FALSE(rig.burst.running());
    EXPECT_FALSE(rig.xy.connectPressed(1, 3000));
    EXPECT_EQ(rig.xy.notice(), "Output 3000 is outside 1..2048: nothing sent");
    EXPECT_THAT(rig.link.take(), IsEmpty());

    // The edges are allowed, and a request that went out clears the notice.
    EXPECT_TRUE(rig.xy.connectPressed(0, 1));
    EXPECT_EQ(rig.xy.notice(), "");
    // Numbers beyond this frame's channels go out as asked, and the notice
    // says why no answer will show (the dispatch drops it).
    const int count = rig.engine.state().crosspointCount();
    ASSERT_LT(count, 2048);
    const std::string beyond = " is beyond this frame's " + std::to_string(count) +
                               " channels: sent as asked, but the frame has no such ";
    EXPECT_TRUE(rig.xy.connectPressed(2048, 2048));
    EXPECT_EQ(rig.xy.notice(), "Output 2048" + beyond + "output");
    EXPECT_TRUE(rig.xy.connectPressed(count + 1, count));
    EXPECT_EQ(rig.xy.notice(), "Input " + std::to_string(count + 1) + beyond + "input");
    EXPECT_TRUE(rig.xy.interrogatePressed(count + 1));
    EXPECT_EQ(rig.xy.notice(), "Output " + std::to_string(count + 1) + beyond + "output");
    EXPECT_THAT(rig.link.take(),
                ElementsAre(scross(1, 0), scross(2048, 2048), scross(count, count + 1),
                            "?gcross," + std::to_string(count + 1)));

    rig.questions.answer = true;
    ASSERT_TRUE(rig.xy.burstPressed(1, 3));
    EXPECT_FALSE(rig.xy.connectPressed(1, 1));
    EXPECT_EQ(rig.xy.notice(), "A burst is running: nothing sent");
}

TEST(XyControl, ResponseFieldsShowTheLastReply) {
    XyRig rig;
    EXPECT_FALSE(rig.xy.hasResponse());
    EXPECT_EQ(rig.xy.responseInputText(), "");

    rig.feed(":gcross,0,5,17");
    EXPECT_TRUE(rig.xy.takeResponseChanged());
    EXPECT_FALSE(rig.xy.takeResponseChanged());
    EXPECT_EQ(rig.xy.responseOutputText(), "5");
    EXPECT_EQ(rig.xy.responseInputText(), "17");

    // Refused: the fields wait for what the frame says it routes instead.
    rig.link.take();
    rig.feed(":scross,3,6,18,0,0");
    EXPECT_FALSE(rig.xy.takeResponseChanged());
    EXPECT_THAT(rig.link.take(), ElementsAre("?gcross,6"));
    rig.feed(":gcross,0,6,4");
    EXPECT_TRUE(rig.xy.takeResponseChanged());
    EXPECT_EQ(rig.xy.responseOutput(), 6);
    EXPECT_EQ(rig.xy.responseInput(), 4);

    rig.feed(":gdevid,0,7,'x'"); // other replies leave the fields alone
    EXPECT_FALSE(rig.xy.takeResponseChanged());
    EXPECT_EQ(rig.xy.responseOutput(), 6);
}

} // namespace
} // namespace velmar

namespace velmar {
namespace {

TEST(XyBurst, LosingTheLinkEndsTheBurst) {
    XyRig rig;
    rig.engine.setBurstStop([&rig] { rig.burst.stop(); });
    ASSERT_TRUE(rig.xy.burstPressed(0, 100));
    rig.timers.advance(3);
    ASSERT_TRUE(rig.burst.running());
    rig.engine.onPeerClosed();
    EXPECT_FALSE(rig.burst.running()) << "otherwise the crosspoint commands stay refused";
    EXPECT_FALSE(rig.timers.running(kTimerXyBurst));
    const std::size_t sent = rig.link.sent.size();
    rig.timers.advance(10);
    EXPECT_EQ(rig.link.sent.size(), sent);
}

} // namespace
} // namespace velmar
