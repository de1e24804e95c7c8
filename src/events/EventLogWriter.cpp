#include "events/EventLogWriter.h"

#include <utility>

namespace velmar {

CEventLogWriter::CEventLogWriter(std::unique_ptr<CEventLogFile> file, const IEventClock& clock,
                                 std::size_t capacity)
    : m_file(std::move(file)), m_clock(clock), m_capacity(capacity == 0 ? 1 : capacity),
      m_thread([this] { run(); }) {}

CEventLogWriter::~CEventLogWriter() {
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void CEventLogWriter::onEvent(const Event& event) {
    {
        const std::lock_guard lock(m_mutex);
        if (m_queue.size() >= m_capacity) {
            ++m_droppedPending;
            ++m_droppedTotal;
            return;
        }
        m_queue.push_back(event);
    }
    m_wake.notify_one();
}

void CEventLogWriter::flush() {
    std::unique_lock lock(m_mutex);
    const std::uint64_t ticket = ++m_flushAsked;
    m_wake.notify_one();
    m_done.wait(lock, [&] { return m_flushServed >= ticket; });
}

std::uint64_t CEventLogWriter::dropped() const {
    const std::lock_guard lock(m_mutex);
    return m_droppedTotal;
}

void CEventLogWriter::writeBatch(std::vector<Event>& batch, std::uint64_t droppedNow) {
    if (droppedNow > 0) {
        // Room again: say how much is missing before what follows.
        Event note;
        note.timeMs = m_clock.nowMs();
        note.severity = EventSeverity::Warning;
        note.kind = EventKind::EventLog;
        note.text = std::to_string(droppedNow);
        note.text += droppedNow == 1 ? " event was" : " events were";
        note.text += " not written to the event log: they came faster than the disk took them";
        batch.push_back(std::move(note));
    }
    if (!batch.empty())
        m_file->write(batch); // a failure is reported through the file's handler
}

void CEventLogWriter::run() {
    using Clock = std::chrono::steady_clock;
    std::vector<Event> batch;
    bool unsynced = false;
    Clock::time_point lastSync = Clock::now() - kSyncInterval;
    std::unique_lock lock(m_mutex);
    for (;;) {
        const auto hasWork = [this] {
            return !m_queue.empty() || m_droppedPending > 0 || m_flushAsked > m_flushServed ||
                   m_stop;
        };
        if (unsynced)
            m_wake.wait_until(lock, lastSync + kSyncInterval, hasWork);
        else
            m_wake.wait(lock, hasWork);

        batch.clear();
        batch.swap(m_queue);
        const std::uint64_t droppedNow = std::exchange(m_droppedPending, 0);
        const std::uint64_t flushTicket = m_flushAsked;
        const bool stop = m_stop;
        lock.unlock();

        writeBatch(batch, droppedNow);
        unsynced = unsynced || !batch.empty();
        const Clock::time_point now = Clock::now();
        // A flush or the end syncs at once; otherwise a few times a second.
        const bool syncNow = flushTicket > m_flushServed || stop || now - lastSync >= kSyncInterval;
        if (unsynced && syncNow) {
            m_file->sync();
            lastSync = now;
            unsynced = false;
        }
        if (stop) {
            m_file->close();
            lock.lock();
            m_flushServed = m_flushAsked;
            m_done.notify_all();
            return;
        }
        lock.lock();
        if (flushTicket > m_flushServed) {
            m_flushServed = flushTicket;
            m_done.notify_all();
        }
    }
}

} // namespace velmar
