#pragma once

#include "events/Event.h"

#include <string>
#include <vector>

namespace velmar::test {

// A clock that only moves when told to.
class VirtualEventClock final : public IEventClock {
public:
    std::int64_t now = 1765218397000; // 2025-12-08 18:26:37 UTC
    std::int64_t nowMs() const override { return now; }
};

class RecordingSink final : public IEventSink {
public:
    std::vector<Event> events;
    void onEvent(const Event& event) override { events.push_back(event); }

    // "severity kind: text" of each event, for compact expectations.
    std::vector<std::string> summary() const {
        std::vector<std::string> out;
        for (const Event& e : events)
            out.push_back(std::string(severityName(e.severity)) + " " +
                          std::string(eventKindName(e.kind)) + ": " + e.text);
        return out;
    }
    std::vector<std::string> take() {
        std::vector<std::string> out = summary();
        events.clear();
        return out;
    }
};

} // namespace velmar::test
