#pragma once

// What the benchmarks that run a simulated frame and its clients in this
// process share.

#include "FrameProfile.h"
#include "SimulatedFrame.h"
#include "engine/XyBurst.h"
#include "protocol/RequestEncoder.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpSocket>
#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace velmar::bench {

// Runs the event loop until the condition holds or the time is up.
inline bool waitUntil(const std::function<bool()>& condition, int limitMs) {
    QDeadlineTimer deadline(limitMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

// The value at the quantile q (0..1) of the samples; 0 for none.
inline double quantile(std::vector<double> v, double q) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(q * static_cast<double>(v.size() - 1))];
}
inline double median(std::vector<double> v) { return quantile(std::move(v), 0.5); }

inline double msSince(const QElapsedTimer& clock) {
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

// A simulated 460 on 127.0.0.2 with every one of its 1536 outputs routed,
// started; nullptr (and said on stderr) when it cannot be.
inline std::unique_ptr<framesim::CSimulatedFrame> startRoutedFrame() {
    auto profile = framesim::presetProfile("460");
    if (!profile) {
        std::fprintf(stderr, "no 460 profile\n");
        return nullptr;
    }
    profile->bindAddress = "127.0.0.2";
    for (int output = 1; output <= 1536; ++output)
        profile->crosspoints[output] = output;
    auto frame = std::make_unique<framesim::CSimulatedFrame>(*profile);
    if (!frame->start()) {
        std::fprintf(stderr,
                     "the simulated frame did not start (run inside scripts/in-netns.sh)\n");
        return nullptr;
    }
    return frame;
}

// The floor a face's route is measured against: `rounds` routes sent to the
// frame on a raw socket of our own, each timed from the request to its
// reply, in ms. Empty (and said on stderr) when the frame cannot be reached
// or does not answer.
inline std::vector<double> bareRouteRoundTrips(const QString& address, quint16 port, int rounds) {
    QTcpSocket raw;
    QByteArray rawText;
    QObject::connect(&raw, &QTcpSocket::readyRead, &raw, [&] { rawText += raw.readAll(); });
    raw.connectToHost(QHostAddress(address), port);
    if (!waitUntil([&] { return raw.state() == QAbstractSocket::ConnectedState; }, 3000)) {
        std::fprintf(stderr, "no raw link to the frame\n");
        return {};
    }
    waitUntil([] { return false; }, 200); // let any greeting pass
    std::vector<double> bare;
    std::array<char, 512> buffer{};
    for (int i = 0; i < rounds; ++i) {
        const std::size_t n =
            encodeMessage(crosspointRequest(1 + i % 64, 301 + i), std::span<char>(buffer));
        rawText.clear();
        QElapsedTimer clock;
        clock.start();
        raw.write(buffer.data(), static_cast<qint64>(n));
        if (!waitUntil([&] { return rawText.contains('\r'); }, 5000)) {
            std::fprintf(stderr, "the frame did not answer a raw route\n");
            return {};
        }
        bare.push_back(msSince(clock));
    }
    raw.abort();
    return bare;
}

} // namespace velmar::bench
