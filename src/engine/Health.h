#pragma once

#include "engine/FrameIdentity.h"
#include "engine/DeviceState.h"

#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// How a frame stands before a show, judged from what it reported. The same
// rules fill velmarctl's health lines and the window's "Health" column.
enum class HealthVerdict : unsigned char { Healthy, Warning, Alarm, Unreachable };

struct HealthReport {
    FrameIdentity frame;
    HealthVerdict verdict = HealthVerdict::Healthy;
    std::string model;
    std::string syncSource; // empty when not reported
    bool syncLocked = false;
    std::string sampleRate;        // empty when not reported
    std::vector<std::string> psus; // "PSU 1 OK", "PSU 2 faulty", "PSU 2 not reported"
    std::vector<std::string> fans;
    std::vector<std::string> inputs;   // "1:OK" ... as the frame reported them
    std::vector<std::string> problems; // plain words, worst first
    bool recoveryMode = false;         // the frame runs its recovery firmware
    bool expectsClock = true;          // sync and sample rate are asked of it
};

std::string_view healthVerdictName(HealthVerdict verdict); // "healthy", "warning" ...
// The word the window's column and velmarctl's line show: "OK", "Warning",
// "Alarm", "Unreachable".
std::string_view healthVerdictTitle(HealthVerdict verdict);
// The same, with "Recovery mode" for a frame in recovery mode that has no
// worse finding.
std::string_view healthTitle(const HealthReport& report);

// Alarm: a fitted PSU or fan is faulty, or sync is not locked. Warning: a
// value the frame should have given was not reported (sync, sample rate, a
// fitted PSU or fan), or its sample rate is one the program does not know.
// Each kind of unit is judged only by what it is asked for: a 450 panel or a
// 465 is never asked for sync, sample rate, PSUs or fans, a frame in recovery
// mode neither (it is a warning of its own), a frame in the "#" state not for
// sync and sample rate; what such a unit reports anyway is judged all the same.
HealthReport assessHealth(const DeviceState& state);
HealthReport unreachableHealth(std::string_view address, std::string_view why);

// The worst of several verdicts, as velmarctl's exit status reports it.
HealthVerdict worstVerdict(const std::vector<HealthReport>& reports);

// "10.0.1.20  Studio A  ID 3  S1234  OK  Word locked, 48 kHz, PSU 1 OK ..."
std::string healthLine(const HealthReport& report);

} // namespace velmar
