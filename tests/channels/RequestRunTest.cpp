#include "channels/RequestRun.h"

#include "ChannelRig.h"
#include "channels/ChannelLabels.h"
#include "channels/GainSettings.h"

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

TEST_F(Run, AStalledRunIsAPartialApplyThatNamesTheRestAndRetriesIt) {
    std::vector<DeviceMessage> requests = labels(10);
    requests.push_back(labelRequest(LabelKind::Output, 3, "O3"));
    run.start(requests);
    confirm(1);
    confirm(3, 5);
    EXPECT_FALSE(run.partial()) << "still running";
    run.stalled();
    EXPECT_FALSE(run.running());
    EXPECT_TRUE(run.partial());
    EXPECT_EQ(run.unanswered(), 4);
    EXPECT_EQ(run.summary("labels"),
              "Partial apply: the frame stopped answering. The frame confirmed 1 of 11 labels. "
              "It refused 1: channel 3 (status 5). Confirmed: input labels of channel 1. "
              "Sent, no answer: input labels of channel 2, input labels of channels 4-6. "
              "Not sent: input labels of channels 7-10, output labels of channel 3.");
    EXPECT_EQ(run.retryQuestion("labels"), "Send the 9 labels that were not confirmed again?");
    confirm(2);
    EXPECT_EQ(run.confirmed(), 1) << "a late answer after the end changes nothing";

    // The retry sends exactly the rest, in the run's order; refusals are not repeated.
    const std::vector<DeviceMessage> rest = run.remaining();
    rig.link.take();
    run.start(rest);
    EXPECT_THAT(rig.link.take(), ElementsAre("&slabel,0,2,'L2'", "&slabel,0,4,'L4'",
                                             "&slabel,0,5,'L5'", "&slabel,0,6,'L6'"));
    for (int n : {2, 4, 5, 6, 7, 8, 9, 10})
        confirm(n);
    rig.feed(":slabel,0,1,3,'O3'");
    EXPECT_FALSE(run.running());
    EXPECT_FALSE(run.partial());
    EXPECT_EQ(run.summary("labels"), "The frame confirmed 9 of 9 labels.");
}

TEST_F(Run, ALostLinkAndOtherRequestsAreNamedToo) {
    std::vector<DeviceMessage> requests;
    for (int n = 529; n <= 531; ++n)
        requests.push_back(gainRequest(GainSide::Output, n, GainSetting{}));
    DeviceMessage status = DeviceMessage::request(CommandId::llevdetstatus);
    status.setI(1, 0);
    status.setI(2, 129);
    status.setI(3, 128);
    requests.push_back(status);
    run.start(requests);
    run.stalled("the link was lost");
    EXPECT_EQ(run.summary("requests"),
              "Partial apply: the link was lost. The frame confirmed 0 of 4 requests. "
              "Sent, no answer: output gains of channels 529-531, input status reads of "
              "channels 129-256.");
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
