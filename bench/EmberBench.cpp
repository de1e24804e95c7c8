// The Ember+ face of velmar-server against a simulated 1536 x 1536 frame, in
// one process over loopback. Run it inside a private network namespace
// (scripts/in-netns.sh), like everything that opens sockets.
//
// It prints:
//  - the time a consumer takes to expand the whole tree, one GetDirectory at
//    a time as consumers do, first node by node (parameters come with their
//    parent's directory), then also asking every parameter on its own;
//  - the time from a connection request to its tally, against the bare round
//    trip of the same route sent to the frame on a raw socket, with the ratio;
//  - the latency of a small request by one consumer, alone and while another
//    reads the matrix and both label nodes over and over (both on threads of
//    their own, so that their reading does not count against the server),
//    and what such a read costs the server's thread in one turn.
//
// Usage: velmar_ember_bench [RUNS] [FRAME_DELAY_MS]
//   RUNS: runs of each tree expansion (default 5); FRAME_DELAY_MS: how long the
//   simulated frame holds each reply during the route measure (default 0), to
//   see the ratio against a frame as slow as a real one.

#include "BenchSupport.h"
#include "FrameProfile.h"
#include "SimulatedFrame.h"
#include "emberplus/EmberProvider.h"
#include "emberplus/S101.h"
#include "protocol/RequestEncoder.h"
#include "server/CEmberServer.h"
#include "server/CVelmarServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

namespace {

using namespace velmar;
using namespace velmar::ember;

using namespace velmar::bench;

constexpr quint16 kEmberPort = 9000;
constexpr int kRounds = 200;

// A consumer on the project's codec: every Ember message it receives, whole
// and decoded, in order.
class Consumer {
public:
    Consumer() {
        QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [this] {
            const QByteArray chunk = socket.readAll();
            bytes += chunk.size();
            std::vector<S101Message> got;
            if (!decoder.feed(
                    std::string_view(chunk.constData(), static_cast<std::size_t>(chunk.size())),
                    got))
                broken = true;
            for (S101Message& m : got) {
                if (m.kind != S101Message::Kind::Ember)
                    continue;
                GlowDecoded d = decodeGlow(m.payload);
                if (!d.ok())
                    broken = true;
                messages.push_back(std::move(d.elements));
            }
        });
    }
    bool open() {
        socket.connectToHost(QHostAddress::LocalHost, kEmberPort);
        return socket.waitForConnected(5000);
    }
    void send(const std::vector<GlowElement>& message) {
        const std::string framed = s101EncodeEmber(encodeGlow(message));
        socket.write(framed.data(), static_cast<qint64>(framed.size()));
    }
    // Waits for a message after `from` that `is` takes as the answer; its index.
    std::optional<std::size_t>
    answer(std::size_t from, const std::function<bool(const std::vector<GlowElement>&)>& is) {
        std::size_t at = from;
        std::optional<std::size_t> found;
        waitUntil(
            [&] {
                for (; at < messages.size() && !found; ++at)
                    if (is(messages[at]))
                        found = at;
                return found || broken;
            },
            10000);
        return found;
    }

    QTcpSocket socket;
    CS101Decoder decoder;
    std::vector<std::vector<GlowElement>> messages;
    qint64 bytes = 0;
    bool broken = false;
};

GlowElement ask(GlowPath path, GlowElementType kind) {
    GlowElement command;
    command.type = GlowElementType::Command;
    command.command = GlowCommandType::GetDirectory;
    GlowElement e;
    e.type = kind;
    e.path = std::move(path);
    e.children = std::vector<GlowElement>{command};
    return e;
}

GlowElement askRoot() {
    GlowElement command;
    command.type = GlowElementType::Command;
    command.command = GlowCommandType::GetDirectory;
    return command;
}

GlowPath child(const GlowPath& parent, std::uint32_t n) {
    GlowPath p = parent;
    p.push_back(n);
    return p;
}

// Where an element of a reply stands.
GlowPath placeOf(const GlowElement& e, const GlowPath& asked) {
    return e.path ? *e.path : child(asked, static_cast<std::uint32_t>(e.number));
}

// A reply is the answer to a GetDirectory of `asked` when it names the path
// itself or its direct children (the root's children come unqualified).
bool answers(const std::vector<GlowElement>& reply, const GlowPath& asked) {
    if (reply.empty())
        return false;
    const GlowElement& e = reply.front();
    if (asked.empty())
        return !e.path && e.type == GlowElementType::Node;
    if (!e.path)
        return false;
    if (*e.path == asked)
        return e.type != GlowElementType::Matrix || e.connections.has_value();
    return e.path->size() == asked.size() + 1 &&
           std::equal(asked.begin(), asked.end(), e.path->begin());
}

struct Expansion {
    std::size_t elements = 0; // nodes, parameters, matrices and connections received
    std::size_t requests = 0;
    qint64 bytes = 0;
    double ms = 0;
};

// Expands the whole tree depth first, one request at a time; with
// `everyParameter` it also asks each parameter it meets for its own directory.
std::optional<Expansion> expand(Consumer& c, bool everyParameter) {
    Expansion x;
    const qint64 bytesBefore = c.bytes;
    QElapsedTimer clock;
    clock.start();
    std::vector<std::pair<GlowPath, GlowElementType>> todo{{{}, GlowElementType::Node}};
    while (!todo.empty()) {
        const auto [path, kind] = todo.back();
        todo.pop_back();
        const std::size_t from = c.messages.size();
        c.send({path.empty() ? askRoot() : ask(path, kind)});
        ++x.requests;
        const auto at = c.answer(from, [&](const auto& m) { return answers(m, path); });
        if (!at)
            return std::nullopt;
        for (const GlowElement& e : c.messages[*at]) {
            ++x.elements;
            if (e.connections)
                x.elements += e.connections->size();
            const GlowPath place = placeOf(e, path);
            if (place == path)
                continue; // the element asked for itself
            if (e.type == GlowElementType::Node || e.type == GlowElementType::Matrix ||
                (everyParameter && e.type == GlowElementType::Parameter))
                todo.emplace_back(place, e.type);
        }
    }
    x.ms = msSince(clock);
    x.bytes = c.bytes - bytesBefore;
    return x;
}

bool isTally(const std::vector<GlowElement>& reply, int target, int source) {
    for (const GlowElement& e : reply)
        if (e.type == GlowElementType::Matrix && e.connections)
            for (const GlowConnection& c : *e.connections)
                if (c.target == target && c.disposition == GlowConnectionDisposition::Tally &&
                    c.sources == std::vector<std::int32_t>{source})
                    return true;
    return false;
}

// Identity directories asked one at a time by a consumer on a thread of its
// own, while this thread serves; the wait for each, or nothing on a failure.
std::optional<std::vector<double>> smallAsks(int count) {
    std::vector<double> out;
    std::atomic<bool> done{false};
    std::atomic<bool> failed{false};
    std::thread asker([&] {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, kEmberPort);
        if (!s.waitForConnected(5000)) {
            failed = true;
            done = true;
            return;
        }
        const std::string askSmall =
            s101EncodeEmber(encodeGlow({ask({1, kIdentity}, GlowElementType::Node)}));
        CS101Decoder decoder;
        std::vector<S101Message> got;
        for (int i = 0; i < count && !failed; ++i) {
            QElapsedTimer clock;
            clock.start();
            s.write(askSmall.data(), static_cast<qint64>(askSmall.size()));
            s.waitForBytesWritten(1000);
            bool answered = false;
            while (!answered) {
                if (!s.waitForReadyRead(5000)) {
                    failed = true;
                    break;
                }
                const QByteArray bytes = s.readAll();
                got.clear();
                decoder.feed(
                    std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                    got);
                for (const S101Message& m : got)
                    answered =
                        answered || (m.kind == S101Message::Kind::Ember &&
                                     answers(decodeGlow(m.payload).elements, {1, kIdentity}));
            }
            out.push_back(msSince(clock));
            // Asks spread over time, as a panel's would be.
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
        done = true;
    });
    waitUntil([&] { return done.load(); }, 120000);
    asker.join();
    if (failed)
        return std::nullopt;
    return out;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int frameDelayMs = argc > 2 ? std::clamp(std::atoi(argv[2]), 0, 1000) : 0;
    const auto frame = startRoutedFrame();
    if (!frame)
        return 1;

    ServerConfig config;
    config.listenPort = 0;
    config.emberPort = kEmberPort;
    config.frames = {{"127.0.0.2", "a"}};
    CVelmarServer server(config, {});
    QString error;
    if (!server.listen(error)) {
        std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
        return 1;
    }
    CEmberServer ember(server, config);
    if (!ember.listen(error)) {
        std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
        return 1;
    }
    QTemporaryDir state;
    server.startFrames(state.path());
    if (!waitUntil([&] { return server.frame("a")->read; }, 20000)) {
        std::fprintf(stderr, "the frame was not read\n");
        return 1;
    }

    // 1. The whole tree, by a fresh consumer each run.
    for (const bool everyParameter : {false, true}) {
        std::vector<double> times;
        Expansion last;
        for (int i = 0; i < runs; ++i) {
            Consumer c;
            if (!c.open()) {
                std::fprintf(stderr, "no Ember+ connection\n");
                return 1;
            }
            const auto x = expand(c, everyParameter);
            if (!x || c.broken) {
                std::fprintf(stderr, "the tree was not expanded\n");
                return 1;
            }
            times.push_back(x->ms);
            last = *x;
        }
        std::printf("%-48s %9.2f ms (%zu requests, %zu elements, %lld bytes)\n",
                    everyParameter ? "whole tree, every parameter asked too (median)"
                                   : "whole tree, node by node (median)",
                    median(times), last.requests, last.elements,
                    static_cast<long long>(last.bytes));
    }

    // 2. A connection request until its tally.
    frame->faults().replyDelayMs = frameDelayMs;
    Consumer router;
    if (!router.open()) {
        std::fprintf(stderr, "no Ember+ connection\n");
        return 1;
    }
    {
        const std::size_t from = router.messages.size();
        router.send({ask({1, kCrosspoints}, GlowElementType::Matrix)});
        if (!router.answer(from, [](const auto& m) { return answers(m, {1, kCrosspoints}); })) {
            std::fprintf(stderr, "no matrix\n");
            return 1;
        }
    }
    std::vector<double> viaEmber;
    for (int i = 0; i < kRounds; ++i) {
        const int target = i % 64;
        const int source = 100 + i; // a change every time
        GlowConnection c;
        c.target = target;
        c.sources = std::vector<std::int32_t>{source};
        c.operation = GlowConnectionOperation::Absolute;
        GlowElement m;
        m.type = GlowElementType::Matrix;
        m.path = GlowPath{1, kCrosspoints};
        m.connections = std::vector<GlowConnection>{c};
        const std::size_t from = router.messages.size();
        QElapsedTimer clock;
        clock.start();
        router.send({m});
        if (!router.answer(from, [&](const auto& r) { return isTally(r, target, source); })) {
            std::fprintf(stderr, "no tally for target %d\n", target);
            return 1;
        }
        viaEmber.push_back(msSince(clock));
    }

    // The same routes on a raw socket to the frame: the request and its reply.
    const std::vector<double> bare =
        bareRouteRoundTrips(QStringLiteral("127.0.0.2"), frame->commandPort(), kRounds);
    if (bare.empty())
        return 1;
    frame->faults().replyDelayMs = 0;

    // What one request for the matrix and both label nodes costs the
    // server's thread, in one turn of its loop, without sockets.
    std::vector<double> handling, encoding, framing, perRoute;
    {
        CEmberProvider provider(1);
        std::vector<EmberSend> sends;
        provider.frameChanged(0, emberFrameOf(*server.frame("a")), sends);
        provider.connect(1);
        const std::vector<GlowElement> askBig{
            ask({1, kCrosspoints}, GlowElementType::Matrix),
            ask({1, kLabels, kTargetLabels}, GlowElementType::Node),
            ask({1, kLabels, kSourceLabels}, GlowElementType::Node)};
        for (int i = 0; i < 20; ++i) {
            sends.clear();
            QElapsedTimer clock;
            clock.start();
            provider.handle(1, askBig, sends); // built and encoded once, then kept
            handling.push_back(msSince(clock));
            std::vector<std::vector<GlowElement>> replies;
            for (const EmberSend& s : sends)
                replies.push_back(decodeGlow(s.glow).elements);
            clock.restart();
            for (const auto& r : replies)
                encodeGlow(r); // the encoding alone
            encoding.push_back(msSince(clock));
            clock.restart();
            for (const EmberSend& s : sends)
                s101EncodeEmber(s.glow);
            framing.push_back(msSince(clock));
        }
        // The provider's own part of a route: the request read and handled
        // (its pending reply framed), then the frame's confirmation told.
        for (int i = 0; i < kRounds; ++i) {
            GlowElement m;
            m.type = GlowElementType::Matrix;
            m.path = GlowPath{1, kCrosspoints};
            m.connections =
                std::vector<GlowConnection>{{.target = i % 64,
                                             .sources = std::vector<std::int32_t>{100 + i},
                                             .operation = GlowConnectionOperation::Absolute,
                                             .disposition = std::nullopt}};
            const std::string in = s101EncodeEmber(encodeGlow({m}));
            sends.clear();
            QElapsedTimer clock;
            clock.start();
            CS101Decoder decoder;
            std::vector<S101Message> got;
            decoder.feed(in, got);
            auto requests = provider.handle(1, decodeGlow(got.at(0).payload).elements, sends);
            for (const EmberSend& s : sends)
                s101EncodeEmber(s.glow);
            sends.clear();
            std::vector<EmberRoute> confirmed{{i % 64 + 1, 101 + i}};
            provider.routesReported(0, confirmed, sends);
            provider.settled(1, requests.at(0), sends);
            for (const EmberSend& s : sends)
                s101EncodeEmber(s.glow);
            perRoute.push_back(msSince(clock));
        }
    }

    // 3. A small request while another consumer keeps reading the large nodes.
    // The reader runs on its own thread with blocking reads and only cuts the
    // stream into messages; the server stays on this one.
    const auto idle = smallAsks(kRounds / 2);
    std::atomic<bool> stop{false};
    std::atomic<int> reads{0};
    std::atomic<bool> readerFailed{false};
    std::thread reader([&] {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, kEmberPort);
        if (!s.waitForConnected(5000)) {
            readerFailed = true;
            return;
        }
        const std::string askBig =
            s101EncodeEmber(encodeGlow({ask({1, kCrosspoints}, GlowElementType::Matrix),
                                        ask({1, kLabels, kTargetLabels}, GlowElementType::Node),
                                        ask({1, kLabels, kSourceLabels}, GlowElementType::Node)}));
        CS101Decoder decoder(
            S101Limits{.maxFrameBytes = 8 * 1024, .maxMessageBytes = 64 * 1024 * 1024});
        std::vector<S101Message> got;
        while (!stop) {
            s.write(askBig.data(), static_cast<qint64>(askBig.size()));
            s.waitForBytesWritten(1000);
            std::size_t ember = 0;
            while (ember < 3 && !stop) {
                if (!s.waitForReadyRead(1000))
                    continue;
                const QByteArray bytes = s.readAll();
                got.clear();
                if (!decoder.feed(
                        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                        got)) {
                    readerFailed = true;
                    return;
                }
                for (const S101Message& m : got)
                    ember += m.kind == S101Message::Kind::Ember;
            }
            ++reads;
        }
    });
    // The small consumer is on a thread of its own as well: measured on the
    // server's thread, its wait would include its own reply sitting unread
    // behind the server's next turn.
    waitUntil([&] { return reads > 0 || readerFailed; }, 10000);
    const int readsBefore = reads;
    QElapsedTimer span;
    span.start();
    const auto busy = smallAsks(kRounds);
    const double spanMs = msSince(span);
    const int bigReads = reads - readsBefore;
    stop = true; // the reader sees it within a second
    reader.join();
    if (readerFailed || !idle || !busy) {
        std::fprintf(stderr, "a consumer got no answer\n");
        return 1;
    }

    const double emberMs = median(viaEmber);
    const double bareMs = median(bare);
    if (frameDelayMs > 0)
        std::printf("the frame holds each reply %d ms\n", frameDelayMs);
    std::printf("%-48s %9.3f ms\n", "connection request to its tally (median)", emberMs);
    std::printf("%-48s %9.3f ms\n", "bare route round trip to the frame (median)", bareMs);
    std::printf("%-48s %9.2fx (goal: at most 1.2x)\n", "ratio",
                bareMs > 0 ? emberMs / bareMs : 0.0);
    std::printf("%-48s %9.3f ms (median; the rest is the server's way to the frame and back)\n",
                "of which the provider's own work", median(perRoute));
    // The directories are kept encoded once built: a turn is a copy and the
    // S101 framing; what encoding them anew would cost is shown beside it.
    std::printf("%-48s %9.3f ms (medians: %.3f answering from the kept directories, S101 %.3f; "
                "their Glow encoding alone %.3f)\n",
                "server's turn for matrix + both label nodes", median(handling) + median(framing),
                median(handling), median(framing), median(encoding));
    const auto latency = [](const char* what, const std::vector<double>& ms) {
        std::printf("%-48s %9.3f ms median, %.3f ms p95, %.3f ms worst\n", what, median(ms),
                    quantile(ms, 0.95), quantile(ms, 1.0));
    };
    latency("identity directory, nobody else asking", *idle);
    latency("identity while another reads matrix + labels", *busy);
    std::printf("%-48s %9d in %.0f ms\n", "  (the other's reads meanwhile)", bigReads, spanMs);
    ember.close();
    server.shutdown();
    return 0;
}
