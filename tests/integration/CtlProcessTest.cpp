// The velmarctl program itself: its help, its exit statuses and its output
// streams, as a script sees them.

#include "IntegrationSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <csignal>
#include <sys/types.h>

namespace velmar {
namespace {

struct Result {
    int exitCode = -1;
    QString out;
    QString err;
};

Result runCtl(const QStringList& args) {
    QProcess process;
    process.start(QStringLiteral(VELMARCTL_PATH), args);
    EXPECT_TRUE(process.waitForStarted(5000));
    // The frames of a test live in this process: keep serving them meanwhile.
    EXPECT_TRUE(test::waitUntil([&] { return process.state() == QProcess::NotRunning; }, 20000));
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

TEST(CtlProgram, HelpNamesEveryCommandWithAnExample) {
    const Result r = runCtl({QStringLiteral("--help")});
    EXPECT_EQ(r.exitCode, 0);
    for (const char* command : {"discover", "status", "routes", "route", "unroute", "xpt save",
                                "xpt load", "watch", "send"})
        EXPECT_TRUE(r.out.contains(QStringLiteral("velmarctl ") + QLatin1String(command)))
            << command;
    EXPECT_TRUE(r.err.isEmpty());
}

TEST(CtlProgram, UsageErrorsExitWithTwoOnStandardError) {
    Result r = runCtl({});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.contains(QStringLiteral("velmarctl discover")));

    r = runCtl({QStringLiteral("route"), QStringLiteral("127.0.0.2"), QStringLiteral("5")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("velmarctl --help"))) << r.err.toStdString();
}

TEST(CtlProgram, JsonErrorsReachStandardOutput) {
    // A usage error found before anything else, as a script with --json sees it.
    const Result r =
        runCtl({QStringLiteral("status"), QStringLiteral("0.0.0.0"), QStringLiteral("--json")});
    EXPECT_EQ(r.exitCode, 2);
    const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
    EXPECT_EQ(o[QStringLiteral("exit")].toInt(), 2) << r.out.toStdString();
    EXPECT_TRUE(o[QStringLiteral("error")].toString().contains(QStringLiteral("0.0.0.0")));
    EXPECT_TRUE(r.err.contains(QStringLiteral("0.0.0.0"))) << "and in words on stderr";
}

TEST(CtlProgram, StatusAndUnreachableFrame) {
    auto frame = test::startFrame("461", "127.0.0.2");
    Result r =
        runCtl({QStringLiteral("status"), QStringLiteral("127.0.0.2"), QStringLiteral("--json")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
    EXPECT_EQ(o[QStringLiteral("model")].toString(), QStringLiteral("461"));
    EXPECT_EQ(o[QStringLiteral("crosspoints")].toInt(), 1024);

    r = runCtl({QStringLiteral("status"), QStringLiteral("127.0.0.9")});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.contains(QStringLiteral("127.0.0.9"))) << r.err.toStdString();
}

TEST(CtlProgram, InterruptEndsAWatchCleanly) {
    auto frame = test::startFrame("460", "127.0.0.2");
    int requests = 0;
    QObject context;
    QObject::connect(frame.get(), &framesim::CSimulatedFrame::lineReceived, &context,
                     [&requests] { ++requests; });
    QProcess process;
    process.start(QStringLiteral(VELMARCTL_PATH),
                  {QStringLiteral("watch"), QStringLiteral("127.0.0.2")});
    ASSERT_TRUE(process.waitForStarted(5000));
    // Its start requests arriving show that the watch is connected and reading.
    ASSERT_TRUE(test::waitUntil([&] { return requests > 0; }, 10000));
    frame->setSyncStatus(1, 4);
    ASSERT_TRUE(test::waitUntil(
        [&] { return process.bytesAvailable() > 0 || process.state() != QProcess::Running; },
        10000));
    process.terminate(); // SIGTERM, handled like Ctrl+C
    ASSERT_TRUE(test::waitUntil([&] { return process.state() == QProcess::NotRunning; }, 10000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_TRUE(process.readAllStandardOutput().contains("gsyncstat"));
    EXPECT_TRUE(test::waitUntil([&] { return frame->clientCount() == 0; }));
}

TEST(CtlProgram, CtrlCEndsAnInputsWatchCleanly) {
    auto frame = test::startFrame("460", "127.0.0.2");
    QProcess process;
    process.start(
        QStringLiteral(VELMARCTL_PATH),
        {QStringLiteral("inputs"), QStringLiteral("127.0.0.2"), QStringLiteral("--watch")});
    ASSERT_TRUE(process.waitForStarted(5000));
    QByteArray out;
    const auto printed = [&](const char* text) {
        return test::waitUntil(
            [&] {
                out += process.readAllStandardOutput();
                return out.contains(text) || process.state() != QProcess::Running;
            },
            10000);
    };
    ASSERT_TRUE(printed("MADI cards"));
    frame->setInputStatus(3, QStringLiteral("ESa"));
    ASSERT_TRUE(printed("AES 3: Signal error \"error\""));
    ASSERT_EQ(process.state(), QProcess::Running) << out.toStdString();
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    ASSERT_TRUE(test::waitUntil([&] { return process.state() == QProcess::NotRunning; }, 10000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_TRUE(test::waitUntil([&] { return frame->clientCount() == 0; }));
}

} // namespace
} // namespace velmar
