#include "channels/RequestRun.h"

#include "ChannelRig.h"
#include "channels/ChannelLabels.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace velmar {
namespace {

using test::ChannelRig;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::vector<DeviceMessage> labels(int count) {
    std::vector<DeviceMessage> requests;
    for (int n = 1; n <= count; ++n)
        requests.push_back(labelRequest(LabelKind::Input, n, "L" + std::to_string(n)));
    return requests;
}

struct Run : ::testing::Test {
    ChannelRig rig;
    CRequestRun run{rig.engine, 4};
    Run() { rig.engine.dialogs().requestRun = &run; }
    ~Run() override { rig.engine.dialogs().requestRun = nullptr; }
    void confirm(int n, int status = 0) {
        rig.feed(":slabel," + std::to_string(status) + ",0," + std::to_string(n) + ",'L" +
                 std::to_string(n) + "'");
    }
};

TEST_F(Run, KeepsAWindowInFlightAndCountsAnswers) {
    run.start(labels(10));
    EXPECT_EQ(rig.link.take().size(), 4U);
    EXPECT_TRUE(run.running());
    confirm(2);
    EXPECT_THAT(rig.link.take(), ElementsAre("&slabel,0,5,'L5'"));
    confirm(2); // a second answer for the same channel is not one more confirmation
    EXPECT_THAT(rig.link.take(), ElementsAre());
    rig.feed("!slabel,0,0,1,'L1'"); // the frame's own message is no answer
    EXPECT_EQ(run.confirmed(), 1);
    confirm(1);
    confirm(3, 5);
    for (int n = 4; n <= 10; ++n)
        confirm(n);
    EXPECT_FALSE(run.running());
    EXPECT_EQ(run.confirmed(), 9);
    EXPECT_EQ(run.refused(), 1);
    EXPECT_EQ(run.summary("labels"),
              "The frame confirmed 9 of 10 labels. It refused 1: channel 3 (status 5).");
}

TEST_F(Run, CancelStopsSendingButCountsWhatIsOnTheWay) {
    run.start(labels(10));
    rig.link.take();
    run.cancel();
    EXPECT_TRUE(run.running());
    for (int n = 1; n <= 4; ++n)
        confirm(n);
    EXPECT_TRUE(rig.link.take().empty());
    EXPECT_FALSE(run.running());
    EXPECT_EQ(run.confirmed(), 4);
    EXPECT_THAT(run.summary("labels"), HasSubstr("6 were not sent (cancelled)"));
}

TEST_F(Run, AStalledFrameEndsTheRun) {
    run.start(labels(10));
    confirm(1);
    run.stalled();
    EXPECT_FALSE(run.running());
    EXPECT_EQ(run.unanswered(), 4);
    EXPECT_THAT(run.summary("labels"),
                HasSubstr("4 got no answer. 5 were not sent because the frame stopped answering."));
    confirm(2);
    EXPECT_EQ(run.confirmed(), 1) << "a late answer after the end changes nothing";
}

TEST_F(Run, EmptyRunEndsAtOnce) {
    int finished = 0;
    run.setOnFinished([&finished] { ++finished; });
    run.start({});
    EXPECT_EQ(finished, 1);
    run.start(labels(1));
    confirm(1);
    EXPECT_EQ(finished, 2) << "told once per run, when the last answer is in";
    run.start({});
    EXPECT_FALSE(run.running());
    EXPECT_TRUE(run.takeProgress());
}

} // namespace
} // namespace velmar
