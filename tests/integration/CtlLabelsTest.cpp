// velmarctl's labels commands against a simulated 1536-channel frame, run in
// this process so the frame and the command share one event loop.

#include "CtlSupport.h"
#include "IntegrationSupport.h"
#include "ctl/CCtlRunner.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <functional>

namespace velmar {
namespace {

using framesim::CSimulatedFrame;

constexpr const char* kFrame = "127.0.0.2";

class CtlLabels : public test::CtlInProcess {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        frame = test::startFrame("460", kFrame);
        ASSERT_TRUE(frame);
        QObject::connect(frame.get(), &CSimulatedFrame::lineReceived, &context,
                         [this](const QString& line) {
                             if (line.startsWith(QStringLiteral("&slabel")))
                                 writes << line;
                         });
    }
    void label(int kind, int channel, const char* text) {
        DeviceMessage v;
        v.setI(1, kind);
        v.setI(2, channel);
        v.setText(3, 17, text);
        frame->model().store(CommandId::glabel, v);
    }
    std::string path(const char* name) const {
        return dir.filePath(QLatin1String(name)).toStdString();
    }
    static void write(const std::string& file, const std::string& text) {
        QFile f(QString::fromStdString(file));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.data(), static_cast<qint64>(text.size()));
    }

    QTemporaryDir dir;
    QObject context;
    std::unique_ptr<CSimulatedFrame> frame;
    QStringList writes;
};

TEST_F(CtlLabels, ExportAndImportRoundTripThroughAFile) {
    label(0, 1, "Kick");
    label(1, 1536, "Desk 1536");
    const std::string file = path("labels.csv");
    ASSERT_EQ(run({"labels", "export", kFrame, file}), kExitOk) << err;
    QFile saved(QString::fromStdString(file));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray text = saved.readAll();
    EXPECT_TRUE(text.startsWith("channel,type,input,output\r\n1,CARD 1,Kick,\r\n"))
        << text.left(80).toStdString();
    EXPECT_TRUE(text.endsWith("1536,CARD 8,,Desk 1536\r\n"));

    // The file comes back unchanged: nothing is sent.
    ASSERT_EQ(run({"labels", "import", kFrame, file}), kExitOk) << err;
    EXPECT_TRUE(writes.isEmpty()) << writes.join(QLatin1Char('\n')).toStdString();

    // Edited as a spreadsheet would: only the changed labels go out.
    write(file, "channel,type,input,output\r\n1,CARD 1,Kick,Desk 1\r\n2,CARD 1,Snare,\r\n");
    ASSERT_EQ(run({"labels", "import", kFrame, file, "--json"}), kExitOk) << err;
    EXPECT_EQ(json()["confirmed"].toInt(), 2) << out;
    EXPECT_EQ(writes, (QStringList{QStringLiteral("&slabel,1,1,'Desk 1'"),
                                   QStringLiteral("&slabel,0,2,'Snare'")}));
    EXPECT_EQ(frame->model().label(1, 1), "Desk 1");

    ASSERT_EQ(run({"labels", "get", kFrame, "--csv"}), kExitOk) << err;
    EXPECT_NE(out.find("\r\n2,CARD 1,Snare,\r\n"), std::string::npos);
    ASSERT_EQ(run({"labels", "get", kFrame, "--json"}), kExitOk) << err;
    EXPECT_EQ(json()["labels"].toArray().size(), 1536);
    EXPECT_EQ(json()["labels"].toArray()[0].toObject()["output"].toString(),
              QStringLiteral("Desk 1"));
}

TEST_F(CtlLabels, RefusedRowsStopTheImportUnlessTheyAreSkipped) {
    const std::string file = path("bad.csv");
    write(file, "channel,type,input,output\n"
                "3,,Fine,\n"
                "4,,\"Kick, snare\",\n"
                "5,,SEVENTEEN-CHARS-X,\n");
    EXPECT_EQ(run({"labels", "import", kFrame, file}), kExitUsage);
    EXPECT_NE(err.find("line 3: input label holds a quote, comma or control character"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("line 4: input label is longer than 16 bytes"), std::string::npos) << err;
    EXPECT_TRUE(writes.isEmpty()) << "nothing is sent when a row is refused";

    EXPECT_EQ(run({"labels", "import", kFrame, file, "--skip-invalid", "--dry-run"}), kExitOk);
    EXPECT_NE(out.find("1 label would be sent\n  channel 3 input  'Fine'"), std::string::npos)
        << out;
    EXPECT_TRUE(writes.isEmpty());

    EXPECT_EQ(run({"labels", "import", kFrame, file, "--skip-invalid"}), kExitOk) << err;
    EXPECT_EQ(writes, QStringList{QStringLiteral("&slabel,0,3,'Fine'")});
}

TEST_F(CtlLabels, SetSendsOnlyWhatDiffersAndReportsRefusals) {
    label(0, 17, "Kick");
    ASSERT_EQ(run({"labels", "set", kFrame, "17", "--input", "Kick", "--output", "Desk"}), kExitOk)
        << err;
    EXPECT_EQ(writes, QStringList{QStringLiteral("&slabel,1,17,'Desk'")});
    EXPECT_EQ(out, "The frame confirmed 1 of 1 labels.\n");

    EXPECT_EQ(run({"labels", "set", kFrame, "17", "--input", "a,b"}), kExitUsage);
    EXPECT_EQ(run({"labels", "set", kFrame, "17"}), kExitUsage);

    frame->faults().refused[CommandId::slabel] = 2;
    EXPECT_EQ(run({"labels", "set", kFrame, "17", "--input", "Snare"}), kExitFrame);
    EXPECT_NE(out.find("It refused 1: channel 17 (status 2)"), std::string::npos) << out;
    EXPECT_EQ(frame->model().label(0, 17), "Kick");
}

TEST_F(CtlLabels, OnlyAnswersToWhatWasAskedCount) {
    label(0, 1, "Kick");
    frame->faults().unaskedLabels = true; // ":slabel" 'UNASKED' after every block
    ASSERT_EQ(run({"labels", "get", kFrame, "--csv"}), kExitOk) << err;
    EXPECT_NE(out.find("\r\n1,CARD 1,Kick,\r\n2,CARD 1,,\r\n"), std::string::npos)
        << out.substr(0, 200);
    EXPECT_EQ(out.find("UNASKED"), std::string::npos);
    const std::string file = path("kick.csv");
    write(file, "channel,type,input,output\n1,,Kick,\n");
    ASSERT_EQ(run({"labels", "import", kFrame, file}), kExitOk) << err;
    EXPECT_TRUE(writes.isEmpty()) << "the frame has Kick already";
    frame->faults().unaskedLabels = false;

    // Answers that carry another text than the one written confirm nothing.
    frame->faults().labelAnswer = "NOPE";
    write(file, "channel,type,input,output\n1,,Snare,Desk\n2,,Tom,\n");
    EXPECT_EQ(run({"labels", "import", kFrame, file}), kExitFrame);
    EXPECT_EQ(writes.size(), 3);
    EXPECT_NE(out.find("The frame confirmed 0 of 3 labels. It answered 3 with another label than "
                       "the one written: channel 1 input 'NOPE', channel 1 output 'NOPE', "
                       "channel 2 input 'NOPE'."),
              std::string::npos)
        << out;
    frame->faults().labelAnswer.reset();

    // A refused list, a list for other channels, a negative count: no labels shown.
    const std::pair<std::function<void(framesim::FaultPlan&)>, const char*> faults[] = {
        {[](framesim::FaultPlan& f) { f.refused[CommandId::llabel] = 3; },
         "the frame refused the input labels of channels 1 .. 32 (status 3)"},
        {[](framesim::FaultPlan& f) { f.otherId.insert(CommandId::llabel); },
         "which were not asked for"},
        {[](framesim::FaultPlan& f) { f.negativeCount.insert(CommandId::llabel); },
         "the frame reported -1 labels for the input labels of channels 1 .. 32"},
    };
    for (const auto& [fault, text] : faults) {
        frame->faults() = framesim::FaultPlan{};
        fault(frame->faults());
        EXPECT_EQ(run({"labels", "get", kFrame}), kExitFrame) << text;
        EXPECT_NE(err.find(text), std::string::npos) << err;
        EXPECT_EQ(out, "") << text;
    }
}

TEST_F(CtlLabels, GainsAndLevelsAreListedInTextAndJson) {
    DeviceMessage gain;
    gain.setI(1, 0);
    gain.setI(2, 2);
    gain.setDecimal(3, {true, 3, 5});
    gain.setI(5, 1);
    frame->model().store(CommandId::ggain, gain);
    DeviceMessage thresholds;
    thresholds.setI(1, 1);
    thresholds.setI(2, 5);
    thresholds.setDecimal(3, {true, 20, 0});
    thresholds.setI(5, 10);
    thresholds.setDecimal(6, {true, 6, 50});
    thresholds.setI(8, 500);
    frame->model().store(CommandId::glevdetthres, thresholds);

    ASSERT_EQ(run({"gains", kFrame}), kExitOk) << err;
    EXPECT_NE(out.find("\n2        CARD 1  -3.05    inverted  no    0.00     0         no\n"),
              std::string::npos)
        << out.substr(0, 400);
    ASSERT_EQ(run({"gains", kFrame, "--json"}), kExitOk) << err;
    const QJsonArray gains = json()["gains"].toArray();
    ASSERT_EQ(gains.size(), 1536);
    EXPECT_EQ(gains[1].toObject()["input"].toObject()["gain"].toString(), QStringLiteral("-3.05"));
    EXPECT_TRUE(gains[1].toObject()["input"].toObject()["phaseInverted"].toBool());

    ASSERT_EQ(run({"levels", kFrame}), kExitOk) << err;
    EXPECT_NE(
        out.find(
            "\n5        CARD 1  0, 0, 0, 0, 0, 0                  10, -20, 500, -6.50, 0, 0\n"),
        std::string::npos)
        << out.substr(0, 600);
    ASSERT_EQ(run({"levels", kFrame, "--json"}), kExitOk) << err;
    const QJsonObject five = json()["levels"].toArray()[4].toObject();
    EXPECT_EQ(five["output"].toObject()["level2"].toString(), QStringLiteral("-6.50"));
    EXPECT_EQ(five["output"].toObject()["time2"].toInt(), 500);

    frame->faults().unanswered.insert(CommandId::llevdetstatus);
    EXPECT_EQ(run({"levels", kFrame, "--timeout", "300"}), kExitFrame);
    EXPECT_NE(err.find("did not answer the level detector requests"), std::string::npos) << err;
}

} // namespace
} // namespace velmar
