#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace velmar {

// How a column compares two cell texts when its header is clicked.
enum class SortType : int {
    None = 0,               // all rows compare equal
    Integer = 1,            // decimal values
    Real = 2,               // real values, difference rounded to an integer
    Text = 3,               // case-sensitive; also every unknown type
    NumberOrText = 4,       // integers when both texts are plain numbers, else Text
    TextNoCase = 5,         // case-insensitive
    NumberOrTextNoCase = 6, // as NumberOrText, falling back to TextNoCase
    Date = 7,               // dates in the user's locale
};

// Sort flags of a column. A column with none of the three bits does not sort.
inline constexpr int kSortAscending = 0x1;  // current direction ascending
inline constexpr int kSortDescending = 0x2; // current direction descending
inline constexpr int kSortToggles = 0x4;    // each header click reverses the direction

// Turns a date text into a day number; nullopt when the text is not a date.
using DateParser = std::function<std::optional<std::int64_t>(std::string_view)>;

// Year-month-day ("2026-12-08"): the parser core uses when the shell gives none.
std::optional<std::int64_t> parseIsoDate(std::string_view text);

// Leading decimal value of a text as the list reads it: spaces skipped, an
// optional sign, digits up to the first other character; no digits is 0.
// Values beyond 64 bits saturate instead of wrapping.
std::int64_t cellInteger(std::string_view text);
double cellReal(std::string_view text);

// Negative, zero or positive as a sorts before, with or after b. An unknown
// type compares as Text; a null date parser makes every date equal.
int compareCells(int sortType, std::string_view a, std::string_view b,
                 const DateParser& parseDate = {});

// The direction of a header click: +1 ascending, -1 descending, 0 when the
// column does not sort. A toggling column's first click (`firstClick`) sorts
// ascending whatever direction it was preset to; later clicks flip the
// current-direction bits in `flags`. A fixed column keeps them.
int headerClickDirection(int& flags, bool firstClick = false);

// The direction a re-sort after an edit uses: the current one, never toggled.
int currentDirection(int flags);

} // namespace velmar
