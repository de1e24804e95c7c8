#pragma once

#include "events/Event.h"
#include "events/EventLogFile.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace velmar {

// Writes the event log from a thread of its own, so the thread that makes the
// events (the window's, with the engine on it) never waits for the disk. The
// events wait in a bounded queue; the writer takes all that arrived at once,
// writes them in one go and syncs at most every kSyncInterval, and at the end.
// When the queue is full an event is counted, never waited for; the count is
// logged as an event of its own once there is room again.
class CEventLogWriter final : public IEventSink {
public:
    static constexpr std::size_t kQueueCapacity = 4096;
    static constexpr std::chrono::milliseconds kSyncInterval{250};

    CEventLogWriter(std::unique_ptr<CEventLogFile> file, const IEventClock& clock,
                    std::size_t capacity = kQueueCapacity);
    // Writes what waits, syncs and closes the file.
    ~CEventLogWriter() override;
    CEventLogWriter(const CEventLogWriter&) = delete;
    CEventLogWriter& operator=(const CEventLogWriter&) = delete;

    // Takes a copy of the event; never blocks on the disk.
    void onEvent(const Event& event) override;
    // Returns once every event handed over before the call is written and
    // synced (or refused by the file).
    void flush();
    // Events left out because the queue was full, in all.
    std::uint64_t dropped() const;

    // The file's paths and its reader; the writing is the thread's.
    const CEventLogFile& file() const { return *m_file; }

private:
    void run();
    void writeBatch(std::vector<Event>& batch, std::uint64_t droppedNow);

    std::unique_ptr<CEventLogFile> m_file;
    const IEventClock& m_clock;
    const std::size_t m_capacity;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake; // the writer: work, a flush or the end
    std::condition_variable m_done; // flush(): a ticket was served
    std::vector<Event> m_queue;
    std::uint64_t m_droppedPending = 0; // not yet logged
    std::uint64_t m_droppedTotal = 0;
    std::uint64_t m_flushAsked = 0;  // tickets handed out by flush()
    std::uint64_t m_flushServed = 0; // tickets whose events are on disk
    bool m_stop = false;

    std::thread m_thread; // last: starts once everything above exists
};

} // namespace velmar
