#pragma once

#include "engine/FrameIdentity.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmar {

// One thing that happened to a frame, as the event log keeps it. Events are
// made in one place (CEventDeriver) from the state the dispatch writes, so the
// window, velmarctl and the log file all tell the same story.

enum class EventSeverity : unsigned char { Info, Warning, Alarm };

enum class EventKind : unsigned char {
    Connected,
    ConnectFailed,
    Disconnected,
    LinkLost,
    SyncSource,
    SyncLock,
    SampleRate,
    Psu,
    Fan,
    InputStatus,
    RouteOwn,     // a route this program asked for, confirmed by the frame
    RouteRefused, // a route this program asked for, refused by the frame
    RouteOther,   // a route another client made (the frame's announcement)
    SettingsApplied,
    Firmware,
    EventLog, // about the log itself: events it could not keep
};

struct Event {
    std::int64_t timeMs = 0; // milliseconds since 1970-01-01 UTC
    EventSeverity severity = EventSeverity::Info;
    FrameIdentity frame;
    EventKind kind = EventKind::Connected;
    std::string text; // plain words, without the frame's name
    friend bool operator==(const Event&, const Event&) = default;
};

// Stable names, as written to the log ("info", "psu" ...).
std::string_view severityName(EventSeverity severity);
std::optional<EventSeverity> severityFromName(std::string_view name);
std::string_view eventKindName(EventKind kind);
std::optional<EventKind> eventKindFromName(std::string_view name);

// "Studio A (10.0.1.20)", or the address alone while the name is unknown.
std::string frameLabel(const FrameIdentity& frame);

// UTC time as "2026-12-08 18:26:37.125".
std::string formatEventTime(std::int64_t timeMs);

// Where the deriver learns the time; the shell's reads the wall clock, tests
// keep a virtual one.
class IEventClock {
public:
    virtual ~IEventClock() = default;
    virtual std::int64_t nowMs() const = 0;
};

// Where events go: the log file, the window's panel, velmarctl's output.
class IEventSink {
public:
    virtual ~IEventSink() = default;
    virtual void onEvent(const Event& event) = 0;
};

} // namespace velmar
