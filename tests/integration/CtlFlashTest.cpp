// velmarctl flash and flash-join against simulated frames, run in this
// process so the frames and the command share one event loop.

#include "CtlSupport.h"
#include "IntegrationSupport.h"
#include "ctl/CCtlRunner.h"
#include "engine/CQtTimerHost.h"
#include "maintenance/FlashTransfer.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace velmar {
namespace {

using framesim::CSimulatedFrame;
using framesim::FrameProfile;

constexpr const char* kFrame = "127.0.0.2";

class CtlFlash : public test::CtlInProcess {
protected:
    std::string writeImage(const char* name, int count, const std::string& header) {
        records.clear();
        std::string bytes = header.empty() ? "" : header + "\r\n";
        for (int i = 0; i < count; ++i) {
            records.push_back("S2" + std::to_string(100000 + i) + std::string(i % 90, 'F'));
            bytes += records.back() + "\r\n";
        }
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes.data(), static_cast<qint64>(bytes.size()));
        return path.toStdString();
    }

    // Counts the firmware requests the frame reads from here on.
    void countProgramLines(CSimulatedFrame& frame) {
        QObject::connect(&frame, &CSimulatedFrame::lineReceived, &context,
                         [this](const QString& line) {
                             if (line.contains(QStringLiteral("sprog")))
                                 ++programLines;
                         });
    }

    std::vector<std::string> records;
    int programLines = 0;
    QObject context;
    QTemporaryDir dir;
};

TEST_F(CtlFlash, ProgramsEveryRecordAndReportsPlainProgress) {
    auto frame = test::startFrame("460", kFrame);
    const std::string path = writeImage("frame.flash", 1000, ";Type:460,Release:3.2");
    ASSERT_EQ(run({"flash", kFrame, path}), kExitOk) << err << out;
    EXPECT_EQ(frame->programRecords(), records);
    EXPECT_TRUE(frame->model().programmingCompleted());
    // Not a terminal: a line per tenth, then the outcome.
    EXPECT_NE(out.find("File 1 of 1: 100 of 1000 records, "), std::string::npos) << out;
    EXPECT_NE(out.find("File 1 of 1: 1000 of 1000 records, "), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 11) << out;
    EXPECT_NE(out.find("frame.flash: 1000 records programmed\n"), std::string::npos) << out;
    EXPECT_EQ(err, "");
}

TEST_F(CtlFlash, FilesGoInTheOrderNamedAndRestartFollows) {
    auto frame = test::startFrame("460", kFrame);
    const std::string first = writeImage("one.flash", 30, ";Type:460,Release:1");
    const std::vector<std::string> firstRecords = records;
    const std::string second = writeImage("two.flash", 20, ";Type:460,Release:2");
    QSignalSpy restarting(frame.get(), &CSimulatedFrame::restarting);
    ASSERT_EQ(run({"flash", kFrame, first, second, "--restart", "--json"}), kExitOk) << err;
    ASSERT_EQ(frame->programTransfers().size(), 2u);
    EXPECT_EQ(frame->programTransfers()[0], firstRecords);
    EXPECT_EQ(frame->programTransfers()[1], records);
    const QJsonObject doc = json();
    EXPECT_TRUE(doc["restarted"].toBool());
    const QJsonArray files = doc["files"].toArray();
    ASSERT_EQ(files.size(), 2);
    EXPECT_EQ(files[1].toObject()["result"].toString(), QStringLiteral("programmed"));
    EXPECT_EQ(files[1].toObject()["records"].toInt(), 20);
    ASSERT_TRUE(test::waitUntil([&] { return restarting.count() == 1; }));
    EXPECT_EQ(restarting.at(0).at(0).toString(), QStringLiteral("srestart"));
}

TEST_F(CtlFlash, AnErrorAtARecordIsExitOneWithTheRecordAndTheRestIsNotSent) {
    auto frame = test::startFrame("460", kFrame);
    frame->faults().failProgramAtRecord = 77;
    const std::string first = writeImage("one.flash", 100, ";Type:460,Release:1");
    const std::string second = writeImage("two.flash", 100, ";Type:460,Release:2");
    ASSERT_EQ(run({"flash", kFrame, first, second, "--json"}), kExitFrame);
    EXPECT_NE(err.find("one.flash: programming error: The frame refused record 77 of 100"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("recovery mode"), std::string::npos) << err;
    EXPECT_NE(err.find("1 further file was not sent"), std::string::npos) << err;
    const QJsonArray files = json()["files"].toArray();
    ASSERT_EQ(files.size(), 2);
    EXPECT_EQ(files[0].toObject()["result"].toString(), QStringLiteral("error"));
    EXPECT_EQ(files[0].toObject()["sent"].toInt(), 77);
    EXPECT_EQ(files[1].toObject()["result"].toString(), QStringLiteral("not sent"));
    EXPECT_EQ(frame->programTransfers().size(), 1u);
}

TEST_F(CtlFlash, UnverifiableOrUnsendableFilesSendNothing) {
    auto frame = test::startFrame("460", kFrame);
    countProgramLines(*frame);
    const std::string plain = writeImage("plain.flash", 5, "");
    EXPECT_EQ(run({"flash", kFrame, plain}), kExitUsage);
    EXPECT_NE(err.find("--yes"), std::string::npos) << err;

    const std::string panel = writeImage("panel.flash", 5, ";Type:450,Release:1");
    EXPECT_EQ(run({"flash", kFrame, panel}), kExitUsage);
    EXPECT_NE(err.find(kFlashNotCompatible), std::string::npos) << err;

    const std::string longLine = writeImage("long.flash", 3, std::string(300, 'S'));
    EXPECT_EQ(run({"flash", kFrame, longLine, "--yes"}), kExitUsage);
    EXPECT_NE(err.find("Line 1 is longer than 255 characters"), std::string::npos) << err;
    EXPECT_EQ(programLines, 0);

    EXPECT_EQ(run({"flash", kFrame, plain, "--yes"}), kExitOk) << err;
    EXPECT_EQ(frame->programRecords().size(), 5u);
}

TEST_F(CtlFlash, AnUnreachableOrLostFrameIsExitThree) {
    const std::string path = writeImage("a.flash", 400, ";Type:460,Release:1");
    EXPECT_EQ(run({"flash", "127.0.0.9", path, "--type", "460", "--timeout", "500"}),
              kExitUnreachable);

    auto frame = test::startFrame("460", kFrame);
    QObject::connect(frame.get(), &CSimulatedFrame::programRecordReceived, &context,
                     [&](int count) {
                         if (count == 150)
                             frame->dropClients();
                     });
    EXPECT_EQ(run({"flash", kFrame, path}), kExitUnreachable);
    // Record 150 was answered as the link went: 150 or 151 went out.
    EXPECT_NE(err.find("a.flash: the transfer stopped at record 15"), std::string::npos) << err;
    EXPECT_NE(err.find(" of 400"), std::string::npos) << err;
    EXPECT_NE(err.find("the link was dropped"), std::string::npos) << err;
    EXPECT_NE(err.find("recovery mode"), std::string::npos) << err;
}

TEST_F(CtlFlash, EveryFileIsCheckedBeforeTheFirstRecord) {
    auto frame = test::startFrame("460", kFrame);
    countProgramLines(*frame);
    const std::string good = writeImage("good.flash", 5, ";Type:460,Release:1");
    const std::string panel = writeImage("panel.flash", 5, ";Type:450,Release:1");
    EXPECT_EQ(run({"flash", kFrame, good, panel}), kExitUsage);
    EXPECT_NE(err.find("panel.flash is an image for the 450"), std::string::npos) << err;

    const std::string text = dir.filePath(QStringLiteral("notes.flash")).toStdString();
    QFile f(QString::fromStdString(text));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(";Type:460,Release:1\nSome notes\nSee the manual\nSo long\n");
    f.close();
    EXPECT_EQ(run({"flash", kFrame, good, text, "--yes"}), kExitUsage);
    EXPECT_NE(err.find("is no S-record"), std::string::npos) << err;
    EXPECT_EQ(programLines, 0);
}

TEST_F(CtlFlash, AnExplicitTimeoutBoundsEveryAnswer) {
    auto frame = test::startFrame("460", kFrame);
    const std::string path = writeImage("a.flash", 10, ";Type:460,Release:1");
    frame->faults().programReplyDelayMs = 2500;
    EXPECT_EQ(run({"flash", kFrame, path, "--timeout", "2000"}), kExitFrame);
    EXPECT_NE(err.find("did not answer the begin request within 2000 ms"), std::string::npos)
        << err;
    EXPECT_TRUE(frame->programRecords().empty());

    frame->faults().programReplyDelayMs = 0;
    frame->faults().silentProgramAtRecord = 3;
    EXPECT_EQ(run({"flash", kFrame, path, "--timeout", "1500"}), kExitFrame);
    EXPECT_NE(err.find("did not answer record 3 of 10 within 1500 ms"), std::string::npos) << err;
}

TEST_F(CtlFlash, ADuplicateAcknowledgementDoesNotAdvanceTheTransfer) {
    auto frame = test::startFrame("460", kFrame);
    frame->faults().duplicateProgramAtRecord = 1;
    frame->faults().silentProgramAtRecord = 2;
    const std::string path = writeImage("a.flash", 10, ";Type:460,Release:1");
    EXPECT_EQ(run({"flash", kFrame, path, "--timeout", "500"}), kExitFrame);
    EXPECT_EQ(frame->programRecords().size(), 2u); // record 3 never went out
    EXPECT_NE(err.find("did not answer record 2 of 10"), std::string::npos) << err;
}

TEST_F(CtlFlash, ALinkDroppedMidTransferNamesTheRecord) {
    auto frame = test::startFrame("460", kFrame);
    frame->faults().dropLinkAtRecord = 5;
    const std::string path = writeImage("a.flash", 10, ";Type:460,Release:1");
    EXPECT_EQ(run({"flash", kFrame, path}), kExitUnreachable);
    EXPECT_NE(err.find("a.flash: the transfer stopped at record 5 of 10"), std::string::npos)
        << err;
    EXPECT_NE(err.find("recovery mode"), std::string::npos) << err;
}

TEST_F(CtlFlash, FileNamesAndReleasesNeverReachTheTerminalRaw) {
    auto frame = test::startFrame("460", kFrame);
    const std::string path = writeImage("a\x1b[31m.flash", 3, ";Type:460,Release:1");
    ASSERT_EQ(run({"flash", kFrame, path}), kExitOk) << err;
    EXPECT_NE(out.find("a\\x1B[31m.flash: 3 records programmed"), std::string::npos) << out;
    EXPECT_EQ(out.find('\x1b'), std::string::npos);

    const std::string folder = dir.path().toStdString();
    for (const FlashComponent& c : flashComponents(FlashJoinType::Panel))
        writeImage(std::string(c.fileName).c_str(), 3, "");
    const std::string joined = dir.filePath(QStringLiteral("j.flash")).toStdString();
    EXPECT_EQ(run({"flash-join", "--type", "450", "--release", "2.1\x1b]0;x\x07", folder, joined}),
              kExitUsage);
    EXPECT_NE(err.find("control character"), std::string::npos) << err;
    EXPECT_EQ(err.find('\x1b'), std::string::npos);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(joined)));
    // The type is required, never assumed.
    EXPECT_EQ(run({"flash-join", folder, joined}), kExitUsage);
    EXPECT_NE(err.find("needs --type"), std::string::npos) << err;
}

TEST_F(CtlFlash, JoinWritesTheImageOrNothing) {
    const std::string out = dir.filePath(QStringLiteral("joined.flash")).toStdString();
    const std::string folder = dir.path().toStdString();
    EXPECT_EQ(run({"flash-join", "--type", "450", folder, out}), kExitUsage);
    EXPECT_NE(err.find("Saving all file failed"), std::string::npos) << err;
    EXPECT_FALSE(QFile::exists(QString::fromStdString(out)));
    for (const FlashComponent& c : flashComponents(FlashJoinType::Panel))
        writeImage(std::string(c.fileName).c_str(), 3, "junk");
    ASSERT_EQ(run({"flash-join", "--type", "450", "--release", "2.1", folder, out, "--json"}),
              kExitOk)
        << err;
    EXPECT_EQ(json()["records"].toInt(), 8); // 3 + 2 + 3
    QFile f(QString::fromStdString(out));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().startsWith(";Type:450,Release:2.1\nS2100000\n"));
}

} // namespace
} // namespace velmar
