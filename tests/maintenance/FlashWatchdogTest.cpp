// The firmware watchdog restarts with every acknowledgement: a transfer may
// take many watchdog periods in all, and silence ends it one period after the
// last answer, whichever record (the first, one in the middle, the last, the
// end request) goes unanswered.
#include "engine/EngineFakes.h"
#include "maintenance/FlashTransfer.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace velmar {
namespace {

constexpr int kRecords = 5;

struct Transfer final : IRequestSink, IFlashTransferClient {
    test::FakeTimerHost timers;
    CFlashTransfer transfer{timers, *this, *this};
    std::vector<DeviceMessage> sent;
    std::vector<std::pair<int, bool>> ended;

    Transfer() {
        timers.onFire = [this](int id) {
            if (id == kTimerFirmware)
                transfer.onTimer();
        };
        std::string text = ";Type:460\r\n";
        for (int k = 1; k <= kRecords; ++k)
            text += "S1" + std::to_string(1000 + k) + "\r\n";
        transfer.begin("f.flash", text);
    }
    void sendRequest(DeviceMessage m) override { sent.push_back(m); }
    void programmingChanged(bool) override {}
    void recordsSent(int) override {}
    void transferEnded(const FlashTransferEnd& end) override {
        ended.emplace_back(end.recordsSent, end.cause == FlashTransferEnd::Cause::EndAcknowledged);
    }
    // The frame acknowledges the newest request `delayMs` after it was sent.
    void acknowledgeAfter(int delayMs) {
        timers.advance(delayMs);
        DeviceMessage r = sent.back();
        r.flags = FlagReply;
        transfer.onReply(r);
        timers.advance(0); // the next request goes out on the 0 ms watchdog
    }
};

// Acknowledgements one millisecond inside the watchdog: the whole transfer
// takes about seven periods and still ends acknowledged.
TEST(FlashWatchdog, SlowAcknowledgementsAcrossManyPeriodsComplete) {
    Transfer t;
    t.acknowledgeAfter(kFlashBeginWaitMs - 1); // begin
    for (int k = 0; k <= kRecords; ++k)        // every record, then the end
        t.acknowledgeAfter(kFlashRecordWaitMs - 1);
    EXPECT_GT(t.timers.now(), 6LL * kFlashRecordWaitMs);
    EXPECT_EQ(t.ended, (std::vector<std::pair<int, bool>>{{kRecords, true}}));
}

// An unanswered begin gets its wait and then the grace, to the millisecond.
TEST(FlashWatchdog, UnansweredBeginEndsAfterWaitAndGraceExactly) {
    Transfer t;
    t.timers.advance(kFlashBeginWaitMs + kFlashBeginGraceMs - 1);
    EXPECT_TRUE(t.ended.empty());
    t.timers.advance(1);
    EXPECT_EQ(t.ended, (std::vector<std::pair<int, bool>>{{0, false}}));
}

// Which request goes unanswered: 1..kRecords a record, kRecords + 1 the end.
class FlashWatchdogSilence : public ::testing::TestWithParam<int> {};

TEST_P(FlashWatchdogSilence, EndsOnePeriodAfterTheLastAnswer) {
    const int silentAt = GetParam();
    Transfer t;
    t.acknowledgeAfter(1);
    for (int k = 1; k < silentAt; ++k)
        t.acknowledgeAfter(kFlashRecordWaitMs - 1);
    const long long lastAnswer = t.timers.now();
    t.timers.advance(kFlashRecordWaitMs - 1);
    EXPECT_TRUE(t.ended.empty());
    EXPECT_TRUE(t.transfer.programming());
    t.timers.advance(1);
    ASSERT_EQ(t.ended.size(), 1U);
    EXPECT_EQ(t.timers.now() - lastAnswer, kFlashRecordWaitMs);
    EXPECT_EQ(t.ended[0], (std::pair{std::min(silentAt, kRecords), false}));
    EXPECT_FALSE(t.transfer.programming());
}

INSTANTIATE_TEST_SUITE_P(FirstMiddleLastAndEnd, FlashWatchdogSilence,
                         ::testing::Values(1, 3, kRecords, kRecords + 1));

} // namespace
} // namespace velmar
