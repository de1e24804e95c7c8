// Channel labels on a simulated 1536-channel frame: the time from opening the
// labels dialog to every label block received and shown, and the time for
// "Default all" (3072 labels) to be confirmed, each beside the floor of the
// same number of request/reply round trips between two bare sockets in the
// same event loop. The ratio floor / time says how much of the loopback's
// round-trip rate each keeps. Run it inside a private network namespace
// (scripts/in-netns.sh), with QT_QPA_PLATFORM=offscreen where no display is.
//   velmar_channel_bench [RUNS]

#include "FrameProfile.h"
#include "SimulatedFrame.h"
#include "channels/CChnLabelDlg.h"
#include "channels/CRunProgress.h"
#include "controls/CListCtrlEx.h"
#include "session/CCtlSession.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace velmar;

class YesQuestions final : public IQuestions {
public:
    bool askYesNo(std::string_view, std::string_view) override { return true; }
};

// `count` round trips of `line` between two bare sockets, each sent only
// after the previous reply, answered with `reply`.
double floorSeconds(int count, const QByteArray& line, const QByteArray& reply) {
    QTcpServer server;
    if (!server.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0))
        return -1;
    QTcpSocket client;
    QTcpSocket* peer = nullptr;
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&] {
        peer = server.nextPendingConnection();
        QObject::connect(peer, &QTcpSocket::readyRead, peer, [&] {
            for (const char c : peer->readAll())
                if (c == '\r')
                    peer->write(reply);
        });
    });
    client.connectToHost(QHostAddress(QStringLiteral("127.0.0.1")), server.serverPort());
    if (!client.waitForConnected(3000))
        return -1;
    int sent = 0;
    int answered = 0;
    QByteArray pending;
    QObject::connect(&client, &QTcpSocket::readyRead, &client, [&] {
        pending += client.readAll();
        qsizetype end;
        while ((end = pending.indexOf('\r')) >= 0) {
            pending.remove(0, end + 1);
            ++answered;
            if (sent < count) {
                client.write(line);
                ++sent;
            }
        }
    });
    while (peer == nullptr)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    QElapsedTimer clock;
    clock.start();
    client.write(line);
    ++sent;
    while (answered < count)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    return clock.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;

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
    CPollingEngine& engine = session.engine();
    engine.setStartupFlags(false, false, true); // "Default all" is a service-mode button
    YesQuestions questions;

    double open = 0;
    double defaults = 0;
    int blocks = 0;
    int labels = 0;
    for (int run = 0; run < runs; ++run) {
        // A label on the last channel tells when the last block is shown.
        DeviceMessage last;
        last.setI(1, 1);
        last.setI(2, 1536);
        last.setText(3, 17, "Run " + std::to_string(run));
        frame.model().store(CommandId::glabel, last);

        CChannelLabels logic(engine.state(), engine, questions);
        CChnLabelDlg dialog(logic, engine);
        auto* list = dialog.findChild<CListCtrlEx*>(QStringLiteral("channelLabels"));
        const QString expected = QString::fromStdString("Run " + std::to_string(run));
        QElapsedTimer clock;
        clock.start();
        engine.dialogs().channelLabels = &dialog;
        dialog.show();
        const std::vector<DeviceMessage> opening = labelOpeningRequests(logic.range());
        blocks = static_cast<int>(opening.size());
        for (const DeviceMessage& m : opening)
            engine.sendRequest(m);
        if (session.waitFor([&] { return list->text(1535, 3) == expected; }, 20000) !=
            CCtlSession::Wait::Done) {
            std::fprintf(stderr, "the labels dialog did not show every block\n");
            return 1;
        }
        open += clock.nsecsElapsed() / 1e9;

        std::vector<DeviceMessage> requests = logic.defaultAllPressed();
        labels = static_cast<int>(requests.size());
        clock.restart();
        const std::string summary =
            runRequestsWithProgress(engine, std::move(requests), "labels", QString(), &dialog);
        defaults += clock.nsecsElapsed() / 1e9;
        engine.dialogs().channelLabels = nullptr;
        if (summary != "The frame confirmed 3072 of 3072 labels.") {
            std::fprintf(stderr, "Default all: %s\n", summary.c_str());
            return 1;
        }
    }
    open /= runs;
    defaults /= runs;

    double openFloor = 0;
    double defaultsFloor = 0;
    for (int run = 0; run < runs; ++run) {
        const QByteArray block = "?llabel,1,1505,32\r";
        QByteArray blockReply = ":llabel,0,1,1505,32";
        for (int k = 0; k < 32; ++k)
            blockReply += ",'DESTINATION-" + QByteArray::number(1505 + k) + "'";
        blockReply += "\r";
        openFloor += floorSeconds(blocks, block, blockReply);
        defaultsFloor += floorSeconds(labels, "&slabel,1,1536,'DESTINATION-1536'\r",
                                      ":slabel,0,1,1536,'DESTINATION-1536'\r");
    }
    openFloor /= runs;
    defaultsFloor /= runs;

    std::printf("channel labels on a 1536-channel frame, mean of %d runs\n", runs);
    std::printf("%-34s %.3f s (%d blocks)\n", "open to every block shown", open, blocks);
    std::printf("%-34s %.3f s\n", "  bare socket floor", openFloor);
    std::printf("%-34s %.3f\n", "  ratio floor / open", openFloor / open);
    std::printf("%-34s %.3f s (%d labels)\n", "Default all confirmed", defaults, labels);
    std::printf("%-34s %.3f s\n", "  bare socket floor", defaultsFloor);
    std::printf("%-34s %.3f\n", "  ratio floor / Default all", defaultsFloor / defaults);
    session.close();
    return 0;
}
