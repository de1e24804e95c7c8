#include "controls/CListTable.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

// Source | Priority | Note, three rows; Source is read-only like a label column.
CListTable makeTable(int rows = 3) {
    CListTable t;
    t.addColumn("Source");
    t.addColumn("Priority");
    t.addColumn("Note");
    t.setColumnReadOnly(0, true);
    t.setDefaultEditor(1);
    for (int r = 0; r < rows; ++r) {
        int row = t.insertRow(r, "src" + std::to_string(r));
        t.setText(row, 1, std::to_string(r));
    }
    return t;
}

std::vector<std::string> column(const CListTable& t, int c) {
    std::vector<std::string> out;
    for (int r = 0; r < t.rowCount(); ++r)
        out.push_back(t.text(r, c));
    return out;
}

TEST(ListTableTest, ColoursFallThroughCellRowColumnDefault) {
    CListTable t = makeTable();
    t.setDefaultColours(0x000000, 0xffffff);
    EXPECT_EQ(t.textColour(0, 1), 0x000000);
    EXPECT_EQ(t.backColour(0, 1), 0xffffff);

    t.setColumnColours(1, 0x0000ff, kNoColour);
    EXPECT_EQ(t.textColour(0, 1), 0x0000ff);
    EXPECT_EQ(t.backColour(0, 1), 0xffffff); // not set on the column

    t.setRowColours(0, 0x00ff00, 0x101010);
    EXPECT_EQ(t.textColour(0, 1), 0x00ff00);
    EXPECT_EQ(t.backColour(0, 1), 0x101010);
    EXPECT_EQ(t.textColour(1, 1), 0x0000ff); // other rows keep the column's

    t.setCellColours(0, 1, kNoColour, 0xff0000);
    EXPECT_EQ(t.textColour(0, 1), 0x00ff00); // the cell leaves text to the row
    EXPECT_EQ(t.backColour(0, 1), 0xff0000);
    EXPECT_EQ(t.backColour(0, 2), 0x101010); // the neighbour cell is untouched
}

TEST(ListTableTest, ReadOnlyAtAnyLevelWins) {
    CListTable t = makeTable();
    t.setRowEditor(0, 7);
    EXPECT_FALSE(t.isEditable(0, 0)); // a read-only column, even with a row editor
    EXPECT_EQ(t.editorFor(0, 0), kNoEditor);
    EXPECT_TRUE(t.isEditable(0, 1));

    t.setRowReadOnly(1, true);
    EXPECT_FALSE(t.isEditable(1, 1));
    EXPECT_FALSE(t.isEditable(1, 2));

    t.setCellReadOnly(2, 2, true);
    EXPECT_FALSE(t.isEditable(2, 2));
    EXPECT_TRUE(t.isEditable(2, 1));
    EXPECT_FALSE(t.isEditable(3, 1)); // no such row
    EXPECT_FALSE(t.isEditable(0, 3)); // no such column
}

TEST(ListTableTest, EditorPrecedenceCellRowColumnDefault) {
    CListTable t = makeTable();
    EXPECT_EQ(t.editorFor(0, 1), 1);
    t.setColumnEditor(1, 2);
    EXPECT_EQ(t.editorFor(0, 1), 2);
    t.setRowEditor(0, 3);
    EXPECT_EQ(t.editorFor(0, 1), 3);
    EXPECT_EQ(t.editorFor(0, 2), 3); // the row's editor covers its other cells
    t.setCellEditor(0, 1, 4);
    EXPECT_EQ(t.editorFor(0, 1), 4);
    EXPECT_EQ(t.editorFor(1, 1), 2);
}

TEST(ListTableTest, UserDataTravelsWithTheRow) {
    CListTable t = makeTable();
    t.setRowUserData(0, 30);
    t.setRowUserData(2, 10);
    EXPECT_EQ(t.rowUserData(1), 0);
    EXPECT_EQ(t.rowUserData(99), 0);
    t.setColumnSort(0, static_cast<int>(SortType::Text), kSortDescending);
    t.headerClick(0);
    EXPECT_EQ(column(t, 0), (std::vector<std::string>{"src2", "src1", "src0"}));
    EXPECT_EQ(t.rowUserData(0), 10);
    EXPECT_EQ(t.rowUserData(2), 30);
    t.removeRow(0);
    EXPECT_EQ(t.rowUserData(1), 30);
    t.clear();
    EXPECT_EQ(t.rowCount(), 0);
}

TEST(ListTableTest, InsertOutsideTheTableAppendsAndTextOutsideIsIgnored) {
    CListTable t = makeTable(2);
    EXPECT_EQ(t.insertRow(-1, "x"), 2);
    EXPECT_EQ(t.insertRow(50, "y"), 3);
    EXPECT_EQ(t.insertRow(0, "z"), 0);
    EXPECT_EQ(t.text(0, 0), "z");
    t.setText(9, 1, "ignored");
    t.setText(0, 9, "ignored");
    EXPECT_EQ(t.text(9, 1), "");
    EXPECT_EQ(t.rowCount(), 5);
}

TEST(ListTableTest, AssignRowsReplacesEverythingAndFitsTheColumns) {
    CListTable t = makeTable();
    t.setRowUserData(0, 5);
    t.setRowReadOnly(0, true);
    t.assignRows({{"a", "1", "x", "surplus"}, {"b"}});
    ASSERT_EQ(t.rowCount(), 2);
    EXPECT_EQ(t.text(0, 2), "x");
    EXPECT_EQ(t.text(0, 3), "");
    EXPECT_EQ(t.text(1, 2), "");
    EXPECT_EQ(t.rowUserData(0), 0); // the old row's descriptor went with it
    EXPECT_TRUE(t.isEditable(0, 1));
    t.setText(1, 2, "set");
    EXPECT_EQ(t.text(1, 2), "set");
}

TEST(ListTableTest, HeaderClickSortsAndToggles) {
    CListTable t = makeTable(0);
    for (const char* p : {"10", "9", "010", "2"})
        t.setText(t.insertRow(-1, p), 1, p);
    t.setColumnSort(1, static_cast<int>(SortType::NumberOrText), kSortToggles);
    std::vector<int> order;
    EXPECT_EQ(t.headerClick(1, &order), 1);
    // Numbers among themselves; "010" is text and sorts before "10" as text.
    EXPECT_EQ(column(t, 1), (std::vector<std::string>{"010", "2", "9", "10"}));
    EXPECT_EQ(order, (std::vector<int>{2, 3, 1, 0}));
    EXPECT_EQ(t.sortColumn(), 1);
    EXPECT_EQ(t.headerClick(1), -1);
    EXPECT_EQ(column(t, 1), (std::vector<std::string>{"10", "9", "2", "010"}));
}

TEST(ListTableTest, PresetDirectionDoesNotChangeTheFirstClick) {
    for (const int preset : {kSortAscending, kSortDescending}) {
        CListTable t = makeTable(0);
        for (const char* p : {"b", "c", "a"})
            t.setText(t.insertRow(-1, p), 1, p);
        t.setColumnSort(1, static_cast<int>(SortType::Text), kSortToggles | preset);
        EXPECT_EQ(t.headerClick(1), 1) << preset;
        EXPECT_EQ(column(t, 1), (std::vector<std::string>{"a", "b", "c"}));
        EXPECT_EQ(t.headerClick(1), -1) << preset;
        t.setColumnSort(1, static_cast<int>(SortType::Text), kSortToggles | kSortAscending);
        EXPECT_EQ(t.headerClick(1), 1) << "a new preset starts over";
    }
}

TEST(ListTableTest, ColumnWithoutSortFlagsLeavesRowsAlone) {
    CListTable t = makeTable();
    t.setText(0, 2, "c");
    t.setText(1, 2, "a");
    t.setColumnSort(2, static_cast<int>(SortType::Text), 0);
    EXPECT_EQ(t.headerClick(2), 0);
    EXPECT_EQ(t.text(0, 2), "c");
    EXPECT_EQ(t.sortColumn(), -1);
}

TEST(ListTableTest, SortIsStableAndResortKeepsDirection) {
    CListTable t = makeTable(0);
    const char* rows[][2] = {{"a", "1"}, {"b", "2"}, {"c", "1"}, {"d", "2"}};
    for (auto& r : rows)
        t.setText(t.insertRow(-1, r[0]), 1, r[1]);
    t.setColumnSort(1, static_cast<int>(SortType::Integer), kSortToggles);
    t.headerClick(1);
    t.headerClick(1); // descending
    EXPECT_EQ(column(t, 0), (std::vector<std::string>{"b", "d", "a", "c"}));
    t.setText(3, 1, "5"); // "c" edited to the top
    EXPECT_EQ(t.resort(1), -1);
    EXPECT_EQ(column(t, 0), (std::vector<std::string>{"c", "b", "d", "a"}));
}

TEST(ListTableTest, OwnerComparisonWinsAndFollowsDirection) {
    CListTable t = makeTable();
    t.setRowUserData(0, 2);
    t.setRowUserData(1, 0);
    t.setRowUserData(2, 1);
    t.setRowCompare([](const ListRow& a, const ListRow& b, int) {
        return static_cast<int>(a.userData - b.userData);
    });
    t.setColumnSort(2, static_cast<int>(SortType::None), kSortDescending);
    t.headerClick(2);
    EXPECT_EQ(column(t, 0), (std::vector<std::string>{"src0", "src2", "src1"}));
}

TEST(ListTableTest, EditResultsFromCallbackValues) {
    EXPECT_EQ(toEditResult(0), EditResult::Reject);
    EXPECT_EQ(toEditResult(1), EditResult::Accept);
    EXPECT_EQ(toEditResult(5), EditResult::Accept);
    EXPECT_EQ(toEditResult(-1), EditResult::AcceptResort);
    EXPECT_EQ(toEditResult(-2), EditResult::Accept);
}

TEST(ListTableTest, TabSkipsCellsThatCannotBeEdited) {
    CListTable t = makeTable();
    t.setCellReadOnly(1, 2, true);
    auto step = t.tabStep({0, 1}, false, false);
    EXPECT_EQ(step.kind, TabStep::Move);
    EXPECT_EQ(step.cell, (ListCell{0, 2}));
    step = t.tabStep({0, 2}, false, false); // over the read-only Source column
    EXPECT_EQ(step.cell, (ListCell{1, 1}));
    step = t.tabStep({1, 1}, false, false); // over the read-only cell and column
    EXPECT_EQ(step.cell, (ListCell{2, 1}));
    step = t.tabStep({2, 1}, true, false);
    EXPECT_EQ(step.cell, (ListCell{1, 1}));
    step = t.tabStep({1, 1}, true, false);
    EXPECT_EQ(step.cell, (ListCell{0, 2}));
}

TEST(ListTableTest, TabAtTheEdgesLeavesOrAppends) {
    CListTable t = makeTable();
    EXPECT_EQ(t.tabStep({2, 2}, false, false).kind, TabStep::Leave);
    EXPECT_EQ(t.tabStep({2, 2}, false, true).kind, TabStep::AppendRow);
    // Backwards never appends.
    EXPECT_EQ(t.tabStep({0, 1}, true, true).kind, TabStep::Leave);
    // From outside the table: forwards starts at the first editable cell,
    // backwards at the last.
    EXPECT_EQ(t.tabStep({}, false, false).cell, (ListCell{0, 1}));
    EXPECT_EQ(t.tabStep({}, true, false).cell, (ListCell{2, 2}));
}

TEST(ListTableTest, TabOnAnEmptyTableAsksForTheFirstRow) {
    CListTable t = makeTable(0);
    EXPECT_EQ(t.tabStep({}, false, true).kind, TabStep::AppendRow);
    EXPECT_EQ(t.tabStep({}, false, false).kind, TabStep::Leave);
    CListTable noColumns;
    EXPECT_EQ(noColumns.tabStep({}, false, true).kind, TabStep::Leave);
}

TEST(ListTableTest, TabOverAnAllReadOnlyTableLeaves) {
    CListTable t = makeTable();
    t.setColumnReadOnly(1, true);
    t.setColumnReadOnly(2, true);
    EXPECT_EQ(t.tabStep({}, false, false).kind, TabStep::Leave);
    EXPECT_EQ(t.firstEditable(0), (ListCell{}));
}

} // namespace
} // namespace velmar
