#include "events/Event.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <utility>

namespace velmar {

namespace {

constexpr std::array<std::pair<EventSeverity, std::string_view>, 3> kSeverityNames{{
    {EventSeverity::Info, "info"},
    {EventSeverity::Warning, "warning"},
    {EventSeverity::Alarm, "alarm"},
}};

constexpr std::array<std::pair<EventKind, std::string_view>, 16> kKindNames{{
    {EventKind::Connected, "connect"},
    {EventKind::ConnectFailed, "connect-failed"},
    {EventKind::Disconnected, "disconnect"},
    {EventKind::LinkLost, "link-lost"},
    {EventKind::SyncSource, "sync-source"},
    {EventKind::SyncLock, "sync-lock"},
    {EventKind::SampleRate, "sample-rate"},
    {EventKind::Psu, "psu"},
    {EventKind::Fan, "fan"},
    {EventKind::InputStatus, "input-status"},
    {EventKind::RouteOwn, "route"},
    {EventKind::RouteRefused, "route-refused"},
    {EventKind::RouteOther, "route-other-client"},
    {EventKind::SettingsApplied, "settings-applied"},
    {EventKind::Firmware, "firmware"},
    {EventKind::EventLog, "event-log"},
}};

template <typename Table, typename Key>
std::string_view nameIn(const Table& table, Key key) {
    for (const auto& [k, name] : table)
        if (k == key)
            return name;
    return {};
}

template <typename Key, typename Table>
std::optional<Key> keyIn(const Table& table, std::string_view name) {
    for (const auto& [k, n] : table)
        if (n == name)
            return k;
    return std::nullopt;
}

} // namespace

std::string_view severityName(EventSeverity severity) { return nameIn(kSeverityNames, severity); }

std::optional<EventSeverity> severityFromName(std::string_view name) {
    return keyIn<EventSeverity>(kSeverityNames, name);
}

std::string_view eventKindName(EventKind kind) { return nameIn(kKindNames, kind); }

std::optional<EventKind> eventKindFromName(std::string_view name) {
    return keyIn<EventKind>(kKindNames, name);
}

std::string frameLabel(const FrameIdentity& frame) {
    if (frame.name.empty())
        return frame.address;
    if (frame.address.empty())
        return frame.name;
    return frame.name + " (" + frame.address + ")";
}

std::string formatEventTime(std::int64_t timeMs) {
    using namespace std::chrono;
    const sys_time<milliseconds> at{milliseconds{timeMs}};
    const sys_days day = floor<days>(at);
    const year_month_day ymd{day};
    const hh_mm_ss<milliseconds> tod{at - day};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d.%03d", int(ymd.year()),
                  unsigned(ymd.month()), unsigned(ymd.day()), int(tod.hours().count()),
                  int(tod.minutes().count()), int(tod.seconds().count()),
                  int(tod.subseconds().count()));
    return text;
}

} // namespace velmar
