#include "session/Reports.h"

#include "engine/ChannelRange.h"
#include "engine/CodeTables.h"
#include "protocol/ChannelNames.h"
#include "protocol/TerminalText.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <span>

namespace velmar {

namespace {

constexpr std::size_t at(int index) { return static_cast<std::size_t>(index); }

constexpr int kPsuUnits = 2;
constexpr int kFanUnits = 3;

// ---- names ------------------------------------------------------------------

constexpr CodeName kRunModeNames[] = {
    {kRunModeRecovery, "recovery"},
    {kRunModeApplication, "application"},
    {kRunModeHash, "#"},
};

constexpr CodeName kFamilyNames[] = {
    {kFamily460, "460"},
    {kFamily461, "461"},
    {kFamily465, "465"},
    {kFamily450, "450"},
};

constexpr CodeName kModuleNames[] = {
    {kModuleMainBoard, "main board"},
    {kModuleSfp, "SFP"},
    {kModuleIpAudio, "IP audio"},
};

constexpr CodeName kCardTypeNames[] = {
    {kCardTypeNone, "empty"},
    {kCardTypeSdi, "SDI"},
    {kCardTypeAd, "AD"},
    {kCardTypeDa, "DA"},
    {kCardTypeAes, "AES"},
    {kCardTypeMadi, "MADI"},
    {kCardTypeAd2, "AD two-channel"},
    {kCardTypeEq, "EQ"},
    {kCardTypeNoPorts, "card without ports"},
};

// A fitted slot whose board code names no card we know.
constexpr std::string_view kUnknownCard = "unknown";
constexpr std::string_view kNotFitted = "not fitted";
constexpr std::string_view kNotReported = "not reported";
constexpr std::string_view kUnitOk = "OK";
constexpr std::string_view kUnitFaulty = "Faulty";
constexpr std::string_view kNoInput = "none";

std::string_view lookup(std::span<const CodeName> table, int code) {
    for (const CodeName& row : table)
        if (row.code == code)
            return row.name;
    return {};
}

// ---- what a frame reports -----------------------------------------------------

bool hasMatrix(const DeviceState& s) { return s.family != kFamily465 && s.family != kFamily450; }

// The engine asks only these frames for their whole inventory, PSUs and fans.
bool reportsInventory(const DeviceState& s) {
    return hasMatrix(s) && s.runMode != kRunModeRecovery;
}

// ... and polls the crosspoints only of these.
bool reportsCrosspoints(const DeviceState& s) {
    return hasMatrix(s) && s.runMode == kRunModeApplication;
}

bool identityKnown(const DeviceSettings& s) { return s.deviceId != 0 || !s.deviceName.empty(); }

bool networkKnown(const NetworkSettings& n) {
    return !n.ipAddress.empty() || !n.subnetMask.empty() || !n.gateway.empty() ||
           !n.macAddress.empty();
}

// Modules that reported a version, in module order.
std::vector<int> modulesWithVersion(const DeviceSettings& s) {
    std::vector<int> out;
    for (int m = 1; m <= kModuleCount; ++m)
        if (!s.swVersion[at(m)].second[0].empty())
            out.push_back(m);
    return out;
}

std::vector<int> fittedModules(const DeviceSettings& s) {
    std::vector<int> out;
    for (int m = 1; m <= kModuleCount; ++m)
        if (s.hwConf[at(m)].present != 0)
            out.push_back(m);
    return out;
}

std::string_view slotTypeName(const DeviceState& s, int slot) {
    const int type = s.cardType(slot);
    const bool fitted = s.settings.hwConf[at(kModuleFirstCard + slot - 1)].present != 0;
    if (type == kCardTypeNone && fitted)
        return kUnknownCard;
    const std::string_view name = cardTypeName(type);
    return name.empty() ? kUnknownCard : name;
}

struct UnitStatus {
    std::optional<bool> fitted; // empty: the frame did not say which units it has
    std::optional<bool> ok;     // empty: not fitted, or its status was not reported
    std::string_view text;
};

// A unit is "OK" only when the frame said so: a status it never answered, or
// a configuration it refused, is "not reported", never a zero taken as good.
UnitStatus unitStatus(bool configReported, std::int32_t config, int unit, bool reported,
                      std::int32_t status) {
    if (!configReported)
        return {std::nullopt, std::nullopt, kNotReported};
    if ((config & (1 << (unit - 1))) == 0)
        return {false, std::nullopt, kNotFitted};
    if (!reported)
        return {true, std::nullopt, kNotReported};
    return {true, status == 0, status == 0 ? kUnitOk : kUnitFaulty};
}

UnitStatus psuStatus(const DeviceState& s, int unit) {
    return unitStatus(s.live.psuConfigReported, s.settings.psuConfig, unit,
                      s.live.psuReported[at(unit)], s.live.psuStatus[at(unit)]);
}

UnitStatus fanStatus(const DeviceState& s, int unit) {
    return unitStatus(s.live.fanConfigReported, s.settings.fanConfig, unit,
                      s.live.fanReported[at(unit)], s.live.fanStatus[at(unit)]);
}

std::string portText(int port) {
    std::string text = std::to_string(port);
    if (port == kPortCommand)
        text += " (command)";
    else if (port == kPortTelnet)
        text += " (telnet)";
    return text;
}

// ---- text layout --------------------------------------------------------------

// Texts the frame sent go to a terminal: a control character could move the
// cursor or end a line, so it is shown escaped.
std::string printable(std::string_view text) { return terminalSafe(text); }

void rightTrimmedLine(std::string& out, std::string line) {
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    out += line;
    out += '\n';
}

std::string padRight(std::string text, std::size_t width) {
    if (text.size() < width)
        text.append(width - text.size(), ' ');
    return text;
}

std::string padLeft(std::string text, std::size_t width) {
    if (text.size() < width)
        text.insert(0, width - text.size(), ' ');
    return text;
}

// A report of sections. A section holds "Label:  value" pairs, or a heading
// with a table under it; labels line up over the whole report and the columns
// of a table within it.
class CTextReport {
public:
    void section() { m_sections.emplace_back(); }

    void pair(std::string_view label, std::string value) {
        m_sections.back().push_back({Kind::Pair, {std::string(label), printable(value)}});
        m_labelWidth = std::max(m_labelWidth, label.size() + 1);
    }

    void heading(std::string_view text) {
        m_sections.back().push_back({Kind::Heading, {std::string(text)}});
    }

    // The first cell is a number and right-aligned, the others left-aligned.
    void row(std::vector<std::string> cells) {
        for (std::string& cell : cells)
            cell = printable(cell);
        m_sections.back().push_back({Kind::Row, std::move(cells)});
    }

    std::string text() const {
        std::string out;
        bool first = true;
        for (const std::vector<Line>& lines : m_sections) {
            if (lines.empty())
                continue;
            if (!first)
                out += '\n';
            first = false;
            render(out, lines);
        }
        return out;
    }

private:
    enum class Kind { Pair, Heading, Row };
    struct Line {
        Kind kind;
        std::vector<std::string> cells;
    };

    void render(std::string& out, const std::vector<Line>& lines) const {
        std::vector<std::size_t> widths;
        for (const Line& line : lines) {
            if (line.kind != Kind::Row)
                continue;
            widths.resize(std::max(widths.size(), line.cells.size()));
            for (std::size_t k = 0; k < line.cells.size(); ++k)
                widths[k] = std::max(widths[k], line.cells[k].size());
        }
        for (const Line& line : lines) {
            switch (line.kind) {
            case Kind::Pair:
                rightTrimmedLine(out,
                                 padRight(line.cells[0] + ":", m_labelWidth + 2) + line.cells[1]);
                break;
            case Kind::Heading: rightTrimmedLine(out, line.cells[0] + ":"); break;
            case Kind::Row: {
                std::string text;
                for (std::size_t k = 0; k < line.cells.size(); ++k)
                    text += "  " + (k == 0 ? padLeft(line.cells[k], widths[k])
                                           : padRight(line.cells[k], widths[k]));
                rightTrimmedLine(out, std::move(text));
                break;
            }
            }
        }
    }

    std::vector<std::vector<Line>> m_sections;
    std::size_t m_labelWidth = 0;
};

// Channel names run to ten characters ("CARD8  128"); the columns keep that
// width so a report's layout does not depend on which channels it lists.
constexpr std::size_t kNumberWidth = 4;
constexpr std::size_t kNameWidth = 10;

std::string number(int value, std::size_t width = kNumberWidth) {
    return padLeft(std::to_string(value), width);
}

// The module tables keep their first two columns as wide as the widest module
// number and name, so the versions and the modules line up with each other.
std::string moduleNumber(int module) { return padLeft(std::to_string(module), 2); }
std::string moduleNameCell(int module) { return padRight(moduleName(module), 10); }

std::string inputName(int input) {
    return input > 0 ? channelDisplayName(input) : std::string(kNoInput);
}

} // namespace

// ---- names ------------------------------------------------------------------

std::string_view runModeName(int runMode) {
    const std::string_view name = lookup(kRunModeNames, runMode);
    return name.empty() ? kUnknownCode : name;
}

std::string familyName(int family) {
    const std::string_view name = lookup(kFamilyNames, family);
    return name.empty() ? std::to_string(family) : std::string(name);
}

std::string moduleName(int module) {
    if (const std::string_view name = lookup(kModuleNames, module); !name.empty())
        return std::string(name);
    if (module >= kModuleFirstCard && module < kModuleFirstCard + kCardSlots)
        return "slot " + std::to_string(module - kModuleFirstCard + 1);
    return "module " + std::to_string(module);
}

std::string_view cardTypeName(int cardType) { return lookup(kCardTypeNames, cardType); }

// ---- status -----------------------------------------------------------------

std::string statusText(const DeviceState& state, const StatusFields& fields) {
    const DeviceSettings& s = state.settings;
    CTextReport r;

    r.section();
    if (!state.connectedAddress.empty())
        r.pair("Address", state.connectedAddress);
    r.pair("Port", portText(state.port));
    r.pair("Run mode", std::string(runModeName(state.runMode)));

    r.section();
    if (identityKnown(s)) {
        r.pair("ID", std::to_string(s.deviceId));
        r.pair("Name", std::string(s.deviceName.view()));
    }
    if (!s.deviceModel.empty()) {
        r.pair("Model", std::string(s.deviceModel.view()));
        r.pair("Model number", std::to_string(s.deviceModelNumber));
    }
    r.pair("Family", familyName(state.family));
    if (!s.serialNumber.empty())
        r.pair("Serial number", std::string(s.serialNumber.view()));

    r.section();
    if (const NetworkSettings& n = s.networkSettings; networkKnown(n)) {
        r.pair("Network mode", std::to_string(n.mode));
        r.pair("IP address", std::string(n.ipAddress.view()));
        r.pair("Subnet mask", std::string(n.subnetMask.view()));
        r.pair("Gateway", std::string(n.gateway.view()));
        r.pair("MAC address", std::string(n.macAddress.view()));
    }

    r.section();
    if (reportsCrosspoints(state))
        r.pair("Crosspoints", std::to_string(state.crosspointCount()));

    r.section();
    if (const std::vector<int> modules = modulesWithVersion(s); !modules.empty()) {
        r.heading("Versions");
        for (int m : modules) {
            const SwVersionRecord& v = s.swVersion[at(m)];
            r.row({moduleNumber(m), moduleNameCell(m), std::string(v.first[0].view()),
                   std::string(v.second[0].view())});
        }
    }

    r.section();
    if (const std::vector<int> modules = fittedModules(s); !modules.empty()) {
        r.heading("Modules");
        for (int m : modules) {
            const HwConfRecord& hw = s.hwConf[at(m)];
            r.row({moduleNumber(m), moduleNameCell(m), std::string(hw.boardCode.view()),
                   std::string(hw.secondText.view())});
        }
    }

    r.section();
    if (reportsInventory(state))
        for (int slot = 1; slot <= kCardSlots; ++slot)
            r.pair("Slot " + std::to_string(slot), std::string(slotTypeName(state, slot)));

    r.section();
    if (!fields.syncSource.text.empty()) {
        r.pair("Sync source", fields.syncSource.text);
        r.pair("Sync locked", state.live.syncState == 0 ? "yes" : "no");
    }
    if (!fields.sampleRate.text.empty())
        r.pair("Sample rate", fields.sampleRate.text);
    if (reportsInventory(state)) {
        for (int unit = 1; unit <= kPsuUnits; ++unit)
            r.pair("PSU " + std::to_string(unit), std::string(psuStatus(state, unit).text));
        for (int unit = 1; unit <= kFanUnits; ++unit)
            r.pair("FAN " + std::to_string(unit), std::string(fanStatus(state, unit).text));
    }
    return r.text();
}

namespace {

void writeUnits(CJsonWriter& out, std::string_view key, int units,
                UnitStatus (*statusOf)(const DeviceState&, int), const DeviceState& state) {
    const auto optional = [&out](std::optional<bool> v) -> CJsonWriter& {
        return v ? out.value(*v) : out.null();
    };
    out.key(key).beginArray();
    for (int unit = 1; unit <= units; ++unit) {
        const UnitStatus u = statusOf(state, unit);
        out.beginObject().field("unit", unit).key("fitted");
        optional(u.fitted).key("ok");
        optional(u.ok).field("text", u.text).endObject();
    }
    out.endArray();
}

} // namespace

void writeStatusJson(CJsonWriter& out, const DeviceState& state, const StatusFields& fields,
                     std::span<const std::string> notReported) {
    const DeviceSettings& s = state.settings;
    out.beginObject();
    if (!state.connectedAddress.empty())
        out.field("address", std::string_view(state.connectedAddress));
    out.field("port", state.port).field("runMode", runModeName(state.runMode));

    if (identityKnown(s))
        out.field("id", static_cast<int>(s.deviceId)).field("name", s.deviceName.view());
    if (!s.deviceModel.empty())
        out.field("model", s.deviceModel.view())
            .field("modelNumber", static_cast<int>(s.deviceModelNumber));
    out.field("family", std::string_view(familyName(state.family)));
    if (!s.serialNumber.empty())
        out.field("serial", s.serialNumber.view());

    if (const NetworkSettings& n = s.networkSettings; networkKnown(n)) {
        out.key("network").beginObject();
        out.field("mode", static_cast<int>(n.mode))
            .field("address", n.ipAddress.view())
            .field("mask", n.subnetMask.view())
            .field("gateway", n.gateway.view())
            .field("mac", n.macAddress.view());
        out.endObject();
    }

    if (reportsCrosspoints(state))
        out.field("crosspoints", state.crosspointCount());

    if (const std::vector<int> modules = modulesWithVersion(s); !modules.empty()) {
        out.key("versions").beginArray();
        for (int m : modules) {
            const SwVersionRecord& v = s.swVersion[at(m)];
            out.beginObject()
                .field("module", m)
                .field("name", std::string_view(moduleName(m)))
                .field("label", v.first[0].view())
                .field("version", v.second[0].view())
                .endObject();
        }
        out.endArray();
    }

    if (const std::vector<int> modules = fittedModules(s); !modules.empty()) {
        out.key("modules").beginArray();
        for (int m : modules) {
            const HwConfRecord& hw = s.hwConf[at(m)];
            out.beginObject()
                .field("module", m)
                .field("name", std::string_view(moduleName(m)))
                .field("boardCode", hw.boardCode.view())
                .field("secondText", hw.secondText.view())
                .endObject();
        }
        out.endArray();
    }

    if (reportsInventory(state)) {
        out.key("cards").beginArray();
        for (int slot = 1; slot <= kCardSlots; ++slot)
            out.beginObject()
                .field("slot", slot)
                .field("type", slotTypeName(state, slot))
                .endObject();
        out.endArray();
    }

    if (!fields.syncSource.text.empty()) {
        out.key("sync").beginObject();
        out.field("source", std::string_view(fields.syncSource.text))
            .field("locked", state.live.syncState == 0);
        out.endObject();
    }
    if (!fields.sampleRate.text.empty())
        out.field("sampleRate", std::string_view(fields.sampleRate.text));
    if (reportsInventory(state)) {
        writeUnits(out, "psu", kPsuUnits, psuStatus, state);
        writeUnits(out, "fans", kFanUnits, fanStatus, state);
    }
    out.key("notReported").beginArray();
    for (const std::string& item : notReported)
        out.value(std::string_view(item));
    out.endArray();
    out.endObject();
}

std::vector<std::string> notReportedStatus(const DeviceState& state, const StatusFields& fields,
                                           bool cardsPolled) {
    std::vector<std::string> out;
    if (reportsCrosspoints(state)) {
        // Stage two asks these of every frame with a matrix.
        if (fields.syncSource.text.empty())
            out.emplace_back("sync source");
        if (fields.sampleRate.text.empty())
            out.emplace_back("sample rate");
    }
    if (!reportsInventory(state))
        return out;
    const auto units = [&out, &state](std::string_view name, int count,
                                      UnitStatus (*statusOf)(const DeviceState&, int)) {
        if (!statusOf(state, 1).fitted) {
            out.push_back(std::string(name) + " configuration");
            return;
        }
        for (int unit = 1; unit <= count; ++unit)
            if (statusOf(state, unit).text == kNotReported)
                out.push_back(std::string(name) + " " + std::to_string(unit) + " status");
    };
    units("PSU", kPsuUnits, psuStatus);
    units("FAN", kFanUnits, fanStatus);
    // The card poll follows the second PSU's status reply, as in the window.
    if (!cardsPolled)
        out.emplace_back("card settings");
    return out;
}

// ---- routes -----------------------------------------------------------------

namespace {

std::string_view labelOf(const DeviceState& state, int outputs, int channel) {
    if (channel < 1 || channel > kLabelChannels)
        return {};
    const auto& table = outputs != 0 ? state.settings.outputLabels : state.settings.inputLabels;
    return table[at(channel)].view();
}

template <typename Visit>
void forEachRoute(const DeviceState& state, Visit visit) {
    const int count = std::clamp(state.crosspointCount(), 0, kMaxCrosspoints);
    for (int output = 1; output <= count; ++output)
        if (const int input = state.live.crosspoints[at(output)]; input > 0)
            visit(output, input);
}

} // namespace

std::string routesText(const DeviceState& state) {
    std::string out;
    forEachRoute(state, [&](int output, int input) {
        if (out.empty())
            rightTrimmedLine(out, padRight("OUTPUT", kNumberWidth + 2 + kNameWidth + 6) + "INPUT");
        // Labels come from the frame: escaped before they reach a terminal.
        rightTrimmedLine(
            out, number(output) + "  " +
                     padRight(labelledChannelName(output, terminalSafe(labelOf(state, 1, output))),
                              kNameWidth) +
                     "  <-  " + number(input) + "  " +
                     labelledChannelName(input, terminalSafe(labelOf(state, 0, input))));
    });
    if (out.empty())
        out = "no crosspoints connected\n";
    return out;
}

void writeRoutesJson(CJsonWriter& out, const DeviceState& state) {
    out.beginObject().field("crosspoints", state.crosspointCount());
    out.key("routes").beginArray();
    forEachRoute(state, [&](int output, int input) {
        // The labels appear only where the frame has one.
        out.beginObject()
            .field("output", output)
            .field("outputName", std::string_view(channelDisplayName(output)));
        if (const std::string_view label = labelOf(state, 1, output); !label.empty())
            out.field("outputLabel", label);
        out.field("input", input).field("inputName", std::string_view(channelDisplayName(input)));
        if (const std::string_view label = labelOf(state, 0, input); !label.empty())
            out.field("inputLabel", label);
        out.endObject();
    });
    out.endArray().endObject();
}

// ---- xpt load --dry-run -----------------------------------------------------

LoadPlan planCrosspointLoad(const DeviceState& state, const CrosspointLoadTable& table,
                            const XptLeftOut& leftOut) {
    LoadPlan plan;
    plan.leftOut = leftOut;
    const int count = std::clamp(state.crosspointCount(), 0, kMaxCrosspoints);
    for (int output = 1; output <= count; ++output) {
        const int to = table[at(output)];
        if (to <= 0)
            continue;
        ++plan.entries;
        const int from = std::max(state.live.crosspoints[at(output)], 0);
        if (from == to)
            ++plan.unchanged;
        else
            plan.changes.push_back({output, from, to});
    }
    return plan;
}

std::string loadPlanText(const LoadPlan& plan) {
    std::string out;
    for (const CrosspointChange& c : plan.changes)
        rightTrimmedLine(out, "output " + number(c.output) + "  " +
                                  padRight(channelDisplayName(c.output) + ":", kNameWidth + 1) +
                                  "  " + padRight(inputName(c.from), kNameWidth) + "  ->  " +
                                  inputName(c.to));
    out += std::to_string(plan.changes.size()) + " of " + std::to_string(plan.entries) +
           " entries would change, " + std::to_string(plan.unchanged) + " already set\n";
    if (const std::string leftOut = leftOutSummary(plan.leftOut); !leftOut.empty())
        out += leftOut + "\n";
    return out;
}

void writeLoadPlanJson(CJsonWriter& out, const LoadPlan& plan) {
    out.beginObject()
        .field("entries", plan.entries)
        .field("changed", static_cast<int>(plan.changes.size()))
        .field("unchanged", plan.unchanged);
    out.key("changes").beginArray();
    for (const CrosspointChange& c : plan.changes) {
        out.beginObject()
            .field("output", c.output)
            .field("outputName", std::string_view(channelDisplayName(c.output)))
            .field("from", c.from);
        out.key("fromName");
        if (c.from > 0)
            out.value(std::string_view(channelDisplayName(c.from)));
        else
            out.null();
        out.field("to", c.to)
            .field("toName", std::string_view(channelDisplayName(c.to)))
            .endObject();
    }
    out.endArray();
    out.key("leftOut")
        .beginObject()
        .field("lines", plan.leftOut.total())
        .field("channelsNotOnFrame", plan.leftOut.foreignChannels)
        .field("unreadable", plan.leftOut.unreadable)
        .endObject();
    out.endObject();
}

} // namespace velmar
