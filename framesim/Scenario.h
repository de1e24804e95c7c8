#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar::framesim {

// Changes a frame makes on a schedule, so that a demo or a test sees PSUs
// fail and recover, sync drop out and come back, fans stall. Times are in
// ticks; the profile says how long a tick is ("scenario-tick-ms").
struct ScenarioStep {
    enum class What { Psu, Fan, Sync, Input };
    int tick = 0;
    What what = What::Psu;
    int unit = 0;     // PSU 1..2, fan 1..3, input 1..14; for Sync the source (0: keep it)
    int value = 0;    // the status (0 OK, else a fault); for Sync the state (0 locked)
    std::string text; // Input only: the status text
};

struct Scenario {
    std::string_view name;
    std::string_view description;
    std::vector<ScenarioStep> steps; // by tick
    int lengthTicks = 0;             // a repeating scenario starts again after this
};

std::vector<std::string_view> scenarioNames();
std::optional<Scenario> scenarioByName(std::string_view name);

} // namespace velmar::framesim
