#include "Scenario.h"

#include <array>

namespace velmar::framesim {

namespace {

using W = ScenarioStep::What;

Scenario psu() {
    return {"psu",
            "PSU 2 fails after 2 ticks and recovers 4 ticks later",
            {{2, W::Psu, 2, 1, {}}, {6, W::Psu, 2, 0, {}}},
            8};
}

Scenario sync() {
    return {"sync",
            "sync is lost after 2 ticks and regained 3 ticks later",
            {{2, W::Sync, 0, 1, {}}, {5, W::Sync, 0, 0, {}}},
            7};
}

Scenario fan() {
    return {"fan",
            "FAN 1 stalls after 2 ticks and runs again 3 ticks later",
            {{2, W::Fan, 1, 1, {}}, {5, W::Fan, 1, 0, {}}},
            7};
}

Scenario show() {
    return {"show",
            "all of it, one after the other: PSU 2, sync, FAN 1, input 1 loses its signal",
            {{2, W::Psu, 2, 1, {}},
             {4, W::Psu, 2, 0, {}},
             {6, W::Sync, 0, 1, {}},
             {8, W::Sync, 0, 0, {}},
             {10, W::Fan, 1, 1, {}},
             {12, W::Fan, 1, 0, {}},
             {14, W::Input, 1, 0, "ERR"},
             {16, W::Input, 1, 0, "LCK"}},
            18};
}

using Maker = Scenario (*)();
constexpr std::array<Maker, 4> kScenarios{psu, sync, fan, show};

} // namespace

std::vector<std::string_view> scenarioNames() {
    std::vector<std::string_view> names;
    for (const Maker make : kScenarios)
        names.push_back(make().name);
    return names;
}

std::optional<Scenario> scenarioByName(std::string_view name) {
    for (const Maker make : kScenarios)
        if (Scenario s = make(); s.name == name)
            return s;
    return std::nullopt;
}

} // namespace velmar::framesim
