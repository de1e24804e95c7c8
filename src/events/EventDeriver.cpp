#include "events/EventDeriver.h"

#include "engine/CodeTables.h"
#include "engine/FirmwareOutcome.h"
#include "protocol/ChannelNames.h"

#include <cstddef>
#include <cstdio>
#include <utility>

namespace velmar {

namespace {

constexpr std::size_t at(int index) { return static_cast<std::size_t>(index); }

std::string channelText(int channel) {
    return std::to_string(channel) + " (" + channelDisplayName(channel) + ")";
}

std::string routeText(int output, std::int32_t input) {
    if (input <= 0)
        return "output " + channelText(output) + " disconnected";
    return "output " + channelText(output) + " fed by input " + channelText(input);
}

std::string quoted(std::string_view text) {
    std::string out = "\"";
    out += text;
    out += '"';
    return out;
}

// "3 changes in 0.4 s"
std::string flapCount(int changes, std::int64_t spanMs) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", static_cast<double>(spanMs) / 1000.0);
    std::string out = std::to_string(changes);
    out += " changes in ";
    out += seconds;
    out += " s";
    return out;
}

// Which watched fields each message's handler writes (the dispatch is the
// only writer of the state).
enum : unsigned { kWatchClock = 1, kWatchPower = 2, kWatchInputs = 4, kWatchRoutes = 8 };

constexpr std::pair<CommandId, unsigned> kWatchedBy[] = {
    {CommandId::gactrate, kWatchClock},        {CommandId::gsyncstat, kWatchClock},
    {CommandId::gpsuconf, kWatchPower},        {CommandId::spsuconf, kWatchPower},
    {CommandId::gfanconf, kWatchPower},        {CommandId::sfanconf, kWatchPower},
    {CommandId::gpsustatus, kWatchPower},      {CommandId::gfanstatus, kWatchPower},
    {CommandId::gmaininpstatus, kWatchInputs}, {CommandId::lmaininpstatus, kWatchInputs},
    {CommandId::lcross, kWatchRoutes},         {CommandId::gcross, kWatchRoutes},
    {CommandId::scross, kWatchRoutes},
};

constexpr unsigned watchedBy(CommandId command) {
    for (const auto& [id, watched] : kWatchedBy)
        if (id == command)
            return watched;
    return 0;
}

// What a flap is reported as: a unit or sync that keeps failing is an alarm.
EventSeverity flapSeverity(EventKind kind) {
    return kind == EventKind::SyncLock || kind == EventKind::Psu || kind == EventKind::Fan
               ? EventSeverity::Alarm
               : EventSeverity::Warning;
}

} // namespace

void CEventDeriver::emit(const DeviceState& state, EventSeverity severity, EventKind kind,
                         std::string text) {
    emit(frameIdentityOf(state), severity, kind, std::move(text));
}

void CEventDeriver::emit(const FrameIdentity& frame, EventSeverity severity, EventKind kind,
                         std::string text) {
    Event event;
    event.timeMs = m_clock.nowMs();
    event.severity = severity;
    event.frame = frame;
    event.kind = kind;
    event.text = std::move(text);
    m_sink.onEvent(event);
}

template <typename MakeText>
void CEventDeriver::change(const DeviceState& state, int slot, EventSeverity severity,
                           EventKind kind, MakeText&& makeText, std::string_view subject,
                           std::string_view value, EventSeverity valueSeverity) {
    Flap& flap = m_flaps[at(slot)];
    const std::int64_t now = m_clock.nowMs();
    if (flap.active) {
        // Told already: only where it is now matters, for the settled event.
        ++flap.changes;
        flap.lastMs = now;
        if (flap.value != value)
            flap.value = std::string(value);
        flap.valueSeverity = valueSeverity;
        return;
    }
    while (!flap.recent.empty() && now - flap.recent.front() > kFlapWindowMs)
        flap.recent.pop_front();
    flap.recent.push_back(now);
    if (static_cast<int>(flap.recent.size()) < kFlapChanges) {
        emit(state, severity, kind, makeText());
        return;
    }
    flap.active = true;
    flap.changes = static_cast<int>(flap.recent.size());
    flap.firstMs = flap.recent.front();
    flap.lastMs = now;
    flap.recent.clear();
    flap.frame = frameIdentityOf(state);
    flap.kind = kind;
    flap.subject = std::string(subject);
    flap.value = std::string(value);
    flap.valueSeverity = valueSeverity;
    std::string text = flap.subject;
    text += " changing repeatedly (";
    text += flapCount(flap.changes, now - flap.firstMs);
    text += ')';
    emit(flap.frame, flapSeverity(kind), kind, std::move(text));
    if (m_flapping++ == 0 && m_timers != nullptr)
        m_timers->startTimer(kTimerFlapSettle, kFlapCheckMs);
}

void CEventDeriver::checkSettled() {
    if (m_flapping == 0)
        return;
    const std::int64_t now = m_clock.nowMs();
    for (Flap& flap : m_flaps) {
        if (!flap.active || now - flap.lastMs < kFlapWindowMs)
            continue;
        flap.active = false;
        std::string text = flap.subject;
        text += " settled: ";
        text += flap.value;
        text += ", after ";
        text += flapCount(flap.changes, flap.lastMs - flap.firstMs);
        emit(flap.frame, flap.valueSeverity, flap.kind, std::move(text));
        if (--m_flapping == 0 && m_timers != nullptr)
            m_timers->stopTimer(kTimerFlapSettle);
    }
}

void CEventDeriver::resetFlaps() {
    if (m_flapping > 0 && m_timers != nullptr)
        m_timers->stopTimer(kTimerFlapSettle);
    m_flaps = {};
    m_flapping = 0;
}

void CEventDeriver::linkOpened(const DeviceState& state) {
    m_seen = {};
    resetFlaps();
    emit(state, EventSeverity::Info, EventKind::Connected, "Connected");
}

void CEventDeriver::connectFailed(std::string_view address) {
    Event event;
    event.timeMs = m_clock.nowMs();
    event.severity = EventSeverity::Warning;
    event.frame.address = std::string(address);
    event.kind = EventKind::ConnectFailed;
    event.text = "Connect failed: the frame did not respond";
    m_sink.onEvent(event);
}

void CEventDeriver::linkClosing(const DeviceState& state, std::string_view lost) {
    if (lost.empty())
        emit(state, EventSeverity::Info, EventKind::Disconnected, "Disconnected");
    else
        emit(state, EventSeverity::Warning, EventKind::LinkLost, "Link lost: " + std::string(lost));
    m_seen = {};
    resetFlaps();
}

void CEventDeriver::dispatched(const DeviceState& state, const DeviceMessage& message,
                               bool isReply) {
    if (!state.connected)
        return;
    // Without a timer host, messages are the only occasion to see a value settle.
    if (m_timers == nullptr)
        checkSettled();
    // Only the messages whose handlers write a watched field can change it:
    // the rest (most of a flood) cost a table look-up.
    const unsigned watched = watchedBy(message.command);
    if ((watched & kWatchClock) != 0)
        watchClock(state);
    if ((watched & kWatchPower) != 0)
        watchPower(state);
    if ((watched & kWatchInputs) != 0)
        watchInputs(state);
    if ((watched & kWatchRoutes) != 0)
        watchRoute(state, message, isReply);
}

void CEventDeriver::watchClock(const DeviceState& state) {
    const LiveStatus& live = state.live;
    // Nothing of the clock is known before the first "gsyncstat" or "gactrate";
    // the zeros of a fresh state are not a report.
    Seen& rate = m_seen.rate;
    if (live.actualRate != 0 && (!rate.known || rate.value != live.actualRate)) {
        const std::string_view name = sampleRateName(live.actualRate);
        const EventSeverity severity =
            name == kUnknownCode ? EventSeverity::Warning : EventSeverity::Info;
        if (rate.known)
            change(
                state, SlotRate, severity, EventKind::SampleRate,
                [&] {
                    return "Sample rate changed from " + std::string(sampleRateName(rate.value)) +
                           " to " + std::string(name);
                },
                "Sample rate", name, severity);
        else if (name == kUnknownCode)
            emit(state, EventSeverity::Warning, EventKind::SampleRate,
                 "Sample rate not recognised (code " + std::to_string(live.actualRate) + ")");
        rate = {live.actualRate, true};
    }

    if (live.syncSource == 0)
        return;
    const std::string_view source = syncSourceName(live.syncSource);
    Seen& src = m_seen.syncSource;
    if (src.known && src.value != live.syncSource)
        change(
            state, SlotSyncSource, EventSeverity::Info, EventKind::SyncSource,
            [&] {
                return "Sync source changed from " + std::string(syncSourceName(src.value)) +
                       " to " + std::string(source);
            },
            "Sync source", source, EventSeverity::Info);
    src = {live.syncSource, true};

    Seen& lock = m_seen.syncState;
    const bool locked = live.syncState == 0;
    const auto within = [&](std::string_view what) {
        std::string text(what);
        text += " (";
        text += source;
        text += ')';
        return text;
    };
    if (!lock.known) {
        if (!locked)
            emit(state, EventSeverity::Alarm, EventKind::SyncLock, within("Sync not locked"));
    } else if ((lock.value == 0) != locked) {
        const EventSeverity severity = locked ? EventSeverity::Info : EventSeverity::Alarm;
        change(
            state, SlotSyncLock, severity, EventKind::SyncLock,
            [&] { return within(locked ? "Sync locked again" : "Sync lost"); }, "Sync",
            within(locked ? "locked" : "not locked"), severity);
    }
    lock = {live.syncState, true};
}

void CEventDeriver::watchPower(const DeviceState& state) {
    const LiveStatus& live = state.live;
    const auto watchUnit = [&](Seen& seen, int slot, bool fitted, bool reported,
                               std::int32_t status, EventKind kind, std::string_view what, int k) {
        // A unit that is not fitted or whose status was never answered has no
        // state to change; it stays unknown.
        if (!fitted || !reported)
            return;
        const bool faulty = status != 0;
        const auto unit = [&] {
            std::string name(what);
            name += ' ';
            name += std::to_string(k);
            return name;
        };
        if (!seen.known) {
            if (faulty)
                emit(state, EventSeverity::Alarm, kind, unit() + " is faulty");
        } else if ((seen.value != 0) != faulty) {
            const EventSeverity severity = faulty ? EventSeverity::Alarm : EventSeverity::Info;
            change(
                state, slot, severity, kind,
                [&] { return unit() + (faulty ? " failed" : " recovered"); }, unit(),
                faulty ? "faulty" : "OK", severity);
        }
        seen = {status, true};
    };
    for (int k = 1; k <= 2; ++k)
        watchUnit(m_seen.psu[at(k)], SlotPsu + k, (state.settings.psuConfig & (1 << (k - 1))) != 0,
                  live.psuReported[at(k)], live.psuStatus[at(k)], EventKind::Psu, "PSU", k);
    for (int k = 1; k <= 3; ++k)
        watchUnit(m_seen.fan[at(k)], SlotFan + k, (state.settings.fanConfig & (1 << (k - 1))) != 0,
                  live.fanReported[at(k)], live.fanStatus[at(k)], EventKind::Fan, "FAN", k);
}

void CEventDeriver::watchInputs(const DeviceState& state) {
    for (int k = 1; k <= kMainInputs; ++k) {
        const std::string_view now = state.live.mainInputStatus[at(k)].value.view();
        std::string& seen = m_seen.input[at(k)];
        bool& known = m_seen.inputKnown[at(k)];
        // An empty status is one the frame did not give (a refused list):
        // it is no change of the input.
        if (now.empty() || (known && seen == now))
            continue;
        if (known)
            change(
                state, inputSlot(k), EventSeverity::Info, EventKind::InputStatus,
                [&] {
                    return "Input " + std::to_string(k) + " status changed from " + quoted(seen) +
                           " to " + quoted(now);
                },
                "Input " + std::to_string(k) + " status", quoted(now), EventSeverity::Info);
        seen = std::string(now);
        known = true;
    }
}

void CEventDeriver::watchRoute(const DeviceState& state, const DeviceMessage& message,
                               bool isReply) {
    auto& routes = m_seen.routes;
    const LiveStatus& live = state.live;
    if (message.command == CommandId::lcross) {
        // The poll's whole list: what the frame routes now, not a change.
        routes = live.crosspoints;
        return;
    }
    if (message.command != CommandId::gcross && message.command != CommandId::scross)
        return;
    const int output = message.i(1);
    if (output < 1 || output > state.crosspointCount())
        return;
    const bool own = isReply && message.command == CommandId::scross;
    if (own && message.status != 0) {
        emit(state, EventSeverity::Warning, EventKind::RouteRefused,
             "Route refused (status " + std::to_string(message.status) + "): output " +
                 channelText(output) + " from input " + std::to_string(message.i(2)));
        return;
    }
    const std::int32_t now = live.crosspoints[at(output)];
    std::int32_t& seen = routes[at(output)];
    if (message.status != 0 || seen == now)
        return;
    seen = now;
    // A poll's answer only tells what is; changes are what this program set
    // and what the frame announces on behalf of other clients.
    if (own)
        emit(state, EventSeverity::Info, EventKind::RouteOwn,
             "Route set: " + routeText(output, now));
    else if (!isReply)
        emit(state, EventSeverity::Info, EventKind::RouteOther,
             "Route changed by another client: " + routeText(output, now));
}

void CEventDeriver::settingsApplied(const DeviceState& state, int requests) {
    if (requests <= 0)
        return;
    emit(state, EventSeverity::Info, EventKind::SettingsApplied,
         "Settings applied: " + std::to_string(requests) +
             (requests == 1 ? " request sent" : " requests sent"));
}

void CEventDeriver::firmwareEnded(const DeviceState& state, const FlashOutcome& outcome) {
    const std::string records =
        std::to_string(outcome.recordsSent) + " of " + std::to_string(outcome.totalRecords);
    switch (outcome.kind) {
    case FlashOutcome::Programmed:
        emit(state, EventSeverity::Info, EventKind::Firmware,
             "Firmware programmed from " + outcome.path + " (" + records + " records)");
        break;
    case FlashOutcome::Failed: {
        std::string text =
            "Firmware transfer failed after " + records + " records: " + outcome.path;
        if (!outcome.reason.empty()) {
            text += ": ";
            text += outcome.reason;
        }
        emit(state, EventSeverity::Alarm, EventKind::Firmware, std::move(text));
        break;
    }
    case FlashOutcome::Refused:
        emit(state, EventSeverity::Warning, EventKind::Firmware,
             "Firmware file refused: " + outcome.path + ": " + outcome.reason);
        break;
    case FlashOutcome::None: break;
    }
}

} // namespace velmar
