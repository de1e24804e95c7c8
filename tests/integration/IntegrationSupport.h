#pragma once

#include "FrameProfile.h"
#include "SimulatedFrame.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace velmar::test {

// Runs the event loop until the condition holds or the time is up. The limit
// only bounds a failing test; a passing one returns as soon as it can.
inline bool waitUntil(const std::function<bool()>& condition, int limitMs = 5000) {
    QDeadlineTimer deadline(limitMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

// A simulated frame owned by the test, on its own loopback address.
inline std::unique_ptr<framesim::CSimulatedFrame>
startFrame(std::string_view preset, const std::string& address,
           const std::function<void(framesim::FrameProfile&)>& tweak = {}) {
    std::optional<framesim::FrameProfile> profile = framesim::presetProfile(preset);
    EXPECT_TRUE(profile.has_value()) << preset;
    if (!profile)
        return nullptr;
    profile->bindAddress = address;
    profile->network.address = address;
    profile->aliveIntervalMs = 0; // tests send alive requests on cue
    if (tweak)
        tweak(*profile);
    auto frame = std::make_unique<framesim::CSimulatedFrame>(*profile);
    QString error;
    EXPECT_TRUE(frame->start(&error)) << error.toStdString();
    return frame;
}

} // namespace velmar::test
