// velmarctl inputs against simulated frames: the status table as the dialog
// shows it, and a watch that follows what the frame announces.

#include "CtlSupport.h"
#include "IntegrationSupport.h"

#include <QJsonArray>
#include <QTimer>
#include <algorithm>

namespace velmar {
namespace {

using framesim::FrameProfile;

constexpr const char* kFrame = "127.0.0.2";

class CtlInputs : public test::CtlInProcess {
protected:
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
    bool has(std::string_view text) const { return out.find(text) != std::string::npos; }

    QObject context;
};

TEST_F(CtlInputs, PrintsTheTableAsTheDialogShowsIt) {
    auto frame = test::startFrame("460", kFrame, [](FrameProfile& p) { p.inputStatus[3] = "ESa"; });
    ASSERT_TRUE(frame);
    EXPECT_EQ(run({"inputs", kFrame}), kExitOk) << err;
    EXPECT_TRUE(has("Main board\nInput  Signal error  Sync error  Active\n")) << out;
    EXPECT_TRUE(has("AES 3  error         error       no\n")) << out;
    EXPECT_TRUE(has("SDI cards\n")) << out;
    EXPECT_TRUE(has("Slot 1 - 2  no      invalid  23.98 Hz\n")) << out;
    EXPECT_TRUE(has("Slot 6 - 2  no      no\n")) << out << " (the two-input AD card)";
    EXPECT_TRUE(has("AES cards\n")) << out;
    EXPECT_TRUE(has("MADI cards\n")) << out;
    EXPECT_FALSE(has("?")) << out;
}

TEST_F(CtlInputs, JsonAndTheFamilyRule) {
    auto frame = test::startFrame("461", kFrame);
    ASSERT_TRUE(frame);
    EXPECT_EQ(run({"inputs", kFrame, "--json"}), kExitOk) << err;
    const QJsonObject o = json();
    EXPECT_EQ(o["family"].toInt(), kFamily461);
    EXPECT_EQ(o["main"].toArray().size(), kMainInputs);
    EXPECT_EQ(o["main"].toArray()[13].toObject()["input"].toString(), QStringLiteral("IP"));
    EXPECT_TRUE(o["cards"].toArray().isEmpty()) << "cards are listed for 460 frames only";
}

TEST_F(CtlInputs, AControlPanelIsAskedForItsInputsSinceNoPollDoes) {
    auto frame = test::startFrame("450", kFrame, [](FrameProfile& p) { p.inputStatus[2] = "-Sa"; });
    ASSERT_TRUE(frame);
    EXPECT_EQ(run({"inputs", kFrame}), kExitOk) << err;
    EXPECT_TRUE(has("AES 2                error       no\n")) << out;
    EXPECT_TRUE(has("460 frames only")) << out;
    EXPECT_FALSE(has("?")) << out;

    frame->faults().refused[CommandId::lmaininpstatus] = 1;
    EXPECT_EQ(run({"inputs", kFrame}), kExitFrame);
    EXPECT_NE(err.find("did not report the status of 14 inputs"), std::string::npos) << err;
}

TEST_F(CtlInputs, AnInputTheFrameDoesNotReportIsNamed) {
    auto frame = test::startFrame(
        "460", kFrame, [](FrameProfile& p) { p.faults.refused[CommandId::gaesinpstatus] = 1; });
    ASSERT_TRUE(frame);
    EXPECT_EQ(run({"inputs", kFrame}), kExitFrame);
    EXPECT_TRUE(has("Slot 4 - 8  ?")) << out;
    EXPECT_TRUE(has("? = not reported by the frame")) << out;
    EXPECT_NE(err.find("did not report the status of 8 inputs"), std::string::npos) << err;
}

TEST_F(CtlInputs, WatchPrintsALinePerChangeUntilInterrupted) {
    auto frame = test::startFrame("460", kFrame);
    ASSERT_TRUE(frame);
    whenReady([this] { return has("MADI cards"); },
              [&frame] {
                  frame->setInputStatus(3, QStringLiteral("ESa"));
                  // The frame's turn reaches the first SDI port after 14 inputs.
                  for (int k = 0; k < 15; ++k)
                      frame->announceInputChange();
              });
    whenReady([this] { return has("SDI Slot 1 - 1:"); }, [this] { runner->interrupt(); });
    EXPECT_EQ(run({"inputs", kFrame, "--watch"}), kExitOk) << err;
    const std::string changes = out.substr(out.find("Slot 5 - 2"));
    EXPECT_NE(changes.find("\nAES 3: Signal error \"\", Sync error \"\", Active \"yes\"\n"),
              std::string::npos)
        << "the turn set AES 3 back to good after the scripted change: " << changes;
    EXPECT_NE(changes.find("\nSDI Slot 1 - 1: Locked \"yes\", Format \"HD SDI\", Frame rate "
                           "\"25 Hz\"\n"),
              std::string::npos)
        << changes;
    EXPECT_EQ(changes.find("AES 1:"), std::string::npos)
        << "\"OK\" to \"--A\" shows the same, so it is no change: " << changes;
}

TEST_F(CtlInputs, WatchJsonEndsWithTheErrorWhenTheLinkIsLost) {
    auto frame = test::startFrame("460", kFrame);
    ASSERT_TRUE(frame);
    whenReady([this] { return has("\"cards\""); },
              [&frame] {
                  frame->setInputStatus(7, QStringLiteral("E-A"));
                  frame->dropClients();
              });
    EXPECT_EQ(run({"inputs", kFrame, "--watch", "--json"}), kExitUnreachable);
    const QList<QByteArray> lines = QByteArray::fromStdString(out).trimmed().split('\n');
    ASSERT_GE(lines.size(), 3) << out;
    EXPECT_TRUE(QJsonDocument::fromJson(lines[0]).object().contains(QStringLiteral("main")));
    const QJsonObject change = QJsonDocument::fromJson(lines[1]).object();
    EXPECT_EQ(change["input"].toString(), QStringLiteral("AES 7"));
    EXPECT_EQ(change["signalError"].toString(), QStringLiteral("error"));
    const QJsonObject last = QJsonDocument::fromJson(lines.back()).object();
    EXPECT_EQ(last["exit"].toInt(), kExitUnreachable) << out;
}

} // namespace
} // namespace velmar
