// The event log on disk: appending, rotation with a bounded number of files,
// the version header, and refusing what is not a regular file.

#include "events/EventLogFile.h"

#include "../events/EventFakes.h"
#include "main/FileAccess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace velmar {
namespace {

using ::testing::HasSubstr;

Event numbered(int n) {
    Event e;
    e.timeMs = 1000 + n;
    e.kind = EventKind::Psu;
    e.frame.address = "10.0.1.20";
    e.text = "event " + std::to_string(n);
    return e;
}

std::string contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

TEST(EventLogFile, RotatesBySizeAndKeepsAtMostItsFileCount) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    test::VirtualEventClock clock;
    const QString folder = dir.filePath("log");
    const std::size_t lineBytes = eventLogLine(numbered(10)).size();
    // Room for the header and about four events per file; three files.
    CEventLogFile log(folder, "2.0.0.0", clock, lineBytes * 5, 3);
    for (int n = 10; n < 60; ++n)
        ASSERT_EQ(log.append(numbered(n)), "");

    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 3);
    EXPECT_FALSE(QFile::exists(log.pathOf(3)));
    for (int k = 0; k < 3; ++k) {
        const std::string text = contents(log.pathOf(k));
        EXPECT_LE(text.size(), lineBytes * 5) << k;
        EXPECT_EQ(text.rfind("{\"velmar\":\"2.0.0.0\"", 0), 0u)
            << "every file starts with its header";
    }
    // Oldest first, newest last, no gaps among what is kept.
    const EventLogContents all = log.readAll();
    ASSERT_GE(all.events.size(), 8u);
    EXPECT_EQ(all.events.back().text, "event 59");
    for (std::size_t k = 1; k < all.events.size(); ++k)
        EXPECT_EQ(all.events[k].timeMs, all.events[k - 1].timeMs + 1);
}

TEST(EventLogFile, ALaterProgramMarksItsPartAndATornLineIsReported) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    test::VirtualEventClock clock;
    {
        CEventLogFile old(dir.path(), "1.9.0.0", clock);
        ASSERT_EQ(old.append(numbered(1)), "");
    }
    // A crash in the middle of a line.
    ASSERT_EQ(appendToFile(QDir(dir.path()).filePath("events.jsonl"), "{\"time\":12,\"sev"), "");
    CEventLogFile now(dir.path(), "2.0.0.0", clock);
    ASSERT_EQ(now.append(numbered(2)), "");
    const EventLogContents all = now.readAll();
    EXPECT_THAT(all.versions, ::testing::ElementsAre("1.9.0.0", "2.0.0.0"));
    // The torn line is left out and counted; what follows it is whole.
    ASSERT_EQ(all.events.size(), 2u);
    EXPECT_EQ(all.events[0].text, "event 1");
    EXPECT_EQ(all.events[1].text, "event 2");
    EXPECT_EQ(all.skippedLines, 1);
    EXPECT_FALSE(all.truncatedTail);
}

TEST(EventLogFile, WhatIsNotARegularFileIsRefusedOnceAndLeftAlone) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    test::VirtualEventClock clock;
    const QString fifo = QDir(dir.path()).filePath("events.jsonl");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    CEventLogFile log(dir.path(), "2.0.0.0", clock);
    std::vector<std::string> reported;
    log.setErrorHandler([&](const std::string& why) { reported.push_back(why); });
    EXPECT_THAT(log.append(numbered(1)), HasSubstr("FIFO"));
    EXPECT_THAT(log.append(numbered(2)), HasSubstr("FIFO"));
    EXPECT_EQ(reported.size(), 1u) << "one message per distinct problem";
}

} // namespace
} // namespace velmar
