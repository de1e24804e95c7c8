#include "events/EventHistory.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace velmar {
namespace {

Event make(EventSeverity severity, std::string address, std::string text) {
    Event e;
    e.severity = severity;
    e.frame.address = std::move(address);
    e.text = std::move(text);
    return e;
}

std::vector<std::string> shown(const CEventHistory& h) {
    std::vector<std::string> out;
    for (std::size_t k = 0; k < h.rowCount(); ++k)
        out.push_back(h.row(k).text);
    return out;
}

TEST(EventHistory, NewestFirstAndFiltered) {
    CEventHistory h;
    int changes = 0;
    h.setListener([&] { ++changes; });
    h.onEvent(make(EventSeverity::Info, "10.0.0.2", "Connected"));
    h.onEvent(make(EventSeverity::Alarm, "10.0.0.2", "PSU 2 failed"));
    h.onEvent(make(EventSeverity::Warning, "10.0.0.3", "Link lost: gone"));
    EXPECT_EQ(changes, 3);
    EXPECT_THAT(shown(h), ::testing::ElementsAre("Link lost: gone", "PSU 2 failed", "Connected"));
    EXPECT_EQ(h.frames().size(), 2u);

    h.setFilter({EventSeverity::Warning, "", ""});
    EXPECT_THAT(shown(h), ::testing::ElementsAre("Link lost: gone", "PSU 2 failed"));
    h.setFilter({EventSeverity::Info, "10.0.0.2", "psu"});
    EXPECT_THAT(shown(h), ::testing::ElementsAre("PSU 2 failed")) << "search ignores case";
    // A new event that does not pass the filter is kept, not shown.
    h.onEvent(make(EventSeverity::Info, "10.0.0.3", "Connected"));
    EXPECT_EQ(h.rowCount(), 1u);
    h.setFilter({});
    EXPECT_EQ(h.rowCount(), 4u);
}

TEST(EventHistory, AlarmWaitsForAcknowledgementAndTheListIsBounded) {
    CEventHistory h;
    h.onEvent(make(EventSeverity::Alarm, "10.0.0.2", "PSU 2 failed"));
    h.onEvent(make(EventSeverity::Info, "10.0.0.2", "PSU 2 recovered"));
    ASSERT_TRUE(h.pendingAlarm());
    EXPECT_EQ(h.pendingAlarm()->text, "PSU 2 failed");
    h.onEvent(make(EventSeverity::Alarm, "10.0.0.2", "FAN 1 failed"));
    EXPECT_EQ(h.pendingAlarm()->text, "FAN 1 failed");
    EXPECT_EQ(h.pendingAlarmCount(), 2);
    h.acknowledge();
    EXPECT_FALSE(h.pendingAlarm());

    for (std::size_t k = 0; k < CEventHistory::kMaxEvents; ++k)
        h.onEvent(make(EventSeverity::Info, "10.0.0.2", "e" + std::to_string(k)));
    EXPECT_EQ(h.rowCount(), CEventHistory::kMaxEvents);
    EXPECT_EQ(h.dropped(), 3u);
    EXPECT_EQ(h.row(0).text, "e" + std::to_string(CEventHistory::kMaxEvents - 1));
}

} // namespace
} // namespace velmar
