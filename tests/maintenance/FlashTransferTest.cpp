#include "maintenance/FlashTransfer.h"

#include "engine/DeviceState.h"
#include "engine/EngineFakes.h"

#include <gtest/gtest.h>
#include <map>

namespace velmar {
namespace {

using test::FakeTimerHost;

constexpr std::int32_t kStatusProgrammingError = 3;

// The run with a scripted frame: every request is kept, and answer() plays
// the frame's reply to the oldest unanswered one.
struct FlashRig final : IRequestSink, IFlashRunHost {
    FakeTimerHost timers;
    CFlashRun run{timers, *this, *this};
    std::vector<DeviceMessage> sent;
    std::size_t answered = 0;
    std::map<std::string, std::string> files;
    std::map<FlashQuestion, bool> answers{{FlashQuestion::Start, true},
                                          {FlashQuestion::Unverified, true},
                                          {FlashQuestion::Restart, false}};
    std::vector<std::string> questions;
    std::vector<std::string> messages;
    std::vector<std::string> warnings;
    std::vector<std::string> lineTexts; // every change of the records-sent text
    std::vector<int> bars;              // every change of the bar
    std::vector<bool> programmingSeen;
    int restarts = 0;
    std::vector<FlashOutcome> ended;

    FlashRig() {
        timers.onFire = [this](int id) {
            if (id == kTimerFirmware)
                run.onTimer();
        };
    }
    void sendRequest(DeviceMessage m) override { sent.push_back(m); }
    std::optional<std::string> readFile(const std::string& path) override {
        const auto it = files.find(path);
        if (it == files.end())
            return std::nullopt;
        return it->second;
    }
    void showMessage(std::string_view t) override { messages.emplace_back(t); }
    void showWarning(std::string_view t) override { warnings.emplace_back(t); }
    bool askYesNo(FlashQuestion q, std::string_view t) override {
        questions.emplace_back(t);
        return answers[q];
    }
    void displayChanged(const FlashDisplay& d) override {
        if (lineTexts.empty() || lineTexts.back() != d.line)
            lineTexts.push_back(d.line);
        if (bars.empty() || bars.back() != d.bar)
            bars.push_back(d.bar);
    }
    void programmingChanged(bool on) override { programmingSeen.push_back(on); }
    void restartRequested() override { ++restarts; }
    void fileEnded(const FlashOutcome& o) override { ended.push_back(o); }

    std::vector<DeviceMessage> programRequests() const {
        std::vector<DeviceMessage> out;
        for (const DeviceMessage& m : sent)
            if (m.command == CommandId::sprog)
                out.push_back(m);
        return out;
    }
    // The frame acknowledges what is outstanding, optionally refusing it.
    bool answer(std::int32_t status = 0) {
        if (answered >= sent.size())
            return false;
        DeviceMessage r = sent[answered++];
        r.flags = FlagReply;
        r.status = status;
        run.onReply(r);
        timers.advance(0);
        return true;
    }
    void answerAll(int limit = 1000000) {
        while (limit-- > 0 && answer()) {
        }
    }
    std::vector<std::string> recordsSent() const {
        std::vector<std::string> out;
        for (const DeviceMessage& m : programRequests())
            if (m.i(1) == 1)
                out.emplace_back(m.text(fields::kProgramLine));
        return out;
    }
};

// The run failed once, said so, and left the same words standing in the dialog.
void expectFailure(const FlashRig& rig, std::string_view says) {
    ASSERT_EQ(rig.messages.size(), 1u);
    const std::string& text = rig.messages[0];
    EXPECT_TRUE(text.starts_with(kFlashProgrammingError)) << text;
    EXPECT_NE(text.find(says), std::string::npos) << text;
    EXPECT_EQ(rig.run.display().failure, text);
    EXPECT_TRUE(rig.run.display().closeEnabled);
    EXPECT_EQ(rig.run.outcome().kind, FlashOutcome::Failed);
}

std::string records(int n, std::string_view header = ";Type:460,Release:2.1\r\n") {
    std::string s(header);
    for (int i = 1; i <= n; ++i)
        s += "S1" + std::to_string(1000 + i) + "\r\n";
    return s;
}

TEST(FlashRun, PanelImageFitsOnlyThePanelUnit) {
    FlashRig rig;
    rig.files["C:\\fw\\panel.flash"] = records(3, ";Type:450,Release:2.1\r\n");
    rig.run.setDevice(kFamily460, kRunModeApplication);
    EXPECT_FALSE(rig.run.start({"C:\\fw\\panel.flash"}));
    ASSERT_EQ(rig.warnings.size(), 1u);
    EXPECT_TRUE(rig.warnings[0].starts_with(kFlashNotCompatible)) << rig.warnings[0];
    EXPECT_NE(rig.warnings[0].find("panel.flash is an image for the 450"), std::string::npos);
    EXPECT_TRUE(rig.questions.empty()); // refused before the operator is asked
    EXPECT_TRUE(rig.sent.empty());
    EXPECT_TRUE(rig.run.display().closeEnabled);

    FlashRig panel;
    panel.files["C:\\fw\\panel.flash"] = records(3, ";Type:450,Release:2.1\r\n");
    panel.run.setDevice(kFamily450, kRunModeApplication);
    ASSERT_TRUE(panel.run.start({"C:\\fw\\panel.flash"}));
    EXPECT_EQ(panel.run.display().file, "panel.flash  (release: 2.1)");
    EXPECT_EQ(panel.run.display().count, "of 3 records programmed");
    EXPECT_EQ(panel.run.display().fileOf, "File 1 of 1");
    EXPECT_FALSE(panel.run.display().closeEnabled);
    panel.answerAll();
    EXPECT_EQ(panel.recordsSent(), (std::vector<std::string>{"S11001", "S11002", "S11003"}));
    EXPECT_EQ(panel.run.outcome().kind, FlashOutcome::Programmed);
    EXPECT_TRUE(panel.warnings.empty());
}

TEST(FlashRun, FrameImageIsRefusedOnThePanelUnit) {
    FlashRig rig;
    rig.files["a.flash"] = records(2, ";Type:460,Release:1\n");
    rig.run.setDevice(kFamily450, kRunModeApplication);
    EXPECT_FALSE(rig.run.start({"a.flash"}));
    EXPECT_EQ(rig.warnings.size(), 1u);
    EXPECT_EQ(rig.run.outcome().kind, FlashOutcome::Refused);
}

TEST(FlashRun, FileWithoutHeaderAsksBeforeItIsSent) {
    FlashRig no;
    no.files["plain.flash"] = records(4, "");
    no.answers[FlashQuestion::Unverified] = false;
    EXPECT_FALSE(no.run.start({"plain.flash"}));
    EXPECT_TRUE(no.questions.back().starts_with(kFlashUnverified));
    EXPECT_NE(no.questions.back().find("plain.flash"), std::string::npos);
    EXPECT_TRUE(no.sent.empty());

    FlashRig yes;
    yes.files["plain.flash"] = records(4, "");
    ASSERT_TRUE(yes.run.start({"plain.flash"}));
    EXPECT_EQ(yes.run.display().file, "plain.flash"); // no release to show
    yes.answerAll();
    EXPECT_EQ(yes.recordsSent().size(), 4u);
    EXPECT_EQ(yes.run.outcome().kind, FlashOutcome::Programmed);
}

TEST(FlashRun, DecliningTheStartSendsNothing) {
    FlashRig rig;
    rig.files["a.flash"] = records(2);
    rig.answers[FlashQuestion::Start] = false;
    EXPECT_FALSE(rig.run.start({"a.flash", ""}));
    ASSERT_EQ(rig.questions.size(), 1u);
    EXPECT_TRUE(rig.questions[0].starts_with(kFlashStartQuestion));
    EXPECT_TRUE(rig.sent.empty());
    EXPECT_EQ(rig.run.fileCount(), 0);
}

TEST(FlashRun, RecordsTheTransferCouldNeverReachAreRefusedBeforeTheBegin) {
    // Two lines ahead of the first record, or one between records: the
    // transfer would stop there, so the file is refused whole.
    for (const char* text :
         {";Type:460,Release:1\nremark\nS1A\n", ";Type:460,Release:1\nS1A\nx\nS1B\n"}) {
        FlashRig rig;
        rig.files["a.flash"] = text;
        EXPECT_FALSE(rig.run.start({"a.flash"})) << text;
        EXPECT_TRUE(rig.sent.empty()) << text;
        ASSERT_EQ(rig.messages.size(), 1u);
        EXPECT_NE(rig.messages[0].find("is no record but stands before the record"),
                  std::string::npos)
            << rig.messages[0];
    }
}

TEST(FlashRun, ThreeFilesRunFromTheLastChosenWithOneQuestionAtTheEnd) {
    FlashRig rig;
    rig.files["one.flash"] = records(2, ";Type:460,Release:9\n");
    rig.files["two.flash"] = records(3, "");
    rig.files["three.flash"] = records(4, ";Type:460,Release:7\n");
    ASSERT_TRUE(rig.run.start({"one.flash", "two.flash", "three.flash"}));
    EXPECT_EQ(rig.run.display().fileOf, "File 1 of 3");
    EXPECT_EQ(rig.run.display().file, "three.flash  (release: 7)");
    rig.answerAll(6); // begin, 4 records, end: the first file is done
    EXPECT_EQ(rig.run.display().fileOf, "File 2 of 3");
    EXPECT_EQ(rig.run.display().file, "two.flash");
    rig.answerAll();
    EXPECT_EQ(rig.run.display().fileOf, "File 3 of 3");
    EXPECT_EQ(rig.recordsSent().size(), 9u);
    EXPECT_EQ(rig.recordsSent().front(), "S11001");
    // two.flash cannot be verified, then the start, and the success once.
    ASSERT_EQ(rig.questions.size(), 3u);
    EXPECT_TRUE(rig.questions[0].starts_with(kFlashUnverified));
    EXPECT_NE(rig.questions[1].find("Files, in this order:\n  three.flash  (release: 7), 4 "
                                    "records\n  two.flash, 3 records\n  one.flash  (release: "
                                    "9), 2 records"),
              std::string::npos)
        << rig.questions[1];
    ASSERT_EQ(rig.ended.size(), 3u);
    EXPECT_EQ(rig.ended[0].path, "three.flash");
    EXPECT_EQ(rig.ended[2].totalRecords, 2);
    EXPECT_EQ(rig.ended[2].kind, FlashOutcome::Programmed);
    EXPECT_EQ(rig.questions.back(), "Flash successfully programmed.\nRestart device");
    EXPECT_TRUE(rig.warnings.empty());
    EXPECT_EQ(rig.run.fileIndex(), 0);
    EXPECT_EQ(rig.restarts, 0);
    EXPECT_TRUE(rig.run.display().closeEnabled);
    EXPECT_FALSE(rig.run.closeWanted());
}

TEST(FlashRun, RestartAfterSuccessDependsOnTheRunMode) {
    FlashRig recovery;
    recovery.files["a.flash"] = records(2);
    recovery.answers[FlashQuestion::Restart] = true;
    recovery.run.setDevice(kFamily460, kRunModeRecovery);
    recovery.run.start({"a.flash"});
    recovery.answerAll();
    EXPECT_EQ(recovery.questions.back(),
              "Flash successfully programmed.\nRestart device and load application");
    EXPECT_EQ(recovery.sent.back().command, CommandId::sloadapp);
    EXPECT_EQ(recovery.restarts, 1);
    EXPECT_TRUE(recovery.run.closeWanted());

    FlashRig application;
    application.files["a.flash"] = records(2);
    application.answers[FlashQuestion::Restart] = true;
    application.run.start({"a.flash"});
    application.answerAll();
    EXPECT_EQ(application.sent.back().command, CommandId::srestart);
    EXPECT_EQ(application.sent.back().i(1), 1);
}

TEST(FlashRun, ProgressOfAThousandRecords) {
    FlashRig rig;
    rig.files["big.flash"] = records(1000);
    rig.run.start({"big.flash"});
    rig.answerAll();
    std::vector<std::string> expected{"0"};
    for (int n = 64; n < 937; n += 64)
        expected.push_back(std::to_string(n));
    for (int n = 937; n <= 1000; ++n)
        expected.push_back(std::to_string(n));
    EXPECT_EQ(rig.lineTexts, expected);
    // The bar moves one step every 10 records and reaches 100 with the last.
    std::vector<int> bars;
    for (int b = 0; b <= 100; ++b)
        bars.push_back(b);
    EXPECT_EQ(rig.bars, bars);
    EXPECT_EQ(rig.run.outcome().kind, FlashOutcome::Programmed);
}

// The bar at the first, the next-to-last and the last record: only the last
// fills it, whether a step is one record, ten, or (below 100 records) each.
TEST(FlashRun, BarAtTheFirstNextToLastAndLastRecord) {
    struct Row {
        int records, first, nextToLast, last;
    };
    for (const Row& r : {Row{100, 0, 98, 100}, Row{1000, 0, 99, 100}, Row{4, 25, 75, 100}}) {
        SCOPED_TRACE(r.records);
        FlashRig rig;
        rig.files["f.flash"] = records(r.records);
        rig.run.start({"f.flash"});
        std::map<int, int> barAt; // records sent -> bar
        while (rig.answer())
            barAt[rig.run.display().sent] = rig.run.display().bar;
        EXPECT_EQ(barAt[1], r.first);
        EXPECT_EQ(barAt[r.records - 1], r.nextToLast);
        EXPECT_EQ(barAt[r.records], r.last);
    }
}

TEST(FlashRun, FewRecordsStillMoveTheBar) {
    FlashRig rig;
    rig.files["small.flash"] = records(4);
    rig.run.start({"small.flash"});
    rig.answerAll();
    EXPECT_EQ(rig.bars, (std::vector<int>{0, 25, 50, 75, 100}));
}

TEST(FlashRun, ErrorReplyAtARecordEndsTheRunAndDropsTheQueue) {
    FlashRig rig;
    rig.files["a.flash"] = records(3);
    rig.files["b.flash"] = records(50);
    rig.run.start({"a.flash", "b.flash"});
    rig.answerAll(1 + 6); // begin and five records
    ASSERT_EQ(rig.recordsSent().size(), 7u);
    rig.answer(kStatusProgrammingError); // record 7 refused
    expectFailure(rig, "b.flash (file 1 of 2): The frame refused record 7 of 50. The file after "
                       "it was not sent.\nThe frame's flash may be only partly written");
    EXPECT_EQ(rig.run.outcome().kind, FlashOutcome::Failed);
    EXPECT_EQ(rig.run.outcome().recordsSent, 7);
    EXPECT_EQ(rig.run.queued(), 0u);
    EXPECT_EQ(rig.run.fileIndex(), 0);
    EXPECT_FALSE(rig.answer()); // a.flash is never begun
    EXPECT_EQ(rig.programRequests().size(), 8u);
}

TEST(FlashRun, RefusedLastRecordIsNoSuccess) {
    // Every record went out, but the frame never acknowledged the end.
    FlashRig rig;
    rig.files["a.flash"] = records(3);
    rig.run.start({"a.flash"});
    rig.answerAll(4);
    rig.answer(kStatusProgrammingError);
    expectFailure(rig, "a.flash: The frame refused the end request.");
}

TEST(FlashRun, SilenceAtARecordEndsAfterTheWatchdog) {
    FlashRig rig;
    rig.files["a.flash"] = records(20);
    rig.run.start({"a.flash"});
    rig.answerAll(1 + 11); // the twelfth record stays unanswered
    rig.timers.advance(kFlashRecordWaitMs - 1);
    EXPECT_TRUE(rig.run.programming());
    rig.timers.advance(1);
    EXPECT_FALSE(rig.run.programming());
    EXPECT_EQ(rig.run.outcome().recordsSent, 12);
    expectFailure(rig, "The frame did not answer record 12 of 20 within 10000 ms.");
}

TEST(FlashRun, EmptyLinesDoNotCutTheTransferShort) {
    FlashRig rig;
    rig.files["a.flash"] = ";Type:460,Release:1\r\n\r\nS1A\r\n\r\nS1B\r\nS9C\r\n\r\n";
    rig.run.start({"a.flash"});
    rig.answerAll();
    EXPECT_EQ(rig.recordsSent(), (std::vector<std::string>{"S1A", "S1B", "S9C"}));
    EXPECT_EQ(rig.programRequests().back().i(1), 2); // the end went out and was answered
    EXPECT_EQ(rig.run.outcome().kind, FlashOutcome::Programmed);
}

TEST(FlashRun, OverlongRecordIsRefusedBeforeTheBegin) {
    FlashRig rig;
    rig.files["C:\\x\\a.flash"] = records(2) + std::string(300, 'S') + "\r\n";
    EXPECT_FALSE(rig.run.start({"C:\\x\\a.flash"}));
    EXPECT_TRUE(rig.sent.empty());
    ASSERT_EQ(rig.messages.size(), 1u);
    EXPECT_EQ(rig.messages[0], "Flash file a.flash: Line 4 is longer than 255 characters and "
                               "cannot be sent. Nothing was sent.");
    EXPECT_TRUE(rig.run.display().closeEnabled);
}

TEST(FlashRun, UnreadableOrEmptyFileIsSaidAndSendsNothing) {
    FlashRig rig;
    rig.files["empty.flash"] = ";Type:460,Release:1\r\n";
    EXPECT_FALSE(rig.run.start({"missing.flash"}));
    EXPECT_FALSE(rig.run.start({"empty.flash"}));
    EXPECT_EQ(rig.messages.size(), 2u);
    EXPECT_TRUE(rig.sent.empty());
}

TEST(FlashRun, LateBeginAcknowledgementAfterCloseStartsNothing) {
    FlashRig rig;
    rig.files["a.flash"] = records(3);
    rig.run.start({"a.flash"});
    EXPECT_TRUE(rig.run.close()); // the begin is still unanswered
    rig.answer();
    EXPECT_EQ(rig.programRequests().size(), 1u);
    EXPECT_TRUE(rig.programmingSeen.empty());
    EXPECT_FALSE(rig.timers.running(kTimerFirmware));
    EXPECT_TRUE(rig.messages.empty());
}

TEST(FlashRun, CannotCloseWhileProgramming) {
    FlashRig rig;
    rig.files["a.flash"] = records(3);
    rig.run.start({"a.flash"});
    rig.answer();
    EXPECT_FALSE(rig.run.close());
    rig.answerAll();
    EXPECT_TRUE(rig.run.close());
}

TEST(FlashRun, UnansweredBeginEndsAfterItsGrace) {
    FlashRig rig;
    rig.files["a.flash"] = records(3);
    rig.run.start({"a.flash"});
    rig.timers.advance(kFlashBeginWaitMs);
    EXPECT_TRUE(rig.run.busy()); // still waiting: the frame may be slow to prepare
    EXPECT_TRUE(rig.messages.empty());
    rig.timers.advance(kFlashBeginGraceMs);
    EXPECT_FALSE(rig.run.busy());
    expectFailure(rig, "The frame did not answer the begin request within 11000 ms.");
    EXPECT_EQ(rig.messages[0].find("partly written"), std::string::npos); // nothing was written

    // A refused begin ends at once.
    FlashRig refused;
    refused.files["a.flash"] = records(3);
    refused.run.start({"a.flash"});
    refused.answer(kStatusProgrammingError);
    expectFailure(refused, "The frame refused the begin request.");
}

TEST(FlashRun, EveryFileIsCheckedBeforeTheQuestionAndTheFirstRecord) {
    // The bad file is programmed second (the last chosen goes first).
    const std::map<std::string, std::string> bad = {
        {"panel image", records(3, ";Type:450,Release:2\n")},
        {"text file", "Some notes\nSee the manual\nSo long\n"},
        {"record too long", records(1) + "S1" + std::string(300, '0') + "\n"},
        {"nothing to send", ";Type:460,Release:1\n"},
    };
    for (const auto& [what, text] : bad) {
        FlashRig rig;
        rig.files["bad.flash"] = text;
        rig.files["good.flash"] = records(3);
        EXPECT_FALSE(rig.run.start({"bad.flash", "good.flash"})) << what;
        EXPECT_TRUE(rig.sent.empty()) << what;
        EXPECT_TRUE(rig.questions.empty()) << what;
        EXPECT_EQ(rig.messages.size() + rig.warnings.size(), 1u) << what;
        EXPECT_EQ(rig.run.outcome().kind, FlashOutcome::Refused) << what;
        EXPECT_EQ(rig.run.outcome().path, "bad.flash") << what;
        ASSERT_EQ(rig.ended.size(), 1u) << what; // told, so the event log hears of it
    }
    FlashRig missing;
    missing.files["good.flash"] = records(3);
    EXPECT_FALSE(missing.run.start({"gone.flash", "good.flash"}));
    EXPECT_TRUE(missing.sent.empty());
}

TEST(FlashRun, TheStartQuestionNamesTheFrameAndTheFiles) {
    FlashRig rig;
    rig.files["/fw/a.flash"] = records(2);
    rig.run.setDevice(kFamily460, kRunModeApplication, "Studio A (10.0.1.20)");
    ASSERT_TRUE(rig.run.start({"/fw/a.flash"}));
    ASSERT_EQ(rig.questions.size(), 1u);
    EXPECT_EQ(rig.questions[0], std::string(kFlashStartQuestion) +
                                    "?\n\nFrame: Studio A (10.0.1.20)\nFile:\n  a.flash  "
                                    "(release: 2.1), 2 records");
}

TEST(FlashRun, AnExplicitWaitLimitShortensEveryWaitAndNeverLengthensOne) {
    struct Row {
        int limit, beginEndsAt, recordEndsAt;
    };
    for (const Row row : {Row{0, kFlashBeginWaitMs + kFlashBeginGraceMs, kFlashRecordWaitMs},
                          Row{2000, 2000, 2000}, Row{500, 500, 500},
                          Row{60000, kFlashBeginWaitMs + kFlashBeginGraceMs, kFlashRecordWaitMs}}) {
        FlashRig begin;
        begin.files["a.flash"] = records(3);
        begin.run.setWaitLimitMs(row.limit);
        begin.run.start({"a.flash"});
        begin.timers.advance(row.beginEndsAt - 1);
        EXPECT_TRUE(begin.run.busy()) << row.limit;
        begin.timers.advance(1);
        EXPECT_FALSE(begin.run.busy()) << row.limit;

        FlashRig record;
        record.files["a.flash"] = records(3);
        record.run.setWaitLimitMs(row.limit);
        record.run.start({"a.flash"});
        record.answer(); // the begin: the first record goes out
        record.timers.advance(row.recordEndsAt - 1);
        EXPECT_TRUE(record.run.programming()) << row.limit;
        record.timers.advance(1);
        EXPECT_FALSE(record.run.programming()) << row.limit;
        expectFailure(record, "did not answer record 1 of 3 within " +
                                  std::to_string(row.recordEndsAt) + " ms");
    }
}

TEST(FlashRun, AnAcknowledgementCountsOnlyForTheRequestThatIsOut) {
    FlashRig rig;
    rig.files["a.flash"] = records(5);
    rig.run.start({"a.flash"});
    rig.answerAll(1); // the begin: record 1 is out
    const auto acknowledge = [&](int phase) {
        DeviceMessage ack = DeviceMessage::request(CommandId::sprog);
        ack.flags = FlagReply;
        ack.setI(1, phase);
        rig.run.onReply(ack);
    };
    // Record 1 acknowledged twice in one read, and answers of the other
    // phases: only the first counts.
    for (const int phase : {1, 1, 0, 2})
        acknowledge(phase);
    rig.timers.advance(0);
    EXPECT_EQ(rig.recordsSent().size(), 2u);
    // Record 2 is never answered: record 3 never goes out.
    rig.timers.advance(kFlashRecordWaitMs);
    EXPECT_EQ(rig.recordsSent().size(), 2u);
    expectFailure(rig, "The frame did not answer record 2 of 5");
    EXPECT_EQ(rig.run.outcome().recordsSent, 2);
}

TEST(FlashRun, ALostLinkFailsAtOnceNamingTheFileAndTheRecord) {
    FlashRig rig;
    rig.files["a.flash"] = records(3);
    rig.files["b.flash"] = records(100);
    rig.run.start({"a.flash", "b.flash"});
    rig.answerAll(1 + 47); // record 48 of b.flash is out
    rig.run.linkLost();
    expectFailure(rig, "b.flash (file 1 of 2): The link to the frame was lost at record 48 of "
                       "100. The file after it was not sent.\nThe frame's flash may be only "
                       "partly written: if it does not start its application, it needs its "
                       "recovery mode");
    EXPECT_TRUE(rig.run.outcome().linkLost);
    EXPECT_EQ(rig.run.outcome().recordsSent, 48);
    EXPECT_FALSE(rig.timers.running(kTimerFirmware));
    EXPECT_EQ(rig.programmingSeen.back(), false);
    ASSERT_EQ(rig.ended.size(), 1u);
    rig.answer(); // a late answer finds nothing to go on with
    EXPECT_EQ(rig.recordsSent().size(), 48u);

    // The failed state stays until the next run starts.
    rig.messages.clear();
    rig.run.start({"a.flash"});
    EXPECT_EQ(rig.run.display().failure, "");
}

} // namespace
} // namespace velmar
