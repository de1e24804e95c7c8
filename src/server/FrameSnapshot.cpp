#include "server/FrameSnapshot.h"

#include "engine/CodeTables.h"
#include "engine/FrameIdentity.h"
#include "protocol/ChannelNames.h"
#include "protocol/JsonWriter.h"
#include "session/Reports.h"

#include <charconv>

namespace velmar {

namespace {

std::size_t at(int n) { return static_cast<std::size_t>(n); }

void writeTextOrNull(CJsonWriter& out, std::string_view name, std::string_view text) {
    out.key(name);
    if (text.empty())
        out.null();
    else
        out.value(text);
}

void fillUnits(std::vector<std::pair<int, int>>& out, int count, std::int32_t config,
               bool configReported, const bool* reported, const std::int32_t* status) {
    out.clear();
    if (!configReported)
        return;
    for (int k = 1; k <= count; ++k)
        if (config & (1 << (k - 1)))
            out.emplace_back(k, !reported[k] ? -1 : status[k] == 0 ? 1 : 0);
}

} // namespace

std::string_view frameLinkStateName(FrameLinkState state) {
    switch (state) {
    case FrameLinkState::Connecting: return "connecting";
    case FrameLinkState::Connected: return "connected";
    case FrameLinkState::Offline: return "offline";
    }
    return "offline";
}

std::string_view apiHealthName(const FrameSnapshot& frame) {
    if (!frame.read || frame.link != FrameLinkState::Connected)
        return "unknown";
    switch (frame.health.verdict) {
    case HealthVerdict::Healthy: return "ok";
    case HealthVerdict::Warning: return "warning";
    case HealthVerdict::Alarm: return "alarm";
    case HealthVerdict::Unreachable: return "unknown";
    }
    return "unknown";
}

std::optional<double> sampleRateHertz(std::string_view text) {
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || value <= 0)
        return std::nullopt;
    std::string_view unit(end, static_cast<std::size_t>(text.data() + text.size() - end));
    while (!unit.empty() && unit.front() == ' ')
        unit.remove_prefix(1);
    if (unit == "kHz")
        return value * 1000.0;
    if (unit == "Hz")
        return value;
    return std::nullopt;
}

void fillRoutes(FrameSnapshot& out, const DeviceState& state) {
    // Only frames with a matrix, in their application firmware, route.
    const bool matrix = state.connected && state.runMode == kRunModeApplication &&
                        state.family != kFamily465 && state.family != kFamily450;
    const int count = matrix ? state.crosspointCount() : 0;
    out.crosspoints = count;
    out.routes.assign(at(count) + 1, 0);
    out.routeReported.assign(at(count) + 1, false);
    // Called after every route change: a label is written only when it
    // differs, so the thousands that stay as they were cost a comparison and
    // the tables stay shared with the snapshots published before.
    out.inputLabels.resize(at(count) + 1);
    out.outputLabels.resize(at(count) + 1);
    for (int n = 1; n <= count; ++n) {
        out.routes[at(n)] = std::max(0, state.live.crosspoints[at(n)]);
        out.routeReported[at(n)] = state.live.crosspointReported[at(n)];
        const bool labelled = n <= kLabelChannels;
        out.inputLabels.set(at(n), labelled ? state.settings.inputLabels[at(n)].view()
                                            : std::string_view());
        out.outputLabels.set(at(n), labelled ? state.settings.outputLabels[at(n)].view()
                                             : std::string_view());
    }
    out.inputLabels.set(0, {});
    out.outputLabels.set(0, {});
}

std::vector<std::string>& CLabelTable::own() {
    // A table another snapshot still holds is copied before it changes.
    if (m_rows.use_count() > 1)
        m_rows = std::make_shared<std::vector<std::string>>(*m_rows);
    return *m_rows;
}

void CLabelTable::assign(std::size_t count, const std::string& text) {
    m_rows = std::make_shared<std::vector<std::string>>(count, text);
}

void CLabelTable::resize(std::size_t count) {
    if (m_rows->size() != count)
        own().resize(count);
}

void CLabelTable::set(std::size_t i, std::string_view text) {
    if ((*m_rows)[i] != text)
        own()[i] = text;
}

void fillSnapshot(FrameSnapshot& out, const DeviceState& state, const StatusFields& fields,
                  bool cardsPolled) {
    const FrameIdentity identity = frameIdentityOf(state);
    out.name = identity.name;
    out.serial = identity.serial;
    out.type = std::string(state.settings.deviceModel.view());
    out.health = assessHealth(state);
    const LiveStatus& live = state.live;
    out.syncSource = out.health.syncSource;
    out.syncLocked = out.health.syncSource.empty() ? std::nullopt
                                                   : std::optional<bool>(out.health.syncLocked);
    out.sampleRate = out.health.sampleRate;
    out.sampleRateHz = sampleRateHertz(out.sampleRate);
    fillUnits(out.psus, 2, state.settings.psuConfig, live.psuConfigReported,
              live.psuReported.data(), live.psuStatus.data());
    fillUnits(out.fans, 3, state.settings.fanConfig, live.fanConfigReported,
              live.fanReported.data(), live.fanStatus.data());
    CJsonWriter status;
    writeStatusJson(status, state, fields, notReportedStatus(state, fields, cardsPolled));
    out.statusJson = status.take();
    fillRoutes(out, state);
}

void writeFrameSummaryJson(CJsonWriter& out, const FrameSnapshot& frame) {
    out.beginObject().field("id", frame.id).field("address", frame.address);
    writeTextOrNull(out, "name", frame.name);
    writeTextOrNull(out, "type", frame.type);
    out.field("state", frameLinkStateName(frame.link)).field("health", apiHealthName(frame));
    out.endObject();
}

void writeFrameStatusJson(CJsonWriter& out, const FrameSnapshot& frame) {
    out.beginObject().field("id", frame.id).field("address", frame.address);
    writeTextOrNull(out, "name", frame.name);
    writeTextOrNull(out, "type", frame.type);
    out.field("state", frameLinkStateName(frame.link)).field("health", apiHealthName(frame));
    writeTextOrNull(out, "offlineReason",
                    frame.link == FrameLinkState::Offline ? frame.offlineReason : "");
    out.key("problems").beginArray();
    if (frame.read)
        for (const std::string& p : frame.health.problems)
            out.value(p);
    out.endArray();
    out.key("status");
    if (frame.statusJson.empty() || frame.link != FrameLinkState::Connected)
        out.null();
    else
        out.rawNumber(frame.statusJson); // a JSON object written by the same writer
    out.endObject();
}

void writeRoutesJson(CJsonWriter& out, const FrameSnapshot& frame) {
    out.beginObject().field("frame", frame.id).field("crosspoints", frame.crosspoints);
    out.key("routes").beginArray();
    for (int n = 1; n <= frame.crosspoints; ++n) {
        const std::int32_t input = frame.routes[at(n)];
        out.beginObject().field("output", n).field("outputName", channelDisplayName(n));
        writeTextOrNull(out, "outputLabel", frame.outputLabels[at(n)]);
        out.key("input");
        if (input > 0 && frame.routeReported[at(n)]) {
            out.value(input).field("inputName", channelDisplayName(input));
            writeTextOrNull(out, "inputLabel", frame.inputLabels[at(input)]);
        } else {
            out.null().key("inputName").null().key("inputLabel").null();
        }
        out.field("reported", static_cast<bool>(frame.routeReported[at(n)]));
        out.endObject();
    }
    out.endArray().endObject();
}

void writeLabelsJson(CJsonWriter& out, const FrameSnapshot& frame) {
    out.beginObject().field("frame", frame.id).field("channels", frame.crosspoints);
    out.key("labels").beginArray();
    for (int n = 1; n <= frame.crosspoints; ++n) {
        out.beginObject().field("channel", n).field("name", channelDisplayName(n));
        out.field("input", frame.inputLabels[at(n)]).field("output", frame.outputLabels[at(n)]);
        out.endObject();
    }
    out.endArray().endObject();
}

} // namespace velmar
