// The event log on disk: appending, rotation with a bounded number of files,
// the version header, refusing what is not a regular file, and the writer
// thread that keeps the disk away from the thread making the events.

#include "events/EventLogFile.h"

#include "../events/EventFakes.h"
#include "events/EventLogWriter.h"
#include "engine/FileAccess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <condition_variable>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <mutex>
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

TEST(EventLogWriter, WritesEverythingInOrderAcrossRotationsAndFlushesOnTheWay) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    test::VirtualEventClock clock;
    const std::size_t lineBytes = eventLogLine(numbered(100)).size();
    auto file = std::make_unique<CEventLogFile>(dir.path(), "2.0.0.0", clock, lineBytes * 40, 4);
    // The writer owns its file; this one only reads what is on disk.
    const CEventLogFile disk(dir.path(), "2.0.0.0", clock, lineBytes * 40, 4);
    const CEventLogFile* reader = &disk;
    {
        CEventLogWriter writer(std::move(file), clock);
        for (int n = 100; n < 160; ++n)
            writer.onEvent(numbered(n));
        writer.flush();
        EventLogContents half = reader->readAll();
        ASSERT_EQ(half.events.size(), 60u) << "a flush leaves nothing waiting";
        // Another program rotates the log away meanwhile: the writer follows
        // the name, not the file it had open.
        ASSERT_TRUE(QFile::rename(reader->pathOf(1), reader->pathOf(2)));
        ASSERT_TRUE(QFile::rename(reader->pathOf(0), reader->pathOf(1)));
        for (int n = 160; n < 200; ++n)
            writer.onEvent(numbered(n));
    } // the end writes what waits
    const EventLogContents all = reader->readAll();
    ASSERT_EQ(all.events.size(), 100u);
    for (std::size_t k = 0; k < all.events.size(); ++k)
        EXPECT_EQ(all.events[k].text, "event " + std::to_string(100 + k));
    EXPECT_EQ(all.skippedLines, 0);
    EXPECT_FALSE(all.truncatedTail);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(contents(reader->pathOf(k)).rfind("{\"velmar\":\"2.0.0.0\"", 0), 0u)
            << "every file starts with its header: " << k;
}

// A clock that holds the writer inside its write until the test lets it go.
class GateClock final : public IEventClock {
public:
    std::int64_t nowMs() const override {
        std::unique_lock lock(m_mutex);
        m_waiting = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_open; });
        return 1765218397000;
    }
    void waitForWriter() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_waiting; });
    }
    void open() {
        const std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    mutable bool m_waiting = false;
    bool m_open = false;
};

TEST(EventLogWriter, AFullQueueCountsWhatItDropsAndLogsTheCountNeverBlocking) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    GateClock clock;
    auto file = std::make_unique<CEventLogFile>(dir.path(), "2.0.0.0", clock);
    const CEventLogFile disk(dir.path(), "2.0.0.0", clock);
    const CEventLogFile* reader = &disk;
    CEventLogWriter writer(std::move(file), clock, 2);
    writer.onEvent(numbered(1));
    clock.waitForWriter(); // the writer is stuck writing event 1 (its header's time)
    for (int n = 2; n <= 6; ++n)
        writer.onEvent(numbered(n)); // would hang here if the producer waited
    EXPECT_EQ(writer.dropped(), 3u);
    clock.open();
    writer.flush();
    const EventLogContents all = reader->readAll();
    ASSERT_EQ(all.events.size(), 4u);
    EXPECT_EQ(all.events[0].text, "event 1");
    EXPECT_EQ(all.events[1].text, "event 2");
    EXPECT_EQ(all.events[2].text, "event 3");
    EXPECT_EQ(all.events[3].kind, EventKind::EventLog);
    EXPECT_EQ(all.events[3].severity, EventSeverity::Warning);
    EXPECT_THAT(all.events[3].text, ::testing::StartsWith("3 events were not written"));
}

} // namespace
} // namespace velmar
