#include "events/EventLog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace velmar {
namespace {

using ::testing::ElementsAre;

Event sample(std::int64_t time, std::string text) {
    Event e;
    e.timeMs = time;
    e.severity = EventSeverity::Alarm;
    e.kind = EventKind::Psu;
    e.frame = {"10.0.1.20", 3, "Studio \"A\"\\B", "S\x01N"};
    e.text = std::move(text);
    return e;
}

TEST(EventLog, LinesReadBackAsTheyWereWritten) {
    const Event first = sample(1765218397125, "PSU 2 failed");
    Event second = sample(1765218398000, "Umlaut \xc3\xa4, tab\tand line\nend");
    second.severity = EventSeverity::Info;
    second.kind = EventKind::RouteOther;

    const std::string line = eventLogLine(first);
    EXPECT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1) << "one event, one line";
    EXPECT_THAT(line, ::testing::HasSubstr("\"at\":\"2025-12-08 18:26:37.125\""));

    EventLogContents read;
    readEventLog(eventLogHeaderLine("2.0.0.0", 1) + line + eventLogLine(second), read);
    EXPECT_THAT(read.versions, ElementsAre("2.0.0.0"));
    EXPECT_THAT(read.events, ElementsAre(first, second));
    EXPECT_EQ(read.skippedLines, 0);
    EXPECT_FALSE(read.truncatedTail);
}

TEST(EventLog, TruncatedOrDamagedLinesCostOnlyThemselves) {
    const std::string a = eventLogLine(sample(1000, "one"));
    const std::string b = eventLogLine(sample(2000, "two"));
    const std::string c = eventLogLine(sample(3000, "three"));
    // Cut off at every byte of the last line: the first two always survive.
    for (std::size_t cut = 0; cut < c.size(); ++cut) {
        EventLogContents read;
        readEventLog(a + b + c.substr(0, cut), read);
        ASSERT_EQ(read.events.size(), 2u) << cut;
        EXPECT_EQ(read.truncatedTail, cut > 0) << cut;
        EXPECT_EQ(read.skippedLines, 0);
    }
    EventLogContents read;
    readEventLog(a + "{\"time\":5,\"severity\":\"panic\",\"kind\":\"psu\",\"text\":\"x\"}\n" +
                     "not json\n\n" + std::string(20000, 'x') + "\n" +
                     "{\"time\":1,\"text\":\"\\ud800\"}\n" + b,
                 read);
    EXPECT_EQ(read.events.size(), 2u);
    EXPECT_EQ(read.skippedLines, 4);
    EXPECT_FALSE(read.truncatedTail);
}

TEST(EventLog, CsvKeepsEveryFieldInItsCell) {
    Event e = sample(0, "=cmd|' /C calc'!A0");
    const std::string line = eventCsvLine(e);
    EXPECT_EQ(line, "\"1970-01-01 00:00:00.000\",\"alarm\",\"Studio \"\"A\"\"\\B\",\"10.0.1.20\",3,"
                    "\"S\x01N\",\"psu\",\"'=cmd|' /C calc'!A0\"\r\n");
    EXPECT_EQ(eventCsvHeader().substr(0, 11), "Time (UTC),");
}

} // namespace
} // namespace velmar
