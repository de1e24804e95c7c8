// velmarctl's commands against simulated frames, run in this process so the
// frames and the command share one event loop.

#include "CtlSupport.h"
#include "IntegrationSupport.h"
#include "ctl/CCtlRunner.h"
#include "ctl/CtlCommands.h"
#include "events/EventLogFile.h"
#include "engine/CQtTimerHost.h"
#include "engine/FileAccess.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimer>
#include <sys/stat.h>

namespace velmar {
namespace {

using framesim::CSimulatedFrame;
using framesim::FrameProfile;

constexpr const char* kFrame = "127.0.0.2";
constexpr const char* kSecond = "127.0.0.3";
constexpr const char* kNobody = "127.0.0.9";

// Real QTimers for everything but the alive timer, which the test fires by
// hand: silence is then noticed without waiting seconds for it.
class ManualAliveTimers final : public ITimerHost {
public:
    explicit ManualAliveTimers(std::function<void(int)> fired)
        : m_fired(fired), m_real(std::move(fired)) {}
    void startTimer(int id, int periodMs) override {
        if (id == kTimerAlive)
            m_aliveRunning = true;
        else
            m_real.startTimer(id, periodMs);
    }
    void stopTimer(int id) override {
        if (id == kTimerAlive)
            m_aliveRunning = false;
        else
            m_real.stopTimer(id);
    }
    bool aliveRunning() const { return m_aliveRunning; }
    void fireAlive() {
        if (m_aliveRunning)
            m_fired(kTimerAlive);
    }

private:
    std::function<void(int)> m_fired;
    CQtTimerHost m_real;
    bool m_aliveRunning = false;
};

class Ctl : public test::CtlInProcess {
protected:
    CtlEnvironment environment() override {
        CtlEnvironment e;
        e.out = [this](std::string_view text) { out += text; };
        e.err = [this](std::string_view text) { err += text; };
        e.timers = [this](std::function<void(int)> fired) {
            auto timers = std::make_unique<ManualAliveTimers>(std::move(fired));
            alive = timers.get();
            return timers;
        };
        return e;
    }

    // Runs `action` from inside the command's event loop once `ready` holds.
    void whenReady(std::function<bool()> ready, std::function<void()> action) {
        auto* poll = new QTimer(&context);
        QObject::connect(poll, &QTimer::timeout, &context, [poll, ready, action] {
            if (!ready())
                return;
            poll->stop();
            poll->deleteLater();
            action();
        });
        poll->start(5);
    }

    bool sessionSettled() {
        CCtlSession* s = runner ? runner->session() : nullptr;
        return s != nullptr && s->connected() && s->state().versionNumber() > 0;
    }

    void recordLinesOf(CSimulatedFrame& frame) {
        QObject::connect(&frame, &CSimulatedFrame::lineReceived, &context,
                         [this](const QString& line) { receivedLines->push_back(line); });
    }
    int received(std::string_view keyword) const {
        int n = 0;
        for (const QString& line : *receivedLines)
            n += line.contains(
                     QString::fromLatin1(keyword.data(), static_cast<qsizetype>(keyword.size())))
                     ? 1
                     : 0;
        return n;
    }

    ManualAliveTimers* alive = nullptr;
    QObject context;
    std::shared_ptr<std::vector<QString>> receivedLines = std::make_shared<std::vector<QString>>();
};

// ---- discover ----

TEST_F(Ctl, DiscoverListsEveryFrameWithItsMark) {
    auto a = test::startFrame("460", kFrame);
    auto b = test::startFrame("recovery", kSecond);
    ASSERT_EQ(run({"discover", "--wait", "300"}), kExitOk) << err;
    EXPECT_NE(out.find("ADDRESS"), std::string::npos) << out;
    EXPECT_NE(out.find("127.0.0.2 "), std::string::npos) << out;
    EXPECT_NE(out.find("*127.0.0.3"), std::string::npos) << out;
    EXPECT_NE(out.find(a->profile().serial), std::string::npos) << out;

    ASSERT_EQ(run({"discover", "--wait=300", "--json"}), kExitOk) << err;
    EXPECT_EQ(json()["velmar"].toString().toStdString(), kCtlVersion);
    const QJsonArray frames = json()["frames"].toArray();
    ASSERT_EQ(frames.size(), 2) << out;
    bool sawRecovery = false;
    for (const QJsonValue& f : frames) {
        const QJsonObject o = f.toObject();
        if (o["address"].toString() == QLatin1String(kSecond)) {
            sawRecovery = true;
            EXPECT_EQ(o["mark"].toString(), QStringLiteral("*"));
            EXPECT_EQ(o["runMode"].toString(), QStringLiteral("recovery"));
        } else {
            EXPECT_EQ(o["address"].toString(), QLatin1String(kFrame));
            EXPECT_EQ(o["type"].toString(), QStringLiteral("460"));
            EXPECT_EQ(o["id"].toInt(), a->profile().id);
        }
    }
    EXPECT_TRUE(sawRecovery) << out;
}

TEST_F(Ctl, DiscoverWithoutFramesSaysSo) {
    EXPECT_EQ(run({"discover", "--wait", "100"}), kExitFrame);
    EXPECT_NE(err.find("no frame answered"), std::string::npos) << err;
}

// ---- status ----

TEST_F(Ctl, StatusReportsWhatTheWindowShows) {
    auto frame = test::startFrame("460", kFrame, [](FrameProfile& p) { p.psuStatus[2] = 1; });
    ASSERT_EQ(run({"status", kFrame}), kExitOk) << err;
    EXPECT_NE(out.find("460"), std::string::npos) << out;
    EXPECT_NE(out.find("48 kHz"), std::string::npos) << out;
    EXPECT_NE(out.find("Internal"), std::string::npos) << out;
    EXPECT_NE(out.find("Faulty"), std::string::npos) << out;
    EXPECT_NE(out.find(frame->profile().name), std::string::npos) << out;

    ASSERT_EQ(run({"--json", "status", kFrame}), kExitOk) << err;
    const QJsonObject o = json();
    EXPECT_EQ(o["model"].toString(), QStringLiteral("460"));
    EXPECT_EQ(o["crosspoints"].toInt(), 1536);
    EXPECT_EQ(o["sampleRate"].toString(), QStringLiteral("48 kHz"));
    EXPECT_EQ(o["port"].toInt(), kPortCommand);
    const QJsonArray psu = o["psu"].toArray();
    ASSERT_EQ(psu.size(), 2) << out;
    EXPECT_FALSE(psu[1].toObject()["ok"].toBool()) << out;
    EXPECT_FALSE(o["cards"].toArray().isEmpty()) << out;
    // The card poll ran before the report: the frame saw the AD card's requests.
}

TEST_F(Ctl, StatusWaitsForTheCardPoll) {
    auto frame = test::startFrame("460", kFrame);
    recordLinesOf(*frame);
    ASSERT_EQ(run({"status", kFrame}), kExitOk) << err;
    EXPECT_GT(received("gadmute"), 0); // the card poll
    EXPECT_GT(received("lcross"), 0);  // stage two
    EXPECT_TRUE(test::waitUntil([&frame] { return frame->clientCount() == 0; }))
        << "the link is closed at the end";
}

TEST_F(Ctl, StatusSettlesOnASlowNoisyFrame) {
    // Late replies and noise between lines: the report still waits for
    // everything the poll asked.
    auto frame = test::startFrame("460", kFrame, [](FrameProfile& p) {
        p.faults.replyDelayMs = 40;
        p.faults.garbageBetweenLines = true;
        p.psuStatus[1] = 1;
    });
    recordLinesOf(*frame);
    ASSERT_EQ(run({"status", kFrame, "--json"}), kExitOk) << err;
    const QJsonObject o = json();
    EXPECT_FALSE(o["psu"].toArray()[0].toObject()["ok"].toBool()) << out;
    EXPECT_EQ(o["cards"].toArray()[1].toObject()["type"].toString(), QStringLiteral("AD"));
    EXPECT_GT(received("gadmute"), 0) << "the card poll went out before the report";
}

TEST_F(Ctl, StatusOfARecoveryFrameUsesTheTelnetPort) {
    auto frame = test::startFrame("recovery", kSecond);
    ASSERT_EQ(run({"status", "--json", "*127.0.0.3"}), kExitOk) << err;
    const QJsonObject o = json();
    EXPECT_EQ(o["port"].toInt(), kPortTelnet);
    EXPECT_EQ(o["runMode"].toString(), QStringLiteral("recovery"));
    EXPECT_EQ(o["family"].toString(), QStringLiteral("460")) << "the search tells the type";
    // Found by the search as well, without the mark.
    ASSERT_EQ(run({"status", "--json", kSecond}), kExitOk) << err;
    EXPECT_EQ(json()["runMode"].toString(), QStringLiteral("recovery"));
}

TEST_F(Ctl, UnreachableHostExitsWithThree) {
    EXPECT_EQ(run({"status", kNobody, "--timeout", "500"}), kExitUnreachable);
    EXPECT_NE(err.find("Connect failed, target not responding"), std::string::npos) << err;
    EXPECT_TRUE(out.empty()) << out;
    EXPECT_EQ(run({"route", kNobody, "1", "2"}), kExitUnreachable);
}

// ---- routes ----

TEST_F(Ctl, RoutesListsTheConnectedCrosspoints) {
    auto frame = test::startFrame("460", kFrame, [](FrameProfile& p) {
        p.crosspoints[5] = 17;
        p.crosspoints[1536] = 513;
    });
    ASSERT_EQ(run({"routes", kFrame}), kExitOk) << err;
    EXPECT_NE(out.find("CARD1  05"), std::string::npos) << out;
    EXPECT_NE(out.find("AES  01"), std::string::npos) << out;

    ASSERT_EQ(run({"routes", kFrame, "--json"}), kExitOk) << err;
    const QJsonArray routes = json()["routes"].toArray();
    ASSERT_EQ(routes.size(), 2) << out;
    EXPECT_EQ(routes[0].toObject()["output"].toInt(), 5);
    EXPECT_EQ(routes[0].toObject()["input"].toInt(), 17);
    EXPECT_EQ(routes[1].toObject()["output"].toInt(), 1536);
}

TEST_F(Ctl, RoutesRefusedOnAFrameWithoutMatrix) {
    auto frame = test::startFrame("465", kFrame);
    EXPECT_EQ(run({"routes", kFrame}), kExitFrame);
    EXPECT_NE(err.find("no crosspoint matrix"), std::string::npos) << err;
}

// ---- route and unroute ----

TEST_F(Ctl, RouteIsConfirmedByTheFrame) {
    auto frame = test::startFrame("460", kFrame);
    ASSERT_EQ(run({"route", kFrame, "5", "17", "6", "18"}), kExitOk) << err;
    EXPECT_EQ(frame->model().crosspoint(5), 17);
    EXPECT_EQ(frame->model().crosspoint(6), 18);
    EXPECT_NE(out.find("2 confirmed, 0 refused, 0 unanswered"), std::string::npos) << out;

    ASSERT_EQ(run({"unroute", kFrame, "5", "--json"}), kExitOk) << err;
    EXPECT_EQ(frame->model().crosspoint(5), 0);
    const QJsonObject o = json();
    EXPECT_EQ(o["confirmed"].toInt(), 1);
    EXPECT_EQ(o["routes"].toArray()[0].toObject()["result"].toString(),
              QStringLiteral("confirmed"));
}

TEST_F(Ctl, RefusedRouteIsReportedAndExitsWithOne) {
    auto frame = test::startFrame("460", kFrame,
                                  [](FrameProfile& p) { p.faults.refused[CommandId::scross] = 3; });
    EXPECT_EQ(run({"route", kFrame, "5", "17", "--json"}), kExitFrame);
    const QJsonObject o = json();
    const QJsonObject entry = o["routes"].toArray()[0].toObject();
    EXPECT_EQ(entry["result"].toString(), QStringLiteral("refused"));
    EXPECT_EQ(entry["status"].toInt(), 3);
    EXPECT_EQ(o["refused"].toInt(), 1);
    EXPECT_NE(err.find("refused 1 of 1"), std::string::npos) << err;

    EXPECT_EQ(run({"route", kFrame, "5", "17"}), kExitFrame);
    EXPECT_NE(out.find("refused (status 3)"), std::string::npos) << out;
}

TEST_F(Ctl, UnansweredRouteIsNotCountedDone) {
    auto frame = test::startFrame("460", kFrame);
    QObject::connect(frame.get(), &CSimulatedFrame::lineReceived, &context,
                     [&frame](const QString& line) {
                         if (line.contains(QStringLiteral("scross")))
                             frame->faults().silent = true;
                     });
    EXPECT_EQ(run({"route", kFrame, "7", "9", "--timeout", "300"}), kExitFrame);
    EXPECT_NE(out.find("unanswered"), std::string::npos) << out;
    EXPECT_NE(err.find("not answered within 300 ms"), std::string::npos) << err;
}

TEST_F(Ctl, RouteBeyondTheFramesCountSendsNothing) {
    auto frame = test::startFrame("461", kFrame, [](FrameProfile& p) { p.crosspoints[3] = 4; });
    recordLinesOf(*frame);
    EXPECT_EQ(run({"route", kFrame, "3", "9", "1100", "1"}), kExitUsage);
    EXPECT_NE(err.find("output 1100 is beyond this frame's 1024 crosspoints"), std::string::npos)
        << err;
    EXPECT_EQ(received("scross"), 0);
    EXPECT_EQ(frame->model().crosspoint(3), 4);
}

// ---- crosspoint files ----

TEST_F(Ctl, XptSaveWritesTheWindowsFormat) {
    auto frame = test::startFrame("460", kFrame, [](FrameProfile& p) {
        p.crosspoints[5] = 17;
        p.crosspoints[9] = 2;
    });
    QTemporaryDir dir;
    const std::string path = (dir.path() + QStringLiteral("/show.xpt")).toStdString();
    ASSERT_EQ(run({"xpt", "save", kFrame, path}), kExitOk) << err;
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("1=5,17\r\n2=9,2\r\n"));
    EXPECT_NE(out.find("saved 2 crosspoints"), std::string::npos) << out;
    ASSERT_EQ(run({"xpt", "save", kFrame, path, "--json"}), kExitOk) << err;
    EXPECT_EQ(json()["saved"].toInt(), 2) << out;

    EXPECT_EQ(run({"xpt", "save", kFrame, "/nonexistent/dir/x.xpt"}), kExitUsage);
    EXPECT_NE(err.find("cannot write"), std::string::npos) << err;
}

TEST_F(Ctl, XptLoadDryRunShowsChangesAgainstTheFrame) {
    auto frame = test::startFrame("460", kFrame, [](FrameProfile& p) {
        p.crosspoints[5] = 17; // as in the file
        p.crosspoints[6] = 3;  // the file says 18
    });
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/show.xpt");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("1=5,17\r\n2=6,18\r\n3=7,20\r\n");
    file.close();
    recordLinesOf(*frame);

    ASSERT_EQ(run({"xpt", "load", kFrame, path.toStdString(), "--dry-run", "--json"}), kExitOk)
        << err;
    const QJsonObject plan = json();
    EXPECT_EQ(plan["unchanged"].toInt(), 1) << out;
    const QJsonArray changes = plan["changes"].toArray();
    ASSERT_EQ(changes.size(), 2) << out;
    EXPECT_EQ(changes[0].toObject()["output"].toInt(), 6);
    EXPECT_EQ(changes[0].toObject()["from"].toInt(), 3);
    EXPECT_EQ(changes[0].toObject()["to"].toInt(), 18);
    EXPECT_EQ(changes[1].toObject()["from"].toInt(), 0);
    ASSERT_EQ(run({"xpt", "load", kFrame, path.toStdString(), "--dry-run"}), kExitOk) << err;
    EXPECT_NE(out.find("2 of 3 entries would change, 1 already set"), std::string::npos) << out;
    EXPECT_EQ(received("scross"), 0) << "a dry run sends nothing";
    EXPECT_EQ(frame->model().crosspoint(6), 3);

    ASSERT_EQ(run({"xpt", "load", kFrame, path.toStdString()}), kExitOk) << err;
    EXPECT_EQ(frame->model().crosspoint(6), 18);
    EXPECT_EQ(frame->model().crosspoint(7), 20);
    EXPECT_NE(out.find("3 confirmed"), std::string::npos) << out;
}

TEST_F(Ctl, XptLoadRejectsFilesBeforeConnecting) {
    auto frame = test::startFrame("460", kFrame);
    int connects = 0;
    QObject::connect(frame.get(), &CSimulatedFrame::clientConnected, &context,
                     [&connects] { ++connects; });
    EXPECT_EQ(run({"xpt", "load", kFrame, "/nonexistent.xpt"}), kExitUsage);
    EXPECT_NE(err.find("cannot read /nonexistent.xpt"), std::string::npos) << err;
    EXPECT_EQ(connects, 0);

    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/empty.xpt");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("; nothing but a comment\r\n1=2000,1\r\n");
    file.close();
    EXPECT_EQ(run({"xpt", "load", kFrame, path.toStdString()}), kExitUsage);
    EXPECT_NE(err.find("holds no crosspoints"), std::string::npos) << err;

    // What the window's review would show to a person is refused here.
    const int before = connects;
    for (const auto& [text, says] :
         {std::pair{"1=5\x1b,17\r\n", "line 1: the output is not a number; nothing was sent"},
          std::pair{"1=4,7\r\n2=4,8\r\n",
                    "line 2: output 4 is named a second time (first on line 1)"}}) {
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        file.close();
        EXPECT_EQ(run({"xpt", "load", kFrame, path.toStdString()}), kExitUsage);
        EXPECT_NE(err.find(says), std::string::npos) << err;
    }
    EXPECT_EQ(connects, before);
}

// ---- watch ----

TEST_F(Ctl, WatchPrintsTheFramesOwnMessagesUntilInterrupted) {
    auto frame = test::startFrame("460", kFrame);
    whenReady([this] { return sessionSettled(); }, [&frame] { frame->setSyncStatus(1, 3); });
    whenReady([this] { return out.find("gsyncstat") != std::string::npos; },
              [this] { runner->interrupt(); });
    EXPECT_EQ(run({"watch", kFrame}), kExitOk) << err;
    EXPECT_NE(out.find("message gsyncstat"), std::string::npos) << out;
    EXPECT_EQ(out.find("reply "), std::string::npos) << "replies are not the frame's own: " << out;
}

TEST_F(Ctl, WatchJsonIsOneObjectPerLine) {
    auto frame = test::startFrame("460", kFrame);
    whenReady([this] { return sessionSettled(); },
              [&frame] {
                  frame->setPsuStatus(1, 1);
                  frame->setFanStatus(2, 1);
              });
    whenReady([this] { return std::count(out.begin(), out.end(), '\n') >= 2; },
              [this] { runner->interrupt(); });
    EXPECT_EQ(run({"watch", kFrame, "--json"}), kExitOk) << err;
    const QList<QByteArray> lines = QByteArray::fromStdString(out).trimmed().split('\n');
    ASSERT_GE(lines.size(), 2) << out;
    for (const QByteArray& line : lines) {
        QJsonParseError error{};
        const QJsonObject o = QJsonDocument::fromJson(line, &error).object();
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        EXPECT_EQ(o["kind"].toString(), QStringLiteral("message")) << line.toStdString();
    }
}

TEST_F(Ctl, WatchLogWritesTheFramesEventsToTheEventLog) {
    auto frame = test::startFrame("460", kFrame);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = QDir(dir.path()).filePath("events.jsonl");
    const auto logged = [&path] {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll().count('\n') : 0;
    };
    // The failure must come after the frame's first PSU 2 status, or it is the
    // unit's first known state ("is faulty") rather than a change.
    const auto psu2Known = [this] {
        return sessionSettled() && runner->session()->state().live.psuReported[2];
    };
    whenReady(psu2Known,
              [&frame] {
                  frame->setPsuStatus(2, 1);
                  frame->setPsuStatus(2, 1); // the same again: no second event
                  frame->setPsuStatus(2, 0);
              });
    // Header, connect, failure and recovery.
    whenReady([&logged] { return logged() >= 4; }, [this] { runner->interrupt(); });
    const std::string folder = dir.path().toStdString();
    EXPECT_EQ(run({"watch", kFrame, "--log", folder}), kExitOk) << err;

    const FileReadResult read = readFileBounded(path, kEventLogMaxBytes);
    ASSERT_TRUE(read.ok()) << read.error;
    EventLogContents log;
    readEventLog(read.bytes, log);
    EXPECT_EQ(log.versions, std::vector<std::string>{std::string(kCtlVersion)});
    std::vector<std::string> texts;
    for (const Event& e : log.events)
        texts.push_back(e.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"Connected", "PSU 2 failed", "PSU 2 recovered",
                                               "Disconnected"}))
        << read.bytes;
    EXPECT_EQ(log.events[1].frame.address, kFrame);
}

TEST_F(Ctl, ScenarioRunFillsTheEventLogInOrder) {
    auto frame = test::startFrame("460", kFrame);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = QDir(dir.path()).filePath("events.jsonl");
    const std::optional<framesim::Scenario> show = framesim::scenarioByName("show");
    ASSERT_TRUE(show);
    whenReady([this] { return sessionSettled(); },
              [&frame, &show] { frame->startScenario(*show, 20, false); });
    whenReady([&frame] { return !frame->scenarioRunning() && frame->scenarioStepsDone() > 0; },
              [this] { runner->interrupt(); });
    const std::string folder = dir.path().toStdString();
    EXPECT_EQ(run({"watch", kFrame, "--log", folder}), kExitOk) << err;

    const FileReadResult read = readFileBounded(path, kEventLogMaxBytes);
    ASSERT_TRUE(read.ok()) << read.error;
    EventLogContents log;
    readEventLog(read.bytes, log);
    std::vector<std::string> got;
    for (const Event& e : log.events)
        got.push_back(std::string(severityName(e.severity)) + " " + e.text);
    EXPECT_EQ(got, (std::vector<std::string>{
                       "info Connected", "alarm PSU 2 failed", "info PSU 2 recovered",
                       "alarm Sync lost (Internal)", "info Sync locked again (Internal)",
                       "alarm FAN 1 failed", "info FAN 1 recovered",
                       "info Input 1 status changed from \"OK\" to \"ERR\"",
                       "info Input 1 status changed from \"ERR\" to \"LCK\"", "info Disconnected"}))
        << read.bytes;
}

TEST_F(Ctl, WatchEndsWhenTheFrameFallsSilent) {
    auto frame = test::startFrame("460", kFrame);
    whenReady([this] { return sessionSettled() && alive != nullptr && alive->aliveRunning(); },
              [this, &frame] {
                  frame->faults().silent = true;
                  // Two ticks without a sign of life drop the link, as in the window.
                  for (int tick = 0; tick < 3; ++tick)
                      alive->fireAlive();
              });
    EXPECT_EQ(run({"watch", kFrame}), kExitFrame);
    EXPECT_NE(err.find("stopped answering"), std::string::npos) << err;
}

TEST_F(Ctl, WatchEndsWhenTheFrameClosesTheLink) {
    auto frame = test::startFrame("460", kFrame);
    whenReady([this] { return sessionSettled(); }, [&frame] { frame->dropClients(); });
    EXPECT_EQ(run({"watch", kFrame}), kExitUnreachable);
    EXPECT_NE(err.find("closed the connection"), std::string::npos) << err;
}

TEST_F(Ctl, AFrameThatFloodsAndNeverReadsIsALostLink) {
    auto frame = test::startFrame("460", kFrame,
                                  [](FrameProfile& p) { p.faults.floodAliveLines = 4'000'000; });
    EXPECT_EQ(run({"status", kFrame}), kExitUnreachable) << err;
    EXPECT_NE(err.find("stopped reading"), std::string::npos) << err;
}

// ---- send ----

TEST_F(Ctl, SendPrintsTheDecodedReply) {
    auto frame = test::startFrame("460", kFrame, [](FrameProfile& p) { p.crosspoints[5] = 17; });
    ASSERT_EQ(run({"send", kFrame, "?gcross,5"}), kExitOk) << err;
    EXPECT_EQ(out, "reply gcross status 0: 5, 17\n");

    ASSERT_EQ(run({"send", kFrame, "gcross,5", "--json"}), kExitOk) << err;
    const QJsonObject o = json();
    EXPECT_EQ(o["command"].toString(), QStringLiteral("gcross"));
    EXPECT_EQ(o["args"].toArray(), (QJsonArray{5, 17}));
}

TEST_F(Ctl, SendPassesAPercentLineOnAsTyped) {
    auto frame = test::startFrame("460", kFrame);
    recordLinesOf(*frame);
    ASSERT_EQ(run({"send", kFrame, "%smaster,1"}), kExitOk) << err;
    EXPECT_NE(out.find("sent"), std::string::npos) << out;
    EXPECT_EQ(
        std::count(receivedLines->begin(), receivedLines->end(), QStringLiteral("%smaster,1")), 1);
}

TEST_F(Ctl, SendReportsRefusalsAndBadLines) {
    auto frame = test::startFrame("460", kFrame,
                                  [](FrameProfile& p) { p.faults.refused[CommandId::gcross] = 2; });
    EXPECT_EQ(run({"send", kFrame, "?gcross,5"}), kExitFrame);
    EXPECT_NE(out.find("status 2"), std::string::npos) << out;

    int connects = 0;
    QObject::connect(frame.get(), &CSimulatedFrame::clientConnected, &context,
                     [&connects] { ++connects; });
    EXPECT_EQ(run({"send", kFrame, "?nosuchcommand,1"}), kExitUsage);
    EXPECT_FALSE(err.empty());
    EXPECT_EQ(connects, 0) << "a bad line costs no connection";
}

// ---- crosspoint files that are not what they should be ----

TEST_F(Ctl, XptSaveNeverReplacesWhatIsNoRegularFile) {
    auto frame = test::startFrame("460", kFrame, [](FrameProfile& p) { p.crosspoints[5] = 17; });
    int connects = 0;
    QObject::connect(frame.get(), &CSimulatedFrame::clientConnected, &context,
                     [&connects] { ++connects; });
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(run({"xpt", "save", kFrame, fifo.toStdString()}), kExitUsage);
    EXPECT_NE(err.find("FIFO (named pipe), not a regular file"), std::string::npos) << err;
    EXPECT_EQ(connects, 0) << "refused before connecting";
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(fifo).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // Through a symlink: the file it leads to is replaced, the link stays.
    const QString target = dir.filePath(QStringLiteral("monday.xpt"));
    const QString linkPath = dir.filePath(QStringLiteral("current.xpt"));
    ASSERT_TRUE(QFile::link(target, linkPath));
    ASSERT_EQ(run({"xpt", "save", kFrame, linkPath.toStdString()}), kExitOk) << err;
    ASSERT_EQ(::lstat(QFile::encodeName(linkPath).constData(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    QFile saved(target);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), QByteArray("1=5,17\r\n"));
}

TEST_F(Ctl, XptLoadRefusesWhatIsNoCrosspointFileBeforeConnecting) {
    auto frame = test::startFrame("460", kFrame, [](FrameProfile& p) { p.crosspoints[5] = 3; });
    int connects = 0;
    QObject::connect(frame.get(), &CSimulatedFrame::clientConnected, &context,
                     [&connects] { ++connects; });
    QTemporaryDir dir;
    const auto refused = [&](const QString& path, const char* why) {
        SCOPED_TRACE(why);
        EXPECT_EQ(run({"xpt", "load", kFrame, path.toStdString()}), kExitUsage);
        EXPECT_NE(err.find(why), std::string::npos) << err;
        EXPECT_EQ(connects, 0);
    };
    // A FIFO without a writer: refused at once instead of waiting for ever.
    const QString fifo = dir.filePath(QStringLiteral("pipe.xpt"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    refused(fifo, "FIFO");
    refused(dir.path(), "folder");

    // Far larger than any crosspoint file (sparse: no room taken on the disk).
    const QString huge = dir.filePath(QStringLiteral("huge.xpt"));
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(qint64{4} * 1024 * 1024 + 1));
    }
    refused(huge, "more than the 4 MiB");

    // An image that happens to hold "=5,17".
    const QString png = dir.filePath(QStringLiteral("picture.png"));
    {
        QFile file(png);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\n1=5,17\r\n", 25));
    }
    refused(png, "holds NUL bytes, so it is not a crosspoint file; nothing was sent");
    EXPECT_EQ(frame->model().crosspoint(5), 3);
}

TEST_F(Ctl, XptLoadSaysWhichLinesItLeftOut) {
    auto frame = test::startFrame("461", kFrame); // 1024 crosspoints
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("studio.xpt"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("1=5,17\r\n2=1100,1\r\n3=6,1500\r\nnot a line\r\n");
    }
    recordLinesOf(*frame);
    ASSERT_EQ(run({"xpt", "load", kFrame, path.toStdString(), "--dry-run"}), kExitOk) << err;
    EXPECT_NE(out.find("1 of 1 entries would change, 0 already set\n"
                       "left out 3 lines: 2 for channels this frame does not have, 1 unreadable"),
              std::string::npos)
        << out;
    ASSERT_EQ(run({"xpt", "load", kFrame, path.toStdString(), "--dry-run", "--json"}), kExitOk)
        << err;
    const QJsonObject leftOut = json()["leftOut"].toObject();
    EXPECT_EQ(leftOut["lines"].toInt(), 3) << out;
    EXPECT_EQ(leftOut["channelsNotOnFrame"].toInt(), 2) << out;
    EXPECT_EQ(leftOut["unreadable"].toInt(), 1) << out;
    EXPECT_EQ(received("scross"), 0);

    // Loading for real says it too, and sends the rest.
    ASSERT_EQ(run({"xpt", "load", kFrame, path.toStdString()}), kExitOk) << err;
    EXPECT_NE(err.find("left out 3 lines"), std::string::npos) << err;
    EXPECT_EQ(frame->model().crosspoint(5), 17);
    EXPECT_EQ(received("scross"), 1);
}

// ---- frames that misbehave ----

TEST_F(Ctl, StatusSaysWhatTheFrameRefusedInsteadOfOk) {
    auto frame = test::startFrame("460", kFrame, [](FrameProfile& p) {
        p.faults.refused[CommandId::gpsustatus] = 2;
        p.faults.unanswered.insert(CommandId::gfanstatus);
    });
    recordLinesOf(*frame);
    EXPECT_EQ(run({"status", kFrame, "--timeout", "3000"}), kExitFrame) << err;
    EXPECT_EQ(out.find("OK"), std::string::npos) << "nothing was reported as OK: " << out;
    EXPECT_NE(out.find("not reported"), std::string::npos) << out;
    EXPECT_NE(err.find("did not report: PSU 1 status, PSU 2 status, FAN 1 status"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("card settings"), std::string::npos) << err;
    EXPECT_EQ(received("gadmute"), 0) << "no card poll without the second PSU's status";

    EXPECT_EQ(run({"status", kFrame, "--json", "--timeout", "3000"}), kExitFrame) << err;
    const QJsonObject o = json();
    const QJsonObject psu1 = o["psu"].toArray()[0].toObject();
    EXPECT_TRUE(psu1["ok"].isNull()) << out;
    EXPECT_EQ(psu1["text"].toString(), QStringLiteral("not reported"));
    EXPECT_TRUE(o["notReported"].toArray().contains(QStringLiteral("card settings"))) << out;
    EXPECT_FALSE(o.contains("error")) << "the report is the document: " << out;
}

TEST_F(Ctl, StatusSettlesOnAFrameThatDropsTags) {
    // The frame answers in order but without the tags: the marker's answer is
    // told by its place, not waited for until the time-out.
    auto frame = test::startFrame("460", kFrame, [](FrameProfile& p) {
        p.faults.dropTags = true;
        p.crosspoints[5] = 17;
    });
    ASSERT_EQ(run({"status", kFrame, "--json", "--timeout", "4000"}), kExitOk) << err;
    EXPECT_EQ(json()["sampleRate"].toString(), QStringLiteral("48 kHz"));
    ASSERT_EQ(run({"routes", kFrame, "--timeout", "4000"}), kExitOk) << err;
    EXPECT_NE(out.find("CARD1  05"), std::string::npos) << out;
    ASSERT_EQ(run({"send", kFrame, "?gcross,5", "--timeout", "4000"}), kExitOk) << err;
    EXPECT_EQ(out, "reply gcross status 0: 5, 17\n");
}

TEST_F(Ctl, SendTakesOnlyTheTaggedLineAsItsAnswer) {
    auto frame = test::startFrame("460", kFrame, [](FrameProfile& p) {
        p.faults.strayBeforeTagged = true;
        p.crosspoints[5] = 17;
    });
    ASSERT_EQ(run({"send", kFrame, "?gcross,5"}), kExitOk) << err;
    EXPECT_EQ(out, "reply gcross status 0: 5, 17\n");

    ASSERT_EQ(run({"send", kFrame, "?gcross,5", "--verbose"}), kExitOk) << err;
    EXPECT_NE(out.find("unsolicited: reply gcross status 1 (refused): 5\n"), std::string::npos)
        << out;
    EXPECT_TRUE(out.ends_with("reply gcross status 0: 5, 17\n")) << out;

    ASSERT_EQ(run({"send", kFrame, "?gcross,5", "--verbose", "--json"}), kExitOk) << err;
    const QJsonObject o = json();
    EXPECT_EQ(o["args"].toArray(), (QJsonArray{5, 17})) << out;
    bool sawStray = false;
    for (const QJsonValue& v : o["unsolicited"].toArray())
        sawStray |= v.toObject()["status"].toInt() == 1;
    EXPECT_TRUE(sawStray) << out;
}

TEST_F(Ctl, SendAliveRequestGetsItsAnswer) {
    auto frame = test::startFrame("460", kFrame);
    ASSERT_EQ(run({"send", kFrame, "?aliverequest", "--timeout", "3000"}), kExitOk) << err;
    EXPECT_NE(out.find("aliverequest"), std::string::npos) << out;
}

TEST_F(Ctl, WatchNamesTheChannels) {
    auto frame = test::startFrame("460", kFrame);
    whenReady([this] { return sessionSettled(); },
              [&frame] { frame->sendToAll("!gcross,0,5,17\r"); });
    whenReady([this] { return out.find("gcross") != std::string::npos; },
              [this] { runner->interrupt(); });
    EXPECT_EQ(run({"watch", kFrame}), kExitOk) << err;
    EXPECT_NE(out.find("output 5 = CARD1  05"), std::string::npos) << out;
    EXPECT_NE(out.find("input 17 = CARD1  17"), std::string::npos) << out;
}

TEST_F(Ctl, DiscoverShowsHostileNamesEscaped) {
    auto frame = test::startFrame("460", kFrame, [](FrameProfile& p) {
        p.name = "A\x1b[2J\a\xc2\x9b"
                 "B";
        p.serial = "S\x1b]0;t";
    });
    ASSERT_EQ(run({"discover", "--wait", "300"}), kExitOk) << err;
    for (const char c : out)
        EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 && c != '\n') << out;
    EXPECT_EQ(out.find("\xc2\x9b"), std::string::npos) << out;
    EXPECT_NE(out.find("A\\x1B[2J\\x07\\u009BB"), std::string::npos) << out;
    EXPECT_NE(out.find("S\\x1B]0;t"), std::string::npos) << out;
}

// ---- the contract for scripts ----

TEST_F(Ctl, JsonErrorsAreDocumentsToo) {
    EXPECT_EQ(run({"status", kNobody, "--timeout", "300", "--json"}), kExitUnreachable);
    QJsonObject o = json();
    EXPECT_EQ(o["exit"].toInt(), kExitUnreachable);
    EXPECT_TRUE(o["error"].toString().contains(QLatin1String(kNobody))) << out;

    EXPECT_EQ(run({"--json", "route", kFrame, "5"}), kExitUsage);
    o = json();
    EXPECT_EQ(o["exit"].toInt(), kExitUsage);
    EXPECT_FALSE(o["error"].toString().isEmpty());
    // After "--" it is an operand, not the option.
    EXPECT_EQ(run({"route", "--", kFrame, "5", "--json"}), kExitUsage);
    EXPECT_TRUE(out.empty()) << out;
}

TEST_F(Ctl, WatchJsonStreamEndsWithTheError) {
    auto frame = test::startFrame("460", kFrame);
    whenReady([this] { return sessionSettled(); },
              [&frame] {
                  frame->setSyncStatus(1, 3);
                  frame->dropClients();
              });
    EXPECT_EQ(run({"watch", kFrame, "--json"}), kExitUnreachable);
    const QList<QByteArray> lines = QByteArray::fromStdString(out).trimmed().split('\n');
    ASSERT_GE(lines.size(), 2) << out;
    const QJsonObject last = QJsonDocument::fromJson(lines.back()).object();
    EXPECT_EQ(last["exit"].toInt(), kExitUnreachable) << out;
    EXPECT_TRUE(last["error"].toString().contains(QStringLiteral("closed the connection")));
    EXPECT_EQ(QJsonDocument::fromJson(lines.front()).object()["kind"].toString(),
              QStringLiteral("message"));
}

TEST_F(Ctl, AddressesAndDuplicatesAreRefusedBeforeAnythingIsSent) {
    auto frame = test::startFrame("460", kFrame);
    int connects = 0;
    QObject::connect(frame.get(), &CSimulatedFrame::clientConnected, &context,
                     [&connects] { ++connects; });
    for (const char* host : {"0.0.0.0", "255.255.255.255", "224.0.0.1"}) {
        EXPECT_EQ(run({"status", host, "--json"}), kExitUsage) << host;
        EXPECT_EQ(json()["exit"].toInt(), kExitUsage);
    }
    EXPECT_EQ(run({"route", kFrame, "5", "17", "5", "18"}), kExitUsage);
    EXPECT_NE(err.find("output 5 is named twice"), std::string::npos) << err;
    EXPECT_EQ(run({"--type", "999", "status", kFrame}), kExitUsage);
    EXPECT_EQ(connects, 0);
    EXPECT_EQ(frame->model().crosspoint(5), 0);
}

// The command rows and the runners are two tables, one without Qt and one
// with it: a command without a runner, or a runner without a command, is a
// mistake of whoever added one of them.
TEST(CtlRunnerTable, EveryCommandHasOneRunnerAndEveryRunnerACommand) {
    const std::vector<CtlVerb> runners = CCtlRunner::runnerVerbs();
    for (const CtlCommandSpec& row : ctlCommands())
        EXPECT_EQ(std::count(runners.begin(), runners.end(), row.verb), 1)
            << row.first << " " << row.second;
    for (const CtlVerb verb : runners)
        EXPECT_TRUE(std::any_of(ctlCommands().begin(), ctlCommands().end(),
                                [verb](const CtlCommandSpec& row) { return row.verb == verb; }))
            << "a runner for verb " << static_cast<int>(verb) << " has no command";
}

} // namespace
} // namespace velmar
