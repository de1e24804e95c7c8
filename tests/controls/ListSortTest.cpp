#include "controls/ListSort.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

struct CompareRow {
    const char* name;
    SortType type;
    const char* a;
    const char* b;
    int expected; // sign of the comparison
};

class SortTypeTest : public ::testing::TestWithParam<CompareRow> {};

TEST_P(SortTypeTest, ComparesBothWays) {
    const auto& r = GetParam();
    EXPECT_EQ(compareCells(static_cast<int>(r.type), r.a, r.b), r.expected);
    EXPECT_EQ(compareCells(static_cast<int>(r.type), r.b, r.a), -r.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cells, SortTypeTest,
    ::testing::Values(
        CompareRow{"none_keeps_everything_equal", SortType::None, "b", "a", 0},
        CompareRow{"integer_by_value_not_text", SortType::Integer, "9", "10", -1},
        CompareRow{"integer_negative", SortType::Integer, "-3", "2", -1},
        CompareRow{"integer_leading_digits_only", SortType::Integer, "12abc", "12", 0},
        CompareRow{"integer_text_reads_as_zero", SortType::Integer, "abc", "1", -1},
        CompareRow{"integer_huge_values_saturate_without_wrapping", SortType::Integer,
                   "99999999999999999999999", "-99999999999999999999999", 1},
        CompareRow{"real_by_value", SortType::Real, "2.5", "10.25", -1},
        CompareRow{"real_difference_below_half_is_equal", SortType::Real, "1.2", "1.4", 0},
        CompareRow{"real_difference_rounds_up", SortType::Real, "1.0", "1.6", -1},
        CompareRow{"text_case_sensitive", SortType::Text, "B", "a", -1},
        CompareRow{"text_prefix_first", SortType::Text, "ab", "abc", -1},
        CompareRow{"number_or_text_numbers", SortType::NumberOrText, "10", "9", 1},
        CompareRow{"number_or_text_leading_zero_is_text", SortType::NumberOrText, "010", "9", -1},
        CompareRow{"number_or_text_zero_is_text", SortType::NumberOrText, "0", "-1", 1},
        CompareRow{"number_or_text_mixed_is_case_sensitive", SortType::NumberOrText, "B", "a", -1},
        CompareRow{"text_no_case", SortType::TextNoCase, "B", "a", 1},
        CompareRow{"text_no_case_equal", SortType::TextNoCase, "MADI", "madi", 0},
        CompareRow{"number_or_text_no_case_numbers", SortType::NumberOrTextNoCase, "100", "20", 1},
        CompareRow{"number_or_text_no_case_falls_back", SortType::NumberOrTextNoCase, "B", "a", 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SortTypeTest, UnknownTypesCompareAsCaseSensitiveText) {
    EXPECT_EQ(compareCells(42, "B", "a"), -1);
    EXPECT_EQ(compareCells(-7, "10", "9"), -1);
}

TEST(SortTypeTest, DatesSortByDayAndUnparsableOnesAreEqual) {
    const DateParser iso = parseIsoDate;
    const int date = static_cast<int>(SortType::Date);
    EXPECT_EQ(compareCells(date, "2025-12-31", "2026-01-01", iso), -1);
    EXPECT_EQ(compareCells(date, "2026-03-01", "2026-02-28", iso), 1);
    EXPECT_EQ(compareCells(date, "2026-01-01", "2026-01-01", iso), 0);
    EXPECT_EQ(compareCells(date, "tomorrow", "2026-01-01", iso), 0);
    EXPECT_EQ(compareCells(date, "2026-02-30", "2026-01-01", iso), 0); // no such day
    EXPECT_EQ(compareCells(date, "2025-12-31", "2026-01-01"), 0);      // no parser
}

TEST(SortTypeTest, IsoDateParserChecksTheCalendar) {
    EXPECT_TRUE(parseIsoDate("2024-02-29"));
    EXPECT_FALSE(parseIsoDate("2023-02-29"));
    EXPECT_FALSE(parseIsoDate("1900-02-29"));
    EXPECT_TRUE(parseIsoDate("2000-02-29"));
    EXPECT_FALSE(parseIsoDate("2026-13-01"));
    EXPECT_FALSE(parseIsoDate("2026-1"));
    EXPECT_FALSE(parseIsoDate("2026-01-01x"));
    EXPECT_EQ(*parseIsoDate("2026-01-01") - *parseIsoDate("2025-12-31"), 1);
}

TEST(SortDirectionTest, TogglingColumnStartsAscendingThenAlternates) {
    int flags = kSortToggles;
    EXPECT_EQ(headerClickDirection(flags), 1);
    EXPECT_EQ(flags, kSortToggles | kSortAscending);
    EXPECT_EQ(headerClickDirection(flags), -1);
    EXPECT_EQ(flags, kSortToggles | kSortDescending);
    EXPECT_EQ(headerClickDirection(flags), 1);
}

TEST(SortDirectionTest, TogglingColumnStartsAscendingWhateverItsPreset) {
    for (const int preset : {kSortAscending, kSortDescending, 0}) {
        int flags = kSortToggles | preset;
        EXPECT_EQ(headerClickDirection(flags, true), 1) << preset;
        EXPECT_EQ(headerClickDirection(flags), -1) << preset;
        EXPECT_EQ(headerClickDirection(flags), 1) << preset;
    }
}

TEST(SortDirectionTest, FixedColumnsAlwaysSortTheirWay) {
    int up = kSortAscending;
    int down = kSortDescending;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(headerClickDirection(up), 1);
        EXPECT_EQ(headerClickDirection(down), -1);
    }
    EXPECT_EQ(up, kSortAscending);
    EXPECT_EQ(down, kSortDescending);
}

TEST(SortDirectionTest, ColumnWithoutBitsDoesNotSort) {
    int flags = 0;
    EXPECT_EQ(headerClickDirection(flags), 0);
    EXPECT_EQ(currentDirection(0), 0);
    EXPECT_EQ(flags, 0);
}

TEST(SortDirectionTest, ResortKeepsTheCurrentDirection) {
    EXPECT_EQ(currentDirection(kSortToggles | kSortDescending), -1);
    EXPECT_EQ(currentDirection(kSortToggles | kSortAscending), 1);
    EXPECT_EQ(currentDirection(kSortToggles), 1);
}

} // namespace
} // namespace velmar
