#include "server/FrameSnapshot.h"

#include "engine/DeviceState.h"

#include <functional>
#include <gtest/gtest.h>

namespace velmar {
namespace {

std::size_t at(int n) { return static_cast<std::size_t>(n); }

// fillRoutes refreshes a snapshot in place after every change; whatever the
// snapshot held before, the result must equal a fill into a fresh one.
TEST(FrameSnapshot, RefillInPlaceEqualsAFreshFill) {
    DeviceState state;
    state.connected = true;
    state.runMode = kRunModeApplication;
    state.family = kFamily460;
    const std::vector<std::pair<const char*, std::function<void(DeviceState&)>>> steps{
        {"labels and a route",
         [](DeviceState& s) {
             s.settings.inputLabels[1].assign("MIC 1");
             s.settings.outputLabels[at(s.crosspointCount())].assign("SIXTEEN CHARS 16");
             s.live.crosspoints[3] = 7;
             s.live.crosspointReported[3] = true;
         }},
        {"a label changed, one cleared",
         [](DeviceState& s) {
             s.settings.inputLabels[1].assign("MIC 2");
             s.settings.outputLabels[at(s.crosspointCount())].clear();
         }},
        {"the link gone", [](DeviceState& s) { s.connected = false; }},
        {"back with a label", [](DeviceState& s) {
             s.connected = true;
             s.settings.outputLabels[2].assign("PGM");
         }}};
    FrameSnapshot kept;
    for (const auto& [name, change] : steps) {
        change(state);
        fillRoutes(kept, state);
        FrameSnapshot fresh;
        fillRoutes(fresh, state);
        EXPECT_EQ(kept.crosspoints, fresh.crosspoints) << name;
        EXPECT_EQ(kept.routes, fresh.routes) << name;
        EXPECT_EQ(kept.routeReported, fresh.routeReported) << name;
        EXPECT_EQ(kept.inputLabels, fresh.inputLabels) << name;
        EXPECT_EQ(kept.outputLabels, fresh.outputLabels) << name;
    }
    EXPECT_EQ(kept.outputLabels[2], "PGM");
    EXPECT_EQ(kept.inputLabels[1], "MIC 2");
}

} // namespace
} // namespace velmar
