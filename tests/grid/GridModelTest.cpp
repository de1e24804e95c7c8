#include "grid/GridModel.h"

#include "CrosspointFakes.h"
#include "grid/EdgeText.h"
#include "grid/RouteJournal.h"
#include "engine/CodeTables.h"
#include "engine/Crosspoints.h"

#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace velmar {
namespace {

using test::FrameState;
using ::testing::ElementsAre;

// A grid over a frame state, with the journal it reads marks from.
struct GridRig {
    FrameState f;
    test::FakeTimerHost timers;
    test::RecordingSink sink;
    test::FakeQuestions questions;
    CRouteJournal journal{f.s, sink, timers, questions};
    CGridModel model{f.s, journal};

    explicit GridRig(int family = kFamily460) : f(family) { model.rebuild(); }
    void setup(const std::function<void(FrameState&)>& how) {
        how(f);
        model.rebuild();
    }
};

// "AES:16" per group of an axis.
std::vector<std::string> groupSizes(const CGridAxis& axis) {
    std::vector<std::string> out;
    for (const GridGroup& g : axis.groups)
        out.push_back(g.title + ":" + std::to_string(g.channels.size()));
    return out;
}

struct FamilyRow {
    const char* name;
    int family;
    std::function<void(FrameState&)> setup;
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
    int inputLines;
    int outputLines;
};

TEST(GridGroups, FollowTheTypeListsOfEveryFamilyAndCount) {
    const std::vector<FamilyRow> rows = {
        {"bare 461: MADI outputs 56 in their default mode",
         kFamily461,
         [](FrameState&) {},
         {"AES:16", "PHD:16", "MADI:64"},
         {"AES:16", "PHD:16", "MADI:56"},
         96,
         88},
        {"461 with SFP hotlink, SFP MADI and IP; cards are not the 461's",
         kFamily461,
         [](FrameState& f) {
             f.fit(kModuleSfp);
             f.fit(kModuleIpAudio);
             f.s.settings.optMode[1].value = 2;
             f.s.settings.optMode[2].value = 1;
             f.s.settings.madiOutMode[1].modes[3] = 1;
             f.card(1, kCardTypeSdi);
         },
         {"AES:16", "PHD:16", "MADI:64", "SFP 1 - HOTLINK:128", "SFP 2 - MADI:64", "IP:64"},
         {"AES:16", "PHD:16", "MADI:64", "SFP 1 - HOTLINK:128", "SFP 2 - MADI:56", "IP:64"},
         352,
         344},
        {"1024-output 460: a MADI card's second bank lies beyond the matrix",
         kFamily460,
         [](FrameState& f) {
             f.card(1, kCardTypeSdi);
             f.card(2, kCardTypeAd);
             f.card(3, kCardTypeDa);
             f.card(4, kCardTypeMadi, 2);
             f.s.settings.phdMode[0] = 1;
         },
         {"AES:16", "PHD:64", "MADI:64", "CARD1   - SDI:32", "CARD2   - AD:8", "CARD4   - MADI:64"},
         {"AES:16", "PHD:64", "MADI:56", "CARD1   - SDI:32", "CARD3   - DA:8", "CARD4   - MADI:64"},
         248,
         240},
        {"1536-output 460: the second bank is routable",
         kFamily460,
         [](FrameState& f) {
             f.make1536();
             f.card(4, kCardTypeMadi, 2);
             f.card(8, kCardTypeEq);
         },
         {"AES:16", "PHD:16", "MADI:64", "CARD4   - MADI:128", "CARD8   - EQ:128"},
         {"AES:16", "PHD:16", "MADI:56", "CARD4   - MADI:128", "CARD8   - EQ:128"},
         352,
         344},
        {"465 has no matrix", kFamily465, [](FrameState&) {}, {}, {}, 0, 0},
        {"450 has no matrix", kFamily450, [](FrameState&) {}, {}, {}, 0, 0},
    };
    for (const FamilyRow& row : rows) {
        SCOPED_TRACE(row.name);
        GridRig rig(row.family);
        rig.setup(row.setup);
        EXPECT_EQ(groupSizes(rig.model.inputs()), row.inputs);
        EXPECT_EQ(groupSizes(rig.model.outputs()), row.outputs);
        EXPECT_EQ(rig.model.columnCount(), row.inputLines);
        EXPECT_EQ(rig.model.rowCount(), row.outputLines);
    }
}

TEST(GridGroups, SecondBankChannelsAreTheFramesNumbers) {
    GridRig rig;
    rig.setup([](FrameState& f) {
        f.make1536();
        f.card(2, kCardTypeMadi, 2);
    });
    const GridGroup& card = rig.model.outputs().groups.back();
    ASSERT_EQ(card.channels.size(), 128U);
    EXPECT_EQ(card.channels[63], 128);
    EXPECT_EQ(card.channels[64], 1024 + 65);
    EXPECT_EQ(edgeText(card.channels[64]), "CARD2 65");
}

TEST(GridFolding, FoldedGroupTakesOneLineAndCarriesItsRoutes) {
    GridRig rig;
    rig.setup([](FrameState& f) { f.card(1, kCardTypeSdi); });
    // Outputs: AES 0..15, PHD 16..31, MADI 32..87, CARD1 88..119.
    rig.f.route(517, 600); // AES 05 <- MADI 08
    rig.model.routesChanged();
    rig.model.toggleFold(kSideOutput, 0);
    ASSERT_EQ(rig.model.rowCount(), 1 + 16 + 56 + 32);
    EXPECT_EQ(rig.model.outputs().lineOf(513), 0);
    EXPECT_EQ(rig.model.outputs().lineOf(528), 0);
    EXPECT_EQ(rig.model.outputs().lineOf(529), 1); // PHD 01 moved up to the second line
    EXPECT_EQ(rig.model.lineText(rig.model.outputs(), 0), "AES (16)");
    // No channel pair on a folded line: a click there routes nothing.
    EXPECT_FALSE(rig.model.cellAt(0, 40).has_value());
    EXPECT_TRUE(rig.model.clickPlan(0, 40).routes.empty());
    std::vector<std::pair<int, int>> marks;
    rig.model.forEachMark(
        0, 200, 0, 400, [&](const GridMark& m) { marks.emplace_back(m.outputLine, m.inputLine); });
    EXPECT_THAT(marks, ElementsAre(std::pair{0, rig.model.inputs().lineOf(600)}));
    // Folds survive a rebuild (a settings change) and unfold again.
    rig.model.rebuild();
    EXPECT_EQ(rig.model.rowCount(), 105);
    rig.model.toggleFold(kSideOutput, 0);
    EXPECT_EQ(rig.model.rowCount(), 120);
    rig.model.setAllFolded(true);
    EXPECT_EQ(rig.model.rowCount(), 4);
    EXPECT_EQ(rig.model.columnCount(), 4);
}

TEST(GridHitTest, CellsAtGroupBordersNameTheRightChannels) {
    GridRig rig;
    rig.setup([](FrameState& f) { f.card(3, kCardTypeSdi); });
    // Columns (inputs): AES 0..15, PHD 16..31, MADI 32..95, CARD3 96..127.
    // Rows (outputs):   AES 0..15, PHD 16..31, MADI 32..87, CARD3 88..119.
    EXPECT_EQ(rig.model.cellAt(15, 15), (GridRoute{528, 528}));
    EXPECT_EQ(rig.model.cellAt(16, 16), (GridRoute{529, 529}));
    EXPECT_EQ(rig.model.cellAt(87, 95), (GridRoute{592 + 56, 656}));
    EXPECT_EQ(rig.model.cellAt(88, 96), (GridRoute{129, 129}));
    EXPECT_EQ(rig.model.cellAt(119, 127), (GridRoute{160, 160}));
    EXPECT_FALSE(rig.model.cellAt(120, 0).has_value());
    EXPECT_FALSE(rig.model.cellAt(0, 128).has_value());
    EXPECT_FALSE(rig.model.cellAt(-1, 0).has_value());
    EXPECT_EQ(rig.model.hoverText(99, 71), "OUTPUT CARD3 12 \u2190 INPUT MADI 40");
    rig.f.route(140, 632);
    EXPECT_EQ(rig.model.hoverText(99, 71), "OUTPUT CARD3 12 \u2190 INPUT MADI 40  (routed)");
    EXPECT_EQ(rig.model.cellOf(140, 632), (std::pair{99, 71}));

    // Swapped: inputs are rows, outputs columns; the same cell answers the same pair.
    rig.model.setSwapped(true);
    EXPECT_EQ(rig.model.cellAt(71, 99), (GridRoute{140, 632}));
    EXPECT_EQ(rig.model.cellOf(140, 632), (std::pair{71, 99}));
    EXPECT_EQ(rig.model.hoverText(71, 99), "OUTPUT CARD3 12 \u2190 INPUT MADI 40  (routed)");

    // With PHD folded on both axes the border moves by 15 lines.
    rig.model.setSwapped(false);
    rig.model.toggleFold(kSideOutput, 1);
    rig.model.toggleFold(kSideInput, 1);
    EXPECT_EQ(rig.model.cellAt(15, 15), (GridRoute{528, 528}));
    EXPECT_FALSE(rig.model.cellAt(16, 17).has_value());
    EXPECT_EQ(rig.model.cellAt(17, 17), (GridRoute{593, 593}));
    EXPECT_EQ(rig.model.hoverText(16, 17), "OUTPUT PHD (folded) \u2190 INPUT MADI 01");
}

TEST(GridFind, FilterAndRoutedOnlyKeepMatchingLines) {
    GridRig rig;
    rig.setup([](FrameState& f) { f.card(2, kCardTypeSdi); });
    rig.model.setFilter("  madi 4 ");
    // MADI 40..49 on both sides; "MADI 04" does not read "madi 4".
    EXPECT_EQ(rig.model.rowCount(), 10);
    EXPECT_EQ(rig.model.columnCount(), 10);
    EXPECT_EQ(rig.model.cellAt(0, 0), (GridRoute{632, 632}));
    // A group title matches all its channels.
    rig.model.setFilter("sdi");
    EXPECT_EQ(rig.model.rowCount(), 32);
    rig.model.setFilter("");
    rig.f.route(513, 70);  // AES 01 <- CARD2 06
    rig.f.route(600, 513); // MADI 08 <- AES 01
    rig.model.setRoutedOnly(true);
    EXPECT_EQ(rig.model.rowCount(), 2);
    EXPECT_EQ(rig.model.columnCount(), 2);
    EXPECT_EQ(rig.model.cellAt(0, 1), (GridRoute{513, 70}));
    EXPECT_EQ(rig.model.cellAt(1, 0), (GridRoute{600, 513}));
    // A route sent but unconfirmed keeps its lines in view.
    rig.journal.sendRequest(crosspointRequest(514, 515));
    rig.model.routesChanged();
    EXPECT_EQ(rig.model.rowCount(), 3);
    EXPECT_EQ(rig.model.columnCount(), 3);
}

TEST(GridRouting, ClickRoutesAndUnroutesStereoPairsStayTogether) {
    GridRig rig;
    // Rows and columns: AES 0..15, PHD 16..31, MADI ...
    GridPlan plan = rig.model.clickPlan(0, 3);
    EXPECT_FALSE(plan.unroute);
    EXPECT_THAT(plan.routes, ElementsAre(GridRoute{513, 516}));
    rig.f.route(513, 516);
    plan = rig.model.clickPlan(0, 3);
    EXPECT_TRUE(plan.unroute);
    EXPECT_THAT(plan.routes, ElementsAre(GridRoute{513, 0}));

    rig.model.setStereo(true);
    // A click on the right half of a pair routes the whole pair, left to left.
    plan = rig.model.clickPlan(3, 5);
    EXPECT_THAT(plan.routes, ElementsAre(GridRoute{515, 517}, GridRoute{516, 518}));
    plan = rig.model.clickPlan(0, 3);
    EXPECT_TRUE(plan.unroute);
    EXPECT_THAT(plan.routes, ElementsAre(GridRoute{513, 0}, GridRoute{514, 0}));
    // MADI outputs end at 56: its last pair is complete, nothing runs into the next group.
    plan = rig.model.clickPlan(87, 95);
    EXPECT_THAT(plan.routes, ElementsAre(GridRoute{647, 655}, GridRoute{648, 656}));
}

TEST(GridRouting, DiagonalDragRoutesOneToOneAcrossGroupBorders) {
    GridRig rig;
    // Down and right from AES 15 / AES 14, across the border into PHD.
    GridPlan plan = rig.model.dragPlan(14, 13, 17, 16);
    EXPECT_THAT(plan.routes, ElementsAre(GridRoute{527, 526}, GridRoute{528, 527},
                                         GridRoute{529, 528}, GridRoute{530, 529}));
    // A drag that is not square follows the shorter side.
    plan = rig.model.dragPlan(0, 0, 2, 9);
    EXPECT_THAT(plan.routes,
                ElementsAre(GridRoute{513, 513}, GridRoute{514, 514}, GridRoute{515, 515}));
    // Up and left runs backwards.
    plan = rig.model.dragPlan(2, 5, 0, 3);
    EXPECT_THAT(plan.routes,
                ElementsAre(GridRoute{515, 518}, GridRoute{514, 517}, GridRoute{513, 516}));
    // Stereo: the run is made of whole pairs.
    rig.model.setStereo(true);
    plan = rig.model.dragPlan(0, 2, 3, 5);
    EXPECT_THAT(plan.routes, ElementsAre(GridRoute{513, 515}, GridRoute{514, 516},
                                         GridRoute{515, 517}, GridRoute{516, 518}));
    // A drag never unroutes, even over routed cells.
    rig.model.setStereo(false);
    rig.f.route(513, 513);
    plan = rig.model.dragPlan(0, 0, 1, 1);
    EXPECT_FALSE(plan.unroute);
    EXPECT_THAT(plan.routes, ElementsAre(GridRoute{513, 513}, GridRoute{514, 514}));
}

TEST(GridPreview, CountsAddedReplacedRemovedAgainstTheFramesRoutes) {
    GridRig rig;
    rig.f.route(1, 10); // the file keeps it
    rig.f.route(2, 20); // the file moves it to 21
    rig.f.route(3, 30); // not in the file
    rig.f.route(4, 40); // in the file with input 0
    const std::string file = "1=1,10\r\n2=2,21\r\n3=5,50\r\n4=4,0\r\n; comment\r\n"
                             "5=6,60\r\n6=2000,1\r\nbroken\r\n";
    const CrosspointFileContent content = parseCrosspointFile(file, rig.f.s.crosspointCount());
    CCrosspointPreview preview(content, rig.f.s.crosspointCount(), false);
    EXPECT_EQ(preview.counts(rig.f.s), (PreviewCounts{2, 1, 0, 1}));
    EXPECT_EQ(preview.summary(rig.f.s), "2 added, 1 replaced, 0 removed, 1 unchanged");
    EXPECT_EQ(preview.leftOut().total(), 2);
    EXPECT_THAT(preview.routesToSend(rig.f.s),
                ElementsAre(GridRoute{2, 21}, GridRoute{5, 50}, GridRoute{6, 60}));
    // Restoring exactly also unroutes what the file does not route.
    preview.setClearUnlisted(true);
    EXPECT_EQ(preview.counts(rig.f.s), (PreviewCounts{2, 1, 2, 1}));
    EXPECT_THAT(preview.routesToSend(rig.f.s),
                ElementsAre(GridRoute{2, 21}, GridRoute{3, 0}, GridRoute{4, 0}, GridRoute{5, 50},
                            GridRoute{6, 60}));

    // The grid marks what would change at the cells it changes.
    rig.setup([](FrameState& f) { f.make1536(); });
    rig.f.route(513, 514); // AES 01 <- AES 02; the file moves it to AES 03
    rig.f.route(514, 514); // AES 02 <- AES 02; the file does not route it
    const std::string aes = "1=513,515\r\n2=515,516\r\n";
    rig.model.setPreview(CCrosspointPreview(parseCrosspointFile(aes, 1536), 1536, true));
    EXPECT_EQ(rig.model.markAt(513, 515), CellMark::PreviewReplaced);
    EXPECT_EQ(rig.model.markAt(513, 514), CellMark::PreviewRemoved);
    EXPECT_EQ(rig.model.markAt(514, 514), CellMark::PreviewRemoved);
    EXPECT_EQ(rig.model.markAt(515, 516), CellMark::PreviewAdded);
    std::vector<CellMark> marks;
    rig.model.forEachMark(0, 15, 0, 15, [&](const GridMark& m) { marks.push_back(m.mark); });
    EXPECT_THAT(marks, ElementsAre(CellMark::PreviewRemoved, CellMark::PreviewReplaced,
                                   CellMark::PreviewRemoved, CellMark::PreviewAdded));
    rig.model.setPreview(std::nullopt);
    EXPECT_EQ(rig.model.markAt(513, 514), CellMark::Routed);
}

} // namespace
} // namespace velmar
