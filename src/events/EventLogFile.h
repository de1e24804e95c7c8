#pragma once

#include "events/Event.h"
#include "events/EventLog.h"

#include <QString>
#include <cstddef>
#include <functional>
#include <string>

namespace velmar {

// The event log on disk: "events.jsonl" in a folder, rotated by size into
// "events.1.jsonl" (newest) ... "events.N-1.jsonl" (oldest), so at most N
// files are ever kept. Every event is appended as one line and flushed to
// disk before append() returns. A file that cannot be written is reported
// through the error callback once per distinct message, never silently.
class CEventLogFile final : public IEventSink {
public:
    CEventLogFile(QString folder, std::string version, const IEventClock& clock,
                  std::size_t maxBytes = kEventLogMaxBytes, int maxFiles = kEventLogFiles);

    void setErrorHandler(std::function<void(const std::string&)> handler) {
        m_onError = std::move(handler);
    }

    // Empty on success, else why the event was not written.
    std::string append(const Event& event);
    void onEvent(const Event& event) override { append(event); }

    QString currentPath() const { return pathOf(0); }
    QString pathOf(int index) const; // 0: the current file, 1..: older ones
    const std::string& lastError() const { return m_lastError; }

    // Every file of the log, oldest first; `error` names files that exist and
    // could not be read.
    EventLogContents readAll(std::string* error = nullptr) const;

private:
    std::string rotate();

    QString m_folder;
    std::string m_version;
    const IEventClock& m_clock;
    std::size_t m_maxBytes;
    int m_maxFiles;
    std::string m_lastError;
    bool m_headerWritten = false;
    std::function<void(const std::string&)> m_onError;
};

// The wall clock, for the window and velmarctl.
class CSystemEventClock final : public IEventClock {
public:
    std::int64_t nowMs() const override;
};

} // namespace velmar
