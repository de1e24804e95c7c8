#include "grid/RouteJournal.h"

#include "CrosspointFakes.h"
#include "engine/XyBurst.h"

#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace velmar {
namespace {

using test::scross;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

class RecordingReport final : public IRouteReport {
public:
    std::vector<std::string> lines;
    int repaints = 0;
    void routeStatus(std::string_view text) override { lines.emplace_back(text); }
    void routeMarksChanged() override { ++repaints; }
};

// The journal in front of a recording sink, with the frame's answers applied
// to the state the way the dispatch applies them.
struct JournalRig {
    test::FrameState f;
    test::FakeTimerHost timers;
    test::RecordingSink sink;
    test::FakeQuestions questions;
    RecordingReport report;
    CRouteJournal journal{f.s, sink, timers, questions};

    JournalRig() {
        journal.setReport(&report);
        timers.onFire = [this](int id) { journal.onTimer(id); };
    }
    void batch(const char* label, std::vector<std::pair<int, int>> routes) {
        journal.beginBatch(label);
        for (auto [output, input] : routes)
            journal.sendRequest(crosspointRequest(output, input));
        journal.endBatch();
    }
    static DeviceMessage reply(int output, int input, int status = 0) {
        DeviceMessage m = DeviceMessage::request(CommandId::scross);
        m.setI(1, output);
        m.setI(2, input);
        m.status = status;
        return m;
    }
    void confirm(int output, int input) {
        f.route(output, input);
        journal.onMessage(reply(output, input), true);
    }
    void refuse(int output, int input, int status) {
        journal.onMessage(reply(output, input, status), true);
    }
    void otherClient(int output, int input) {
        f.route(output, input);
        journal.onMessage(reply(output, input), false);
    }
};

TEST(RouteJournal, PendingUntilTheFrameAnswersRefusalsKeepTheirReason) {
    JournalRig rig;
    rig.batch("Grid", {{5, 17}, {6, 18}});
    EXPECT_THAT(rig.sink.take(), ElementsAre(scross(5, 17), scross(6, 18)));
    EXPECT_EQ(rig.journal.pendingInput(5), 17);
    EXPECT_EQ(rig.journal.pendingCount(), 2);
    EXPECT_FALSE(rig.journal.canUndo()); // not before the frame has answered

    rig.confirm(5, 17);
    rig.refuse(6, 18, 3);
    EXPECT_EQ(rig.journal.pendingInput(5), -1);
    EXPECT_EQ(rig.journal.pendingInput(6), -1);
    EXPECT_EQ(rig.journal.refusedInput(6), 18);
    EXPECT_EQ(rig.journal.refusalReason(6), "the frame refused it (status 3)");
    EXPECT_FALSE(rig.timers.running(kTimerRouteWait));

    // A frame that answers with another input than asked did not route it either.
    rig.batch("Grid", {{7, 19}});
    rig.confirm(7, 20);
    EXPECT_EQ(rig.journal.refusedInput(7), 19);
    EXPECT_EQ(rig.journal.refusalReason(7), "the frame routed INPUT CARD1 20 instead");

    // Another client routing the output clears the stale refusal mark.
    rig.otherClient(6, 1);
    EXPECT_EQ(rig.journal.refusedInput(6), -1);
    // A new request does too.
    rig.journal.sendRequest(crosspointRequest(7, 2));
    EXPECT_EQ(rig.journal.refusedInput(7), -1);
}

TEST(RouteJournal, SameOutputTwiceIsAnsweredInOrder) {
    JournalRig rig;
    rig.batch("Grid", {{5, 17}});
    rig.batch("Grid", {{5, 18}});
    EXPECT_EQ(rig.journal.pendingInput(5), 18);
    rig.confirm(5, 17); // the first request's answer is no refusal of the second
    EXPECT_EQ(rig.journal.refusedInput(5), -1);
    EXPECT_EQ(rig.journal.pendingInput(5), 18);
    rig.confirm(5, 18);
    EXPECT_EQ(rig.journal.pendingCount(), 0);
    EXPECT_EQ(rig.journal.undoDepth(), 2U);
}

TEST(RouteJournal, UnansweredRoutesTimeOutOnTheVirtualClockAndSaySo) {
    JournalRig rig;
    rig.batch("Grid", {{5, 17}});
    rig.timers.advance(kRouteTickMs * kRouteWaitTicks - 1);
    EXPECT_EQ(rig.journal.pendingInput(5), 17);
    EXPECT_THAT(rig.report.lines, IsEmpty());
    rig.timers.advance(1);
    EXPECT_EQ(rig.journal.pendingInput(5), -1);
    EXPECT_FALSE(rig.timers.running(kTimerRouteWait));
    ASSERT_EQ(rig.report.lines.size(), 1U);
    EXPECT_EQ(rig.report.lines[0], "No answer from the frame for 1 route (OUTPUT CARD1 05 \u2190 "
                                   "INPUT CARD1 17): the grid shows what the frame last reported");
    // A route that never took effect leaves nothing to undo.
    EXPECT_EQ(rig.journal.undoDepth(), 0U);
    // A late answer for it changes no mark.
    rig.confirm(5, 17);
    EXPECT_EQ(rig.journal.refusedInput(5), -1);
}

TEST(RouteJournal, UndoRestoresOnlyWhatTheFrameConfirmed) {
    JournalRig rig;
    rig.f.route(5, 1);
    rig.f.route(6, 2);
    rig.batch("Connect", {{5, 17}, {6, 18}});
    rig.confirm(5, 17);
    rig.refuse(6, 18, 3);
    rig.sink.take();
    ASSERT_TRUE(rig.journal.canUndo());
    EXPECT_EQ(rig.journal.undoText(), "Undo Connect (1 route)");
    EXPECT_TRUE(rig.journal.undo());
    // Output 6 still has input 2: only output 5 goes back.
    EXPECT_THAT(rig.sink.take(), ElementsAre(scross(5, 1)));
    EXPECT_FALSE(rig.journal.canRedo()); // until the undo is confirmed
    rig.confirm(5, 1);
    ASSERT_TRUE(rig.journal.canRedo());
    EXPECT_TRUE(rig.journal.redo());
    EXPECT_THAT(rig.sink.take(), ElementsAre(scross(5, 17)));
    rig.confirm(5, 17);
    EXPECT_EQ(rig.journal.undoDepth(), 1U);
    EXPECT_EQ(rig.journal.redoDepth(), 0U);

    // A step whose every route was refused is no step.
    rig.batch("Grid", {{9, 9}});
    rig.refuse(9, 9, 1);
    EXPECT_EQ(rig.journal.undoDepth(), 1U);
    // A new step clears redo.
    rig.journal.undo();
    rig.confirm(5, 1);
    EXPECT_EQ(rig.journal.redoDepth(), 1U);
    rig.batch("Grid", {{10, 10}});
    EXPECT_EQ(rig.journal.redoDepth(), 0U);
}

// Undo keeps the newest kMaxRouteSteps steps: at the limit nothing falls off,
// one step past it the oldest does.
TEST(RouteJournal, UndoDepthStopsAtItsLimitDroppingTheOldest) {
    const int limit = static_cast<int>(kMaxRouteSteps);
    for (const int steps : {limit - 1, limit, limit + 1, limit + 3}) {
        SCOPED_TRACE(steps);
        JournalRig rig;
        for (int output = 1; output <= steps; ++output) {
            rig.batch("Grid", {{output, 1}});
            rig.confirm(output, 1);
        }
        EXPECT_EQ(rig.journal.undoDepth(), static_cast<std::size_t>(std::min(steps, limit)));
        EXPECT_EQ(rig.journal.undoSteps().front().changes.at(0).output,
                  std::max(1, steps - limit + 1));
    }
}

TEST(RouteJournal, UndoAsksWhenAnotherClientChangedAnOutputMeanwhile) {
    JournalRig rig;
    rig.f.route(5, 1);
    rig.batch("Grid", {{5, 17}, {6, 18}});
    rig.confirm(5, 17);
    rig.confirm(6, 18);
    rig.otherClient(6, 40);
    rig.sink.take();

    rig.questions.answer = false;
    EXPECT_FALSE(rig.journal.undo());
    ASSERT_EQ(rig.questions.asked.size(), 1U);
    EXPECT_THAT(rig.questions.asked[0],
                HasSubstr("1 output was changed by another client since: OUTPUT CARD1 06 "
                          "\u2190 INPUT CARD1 40"));
    EXPECT_THAT(rig.sink.take(), IsEmpty());
    EXPECT_EQ(rig.report.lines.back(), "Undo cancelled: nothing was sent");
    EXPECT_EQ(rig.journal.undoDepth(), 1U);

    rig.questions.answer = true;
    EXPECT_TRUE(rig.journal.undo());
    EXPECT_THAT(rig.sink.take(), ElementsAre(scross(5, 1), scross(6, 0)));
    rig.confirm(5, 1);
    rig.confirm(6, 0);
    // Redo brings back what undo replaced, the other client's route included.
    EXPECT_TRUE(rig.journal.redo());
    EXPECT_THAT(rig.sink.take(), ElementsAre(scross(5, 17), scross(6, 40)));
}

TEST(RouteJournal, NothingGoesOutWhileRoutesAreNotAllowed) {
    JournalRig rig;
    rig.batch("Grid", {{5, 17}});
    rig.confirm(5, 17);
    rig.sink.take();
    rig.f.s.programming = true;
    EXPECT_FALSE(rig.journal.undo());
    EXPECT_THAT(rig.sink.take(), IsEmpty());
    rig.f.s.programming = false;
    bool burst = true;
    rig.journal.setBusy([&burst] { return burst; });
    EXPECT_FALSE(rig.journal.undo());
    burst = false;
    EXPECT_TRUE(rig.journal.undo());
    // Another frame: nothing of the old one can be undone.
    rig.journal.clear();
    EXPECT_EQ(rig.journal.undoDepth(), 0U);
    EXPECT_EQ(rig.journal.redoDepth(), 0U);
    EXPECT_EQ(rig.journal.pendingCount(), 0);
    EXPECT_FALSE(rig.timers.running(kTimerRouteWait));
}

} // namespace
} // namespace velmar
