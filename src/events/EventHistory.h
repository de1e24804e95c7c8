#pragma once

#include "events/Event.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velmar {

// The events the window shows: the last kMaxEvents of this run, newest first,
// filtered by severity, frame and a search text, and the alarm that waits to
// be acknowledged.
class CEventHistory final : public IEventSink {
public:
    static constexpr std::size_t kMaxEvents = 20000;

    struct Filter {
        EventSeverity minimum = EventSeverity::Info;
        std::string address; // empty: every frame
        std::string search;  // case-insensitive, in the text, frame name, address or serial
    };

    void onEvent(const Event& event) override;
    // Told after every change of the list or of the alarm.
    void setListener(std::function<void()> listener) { m_listener = std::move(listener); }

    void setFilter(Filter filter);
    const Filter& filter() const { return m_filter; }
    // The shown rows, newest first.
    std::size_t rowCount() const { return m_shown.size(); }
    const Event& row(std::size_t index) const;
    // The number of a shown row's event: events are numbered as they come,
    // so a view can tell new rows from those it shows already.
    std::size_t sequence(std::size_t index) const { return m_shown.at(index); }
    // Counts the times the shown rows were chosen anew (a filter changed);
    // between two, rows only come at the top and go at the bottom.
    std::size_t rebuilds() const { return m_rebuilds; }
    // Frames seen so far, by address, in the order they first appeared.
    const std::vector<FrameIdentity>& frames() const { return m_frames; }
    // Events dropped because the list was full (the log file keeps them).
    std::size_t dropped() const { return m_dropped; }

    // The newest alarm not yet acknowledged; it stays until acknowledged, even
    // when the unit recovers, so that a brief failure is not missed.
    const std::optional<Event>& pendingAlarm() const { return m_alarm; }
    int pendingAlarmCount() const { return m_alarmCount; }
    void acknowledge();

private:
    bool matches(const Event& event) const;
    void rebuild();
    void changed() {
        if (m_listener)
            m_listener();
    }

    std::deque<Event> m_events;      // oldest first
    std::size_t m_firstSequence = 0; // the number of m_events.front()
    std::deque<std::size_t> m_shown; // event numbers, newest first
    std::vector<FrameIdentity> m_frames;
    Filter m_filter;
    std::size_t m_dropped = 0;
    std::size_t m_rebuilds = 0;
    std::optional<Event> m_alarm;
    int m_alarmCount = 0;
    std::function<void()> m_listener;
};

// Several sinks as one: the history and the log file hear the same events.
class CEventFanOut final : public IEventSink {
public:
    void add(IEventSink& sink) { m_sinks.push_back(&sink); }
    void onEvent(const Event& event) override {
        for (IEventSink* sink : m_sinks)
            sink->onEvent(event);
    }

private:
    std::vector<IEventSink*> m_sinks;
};

} // namespace velmar
