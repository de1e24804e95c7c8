#pragma once

#include "FrameProfile.h"
#include "SimulatedFrame.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTcpSocket>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

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

// Opens `total` connections to a loopback port, `wave` at a time: each wave
// is connected, seen by the listener (`clients` counts its clients), and
// closed again before the next. Returns how many connected.
inline int connectInWaves(quint16 port, int total, int wave, const std::function<int()>& clients) {
    int opened = 0;
    for (int done = 0; done < total; done += wave) {
        std::vector<std::unique_ptr<QTcpSocket>> sockets;
        for (int i = 0; i < wave && done + i < total; ++i) {
            sockets.push_back(std::make_unique<QTcpSocket>());
            sockets.back()->connectToHost(QHostAddress::LocalHost, port);
        }
        for (auto& s : sockets)
            opened += s->waitForConnected(5000) ? 1 : 0;
        const int want = static_cast<int>(sockets.size());
        if (!waitUntil([&] { return clients() >= want; }, 20000))
            return opened;
        for (auto& s : sockets)
            s->abort();
        if (!waitUntil([&] { return clients() == 0; }, 20000))
            return opened;
    }
    return opened;
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
