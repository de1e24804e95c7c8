#pragma once

#include "events/Event.h"
#include "engine/StateObserver.h"

#include <array>
#include <cstdint>
#include <deque>
#include <string>

namespace velmar {

struct FlashOutcome;

// Turns what the engine sees into events. It keeps the last value it saw of
// everything it watches and makes an event only when a value differs from
// that: a frame that repeats "PSU 2 faulty" on every poll makes one event.
//
// The first report of a value after a connect sets it as known. A good first
// report (PSU OK, sync locked) makes no event, since nothing changed; a bad
// one does, because "connected to a frame whose PSU 2 has failed" is exactly
// what the operator must find in the log later.
//
// A value that flaps (a sync input coming and going, a loose fan sensor) is
// told once, as monitoring systems do: its kFlapChanges-th change within
// kFlapWindowMs makes one "changing repeatedly" event instead of its own, the
// changes after it make none, and once the value has held still for
// kFlapWindowMs one event tells where it settled. The time is the clock's;
// with a timer host, a settled value is told without waiting for the next
// message (the owner calls checkSettled() when kTimerFlapSettle fires).
inline constexpr int kFlapChanges = 3;
inline constexpr std::int64_t kFlapWindowMs = 10'000;
inline constexpr int kTimerFlapSettle = 40;
inline constexpr int kFlapCheckMs = 1000;

class CEventDeriver final : public IStateObserver {
public:
    CEventDeriver(const IEventClock& clock, IEventSink& sink, ITimerHost* timers = nullptr)
        : m_clock(clock), m_sink(sink), m_timers(timers) {}

    void linkOpened(const DeviceState& state) override;
    void connectFailed(std::string_view address) override;
    void linkClosing(const DeviceState& state, std::string_view lost) override;
    void dispatched(const DeviceState& state, const DeviceMessage& message, bool isReply) override;
    void settingsApplied(const DeviceState& state, int requests) override;
    // A firmware file's transfer ended, or the file was refused.
    void firmwareEnded(const DeviceState& state, const FlashOutcome& outcome) override;
    // Tells each flapping value that has held still long enough where it
    // settled.
    void checkSettled();
    // How many values are flapping now.
    int flapping() const { return m_flapping; }

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

    // What a flapping value is and where it is now, for the event that tells
    // where it settled.
    struct Flap {
        std::deque<std::int64_t> recent; // times of the latest changes, within the window
        bool active = false;
        int changes = 0;
        std::int64_t firstMs = 0;
        std::int64_t lastMs = 0;
        FrameIdentity frame;
        EventKind kind = EventKind::Connected;
        std::string subject; // "Sync source", "PSU 2"
        std::string value;   // "Word clock", "faulty"
        EventSeverity valueSeverity = EventSeverity::Info;
    };
    // One flap record per watched value.
    enum FlapSlot : int { SlotRate, SlotSyncSource, SlotSyncLock, SlotPsu, SlotFan = SlotPsu + 3 };
    static constexpr int kFlapSlots = SlotFan + 4 + kMainInputs + 1;
    static constexpr int inputSlot(int input) { return SlotFan + 4 + input; }

    // A watched value changed: told as `makeText()` says, unless it flaps.
    template <typename MakeText>
    void change(const DeviceState& state, int slot, EventSeverity severity, EventKind kind,
                MakeText&& makeText, std::string_view subject, std::string_view value,
                EventSeverity valueSeverity);
    void resetFlaps();
    void emit(const DeviceState& state, EventSeverity severity, EventKind kind, std::string text);
    void emit(const FrameIdentity& frame, EventSeverity severity, EventKind kind, std::string text);
    void watchClock(const DeviceState& state);
    void watchPower(const DeviceState& state);
    void watchInputs(const DeviceState& state);
    void watchRoute(const DeviceState& state, const DeviceMessage& message, bool isReply);

    const IEventClock& m_clock;
    IEventSink& m_sink;
    ITimerHost* m_timers;
    Watched m_seen;
    std::array<Flap, kFlapSlots> m_flaps{};
    int m_flapping = 0;
};

} // namespace velmar
