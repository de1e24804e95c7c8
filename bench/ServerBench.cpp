// velmar-server in one process against a simulated frame over loopback:
//  1. a route by HTTP PUT until its 200, beside the bare frame round trip of
//     the same route (the request line on a raw socket to the frame's command
//     port until its reply), alternated in the same run; the ratio of the
//     medians says what the server adds (goal: 1.2 or less);
//  2. a route change made on the frame by another of its clients, until the
//     last of N WebSocket event clients has its "route" message.
// The server runs as the program runs it (its frame on a thread of its own);
// the simulated frame has a thread too, so this thread carries only the
// server's listener and the clients. Run it inside a private network
// namespace (scripts/in-netns.sh).
// FRAME_DELAY_MS > 0 has the frame hold each line it sends that long once it
// has been read, as a frame across a network answers later than loopback.
//   velmar_server_bench [ROUTES] [CLIENTS] [CHANGES] [FRAME_DELAY_MS]   (default 500 200 50 0)

#include "FrameProfile.h"
#include "SimulatedFrame.h"
#include "engine/XyBurst.h"
#include "protocol/RequestEncoder.h"
#include "server/CVelmarServer.h"
#include "server/WebSocketCodec.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QScopeGuard>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace velmar;

constexpr int kWaitMs = 10000;

double nowUs() {
    return static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count()) /
           1e3;
}

// When the frame, on its own thread, took the last route request in and sent
// its first line back: splits a round trip into its legs.
struct FrameMarks {
    std::atomic<double> received{0};
    std::atomic<double> answered{0};
    std::atomic<bool> armed{false};
};

// Runs the event loop until `done` or the time is up. It sleeps between
// events (a timer wakes it at the limit), so the threads measured have the
// cores to themselves.
bool spinUntil(const std::function<bool()>& done, int ms = kWaitMs) {
    QTimer limit;
    limit.setSingleShot(true);
    limit.start(ms);
    while (!done()) {
        if (!limit.isActive())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

struct Stats {
    double median = 0;
    double p95 = 0;
};

Stats statsOf(std::vector<double> us) {
    std::sort(us.begin(), us.end());
    if (us.empty())
        return {};
    return {us[us.size() / 2], us[std::min(us.size() - 1, us.size() * 95 / 100)]};
}

std::string requestLine(int output, int input) {
    char line[kEncodeBufferSize];
    const std::size_t n = encodeMessage(crosspointRequest(output, input), line);
    return std::string(line, n);
}

// A raw client of the frame's command port: writes request lines, counts
// the reply lines (':'), skips the frame's announcements to all clients.
class FrameClient {
public:
    bool open(const QHostAddress& address, quint16 port) {
        m_socket.connectToHost(address, port);
        if (!m_socket.waitForConnected(3000))
            return false;
        QObject::connect(&m_socket, &QTcpSocket::readyRead, &m_socket, [this] {
            m_input += m_socket.readAll();
            qsizetype end;
            while ((end = m_input.indexOf('\r')) >= 0) {
                if (m_input.startsWith(':'))
                    ++m_replies;
                m_input.remove(0, end + 1);
            }
        });
        return true;
    }
    void send(const std::string& line) {
        m_socket.write(line.data(), static_cast<qint64>(line.size()));
    }
    // One request until its reply; the time it was answered (nowUs), or -1.
    double roundTrip(const std::string& line) {
        const int before = m_replies;
        send(line);
        if (!spinUntil([&] { return m_replies > before; }))
            return -1;
        return nowUs();
    }

private:
    QTcpSocket m_socket;
    QByteArray m_input;
    int m_replies = 0;
};

// A keep-alive HTTP/1.1 client on a raw socket: one request at a time, the
// status line and Content-Length read from the answer.
class HttpClient {
public:
    bool open(quint16 port) {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        if (!m_socket.waitForConnected(3000))
            return false;
        QObject::connect(&m_socket, &QTcpSocket::readyRead, &m_socket, [this] {
            m_input += m_socket.readAll();
            parse();
        });
        return true;
    }
    // Status of the answer, or -1; `done` gets the time its last byte came (nowUs).
    int request(const std::string& method, const std::string& path, const std::string& body,
                double& done) {
        std::string r = method;
        r += ' ';
        r += path;
        r += " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\nContent-Length: ";
        r += std::to_string(body.size());
        r += "\r\n\r\n";
        r += body;
        m_status = 0;
        m_socket.write(r.data(), static_cast<qint64>(r.size()));
        if (!spinUntil([&] { return m_status != 0; }))
            return -1;
        done = nowUs();
        return m_status;
    }
    const QByteArray& body() const { return m_body; }

private:
    void parse() {
        const qsizetype head = m_input.indexOf("\r\n\r\n");
        if (head < 0)
            return;
        const QByteArray header = m_input.left(head).toLower();
        const qsizetype at = header.indexOf("content-length:");
        const qsizetype length =
            at < 0 ? 0 : header.mid(at + 15, header.indexOf('\r', at) - at - 15).trimmed().toLong();
        if (m_input.size() < head + 4 + length)
            return;
        m_body = m_input.mid(head + 4, length);
        m_status = m_input.mid(9, 3).toInt();
        m_input.remove(0, head + 4 + length);
    }

    QTcpSocket m_socket;
    QByteArray m_input;
    QByteArray m_body;
    int m_status = 0;
};

// A WebSocket client on a raw socket: its own handshake, then counts the
// text messages that announce a route; answers the server's pings.
class EventClient {
public:
    void open(quint16 port) {
        QObject::connect(&m_socket, &QTcpSocket::connected, &m_socket, [this] {
            const std::string r = "GET /api/v1/events HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                  "Upgrade: websocket\r\nConnection: Upgrade\r\n"
                                  "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                                  "Sec-WebSocket-Version: 13\r\n\r\n";
            m_socket.write(r.data(), static_cast<qint64>(r.size()));
        });
        QObject::connect(&m_socket, &QTcpSocket::readyRead, &m_socket, [this] { onBytes(); });
        m_socket.connectToHost(QHostAddress::LocalHost, port);
    }
    bool greeted() const { return m_messages > 0; }
    int routes() const { return m_routes; }
    bool lost() const { return m_socket.state() != QAbstractSocket::ConnectedState && m_open; }

private:
    void onBytes() {
        m_input += m_socket.readAll();
        if (!m_open) {
            const qsizetype head = m_input.indexOf("\r\n\r\n");
            if (head < 0)
                return;
            m_open = m_input.startsWith("HTTP/1.1 101");
            m_input.remove(0, head + 4);
        }
        // Server frames are never masked: opcode, length (7, 16 or 64 bits), payload.
        while (m_input.size() >= 2) {
            const auto b0 = static_cast<unsigned char>(m_input[0]);
            std::uint64_t length = static_cast<unsigned char>(m_input[1]) & 0x7F;
            qsizetype at = 2;
            if (length >= 126) {
                const int bytes = length == 126 ? 2 : 8;
                if (m_input.size() < 2 + bytes)
                    return;
                length = 0;
                for (int i = 0; i < bytes; ++i)
                    length = length << 8 | static_cast<unsigned char>(m_input[2 + i]);
                at += bytes;
            }
            if (static_cast<std::uint64_t>(m_input.size() - at) < length)
                return;
            const QByteArray payload = m_input.mid(at, static_cast<qsizetype>(length));
            m_input.remove(0, at + static_cast<qsizetype>(length));
            const int opcode = b0 & 0x0F;
            if (opcode == 0x1) {
                ++m_messages;
                if (payload.contains("\"type\":\"route\""))
                    ++m_routes;
            } else if (opcode == 0x9) {
                pong(payload);
            }
        }
    }
    void pong(const QByteArray& payload) {
        QByteArray frame;
        frame.append(static_cast<char>(0x8A));
        frame.append(static_cast<char>(0x80 | payload.size())); // a ping's payload is < 126
        frame.append(4, '\0');                                  // mask of zeros
        frame.append(payload);
        m_socket.write(frame);
    }

    QTcpSocket m_socket;
    QByteArray m_input;
    bool m_open = false;
    int m_messages = 0;
    int m_routes = 0;
};

// A thread of its own for the simulated frame or the server: they are made,
// used and ended there, by calls that wait for their end.
class HostThread {
public:
    explicit HostThread(const char* name) {
        m_thread.setObjectName(QString::fromLatin1(name));
        m_thread.start();
        m_context.moveToThread(&m_thread);
    }
    ~HostThread() {
        m_thread.quit();
        m_thread.wait();
    }
    void run(const std::function<void()>& work) {
        QMetaObject::invokeMethod(&m_context, work, Qt::BlockingQueuedConnection);
    }
    QObject& context() { return m_context; }

private:
    QThread m_thread;
    QObject m_context;
};

// CPU time of the calling thread, microseconds.
double threadCpuUs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

// The floor of a thread hand-off: a queued call to another thread and one
// back, while this thread waits in its event loop as the clients do.
double handOffUs(QObject& there) {
    QObject here;
    bool back = false;
    const double start = nowUs();
    QMetaObject::invokeMethod(
        &there,
        [&] {
            QMetaObject::invokeMethod(
                &here,
                [&] {
                    back = true;
                    // A posted call does not end a wait for more events by
                    // itself under every event dispatcher.
                    QCoreApplication::eventDispatcher()->interrupt();
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    spinUntil([&] { return back; });
    return nowUs() - start;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int routes = argc > 1 ? std::max(10, std::atoi(argv[1])) : 500;
    const int clients = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 250) : 200;
    const int changes = argc > 3 ? std::max(1, std::atoi(argv[3])) : 50;
    const int frameDelayMs = argc > 4 ? std::clamp(std::atoi(argv[4]), 0, 1000) : 0;

    std::optional<framesim::FrameProfile> profile = framesim::presetProfile("460");
    profile->aliveIntervalMs = 0; // no unasked traffic between the timed lines
    FrameMarks marks;
    HostThread simThread("framesim");
    std::unique_ptr<framesim::CSimulatedFrame> sim;
    QString error;
    quint16 framePort = 0;
    simThread.run([&] {
        sim = std::make_unique<framesim::CSimulatedFrame>(*profile);
        if (!sim->start(&error))
            return;
        framePort = sim->commandPort();
        // Direct: stamped on the frame's thread as the lines pass.
        QObject::connect(
            sim.get(), &framesim::CSimulatedFrame::lineReceived, sim.get(),
            [&marks](const QString& line) {
                if (line.contains(QLatin1String("scross"))) {
                    marks.received = nowUs();
                    marks.armed = true;
                }
            },
            Qt::DirectConnection);
        QObject::connect(
            sim.get(), &framesim::CSimulatedFrame::lineSent, sim.get(),
            [&marks](const QString&) {
                if (marks.armed.exchange(false))
                    marks.answered = nowUs();
            },
            Qt::DirectConnection);
    });
    if (framePort == 0) {
        std::fprintf(stderr,
                     "cannot start the simulated frame: %s (run inside scripts/in-netns.sh)\n",
                     qPrintable(error));
        return 1;
    }

    // The server's own thread carries its listener and connections, as the
    // program's main thread does; this one has only the clients.
    ServerConfig config;
    config.listenPort = 0;
    config.frames.push_back({profile->bindAddress, "a"});
    ServerLimits limits;
    limits.maxWebSocketClients = std::max(limits.maxWebSocketClients, clients + 8);
    HostThread serverThread("server");
    std::unique_ptr<CVelmarServer> server;
    quint16 port = 0;
    serverThread.run([&] {
        server = std::make_unique<CVelmarServer>(config, std::vector<ApiToken>{}, limits);
        server->startFrames({});
        if (server->listen(error))
            port = server->port();
    });
    const auto stop = qScopeGuard([&] {
        serverThread.run([&] { server.reset(); });
        simThread.run([&] { sim.reset(); });
    });
    if (port == 0) {
        std::fprintf(stderr, "cannot listen: %s\n", qPrintable(error));
        return 1;
    }

    FrameClient raw;
    HttpClient http;
    if (!raw.open(QHostAddress(QString::fromStdString(profile->bindAddress)), framePort) ||
        !http.open(port)) {
        std::fprintf(stderr, "cannot connect the clients\n");
        return 1;
    }
    // Read once the routes are served (503 while the frame is still being read).
    bool read = false;
    for (int tries = 0; tries < 500 && !read; ++tries) {
        double done = 0;
        read = http.request("GET", "/api/v1/frames/a/routes", {}, done) == 200;
        if (!read)
            spinUntil([] { return false; }, 20);
    }
    if (!read) {
        std::fprintf(stderr, "the server did not read the frame\n");
        return 1;
    }
    if (frameDelayMs > 0)
        simThread.run([&] { sim->faults().replyDelayMs = frameDelayMs; });

    // 1. Alternating: the same route by PUT, then on the raw socket. Outputs
    // alternate, and each step changes the input so the frame really routes.
    // Each leg of both: to the frame, in the frame, back to the client.
    struct Legs {
        std::vector<double> total, to, in, back;
        void add(double start, double done, const FrameMarks& m) {
            total.push_back(done - start);
            to.push_back(m.received - start);
            in.push_back(m.answered - m.received);
            back.push_back(done - m.answered);
        }
    };
    Legs put;
    Legs bare;
    std::vector<double> handOff;
    for (int i = 0; i < routes + 20; ++i) { // the first 20 of each warm up
        const int output = 1 + i % 2;
        const int input = 3 + (i / 2) % 2;
        const std::string path = "/api/v1/frames/a/routes/" + std::to_string(output);
        const std::string body = "{\"input\": " + std::to_string(input) + "}";
        const std::string line = requestLine(output, 7 - input);
        double start = nowUs();
        double done = 0;
        const int status = http.request("PUT", path, body, done);
        if (status != 200 || !http.body().contains("confirmed")) {
            std::fprintf(stderr, "PUT answered %d: %s\n", status, http.body().constData());
            return 1;
        }
        if (i >= 20)
            put.add(start, done, marks);
        // Let the frame's announcement of that change reach the server
        // before the next request, so it is not counted in the round trip.
        spinUntil([] { return false; }, 1);
        start = nowUs();
        done = raw.roundTrip(line);
        if (done < 0) {
            std::fprintf(stderr, "the frame did not answer the raw request\n");
            return 1;
        }
        if (i >= 20) {
            bare.add(start, done, marks);
            handOff.push_back(handOffUs(simThread.context()));
        }
        spinUntil([] { return false; }, 1);
    }
    const Stats p = statsOf(put.total);
    const Stats b = statsOf(bare.total);
    std::printf("route: %d of each, alternated, in microseconds; frame answers after %d ms\n",
                routes, frameDelayMs);
    std::printf("%-34s median %8.1f  p95 %8.1f\n", "PUT .../routes/N until its 200", p.median,
                p.p95);
    std::printf("%-34s median %8.1f  p95 %8.1f\n", "bare frame round trip (raw socket)", b.median,
                b.p95);
    std::printf("%-34s %8.2f (goal 1.2 or less)\n", "ratio of medians PUT / bare",
                p.median / b.median);
    const Stats h = statsOf(handOff);
    std::printf("%-34s median %8.1f  p95 %8.1f\n", "thread hand-off there and back", h.median,
                h.p95);
    std::printf("legs, medians: %-19s %8s %8s %8s\n", "", "to frame", "in frame", "back");
    for (const auto& [name, legs] : {std::pair{"PUT", &put}, std::pair{"bare", &bare}})
        std::printf("               %-19s %8.1f %8.1f %8.1f\n", name, statsOf(legs->to).median,
                    statsOf(legs->in).median, statsOf(legs->back).median);

    // 2. N event clients; each change made by the raw client on the frame.
    std::vector<std::unique_ptr<EventClient>> events;
    for (int i = 0; i < clients; ++i) {
        events.push_back(std::make_unique<EventClient>());
        events.back()->open(port);
    }
    if (!spinUntil([&] {
            return std::all_of(events.begin(), events.end(),
                               [](const auto& e) { return e->greeted(); });
        })) {
        int served = 0;
        serverThread.run([&] { served = server->webSocketClients(); });
        std::fprintf(stderr, "not every event client was greeted (%d served)\n", served);
        return 1;
    }
    // CPU the server's thread and the clients' spend on the changes, which
    // the wall times above share with whatever else the machine runs.
    double serverCpu = 0;
    serverThread.run([&] { serverCpu = -threadCpuUs(); });
    double clientCpu = -threadCpuUs();
    std::vector<double> fanOut;
    std::vector<double> firstIn;
    for (int i = 0; i < changes; ++i) {
        const int output = 1 + i % 2;
        const int input = 5 + (i / 2) % 2;
        std::vector<int> before;
        for (const auto& e : events)
            before.push_back(e->routes());
        const double start = nowUs();
        double first = 0;
        raw.send(requestLine(output, input));
        const bool all = spinUntil([&] {
            std::size_t have = 0;
            for (std::size_t k = 0; k < events.size(); ++k)
                have += events[k]->routes() > before[k] ? 1 : 0;
            if (have > 0 && first == 0)
                first = nowUs();
            return have == events.size();
        });
        if (!all) {
            const auto lost = std::count_if(events.begin(), events.end(),
                                            [](const auto& e) { return e->lost(); });
            std::fprintf(stderr, "change %d did not reach every client (%ld lost)\n", i,
                         static_cast<long>(lost));
            return 1;
        }
        fanOut.push_back(nowUs() - start);
        firstIn.push_back(first - start);
    }
    serverThread.run([&] { serverCpu += threadCpuUs(); });
    clientCpu += threadCpuUs();
    const Stats f = statsOf(fanOut);
    std::printf("route change on the frame to %d WebSocket clients, %d changes\n", clients,
                changes);
    const Stats fi = statsOf(firstIn);
    std::printf("%-34s median %8.1f  p95 %8.1f\n", "until the first client has it (us)", fi.median,
                fi.p95);
    std::printf("%-34s median %8.1f  p95 %8.1f\n", "until the last client has it (us)", f.median,
                f.p95);
    std::printf("%-34s %8.2f\n", "ratio to the bare round trip", f.median / b.median);
    std::printf("%-34s server %8.1f  clients %8.1f\n", "CPU per change (us)", serverCpu / changes,
                clientCpu / changes);
    return 0;
}
