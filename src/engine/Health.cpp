#include "engine/Health.h"

#include "engine/CodeTables.h"
#include "protocol/TerminalText.h"

#include <algorithm>
#include <cstddef>

namespace velmar {

FrameIdentity frameIdentityOf(const DeviceState& state) {
    FrameIdentity frame;
    frame.address = state.connectedAddress;
    frame.id = state.settings.deviceId;
    frame.name = std::string(state.settings.deviceName.view());
    frame.serial = std::string(state.settings.serialNumber.view());
    return frame;
}


namespace {

constexpr std::size_t at(int index) { return static_cast<std::size_t>(index); }

void raise(HealthReport& r, HealthVerdict to, std::string problem) {
    if (static_cast<int>(to) > static_cast<int>(r.verdict))
        r.verdict = to;
    // Alarms first: the first problem is the one a short display shows.
    if (to == HealthVerdict::Alarm)
        r.problems.insert(r.problems.begin(), std::move(problem));
    else
        r.problems.push_back(std::move(problem));
}

// What a unit is asked for at the connect, and so what it owes an answer for.
struct Expected {
    bool clock = true; // sync status and sample rate (the poll's second stage)
    bool units = true; // PSU and fan fitting and status
};

Expected expectedOf(const DeviceState& state) {
    if (state.family == kFamily450 || state.family == kFamily465 ||
        state.runMode == kRunModeRecovery)
        return {false, false};
    if (state.runMode != kRunModeApplication)
        return {false, true};
    return {};
}

void assessUnits(HealthReport& r, std::string_view what, int count, std::int32_t config,
                 bool configReported, bool expected, const bool* reported,
                 const std::int32_t* status, std::vector<std::string>& out) {
    if (!configReported) {
        if (expected)
            raise(r, HealthVerdict::Warning, std::string(what) + " fitting not reported");
        return;
    }
    for (int k = 1; k <= count; ++k) {
        if ((config & (1 << (k - 1))) == 0)
            continue;
        const std::string unit = std::string(what) + " " + std::to_string(k);
        if (!reported[k]) {
            out.push_back(unit + " not reported");
            raise(r, HealthVerdict::Warning, unit + " status not reported");
        } else if (status[k] != 0) {
            out.push_back(unit + " faulty");
            raise(r, HealthVerdict::Alarm, unit + " faulty");
        } else {
            out.push_back(unit + " OK");
        }
    }
}

} // namespace

std::string_view healthVerdictName(HealthVerdict verdict) {
    switch (verdict) {
    case HealthVerdict::Healthy: return "healthy";
    case HealthVerdict::Warning: return "warning";
    case HealthVerdict::Alarm: return "alarm";
    case HealthVerdict::Unreachable: return "unreachable";
    }
    return "unknown";
}

std::string_view healthTitle(const HealthReport& report) {
    if (report.recoveryMode && report.verdict == HealthVerdict::Warning)
        return "Recovery mode";
    return healthVerdictTitle(report.verdict);
}

std::string_view healthVerdictTitle(HealthVerdict verdict) {
    switch (verdict) {
    case HealthVerdict::Healthy: return "OK";
    case HealthVerdict::Warning: return "Warning";
    case HealthVerdict::Alarm: return "Alarm";
    case HealthVerdict::Unreachable: return "Unreachable";
    }
    return "?";
}

HealthReport assessHealth(const DeviceState& state) {
    HealthReport r;
    r.frame = frameIdentityOf(state);
    r.model = std::string(state.settings.deviceModel.view());
    const LiveStatus& live = state.live;
    const Expected expected = expectedOf(state);
    if (state.runMode == kRunModeRecovery) {
        r.recoveryMode = true;
        raise(r, HealthVerdict::Warning,
              "in recovery mode: the frame does not run its application firmware");
    }

    if (live.syncSource == 0) {
        if (expected.clock)
            raise(r, HealthVerdict::Warning, "sync status not reported");
    } else {
        r.syncSource = std::string(syncSourceName(live.syncSource));
        r.syncLocked = live.syncState == 0;
        if (!r.syncLocked)
            raise(r, HealthVerdict::Alarm, "sync not locked (" + r.syncSource + ")");
    }
    if (live.actualRate == 0) {
        if (expected.clock)
            raise(r, HealthVerdict::Warning, "sample rate not reported");
    } else {
        r.sampleRate = std::string(sampleRateName(live.actualRate));
        if (r.sampleRate == kUnknownCode)
            raise(r, HealthVerdict::Warning,
                  "unknown sample rate code " + std::to_string(live.actualRate));
    }
    assessUnits(r, "PSU", 2, state.settings.psuConfig, live.psuConfigReported, expected.units,
                live.psuReported.data(), live.psuStatus.data(), r.psus);
    assessUnits(r, "FAN", 3, state.settings.fanConfig, live.fanConfigReported, expected.units,
                live.fanReported.data(), live.fanStatus.data(), r.fans);
    r.expectsClock = expected.clock;
    for (int k = 1; k <= kMainInputs; ++k) {
        const std::string_view value = live.mainInputStatus[at(k)].value.view();
        if (!value.empty())
            r.inputs.push_back(std::to_string(k) + ":" + std::string(value));
    }
    return r;
}

HealthReport unreachableHealth(std::string_view address, std::string_view why) {
    HealthReport r;
    r.frame.address = std::string(address);
    r.verdict = HealthVerdict::Unreachable;
    r.problems.emplace_back(why);
    return r;
}

HealthVerdict worstVerdict(const std::vector<HealthReport>& reports) {
    HealthVerdict worst = HealthVerdict::Healthy;
    for (const HealthReport& r : reports)
        worst = std::max(worst, r.verdict, [](HealthVerdict a, HealthVerdict b) {
            return static_cast<int>(a) < static_cast<int>(b);
        });
    return worst;
}

std::string healthLine(const HealthReport& r) {
    std::string line = r.frame.address;
    line += "  ";
    line += healthTitle(r);
    if (r.verdict != HealthVerdict::Unreachable) {
        // Texts from the frame are escaped: this line goes to a terminal.
        line += "  \"" + terminalSafe(r.frame.name, "\"") + "\" ID " + std::to_string(r.frame.id);
        if (!r.frame.serial.empty()) {
            line += " S/N ";
            line += terminalSafe(r.frame.serial);
        }
        if (!r.model.empty()) {
            line += ' ';
            line += terminalSafe(r.model);
        }
        // What the unit is not asked for is left out, not shown as "?".
        std::string values;
        const auto add = [&values](std::string_view value) {
            values += values.empty() ? "" : ", ";
            values += value;
        };
        if (!r.syncSource.empty()) {
            std::string sync = "sync ";
            sync += r.syncSource;
            sync += r.syncLocked ? " locked" : " NOT LOCKED";
            add(sync);
        } else if (r.expectsClock) {
            add("sync ?");
        }
        if (!r.sampleRate.empty())
            add(r.sampleRate);
        else if (r.expectsClock)
            add("rate ?");
        for (const std::string& p : r.psus)
            add(p);
        for (const std::string& f : r.fans)
            add(f);
        if (!values.empty()) {
            line += "  ";
            line += values;
        }
        if (!r.inputs.empty()) {
            line += values.empty() ? "  inputs" : ", inputs";
            for (const std::string& i : r.inputs) {
                line += ' ';
                line += terminalSafe(i);
            }
        }
    }
    if (!r.problems.empty()) {
        line += "  --";
        for (std::size_t k = 0; k < r.problems.size(); ++k)
            line += (k == 0 ? " " : "; ") + terminalSafe(r.problems[k]);
    }
    return line;
}

} // namespace velmar
