#include "controls/ListSort.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace velmar {

namespace {

int sign(std::int64_t v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

std::string_view skipSpace(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    return text.substr(i);
}

int compareText(std::string_view a, std::string_view b) {
    int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int compareTextNoCase(std::string_view a, std::string_view b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        int ca = std::tolower(static_cast<unsigned char>(a[i]));
        int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

// A text counts as a number only when formatting its value gives the text
// back: "10" does, "010", "1a" and "0" do not.
std::optional<std::int64_t> plainNumber(std::string_view text) {
    std::int64_t v = cellInteger(text);
    if (v == 0 || std::to_string(v).size() != text.size())
        return std::nullopt;
    return v;
}

int compareNumberOrText(std::string_view a, std::string_view b, bool noCase) {
    auto na = plainNumber(a);
    auto nb = plainNumber(b);
    if (na && nb)
        return sign(*na - *nb);
    return noCase ? compareTextNoCase(a, b) : compareText(a, b);
}

} // namespace

std::int64_t cellInteger(std::string_view text) {
    text = skipSpace(text);
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    // Saturating, so a long run of digits can neither wrap nor overflow the
    // difference the comparison takes.
    constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 4;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        value = value > (kLimit - (c - '0')) / 10 ? kLimit : value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

double cellReal(std::string_view text) {
    text = skipSpace(text);
    if (!text.empty() && text[0] == '+')
        text.remove_prefix(1);
    double value = 0.0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    (void)ptr;
    if (ec != std::errc() || !std::isfinite(value))
        return 0.0;
    return value;
}

std::optional<std::int64_t> parseIsoDate(std::string_view text) {
    int y = 0, m = 0, d = 0;
    auto field = [&](std::string_view part, int& out) {
        auto [ptr, ec] = std::from_chars(part.data(), part.data() + part.size(), out);
        return ec == std::errc() && ptr == part.data() + part.size() && !part.empty();
    };
    std::size_t p1 = text.find('-');
    std::size_t p2 = p1 == std::string_view::npos ? p1 : text.find('-', p1 + 1);
    if (p2 == std::string_view::npos || !field(text.substr(0, p1), y) ||
        !field(text.substr(p1 + 1, p2 - p1 - 1), m) || !field(text.substr(p2 + 1), d))
        return std::nullopt;
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > kDays[m - 1] ||
        (m == 2 && d == 29 && !leap))
        return std::nullopt;
    // Days since the civil epoch; only the order matters here.
    y -= m <= 2;
    const int era = y / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<std::int64_t>(era) * 146097 + doe;
}

int compareCells(int sortType, std::string_view a, std::string_view b,
                 const DateParser& parseDate) {
    switch (static_cast<SortType>(sortType)) {
    case SortType::None: return 0;
    case SortType::Integer: return sign(cellInteger(a) - cellInteger(b));
    case SortType::Real: {
        double diff = std::round(cellReal(a) - cellReal(b));
        return diff < 0 ? -1 : (diff > 0 ? 1 : 0);
    }
    case SortType::NumberOrText: return compareNumberOrText(a, b, false);
    case SortType::TextNoCase: return compareTextNoCase(a, b);
    case SortType::NumberOrTextNoCase: return compareNumberOrText(a, b, true);
    case SortType::Date: {
        if (!parseDate)
            return 0;
        auto da = parseDate(a);
        auto db = parseDate(b);
        if (!da || !db)
            return 0;
        return sign(*da - *db);
    }
    case SortType::Text:
    default: return compareText(a, b);
    }
}

int headerClickDirection(int& flags, bool firstClick) {
    if (flags & kSortToggles) {
        // Flip from the current direction; a column never clicked starts
        // ascending, even when its owner preset it to descending.
        const bool ascending = firstClick || !(flags & kSortAscending);
        flags = (flags & ~(kSortAscending | kSortDescending)) |
                (ascending ? kSortAscending : kSortDescending);
        return ascending ? 1 : -1;
    }
    return currentDirection(flags);
}

int currentDirection(int flags) {
    if (flags & kSortAscending)
        return 1;
    if (flags & kSortDescending)
        return -1;
    // A toggling column that was never clicked sorts ascending.
    return (flags & kSortToggles) ? 1 : 0;
}

} // namespace velmar
