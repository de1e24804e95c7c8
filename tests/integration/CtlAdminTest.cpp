// velmarctl set-id, set-ip, uptime and dump against simulated frames, run in
// this process so the frames and the command share one event loop.

#include "CtlSupport.h"
#include "IntegrationSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

namespace velmar {
namespace {

using framesim::CSimulatedFrame;

constexpr const char* kFrame = "127.0.0.2";

class CtlAdmin : public test::CtlInProcess {};

TEST_F(CtlAdmin, SetIdChangesTheFrameAndSendsNothingWhenUnchanged) {
    auto frame = test::startFrame("460", kFrame);
    ASSERT_EQ(run({"set-id", kFrame, "42", "Rack 7"}), kExitOk) << err;
    EXPECT_NE(out.find("sdevid,42,'Rack 7': confirmed"), std::string::npos) << out;
    EXPECT_EQ(frame->model().deviceId(), 42);
    EXPECT_EQ(frame->model().deviceName(), "Rack 7");

    ASSERT_EQ(run({"set-id", kFrame, "42", "Rack 7", "--json"}), kExitOk) << err;
    EXPECT_EQ(json()["requests"].toArray().size(), 0) << out;
}

TEST_F(CtlAdmin, SetIdRefusedByTheFrameIsExitOne) {
    auto frame = test::startFrame(
        "460", kFrame, [](framesim::FrameProfile& p) { p.faults.refused[CommandId::sdevid] = 1; });
    EXPECT_EQ(run({"set-id", kFrame, "3", "X"}), kExitFrame) << out;
    EXPECT_NE(err.find("refused"), std::string::npos) << err;
}

TEST_F(CtlAdmin, SetIpOfTheConnectedFrame) {
    auto frame = test::startFrame("460", kFrame);
    ASSERT_EQ(run({"set-ip", kFrame, "--dhcp"}), kExitOk) << err;
    EXPECT_EQ(frame->model().network().mode, 1);
    EXPECT_EQ(frame->model().network().address, "0.0.0.0");
    EXPECT_NE(err.find("may answer at another address"), std::string::npos) << err;

    // "sip" does not move the simulated frame: it can be set back.
    ASSERT_EQ(run({"set-ip", kFrame, "127.0.0.2", "255.0.0.0", "127.0.0.1"}), kExitOk) << err;
    EXPECT_EQ(frame->model().network().mode, 0);
    EXPECT_EQ(frame->model().network().address, "127.0.0.2");
    ASSERT_EQ(run({"set-ip", kFrame, "127.0.0.2", "255.0.0.0", "127.0.0.1"}), kExitOk) << err;
    EXPECT_NE(out.find("nothing was sent"), std::string::npos) << out;
}

TEST_F(CtlAdmin, SetIpBySerialMovesTheFrameAndConfirmsIt) {
    auto frame =
        test::startFrame("460", kFrame, [](framesim::FrameProfile& p) { p.serial = "SN-M"; });
    ASSERT_EQ(run({"set-ip", "--serial", "SN-M", "127.0.0.11", "255.0.0.0", "127.0.0.1", "--json"}),
              kExitOk)
        << err;
    const QJsonObject o = json();
    EXPECT_TRUE(o["answered"].toBool()) << out;
    EXPECT_EQ(o["answeredAt"].toString(), QStringLiteral("127.0.0.11"));
    EXPECT_EQ(frame->address().toString(), QStringLiteral("127.0.0.11"));
    // And it is reached there over TCP.
    ASSERT_EQ(run({"set-id", "127.0.0.11", "5", "Moved"}), kExitOk) << err;
    EXPECT_EQ(frame->model().deviceName(), "Moved");
}

TEST_F(CtlAdmin, SetIpBySerialIsExitOneWhenTheFrameDoesNotAnswerThere) {
    auto frame = test::startFrame("460", kFrame, [](framesim::FrameProfile& p) {
        p.serial = "SN-M";
        p.faults.ignoreSetAddress = true;
    });
    EXPECT_EQ(run({"set-ip", "--serial", "SN-M", "127.0.0.12", "255.0.0.0", "127.0.0.1",
                   "--timeout", "1500"}),
              kExitFrame);
    EXPECT_NE(err.find("no frame with S/N SN-M answered at 127.0.0.12"), std::string::npos) << err;
    EXPECT_EQ(frame->address().toString(), QStringLiteral("127.0.0.2"));
}

TEST_F(CtlAdmin, UptimeInTextAndJson) {
    auto frame = test::startFrame("460", kFrame);
    ASSERT_EQ(run({"uptime", kFrame}), kExitOk) << err;
    EXPECT_NE(out.find("Time since last restart : 2 hours 15 minutes 30 seconds ( "),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Total time in operation : 1234 hours 56 minutes 7 seconds ( 51 days 10 "
                       "hours ... )"),
              std::string::npos)
        << out;
    ASSERT_EQ(run({"uptime", kFrame, "--json"}), kExitOk) << err;
    const QJsonObject o = json();
    EXPECT_EQ(o["total"].toObject()["hours"].toInt(), 1234) << out;
    EXPECT_EQ(o["sinceRestart"].toObject()["minutes"].toInt(), 15) << out;
}

TEST_F(CtlAdmin, UptimeTheFrameRefusesIsNotReportedAndExitOne) {
    auto frame = test::startFrame("460", kFrame, [](framesim::FrameProfile& p) {
        p.faults.refused[CommandId::gtotopertime] = 1;
    });
    EXPECT_EQ(run({"uptime", kFrame}), kExitFrame);
    EXPECT_NE(out.find("Total time in operation : the frame did not report it"), std::string::npos)
        << out;
    EXPECT_NE(err.find("did not report: the total time"), std::string::npos) << err;
}

TEST_F(CtlAdmin, UptimeWithANegativeTimeIsNotReportedAndExitOne) {
    auto frame = test::startFrame("460", kFrame, [](framesim::FrameProfile& p) {
        p.faults.negativeCount.insert(CommandId::gcuropertime);
    });
    EXPECT_EQ(run({"uptime", kFrame}), kExitFrame);
    EXPECT_NE(out.find("Time since last restart : the frame did not report it"), std::string::npos)
        << out;
    EXPECT_NE(err.find("did not report: the time since restart"), std::string::npos) << err;
    EXPECT_EQ(run({"uptime", kFrame, "--json"}), kExitFrame);
    EXPECT_TRUE(json()["sinceRestart"].isNull()) << out;
}

TEST_F(CtlAdmin, DumpWritesTheDialogsFile) {
    auto frame = test::startFrame("460", kFrame);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath(QStringLiteral("Modules.txt")).toStdString();
    ASSERT_EQ(run({"dump", kFrame, path, "--mini"}), kExitOk) << err;
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const std::string text = file.readAll().toStdString();
    EXPECT_TRUE(text.starts_with("[Module information]\n")) << text;
    EXPECT_EQ(text.find("BoardType_9="), std::string::npos) << "cards were not asked for";
    file.close();

    ASSERT_EQ(run({"dump", kFrame, path, "--json"}), kExitOk) << err;
    EXPECT_TRUE(json()["cards"].toBool());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_NE(file.readAll().toStdString().find("BoardMode_10="), std::string::npos);

    // A folder where the file should go costs no connection.
    EXPECT_EQ(run({"dump", kFrame, dir.path().toStdString()}), kExitUsage);
}

} // namespace
} // namespace velmar
