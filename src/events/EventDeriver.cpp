#include "events/EventDeriver.h"

#include "main/CodeTables.h"
#include "maintenance/FlashTransfer.h"
#include "protocol/ChannelNames.h"

#include <cstddef>
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

} // namespace

FrameIdentity frameIdentityOf(const DeviceState& state) {
    FrameIdentity frame;
    frame.address = state.connectedAddress;
    frame.id = state.settings.deviceId;
    frame.name = std::string(state.settings.deviceName.view());
    frame.serial = std::string(state.settings.serialNumber.view());
    return frame;
}

void CEventDeriver::emit(const DeviceState& state, EventSeverity severity, EventKind kind,
                         std::string text) {
    Event event;
    event.timeMs = m_clock.nowMs();
    event.severity = severity;
    event.frame = frameIdentityOf(state);
    event.kind = kind;
    event.text = std::move(text);
    m_sink.onEvent(event);
}

void CEventDeriver::linkOpened(const DeviceState& state) {
    m_seen = {};
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
}

void CEventDeriver::dispatched(const DeviceState& state, const DeviceMessage& message,
                               bool isReply) {
    if (!state.connected)
        return;
    watchClock(state);
    watchPower(state);
    watchInputs(state);
    watchRoute(state, message, isReply);
}

void CEventDeriver::watchClock(const DeviceState& state) {
    const LiveStatus& live = state.live;
    // Nothing of the clock is known before the first "gsyncstat" or "gactrate";
    // the zeros of a fresh state are not a report.
    Seen& rate = m_seen.rate;
    if (live.actualRate != 0 && (!rate.known || rate.value != live.actualRate)) {
        const std::string_view name = sampleRateName(live.actualRate);
        if (rate.known)
            emit(state, name == kUnknownCode ? EventSeverity::Warning : EventSeverity::Info,
                 EventKind::SampleRate,
                 "Sample rate changed from " + std::string(sampleRateName(rate.value)) + " to " +
                     std::string(name));
        else if (name == kUnknownCode)
            emit(state, EventSeverity::Warning, EventKind::SampleRate,
                 "Sample rate not recognised (code " + std::to_string(live.actualRate) + ")");
        rate = {live.actualRate, true};
    }

    if (live.syncSource == 0)
        return;
    const std::string source(syncSourceName(live.syncSource));
    Seen& src = m_seen.syncSource;
    if (src.known && src.value != live.syncSource)
        emit(state, EventSeverity::Info, EventKind::SyncSource,
             "Sync source changed from " + std::string(syncSourceName(src.value)) + " to " +
                 source);
    src = {live.syncSource, true};

    Seen& lock = m_seen.syncState;
    const bool locked = live.syncState == 0;
    if (!lock.known) {
        if (!locked)
            emit(state, EventSeverity::Alarm, EventKind::SyncLock,
                 "Sync not locked (" + source + ")");
    } else if ((lock.value == 0) != locked) {
        if (locked)
            emit(state, EventSeverity::Info, EventKind::SyncLock,
                 "Sync locked again (" + source + ")");
        else
            emit(state, EventSeverity::Alarm, EventKind::SyncLock, "Sync lost (" + source + ")");
    }
    lock = {live.syncState, true};
}

void CEventDeriver::watchPower(const DeviceState& state) {
    const LiveStatus& live = state.live;
    const auto watchUnit = [&](Seen& seen, bool fitted, bool reported, std::int32_t status,
                               EventKind kind, const std::string& unit) {
        // A unit that is not fitted or whose status was never answered has no
        // state to change; it stays unknown.
        if (!fitted || !reported)
            return;
        const bool faulty = status != 0;
        if (!seen.known) {
            if (faulty)
                emit(state, EventSeverity::Alarm, kind, unit + " is faulty");
        } else if ((seen.value != 0) != faulty) {
            if (faulty)
                emit(state, EventSeverity::Alarm, kind, unit + " failed");
            else
                emit(state, EventSeverity::Info, kind, unit + " recovered");
        }
        seen = {status, true};
    };
    for (int k = 1; k <= 2; ++k)
        watchUnit(m_seen.psu[at(k)], (state.settings.psuConfig & (1 << (k - 1))) != 0,
                  live.psuReported[at(k)], live.psuStatus[at(k)], EventKind::Psu,
                  "PSU " + std::to_string(k));
    for (int k = 1; k <= 3; ++k)
        watchUnit(m_seen.fan[at(k)], (state.settings.fanConfig & (1 << (k - 1))) != 0,
                  live.fanReported[at(k)], live.fanStatus[at(k)], EventKind::Fan,
                  "FAN " + std::to_string(k));
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
            emit(state, EventSeverity::Info, EventKind::InputStatus,
                 "Input " + std::to_string(k) + " status changed from " + quoted(seen) + " to " +
                     quoted(now));
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
