// End-to-end timing of a connect: the real main window against a simulated
// 460 frame with every card fitted, over loopback. Run it inside a private
// network namespace (scripts/in-netns.sh), like everything that opens sockets.
//
// It prints, for stage two and for the ready state (settings enabled, cards
// polled), the time from the connect and the floor the window's one-shot
// timers impose (100 ms after the main board's version reply, 200 ms after
// the second PSU's status reply), with their ratio; then the lines per second
// the window decodes and dispatches while the frame floods the link with "!"
// status messages, with the event log written as for a user (into a
// temporary data folder), and the longest pause of the window's event loop
// meanwhile; and the resident memory once ready.

#include "BenchSupport.h"
#include "FrameProfile.h"
#include "SimulatedFrame.h"
#include "events/CEventLogPanel.h"
#include "window/CZarvoDlg.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace velmar;

using bench::waitUntil;

// This process's processor time: on a busy machine the wall clock also
// counts the time other programs had the processor.
double processSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

long residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

struct Sent {
    qint64 atNs;
    QString line;
};

qint64 firstSent(const std::vector<Sent>& sent, const QString& prefix) {
    for (const Sent& s : sent)
        if (s.line.startsWith(prefix))
            return s.atNs;
    return -1;
}

void report(const char* what, double measuredMs, double floorMs) {
    std::printf("%-34s %8.1f ms   floor %8.1f ms   measured/floor %.3f\n", what, measuredMs,
                floorMs, floorMs > 0 ? measuredMs / floorMs : 0.0);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The event log goes where the window puts it for a user, in a data
    // folder of the bench's own.
    QTemporaryDir dataHome;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int floodLines = argc > 2 ? std::max(1000, std::atoi(argv[2])) : 200000;

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

    QTemporaryDir dir;
    QSettings settings(dir.filePath(QStringLiteral("profile.ini")), QSettings::IniFormat);
    CZarvoDlg window(StartupOptions{}, settings);
    if (!waitUntil([&] { return !window.deviceList().rows().empty(); }, 3000)) {
        std::fprintf(stderr, "the search found no frame\n");
        return 1;
    }

    QElapsedTimer clock;
    clock.start();
    std::vector<Sent> sent;
    QObject::connect(&frame, &framesim::CSimulatedFrame::lineSent, &frame,
                     [&](const QString& line) {
                         sent.push_back({clock.nsecsElapsed(), line});
                     });

    double sumStage2 = 0, sumStage2Floor = 0, sumReady = 0, sumReadyFloor = 0;
    for (int run = 0; run < runs; ++run) {
        sent.clear();
        const qint64 t0 = clock.nsecsElapsed();
        window.connectToRow(0);
        if (!waitUntil([&] { return window.engine().settingsEnabled(); }, 5000)) {
            std::fprintf(stderr, "the window never got ready\n");
            return 1;
        }
        // Ready once the frame has answered the card poll: 300 ms of quiet.
        waitUntil(
            [&] { return !sent.empty() && clock.nsecsElapsed() - sent.back().atNs > 300'000'000; },
            5000);

        const qint64 version = firstSent(sent, QStringLiteral(":gswver,0,2,"));
        const qint64 stage2End = firstSent(sent, QStringLiteral(":gbkdomain,"));
        const qint64 psu2 = firstSent(sent, QStringLiteral(":gpsustatus,0,2,"));
        const qint64 ready = sent.back().atNs;
        if (version < 0 || stage2End < 0 || psu2 < 0) {
            std::fprintf(stderr, "a reply the timing needs was not seen\n");
            return 1;
        }
        sumStage2 += (stage2End - t0) / 1e6;
        sumStage2Floor += (version - t0) / 1e6 + 100.0;
        sumReady += (ready - t0) / 1e6;
        sumReadyFloor += (psu2 - t0) / 1e6 + 200.0;
        if (run + 1 < runs) {
            window.closeConnection();
            waitUntil([&] { return frame.clientCount() == 0; }, 2000);
        }
    }
    std::printf("connect to a 460 with every card, mean of %d runs\n", runs);
    report("end of stage two", sumStage2 / runs, sumStage2Floor / runs);
    report("ready (settings on, cards polled)", sumReady / runs, sumReadyFloor / runs);
    std::printf("%-34s %8ld KiB (window and simulated frame in one process)\n",
                "resident memory when ready", residentKiB());

    // Flood: the frame sends its status messages as fast as it can; the last
    // one names a source no other does, so its arrival marks the end.
    std::string flood;
    flood.reserve(static_cast<std::size_t>(floodLines) * 18);
    for (int i = 0; i < floodLines; ++i)
        flood += "!gsyncstat,0," + std::to_string(1 + i % 5) + ",0\r";
    flood += "!gsyncstat,0,9,0\r";
    QObject::disconnect(&frame, &framesim::CSimulatedFrame::lineSent, nullptr, nullptr);
    // A timer that should tick every 5 ms: its longest gap is how long the
    // window could not answer input.
    QElapsedTimer tickClock;
    qint64 lastTick = 0;
    qint64 longestGap = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &ticker, [&] {
        const qint64 now = tickClock.nsecsElapsed();
        longestGap = std::max(longestGap, now - lastTick);
        lastTick = now;
    });
    const std::size_t eventsBefore = window.eventLog()->history().rowCount();
    QElapsedTimer floodClock;
    floodClock.start();
    const double cpuStart = processSeconds();
    tickClock.start();
    ticker.start(5);
    frame.sendToAll(flood);
    if (!waitUntil([&] { return window.engine().state().live.syncSource == 9; }, 60000)) {
        std::fprintf(stderr, "the flood did not get through\n");
        return 1;
    }
    const double seconds = floodClock.nsecsElapsed() / 1e9;
    const double cpuSeconds = processSeconds() - cpuStart;
    ticker.stop();
    std::printf("%-34s %8.0f lines/s (%d lines in %.3f s)\n", "decoded and dispatched",
                (floodLines + 1) / seconds, floodLines + 1, seconds);
    std::printf("%-34s %8.0f lines/s (%.3f s of processor time, frame included)\n",
                "  per processor second", (floodLines + 1) / cpuSeconds, cpuSeconds);
    std::printf("%-34s %8.1f ms\n", "longest event loop pause", longestGap / 1e6);
    window.eventLog()->flushLog();
    std::printf("%-34s %8zu (event log %s)\n", "events the flood made",
                window.eventLog()->history().rowCount() - eventsBefore,
                window.eventLog()->logFile() != nullptr ? "on" : "OFF");
    return 0;
}
