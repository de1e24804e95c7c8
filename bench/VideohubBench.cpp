// The Videohub face of velmar-server against a simulated 1536 x 1536 frame,
// in one process over loopback. Run it inside a private network namespace
// (scripts/in-netns.sh), like everything that opens sockets.
//
// It prints the time a client waits for its whole prelude (device, 3073
// labels, 1536 locks and routes), and the time from a routing block to the
// block that reports the frame's confirmation, against the bare round trip of
// the same route sent to the frame on a raw socket, with their ratio.

#include "BenchSupport.h"
#include "FrameProfile.h"
#include "SimulatedFrame.h"
#include "engine/XyBurst.h"
#include "protocol/RequestEncoder.h"
#include "server/CVelmarServer.h"
#include "server/CVideohubServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using namespace velmar;

using namespace velmar::bench;

constexpr quint16 kPort = 9990;
constexpr int kRounds = 200;

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const auto frame = startRoutedFrame();
    if (!frame)
        return 1;

    ServerConfig config;
    config.listenPort = 0;
    std::string why;
    config.frames = {*parseServedFrame("127.0.0.2=a videohub-port=9990", why)};
    CVelmarServer server(config, {});
    QString error;
    if (!server.listen(error)) {
        std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
        return 1;
    }
    CVideohubServer hubs(server, config);
    if (!hubs.listen(error)) {
        std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
        return 1;
    }
    QTemporaryDir state;
    server.startFrames(state.path());
    if (!waitUntil([&] { return server.frame("a")->read; }, 20000)) {
        std::fprintf(stderr, "the frame was not read\n");
        return 1;
    }

    // The prelude, from the connect to its last block.
    std::vector<double> preludes;
    qint64 preludeBytes = 0;
    for (int i = 0; i < 20; ++i) {
        QTcpSocket client;
        QByteArray got;
        QObject::connect(&client, &QTcpSocket::readyRead, &client,
                         [&] { got += client.readAll(); });
        QElapsedTimer clock;
        clock.start();
        client.connectToHost(QHostAddress::LocalHost, kPort);
        if (!waitUntil([&] { return got.endsWith("END PRELUDE:\n\n"); }, 10000)) {
            std::fprintf(stderr, "no prelude\n");
            return 1;
        }
        preludes.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        preludeBytes = got.size();
        client.abort();
    }

    // A route by the router protocol until the block that reports it.
    QTcpSocket hub;
    QByteArray hubText;
    QObject::connect(&hub, &QTcpSocket::readyRead, &hub, [&] { hubText += hub.readAll(); });
    hub.connectToHost(QHostAddress::LocalHost, kPort);
    if (!waitUntil([&] { return hubText.contains("END PRELUDE:\n\n"); }, 10000)) {
        std::fprintf(stderr, "no prelude for the routing client\n");
        return 1;
    }
    std::vector<double> viaHub;
    for (int i = 0; i < kRounds; ++i) {
        const int output = i % 64;
        const int input = 100 + i; // a change every time
        const QByteArray line = QByteArray::number(output) + ' ' + QByteArray::number(input);
        hubText.clear();
        QElapsedTimer clock;
        clock.start();
        hub.write("VIDEO OUTPUT ROUTING:\n" + line + "\n\n");
        if (!waitUntil([&] { return hubText.contains("VIDEO OUTPUT ROUTING:\n" + line + "\n"); },
                       5000)) {
            std::fprintf(stderr, "route %s not reported\n", line.constData());
            return 1;
        }
        viaHub.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }

    // The same routes on a raw socket to the frame: the request and its reply.
    const std::vector<double> bare =
        bareRouteRoundTrips(QStringLiteral("127.0.0.2"), frame->commandPort(), kRounds);
    if (bare.empty())
        return 1;

    const double hubMs = median(viaHub);
    const double bareMs = median(bare);
    std::printf("%-44s %8.2f ms (%lld bytes)\n", "prelude of a 1536 x 1536 frame (median)",
                median(preludes), static_cast<long long>(preludeBytes));
    std::printf("%-44s %8.3f ms\n", "route block to its report (median)", hubMs);
    std::printf("%-44s %8.3f ms\n", "bare route round trip to the frame (median)", bareMs);
    std::printf("%-44s %8.2fx (goal: at most 1.2x)\n", "ratio", bareMs > 0 ? hubMs / bareMs : 0.0);
    hubs.close();
    server.shutdown();
    return 0;
}
