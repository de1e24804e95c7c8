// The grid's folding, hit-testing and marks hold the same on both sides and in
// both orientations: a folded input group behaves as a folded output group,
// and swapping the axes only swaps rows and columns.
#include "CrosspointFakes.h"
#include "grid/GridModel.h"
#include "grid/RouteJournal.h"
#include "engine/CodeTables.h"
#include "engine/Crosspoints.h"

#include <gtest/gtest.h>
#include <tuple>
#include <vector>

namespace velmar {
namespace {

struct GridRig {
    test::FrameState f{kFamily460};
    test::FakeTimerHost timers;
    test::RecordingSink sink;
    test::FakeQuestions questions;
    CRouteJournal journal{f.s, sink, timers, questions};
    CGridModel model{f.s, journal};
    GridRig() { model.rebuild(); }
};

// (folded side, swapped axes)
class GridFoldSymmetry : public ::testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(GridFoldSymmetry, FoldedAesGroupTakesOneLineOnItsSideOnly) {
    const auto [side, swapped] = GetParam();
    GridRig rig;
    rig.model.setSwapped(swapped);
    const bool onRows = (side == kSideOutput) != swapped;
    const int rows = rig.model.rowCount();
    const int columns = rig.model.columnCount();
    // AES 05 on the folded side, MADI 08 on the other.
    if (side == kSideOutput)
        rig.f.route(517, 600);
    else
        rig.f.route(600, 517);
    rig.model.routesChanged();

    rig.model.toggleFold(side, 0);
    const CGridAxis& folded = side == kSideOutput ? rig.model.outputs() : rig.model.inputs();
    const CGridAxis& other = side == kSideOutput ? rig.model.inputs() : rig.model.outputs();
    EXPECT_EQ(rig.model.rowCount(), onRows ? rows - 15 : rows);
    EXPECT_EQ(rig.model.columnCount(), onRows ? columns : columns - 15);
    EXPECT_EQ(folded.lineOf(513), 0);
    EXPECT_EQ(folded.lineOf(528), 0);
    EXPECT_EQ(folded.lineOf(529), 1);
    EXPECT_EQ(other.lineOf(529), 16) << "the other side keeps its lines";
    EXPECT_EQ(rig.model.lineText(folded, 0), "AES (16)");

    // The folded line holds no channel pair: no cell, no click plan.
    const int across = other.lineOf(600);
    const int row = onRows ? 0 : across;
    const int column = onRows ? across : 0;
    EXPECT_FALSE(rig.model.cellAt(row, column).has_value());
    EXPECT_TRUE(rig.model.clickPlan(row, column).routes.empty());

    // It carries the route of its group, in output/input coordinates.
    std::vector<std::pair<int, int>> marks;
    rig.model.forEachMark(
        0, rig.model.rowCount() - 1, 0, rig.model.columnCount() - 1,
        [&](const GridMark& m) { marks.emplace_back(m.outputLine, m.inputLine); });
    const std::pair<int, int> expected =
        side == kSideOutput ? std::pair{0, across} : std::pair{across, 0};
    EXPECT_EQ(marks, (std::vector<std::pair<int, int>>{expected}));

    // Unfolding restores both counts.
    rig.model.toggleFold(side, 0);
    EXPECT_EQ(rig.model.rowCount(), rows);
    EXPECT_EQ(rig.model.columnCount(), columns);
}

INSTANTIATE_TEST_SUITE_P(BothSidesBothOrientations, GridFoldSymmetry,
                         ::testing::Combine(::testing::Values(kSideInput, kSideOutput),
                                            ::testing::Bool()));

// Clicks and drags plan the same routes whichever way the axes lie.
class GridSwapSymmetry : public ::testing::TestWithParam<bool> {};

TEST_P(GridSwapSymmetry, ClickAndDragPlanTheSameRoutes) {
    const bool stereo = GetParam();
    GridRig plain;
    GridRig swapped;
    swapped.model.setSwapped(true);
    plain.model.setStereo(stereo);
    swapped.model.setStereo(stereo);
    for (const auto& [r, c] :
         std::vector<std::pair<int, int>>{{0, 3}, {15, 16}, {40, 2}, {87, 95}}) {
        SCOPED_TRACE(std::to_string(r) + "," + std::to_string(c));
        EXPECT_EQ(plain.model.cellAt(r, c), swapped.model.cellAt(c, r));
        EXPECT_EQ(plain.model.clickPlan(r, c).routes, swapped.model.clickPlan(c, r).routes);
    }
    EXPECT_EQ(plain.model.dragPlan(14, 13, 17, 16).routes,
              swapped.model.dragPlan(13, 14, 16, 17).routes);
    EXPECT_EQ(plain.model.dragPlan(5, 2, 3, 0).routes, swapped.model.dragPlan(2, 5, 0, 3).routes);
}

INSTANTIATE_TEST_SUITE_P(MonoAndStereo, GridSwapSymmetry, ::testing::Bool());

// The grid's corners: the first and the last output and input of a 1536-output
// frame, in both orientations, mono and stereo.
class GridCorners : public ::testing::TestWithParam<std::tuple<bool, bool>> {};

TEST_P(GridCorners, FirstAndLastCellsRouteTheirChannels) {
    // Not a structured binding: clang 14 cannot capture one in the lambda below.
    const bool swapped = std::get<0>(GetParam());
    const bool stereo = std::get<1>(GetParam());
    GridRig rig;
    rig.f.make1536();
    rig.f.card(8, kCardTypeEq); // its second bank ends at 1536
    rig.model.rebuild();
    rig.model.setSwapped(swapped);
    rig.model.setStereo(stereo);
    const int lastRow = rig.model.rowCount() - 1;
    const int lastColumn = rig.model.columnCount() - 1;
    const auto both = [&](int channel) {
        std::vector<GridRoute> routes;
        if (stereo)
            routes.push_back({channel - 1, channel - 1});
        routes.push_back({channel, channel});
        return routes;
    };
    EXPECT_EQ(rig.model.clickPlan(lastRow, lastColumn).routes, both(1536));
    EXPECT_EQ(rig.model.dragPlan(lastRow, lastColumn, lastRow, lastColumn).routes, both(1536));
    EXPECT_EQ(rig.model.clickPlan(0, 0).routes.front(), (GridRoute{513, 513}));
}

INSTANTIATE_TEST_SUITE_P(BothOrientationsMonoAndStereo, GridCorners,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool()));

} // namespace
} // namespace velmar
