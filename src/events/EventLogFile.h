#pragma once

#include "events/Event.h"
#include "events/EventLog.h"

#include <QString>
#include <cstddef>
#include <functional>
#include <span>
#include <string>

namespace velmar {

// The event log on disk: "events.jsonl" in a folder, rotated by size into
// "events.1.jsonl" (newest) ... "events.N-1.jsonl" (oldest), so at most N
// files are ever kept. The current file stays open between writes; a batch
// of events goes out in one write, and sync() puts what was written on disk.
// A file that cannot be written is reported through the error callback once
// per distinct message, never silently.
class CEventLogFile final : public IEventSink {
public:
    CEventLogFile(QString folder, std::string version, const IEventClock& clock,
                  std::size_t maxBytes = kEventLogMaxBytes, int maxFiles = kEventLogFiles);
    ~CEventLogFile() override; // syncs and closes
    CEventLogFile(const CEventLogFile&) = delete;
    CEventLogFile& operator=(const CEventLogFile&) = delete;

    // The callback is called on the thread that writes.
    void setErrorHandler(std::function<void(const std::string&)> handler) {
        m_onError = std::move(handler);
    }

    // Appends the events (one write per file they fill) without waiting for
    // the disk. Empty on success, else why they were not written.
    std::string write(std::span<const Event> events);
    // Puts what was written since the last sync on disk.
    std::string sync();
    // One event, written and synced before it returns.
    std::string append(const Event& event);
    void onEvent(const Event& event) override { append(event); }
    // Syncs and closes the file; the next write opens it again.
    void close();

    QString currentPath() const { return pathOf(0); }
    QString pathOf(int index) const; // 0: the current file, 1..: older ones
    const std::string& lastError() const { return m_lastError; }

    // Every file of the log, oldest first; `error` names files that exist and
    // could not be read. Reads the disk only: safe beside a writing thread.
    EventLogContents readAll(std::string* error = nullptr) const;

private:
    std::string failed(std::string why);
    std::string open();
    std::string writeBytes(const std::string& bytes);
    std::string startNewFile();
    std::string rotate();

    QString m_folder;
    std::string m_version;
    const IEventClock& m_clock;
    std::size_t m_maxBytes;
    int m_maxFiles;
    std::string m_lastError;
    std::function<void(const std::string&)> m_onError;
    int m_fd = -1;
    std::size_t m_size = 0;     // of the open file
    bool m_needHeader = true;   // this run has not yet marked the open file
    bool m_needNewline = false; // the open file ends inside a torn line
    bool m_unsynced = false;
};

// The wall clock, for the window and velmarctl.
class CSystemEventClock final : public IEventClock {
public:
    std::int64_t nowMs() const override;
};

} // namespace velmar
