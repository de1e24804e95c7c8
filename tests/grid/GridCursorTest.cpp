#include "CrosspointFakes.h"
#include "grid/GridModel.h"
#include "grid/RouteJournal.h"
#include "engine/CodeTables.h"
#include "engine/Crosspoints.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace velmar {
namespace {

using test::FrameState;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using M = CursorMove;

// A bare 460: inputs AES 16, PHD 16, MADI 64; outputs AES 16, PHD 16, MADI 56.
struct Rig {
    FrameState f;
    test::FakeTimerHost timers;
    test::RecordingSink sink;
    test::FakeQuestions questions;
    CRouteJournal journal{f.s, sink, timers, questions};
    CGridModel model{f.s, journal};

    std::string cursorText() const {
        const auto c = model.cursor();
        return c ? model.hoverText(c->first, c->second) : std::string("none");
    }
};

struct CursorRow {
    const char* name;
    bool swapped;
    int foldOutput; // group folded on that side, -1 none
    int foldInput;
    bool stereo;
    std::pair<int, int> start; // visible (row, column)
    std::vector<CursorMove> moves;
    const char* expected;
};

TEST(GridCursor, MovesOverVisibleLinesInEveryOrientationAndFold) {
    const std::vector<CursorRow> rows = {
        {"rows are outputs: down into PHD, right along the inputs",
         false,
         -1,
         -1,
         false,
         {15, 0},
         {M::Down, M::Right},
         "OUTPUT PHD1 01 \u2190 INPUT AES 02"},
        {"swapped: rows are inputs",
         true,
         -1,
         -1,
         false,
         {15, 0},
         {M::Down, M::Right},
         "OUTPUT AES 02 \u2190 INPUT PHD1 01"},
        {"a folded output group is one row",
         false,
         0,
         -1,
         false,
         {0, 0},
         {M::Down},
         "OUTPUT PHD1 01 \u2190 INPUT AES 01"},
        {"and the cursor can stand on it",
         false,
         0,
         -1,
         false,
         {1, 0},
         {M::Up},
         "OUTPUT AES (folded) \u2190 INPUT AES 01"},
        {"a folded input group is one column",
         false,
         -1,
         1,
         false,
         {0, 15},
         {M::Right},
         "OUTPUT AES 01 \u2190 INPUT PHD (folded)"},
        {"and is passed in one step",
         false,
         -1,
         1,
         false,
         {0, 15},
         {M::Right, M::Right},
         "OUTPUT AES 01 \u2190 INPUT MADI 01"},
        {"swapped, the folded input group is one row",
         true,
         -1,
         1,
         false,
         {15, 0},
         {M::Down, M::Down},
         "OUTPUT AES 01 \u2190 INPUT MADI 01"},
        {"swapped with a folded output group",
         true,
         1,
         -1,
         false,
         {0, 15},
         {M::Right, M::Right},
         "OUTPUT MADI 01 \u2190 INPUT AES 01"},
        {"edges hold the cursor",
         false,
         -1,
         -1,
         false,
         {0, 0},
         {M::Up, M::Left},
         "OUTPUT AES 01 \u2190 INPUT AES 01"},
        {"a page down, then End",
         false,
         -1,
         -1,
         false,
         {0, 0},
         {M::PageDown, M::End},
         "OUTPUT AES 11 \u2190 INPUT MADI 64"},
        {"to the last cell and home again",
         false,
         -1,
         -1,
         false,
         {3, 3},
         {M::Last, M::Home},
         "OUTPUT MADI 56 \u2190 INPUT AES 01"},
        {"Stereo steps pair by pair onto the left channel",
         false,
         -1,
         -1,
         true,
         {1, 1},
         {M::Down, M::Right, M::Right},
         "OUTPUT AES 03+04 \u2190 INPUT AES 05+06"},
        {"Stereo backwards from a right channel",
         false,
         -1,
         -1,
         true,
         {3, 5},
         {M::Up, M::Left},
         "OUTPUT AES 01+02 \u2190 INPUT AES 03+04"},
        {"Stereo swapped, past a folded group",
         true,
         1,
         -1,
         true,
         {0, 15},
         {M::Right, M::Down},
         "OUTPUT PHD (folded) \u2190 INPUT AES 03"},
    };
    for (const CursorRow& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        rig.model.setSwapped(row.swapped);
        rig.model.setStereo(row.stereo);
        if (row.foldOutput >= 0)
            rig.model.toggleFold(kSideOutput, row.foldOutput);
        if (row.foldInput >= 0)
            rig.model.toggleFold(kSideInput, row.foldInput);
        rig.model.setCursor(row.start.first, row.start.second);
        for (CursorMove move : row.moves)
            rig.model.moveCursor(move, 10);
        EXPECT_EQ(rig.cursorText(), row.expected);
    }
}

TEST(GridCursor, StaysOnItsChannelsWhenLinesFoldSwapOrFilter) {
    Rig rig;
    EXPECT_EQ(rig.cursorText(), "OUTPUT AES 01 \u2190 INPUT AES 01");
    rig.model.setCursor(16, 40); // PHD 01 <- MADI 09
    rig.model.toggleFold(kSideOutput, 0);
    EXPECT_EQ(rig.model.cursor(), (std::pair{1, 40}));
    rig.model.setSwapped(true);
    EXPECT_EQ(rig.model.cursor(), (std::pair{40, 1}));
    EXPECT_EQ(rig.cursorText(), "OUTPUT PHD1 01 \u2190 INPUT MADI 09");
    // Filtered away, it keeps its place as well as it can.
    rig.model.setFilter("madi 5");
    const auto kept = rig.model.cursor();
    ASSERT_TRUE(kept);
    EXPECT_TRUE(rig.model.cellAt(kept->first, kept->second).has_value());
    rig.model.setFilter("");
    EXPECT_EQ(rig.cursorText(), "OUTPUT PHD1 01 \u2190 INPUT MADI 09");
    rig.model.setFilter("nothing like it");
    EXPECT_FALSE(rig.model.cursor().has_value());
}

TEST(GridCursor, StereoHighlightsThePairTheCellBelongsTo) {
    Rig rig;
    EXPECT_EQ(rig.model.highlightSpan(rig.model.rows(), 3), (std::pair{3, 3}));
    rig.model.setStereo(true);
    EXPECT_EQ(rig.model.highlightSpan(rig.model.rows(), 3), (std::pair{2, 3}));
    EXPECT_EQ(rig.model.highlightSpan(rig.model.columns(), 2), (std::pair{2, 3}));
    rig.model.toggleFold(kSideInput, 0);
    EXPECT_EQ(rig.model.highlightSpan(rig.model.columns(), 0), (std::pair{0, 0}));
    // A pair half filtered away highlights the half in view.
    rig.model.setFilter("aes 03");
    EXPECT_EQ(rig.model.highlightSpan(rig.model.rows(), 0), (std::pair{0, 0}));
}

struct ReplaceRow {
    const char* name;
    bool stereo;
    bool swapped;
    std::vector<GridRoute> live;
    GridRoute pending; // sent, unanswered (output 0: none)
    GridRoute click;   // the cell's channels; a second one makes a drag
    GridRoute dragTo;
    bool unroute;
    std::vector<GridRoute> replaced;
};

TEST(GridQuestion, ReplacingALiveRouteNeedsTheQuestion) {
    const std::vector<ReplaceRow> rows = {
        {"an unrouted output routes at once", false, false, {}, {}, {513, 520}, {}, false, {}},
        {"a routed row: the old route goes",
         false,
         false,
         {{513, 514}},
         {},
         {513, 520},
         {},
         false,
         {{513, 514}}},
        {"the same, swapped", false, true, {{513, 514}}, {}, {513, 520}, {}, false, {{513, 514}}},
        {"the routed cell itself unroutes",
         false,
         false,
         {{513, 520}},
         {},
         {513, 520},
         {},
         true,
         {}},
        {"a route not yet answered counts",
         false,
         false,
         {},
         {513, 530},
         {513, 520},
         {},
         false,
         {{513, 530}}},
        {"Stereo: the right output of the pair is live",
         true,
         false,
         {{514, 600}},
         {},
         {513, 520},
         {},
         false,
         {{514, 600}}},
        {"Stereo swapped: the same pair",
         true,
         true,
         {{514, 600}},
         {},
         {514, 521},
         {},
         false,
         {{514, 600}}},
        {"a drag over two routed rows",
         false,
         false,
         {{514, 600}, {516, 601}, {515, 519}},
         {},
         {513, 517},
         {516, 520},
         false,
         {{514, 600}, {516, 601}}},
    };
    for (const ReplaceRow& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        rig.model.setSwapped(row.swapped);
        rig.model.setStereo(row.stereo);
        for (const GridRoute& r : row.live)
            rig.f.route(r.output, r.input);
        if (row.pending.output != 0)
            rig.journal.sendRequest(crosspointRequest(row.pending.output, row.pending.input));
        rig.model.routesChanged();
        const auto from = rig.model.cellOf(row.click.output, row.click.input);
        ASSERT_TRUE(from);
        GridPlan plan;
        if (row.dragTo.output == 0) {
            plan = rig.model.clickPlan(from->first, from->second);
        } else {
            const auto to = rig.model.cellOf(row.dragTo.output, row.dragTo.input);
            ASSERT_TRUE(to);
            plan = rig.model.dragPlan(from->first, from->second, to->first, to->second);
        }
        EXPECT_EQ(plan.unroute, row.unroute);
        EXPECT_EQ(plan.replaced, row.replaced);
    }
}

TEST(GridQuestion, NamesTheRoutesItReplaces) {
    EXPECT_EQ(replaceQuestion({{517, 513}}),
              "This replaces the live route OUTPUT AES 05 \u2190 INPUT AES 01.\nReplace it?");
    std::vector<GridRoute> many;
    for (int k = 0; k < 7; ++k)
        many.push_back({513 + k, 600});
    const std::string text = replaceQuestion(many);
    EXPECT_EQ(text.rfind("This replaces 7 live routes:\nOUTPUT AES 01 \u2190 INPUT MADI 08\n", 0),
              0U);
    EXPECT_NE(text.find("OUTPUT AES 05"), std::string::npos);
    EXPECT_EQ(text.find("OUTPUT AES 06"), std::string::npos);
    EXPECT_NE(text.find("... and 2 more\nReplace them?"), std::string::npos);
}

TEST(GridLayoutHold, RoutedOnlyWaitsForThePointerToLeave) {
    Rig rig;
    rig.f.route(513, 600);
    rig.f.route(514, 601);
    rig.model.setRoutedOnly(true);
    ASSERT_EQ(rig.model.rowCount(), 2);
    rig.model.setLayoutHeld(true);
    // A click moves output AES 01 to MADI 09: MADI 08's column would go.
    rig.f.route(513, 601);
    rig.f.route(515, 513);
    rig.model.routesChanged();
    EXPECT_EQ(rig.model.rowCount(), 2);
    EXPECT_EQ(rig.model.columnCount(), 2);
    EXPECT_TRUE(rig.model.layoutStale());
    EXPECT_EQ(rig.model.cellAt(0, 1), (GridRoute{513, 601})) << "the cells keep their channels";
    EXPECT_EQ(rig.model.markAt(513, 601), CellMark::Routed);
    EXPECT_TRUE(rig.model.setLayoutHeld(false));
    EXPECT_FALSE(rig.model.layoutStale());
    EXPECT_EQ(rig.model.rowCount(), 3);
    EXPECT_EQ(rig.model.columnCount(), 2); // AES 01 and MADI 09
    EXPECT_FALSE(rig.model.setLayoutHeld(false));

    // What the operator asks for (find, fold) lays out at once; so does any
    // change without "show routed only".
    rig.model.setLayoutHeld(true);
    rig.f.route(516, 514);
    rig.model.routesChanged();
    EXPECT_EQ(rig.model.rowCount(), 3);
    rig.model.setFilter("aes");
    EXPECT_EQ(rig.model.rowCount(), 4);
    rig.model.setFilter("");
    rig.model.setRoutedOnly(false);
    const int all = rig.model.rowCount();
    rig.f.route(517, 514);
    rig.model.routesChanged();
    EXPECT_FALSE(rig.model.layoutStale());
    EXPECT_EQ(rig.model.rowCount(), all);
}

TEST(GridEmptyText, SaysWhyNothingShows) {
    Rig rig;
    EXPECT_EQ(rig.model.emptyText(), "");
    rig.model.setRoutedOnly(true);
    ASSERT_EQ(rig.model.rowCount(), 0);
    EXPECT_EQ(rig.model.emptyText(), "Nothing is routed on this frame yet: untick \"Show routed "
                                     "only\" to see every channel and route.");
    rig.model.setFilter("MADI 9");
    EXPECT_EQ(rig.model.emptyText(), "No channel matches \"madi 9\" among the routed ones: clear "
                                     "the find box or untick \"Show routed only\".");
    rig.model.setRoutedOnly(false);
    EXPECT_EQ(rig.model.emptyText(), "No channel matches \"madi 9\": clear the find box.");
    rig.f.s.runMode = kRunModeRecovery;
    EXPECT_THAT(rig.model.emptyText(), ::testing::StartsWith("The frame runs in recovery mode"));
    rig.f.s.family = kFamily465;
    rig.f.s.runMode = kRunModeApplication;
    rig.model.rebuild();
    EXPECT_EQ(rig.model.emptyText(), "This frame has no routing matrix.");
    rig.f.s.reset(false, 0);
    EXPECT_THAT(rig.model.emptyText(), ::testing::StartsWith("Not connected"));
}

TEST(GridFolding, FoldedTitlesRestoreOnEitherSide) {
    Rig rig;
    rig.model.setFoldedTitles(kSideOutput, {"MADI", "no such group"});
    rig.model.setFoldedTitles(kSideInput, {"AES", "PHD"});
    EXPECT_EQ(rig.model.rowCount(), 16 + 16 + 1);
    EXPECT_EQ(rig.model.columnCount(), 1 + 1 + 64);
    rig.model.toggleFold(kSideInput, 0);
    EXPECT_THAT(rig.model.foldedTitles(kSideInput), ElementsAre("PHD"));
    rig.model.setAllFolded(false);
    EXPECT_THAT(rig.model.foldedTitles(kSideOutput), IsEmpty());
    EXPECT_EQ(rig.model.rowCount(), 88);
}

} // namespace
} // namespace velmar
