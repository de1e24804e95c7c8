// Firmware transfer throughput: a 5000-record image sent by the firmware run
// (the dialog's and velmarctl's logic, on velmarctl's session) to a simulated
// frame over loopback, beside the floor of the same number of request/reply
// round trips of the same line lengths between two bare sockets in the same
// event loop. The ratio floor time / transfer time says how much of the
// loopback's round-trip rate the transfer keeps (goal: 0.8 or more). Run it
// inside a private network namespace (scripts/in-netns.sh).
//   velmar_flash_bench [RECORDS] [RUNS]

#include "FrameProfile.h"
#include "SimulatedFrame.h"
#include "session/CCtlSession.h"
#include "engine/CQtTimerHost.h"
#include "maintenance/FlashTransfer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace velmar;

// S3 records of 10 to 255 characters, the mix an image holds.
std::string image(int records) {
    std::string out = ";Type:460,Release:bench\r\n";
    for (int i = 0; i < records; ++i) {
        std::string r = "S3" + std::to_string(i);
        const std::size_t length = i % 10 == 0 ? 255 : 76; // mostly full lines, a few long
        while (r.size() < length)
            r += "0123456789ABCDEF"[r.size() % 16];
        out += r + "\r\n";
    }
    return out;
}

class BenchHost final : public IFlashRunHost {
public:
    explicit BenchHost(std::string bytes) : m_bytes(std::move(bytes)) {}
    std::optional<std::string> readFile(const std::string&) override { return m_bytes; }
    void showMessage(std::string_view text) override { failed = std::string(text); }
    void showWarning(std::string_view text) override { failed = std::string(text); }
    // Start and the unverified question yes; no restart, the frame is used again.
    bool askYesNo(FlashQuestion q, std::string_view) override {
        return q != FlashQuestion::Restart;
    }
    void displayChanged(const FlashDisplay&) override {}
    void programmingChanged(bool) override {}
    void restartRequested() override {}
    std::string failed;

private:
    std::string m_bytes;
};

// One transfer through the run; seconds from the begin request to the end's
// acknowledgement, or -1.
double transferSeconds(CCtlSession& session, const std::string& bytes) {
    BenchHost host(bytes);
    CFlashRun* run = nullptr;
    CQtTimerHost timers([&run](int id) {
        if (id == kTimerFirmware && run)
            run->onTimer();
    });
    CFlashRun flashRun(timers, session.engine(), host);
    run = &flashRun;
    session.setObserver([&](const DeviceMessage& m, bool isReply, const CResponseDecoder&) {
        if (isReply && m.command == CommandId::sprog)
            flashRun.onReply(m);
    });
    QElapsedTimer clock;
    clock.start();
    if (!flashRun.start({"bench.flash"}))
        return -1;
    const CCtlSession::Wait wait = session.waitFor([&] { return !flashRun.busy(); }, 120000);
    const double seconds = clock.nsecsElapsed() / 1e9;
    session.setObserver(nullptr);
    if (wait != CCtlSession::Wait::Done || flashRun.outcome().kind != FlashOutcome::Programmed) {
        std::fprintf(stderr, "the transfer failed (wait %d, outcome %d, %d of %d records): %s\n",
                     static_cast<int>(wait), static_cast<int>(flashRun.outcome().kind),
                     flashRun.outcome().recordsSent, flashRun.outcome().totalRecords,
                     host.failed.c_str());
        if (wait == CCtlSession::Wait::LinkLost)
            std::fprintf(stderr, "the link ended: %s\n",
                         std::string(linkLossText(session.lossCause())).c_str());
        return -1;
    }
    return seconds;
}

// The same round trips between two bare sockets: the request line of each
// record out, ":sprog,0,1" back, the next only after the reply.
double floorSeconds(const std::vector<std::string>& lines) {
    QTcpServer server;
    if (!server.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0))
        return -1;
    QTcpSocket client;
    QTcpSocket* peer = nullptr;
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&] {
        peer = server.nextPendingConnection();
        QObject::connect(peer, &QTcpSocket::readyRead, peer, [&] {
            const QByteArray data = peer->readAll();
            for (const char c : data)
                if (c == '\r')
                    peer->write(":sprog,0,1\r");
        });
    });
    client.connectToHost(QHostAddress(QStringLiteral("127.0.0.1")), server.serverPort());
    if (!client.waitForConnected(3000))
        return -1;
    std::size_t next = 0;
    std::size_t answered = 0;
    QByteArray pending;
    QObject::connect(&client, &QTcpSocket::readyRead, &client, [&] {
        pending += client.readAll();
        qsizetype end;
        while ((end = pending.indexOf('\r')) >= 0) {
            pending.remove(0, end + 1);
            ++answered;
            if (next < lines.size())
                client.write(lines[next++].c_str());
        }
    });
    while (peer == nullptr)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    QElapsedTimer clock;
    clock.start();
    client.write(lines[next++].c_str());
    while (answered < lines.size())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    return clock.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int records = argc > 1 ? std::max(100, std::atoi(argv[1])) : 5000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;

    std::optional<framesim::FrameProfile> profile = framesim::presetProfile("460");
    profile->aliveIntervalMs = 0;
    framesim::CSimulatedFrame frame(*profile);
    QString error;
    if (!frame.start(&error)) {
        std::fprintf(stderr,
                     "cannot start the simulated frame: %s (run inside scripts/in-netns.sh)\n",
                     qPrintable(error));
        return 1;
    }
    CCtlSession session;
    if (!session.open({profile->bindAddress, "460"}, false, 5000) ||
        session.waitUntilSettled(10000) != CCtlSession::Wait::Done) {
        std::fprintf(stderr, "cannot connect to the simulated frame\n");
        return 1;
    }

    const std::string bytes = image(records);
    // The lines as the wire carries them: begin, the records, end.
    std::vector<std::string> lines{"&sprog,0\r"};
    CFlashLineReader reader(bytes);
    while (const std::optional<std::string_view> line = reader.next())
        if (!line->empty() && line->front() == 'S')
            lines.push_back("&sprog,1#" + std::string(*line) + "\r");
    lines.push_back("&sprog,2\r");

    double transfer = 0;
    double floor = 0;
    for (int run = 0; run < runs; ++run) {
        const double t = transferSeconds(session, bytes);
        if (t < 0)
            return 1;
        if (frame.programRecords().size() != static_cast<std::size_t>(records)) {
            std::fprintf(stderr, "the frame kept %zu records of %d\n",
                         frame.programRecords().size(), records);
            return 1;
        }
        const double f = floorSeconds(lines);
        if (f < 0) {
            std::fprintf(stderr, "the bare socket pair did not work\n");
            return 1;
        }
        transfer += t;
        floor += f;
    }
    transfer /= runs;
    floor /= runs;
    std::printf("firmware transfer of %d records, mean of %d runs\n", records, runs);
    std::printf("%-28s %9.0f records/s (%.3f s)\n", "run against the frame", records / transfer,
                transfer);
    std::printf("%-28s %9.0f round trips/s (%.3f s)\n", "bare socket pair (floor)",
                lines.size() / floor, floor);
    std::printf("%-28s %9.3f (goal 0.8 or more)\n", "ratio floor / transfer", floor / transfer);
    session.close();
    return 0;
}
