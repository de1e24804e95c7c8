#include "engine/CrosspointFile.h"

#include "CrosspointFakes.h"
#include "engine/Crosspoints.h"
#include "engine/LoadStatusLogic.h"
#include "engine/XyBurst.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace velmar {
namespace {

using test::FrameState;
using test::scross;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct FileRig : test::CrosspointRigBase {
    CCrosspointList list{f.s, sink, questions, burst};

    FileRig() {
        f.route(3, 513);
        f.route(514, 65);
        f.route(520, 1);
        f.route(1000, 7);
        list.redrawAll(kSortByOutput);
    }
};

TEST(CrosspointFileWrite, WholeStatusSelectionAndFilter) {
    FileRig rig;
    EXPECT_EQ(writeCrosspointStatus(rig.f.s, rig.list),
              "1=3,513\r\n2=514,65\r\n3=520,1\r\n4=1000,7\r\n");

    // Filtered to AES: only the rows shown, numbered from 1, in list order.
    while (rig.list.headerTitle(0) != "AES")
        rig.list.headerClicked(0);
    rig.list.headerClicked(1); // by input: 520 (input 1) before 514 (input 65)
    EXPECT_EQ(writeCrosspointStatus(rig.f.s, rig.list), "1=520,1\r\n2=514,65\r\n");

    // Selected rows: every line numbered 1; rows out of the list are skipped.
    EXPECT_EQ(writeSelectedCrosspoints(rig.f.s, rig.list, std::vector<int>{1, 7, 0}),
              "1=514,65\r\n1=520,1\r\n");
    EXPECT_EQ(writeSelectedCrosspoints(rig.f.s, rig.list, {}), "");

    FrameState empty;
    CCrosspointList none{empty.s, rig.sink, rig.questions, rig.burst};
    EXPECT_EQ(writeCrosspointStatus(empty.s, none), "");
}

TEST(CrosspointFileWrite, AvailableOnlyForAConnectedMatrixWithoutTransfer) {
    FrameState f(kFamily461);
    EXPECT_TRUE(crosspointFilesAvailable(f.s));
    f.s.programming = true;
    EXPECT_FALSE(crosspointFilesAvailable(f.s));
    for (int family : {kFamily465, kFamily450}) {
        FrameState g(family);
        EXPECT_FALSE(crosspointFilesAvailable(g.s));
    }
    FrameState offline;
    offline.s.connected = false;
    EXPECT_FALSE(crosspointFilesAvailable(offline.s));
}

struct ReadRow {
    const char* name;
    std::string text;
    int count;
    std::map<int, int> table; // the non-zero entries expected
};

TEST(CrosspointFileRead, LenientLineParser) {
    const std::vector<ReadRow> rows = {
        {"the example line", "12=513,65\r\n", 1024, {{513, 65}}},
        {"lone LF and no final line break", "1=1,2\n2=3,4", 1024, {{1, 2}, {3, 4}}},
        {"comments and empty lines", "; saved\r\n\r\n\n;1=5,5\r\n2=6,6\r\n", 1024, {{6, 6}}},
        {"a line without a comma is ignored", "5=10\r\n6=11,12\r\n", 1024, {{11, 12}}},
        {"a line without '=' is ignored", "7,8\r\n", 1024, {}},
        {"blanks before the numbers", "7= 20,  3\r\n", 1024, {{20, 3}}},
        {"tabs before the numbers", "7=\t21,\t4\r\n", 1024, {{21, 4}}},
        {"digits stop at the first other character", "1=30x,40y\r\n", 1024, {{30, 40}}},
        {"only the text after the first '=' is read", "a=b=1,2\r\n1=2=3,4\r\n", 1024, {{2, 4}}},
        {"sequence number is not read", "banana=9,10\r\n", 1024, {{9, 10}}},
        {"the later line for an output wins", "1=4,7\r\n2=4,8\r\n", 1024, {{4, 8}}},
        {"a later line with input 0 clears an earlier one", "1=4,7\r\n2=4,0\r\n", 1024, {}},
        {"no digits give output 0, ignored", "1=,5\r\n", 1024, {}},
        {"output 0 is ignored", "1=0,5\r\n", 1024, {}},
        {"1536 file into a 1024 frame",
         "1=1024,1024\r\n2=1025,1\r\n3=1,1025\r\n4=1536,1536\r\n",
         1024,
         {{1024, 1024}}},
        {"1536 file into a 1536 frame",
         "1=1025,1\r\n2=1536,1536\r\n",
         1536,
         {{1025, 1}, {1536, 1536}}},
        {"negative numbers are out of range", "1=-5,3\r\n2=6,-3\r\n3=7,-0\r\n", 1024, {}},
        {"a sign before the digits", "1=+8,+9\r\n", 1024, {{8, 9}}},
        {"huge numbers never wrap into range",
         "1=4294967297,1\r\n2=2,4294967297\r\n3=18446744073709551617,1\r\n4=5,"
         "99999999999999999999\r\n"
         "5=-2147483648,1\r\n6=-18446744073709551615,2\r\n",
         1024,
         {}},
        {"a count beyond the table is held to 1536",
         "1=1537,1\r\n2=1536,1537\r\n3=1536,2\r\n",
         4096,
         {{1536, 2}}},
        {"empty text gives an empty table", "", 1024, {}},
        {"NUL bytes and 8-bit characters",
         std::string("1=2,3\0\xff\r\n2=4,5\r\n", 14),
         1024,
         {{2, 3}, {4, 5}}},
    };
    for (const ReadRow& r : rows) {
        SCOPED_TRACE(r.name);
        const CrosspointLoadTable table = readCrosspointFile(r.text, r.count);
        std::map<int, int> nonZero;
        for (std::size_t o = 0; o < table.size(); ++o)
            if (table[o] != 0)
                nonZero[static_cast<int>(o)] = table[o];
        EXPECT_EQ(nonZero, r.table);
        EXPECT_EQ(table[0], 0);
    }
}

TEST(CrosspointFileRead, WhatIsWrittenReadsBack) {
    FileRig rig;
    const CrosspointLoadTable table =
        readCrosspointFile(writeCrosspointStatus(rig.f.s, rig.list), rig.f.s.crosspointCount());
    for (int o = 1; o <= kMaxCrosspoints; ++o)
        EXPECT_EQ(table[static_cast<std::size_t>(o)],
                  std::max(0, rig.f.s.live.crosspoints[static_cast<std::size_t>(o)]))
            << o;
}

struct LeftOutRow {
    const char* name;
    std::string text;
    int count;
    XptLeftOut leftOut;
    std::string summary;
};

TEST(CrosspointFileRead, CountsTheLinesItLeavesOut) {
    const std::vector<LeftOutRow> rows = {
        {"a clean file", "; set\r\n\r\n1=1,2\r\n2=3,0\r\n", 1024, {}, ""},
        {"channels of a 1536 frame in a 1024 frame",
         "1=1025,1\r\n2=1,1025\r\n3=1536,1536\r\n4=2,2\r\n",
         1024,
         {3, 0},
         "left out 3 lines: 3 for channels this frame does not have"},
        {"lines that do not read",
         "5=10\r\n7,8\r\nhello\r\n1=,5\r\n",
         1024,
         {0, 4},
         "left out 4 lines: 4 unreadable"},
        {"numbers that are no channel on any frame",
         "1=0,5\r\n2=1537,1\r\n3=1,1537\r\n4=-5,3\r\n5=6,-3\r\n6=99999999999,1\r\n",
         1536,
         {0, 6},
         "left out 6 lines: 6 unreadable"},
        {"both kinds, one of each",
         "1=1100,1\r\nnonsense\r\n2=4,4\r\n",
         1024,
         {1, 1},
         "left out 2 lines: 1 for channels this frame does not have, 1 unreadable"},
        {"a single line", "x\n", 1024, {0, 1}, "left out 1 line: 1 unreadable"},
        {"a later line for the same output is no loss", "1=4,7\r\n2=4,8\r\n", 1024, {}, ""},
    };
    for (const LeftOutRow& r : rows) {
        SCOPED_TRACE(r.name);
        const CrosspointFileContent content = parseCrosspointFile(r.text, r.count);
        EXPECT_EQ(content.refusal, "");
        EXPECT_EQ(content.leftOut, r.leftOut);
        EXPECT_EQ(leftOutSummary(content.leftOut), r.summary);
        EXPECT_EQ(content.table, readCrosspointFile(r.text, r.count)) << "the same lenient rules";
    }
}

TEST(CrosspointFileRead, RefusesBinaryFiles) {
    // An image can hold "=5,17" by chance; read leniently it would route.
    const std::string png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\n1=5,17\r\n\xff\xd8", 27);
    ASSERT_EQ(readCrosspointFile(png, 1024)[5], 17);
    const CrosspointFileContent content = parseCrosspointFile(png, 1024);
    EXPECT_EQ(content.refusal, "holds NUL bytes, so it is not a crosspoint file");
    EXPECT_EQ(content.table, CrosspointLoadTable{});
    EXPECT_EQ(content.leftOut, XptLeftOut{});
    EXPECT_EQ(crosspointFileRefusal(png), content.refusal);

    // One NUL anywhere is enough, even after the last line.
    EXPECT_NE(crosspointFileRefusal(std::string("1=1,2\r\n\0", 9)), "");
    EXPECT_EQ(crosspointFileRefusal("1=1,2\r\n\xff\xfe 8-bit text\r\n"), "");
    EXPECT_EQ(crosspointFileRefusal(""), "");
}

TEST(CrosspointFileRead, TheCommandLineRefusesWhatTheLenientReadingGuesses) {
    const std::pair<std::string, std::string> rows[] = {
        {"1=5,17\r\n2=6,18\r\n; a comment\r\n\r\n7=  20,  3\r\nno equals\r\n", ""},
        {"1=5\x1b,17\r\n", "line 1: the output is not a number"},
        {"1=5,17\r\n2=6,18abc\r\n", "line 2: the input is not a number"},
        {"1=5,\r\n", "line 1: the input is not a number"},
        {"1=4,7\r\n;x\r\n3=4,8\r\n", "line 3: output 4 is named a second time (first on line 1)"},
        {"1=04,7\n2=+4,8\n", "line 2: output 4 is named a second time (first on line 1)"},
    };
    for (const auto& [text, refusal] : rows) {
        EXPECT_EQ(crosspointFileStrictRefusal(text), refusal) << text;
        EXPECT_EQ(parseCrosspointFile(text, 1024).refusal, "")
            << "the window reviews, so reads leniently";
    }
    EXPECT_EQ(readCrosspointFile("1=5\x1b,17\r\n", 1024)[5], 17);
}

// ---- CLoadStDlg -------------------------------------------------------------

TEST(LoadStatus, ShowsTheTableAndSendsEveryEntryOnOk) {
    FileRig rig;
    const CLoadStatusLogic dlg("/home/op/set.xpt", "1=4,513\r\n2=2,0\r\n3=1,65\r\n4=4,514\r\n",
                               1024);
    EXPECT_EQ(dlg.windowTitle(), "Load crosspoint status  (/home/op/set.xpt)");
    ASSERT_EQ(dlg.rowCount(), 2); // input 0 is not shown
    EXPECT_EQ(dlg.text(0, 0), "CARD2  01");
    EXPECT_EQ(dlg.text(0, 1), "CARD1  01");
    EXPECT_EQ(dlg.text(1, 0), "AES  02");
    EXPECT_EQ(dlg.text(1, 1), "CARD1  04");
    EXPECT_EQ(dlg.text(2, 0), "");

    EXPECT_EQ(dlg.confirm(rig.f.s, rig.burst, rig.sink), 2);
    EXPECT_THAT(rig.sink.take(), ElementsAre(scross(1, 65), scross(4, 514)));
}

TEST(LoadStatus, SaysWhatItLeftOut) {
    const CLoadStatusLogic dlg("a.xpt", "1=1,2\r\n2=1030,1\r\n3=2,1500\r\ngarbage\r\n", 1024);
    EXPECT_EQ(dlg.rowCount(), 1);
    EXPECT_EQ(dlg.leftOut(), (XptLeftOut{2, 1}));
    EXPECT_EQ(dlg.leftOutText(),
              "Left out 3 lines: 2 for channels this frame does not have, 1 unreadable.");
    EXPECT_EQ(CLoadStatusLogic("b.xpt", "1=1,2\r\n", 1024).leftOutText(), "");
}

TEST(LoadStatus, BinaryFileShowsAndSendsNothing) {
    FileRig rig;
    const CLoadStatusLogic dlg("x.png", std::string("\x89PNG\0\0\n1=5,17\r\n", 15), 1024);
    EXPECT_NE(dlg.refusal(), "");
    EXPECT_EQ(dlg.rowCount(), 0);
    EXPECT_EQ(dlg.confirm(rig.f.s, rig.burst, rig.sink), 0);
    EXPECT_THAT(rig.sink.lines, IsEmpty());
}

TEST(LoadStatus, SendsNothingWhenNothingOrNoOneToSendTo) {
    FileRig rig;
    const CLoadStatusLogic zeros("z.xpt", "1=1,0\r\n2=2,0\r\n", 1024);
    EXPECT_EQ(zeros.rowCount(), 0);
    EXPECT_EQ(zeros.confirm(rig.f.s, rig.burst, rig.sink), 0);

    const CLoadStatusLogic dlg("a.xpt", "1=1,2\r\n", 1024);
    FrameState other = rig.f;
    other.make1536(); // a different frame by now
    EXPECT_EQ(dlg.confirm(other.s, rig.burst, rig.sink), 0);
    rig.f.s.programming = true;
    EXPECT_EQ(dlg.confirm(rig.f.s, rig.burst, rig.sink), 0);
    rig.f.s.programming = false;
    rig.f.s.connected = false;
    EXPECT_EQ(dlg.confirm(rig.f.s, rig.burst, rig.sink), 0);
    EXPECT_THAT(rig.sink.lines, IsEmpty());
}

} // namespace
} // namespace velmar
