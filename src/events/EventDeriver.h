#pragma once

#include "events/Event.h"
#include "main/StateObserver.h"

#include <array>
#include <string>

namespace velmar {

struct FlashOutcome;

// The frame as the state names it; the address alone before it answered.
FrameIdentity frameIdentityOf(const DeviceState& state);

// Turns what the engine sees into events. It keeps the last value it saw of
// everything it watches and makes an event only when a value differs from
// that: a frame that repeats "PSU 2 faulty" on every poll makes one event.
//
// The first report of a value after a connect sets it as known. A good first
// report (PSU OK, sync locked) makes no event, since nothing changed; a bad
// one does, because "connected to a frame whose PSU 2 has failed" is exactly
// what the operator must find in the log later.
class CEventDeriver final : public IStateObserver {
public:
    CEventDeriver(const IEventClock& clock, IEventSink& sink) : m_clock(clock), m_sink(sink) {}

    void linkOpened(const DeviceState& state) override;
    void connectFailed(std::string_view address) override;
    void linkClosing(const DeviceState& state, std::string_view lost) override;
    void dispatched(const DeviceState& state, const DeviceMessage& message, bool isReply) override;
    void settingsApplied(const DeviceState& state, int requests) override;
    // A firmware file's transfer ended, or the file was refused.
    void firmwareEnded(const DeviceState& state, const FlashOutcome& outcome) override;

private:
    // A watched value and whether the frame has reported it since the connect.
    struct Seen {
        std::int32_t value = 0;
        bool known = false;
    };
    struct Watched {
        Seen rate;
        Seen syncSource;
        Seen syncState;
        std::array<Seen, 3> psu{}; // [1..2]
        std::array<Seen, 4> fan{}; // [1..3]
        std::array<std::string, kMainInputs + 1> input{};
        std::array<bool, kMainInputs + 1> inputKnown{};
        std::array<std::int32_t, kMaxCrosspoints + 1> routes{};
    };

    void emit(const DeviceState& state, EventSeverity severity, EventKind kind, std::string text);
    void watchClock(const DeviceState& state);
    void watchPower(const DeviceState& state);
    void watchInputs(const DeviceState& state);
    void watchRoute(const DeviceState& state, const DeviceMessage& message, bool isReply);

    const IEventClock& m_clock;
    IEventSink& m_sink;
    Watched m_seen;
};

} // namespace velmar
