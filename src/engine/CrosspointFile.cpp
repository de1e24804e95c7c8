#include "engine/CrosspointFile.h"

#include "engine/Crosspoints.h"

#include <algorithm>
#include <limits>
#include <map>
#include <utility>

namespace velmar {

namespace {

constexpr std::size_t at(int index) { return static_cast<std::size_t>(index); }

void appendLine(std::string& out, int sequence, int output, int input) {
    out += std::to_string(sequence);
    out += '=';
    out += std::to_string(output);
    out += ',';
    out += std::to_string(input);
    out += "\r\n";
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

} // namespace

bool crosspointFilesAvailable(const DeviceState& state) {
    return state.connected && !state.programming && state.family != kFamily465 &&
           state.family != kFamily450;
}

std::string writeCrosspointStatus(const DeviceState& state, const CCrosspointList& list) {
    std::string out;
    const int count = state.crosspointCount();
    int sequence = 0;
    if (list.rangeFilter() != 0) {
        for (int row = 0; row < list.rowCount(); ++row) {
            const int output = list.outputAt(row);
            if (output >= 1 && output <= count)
                appendLine(out, ++sequence, output, state.live.crosspoints[at(output)]);
        }
        return out;
    }
    for (int output = 1; output <= count; ++output)
        if (const int input = state.live.crosspoints[at(output)]; input > 0)
            appendLine(out, ++sequence, output, input);
    return out;
}

std::string writeSelectedCrosspoints(const DeviceState& state, const CCrosspointList& list,
                                     std::span<const int> selectedRows) {
    std::string out;
    const int count = state.crosspointCount();
    for (int row : selectedRows) {
        const int output = list.outputAt(row);
        if (output >= 1 && output <= count)
            appendLine(out, 1, output, state.live.crosspoints[at(output)]);
    }
    return out;
}

std::int64_t xptFieldValue(std::string_view field) {
    constexpr std::int64_t kLimit =
        static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1;
    std::size_t pos = 0;
    while (pos < field.size() && isBlank(field[pos]))
        ++pos;
    bool negative = false;
    if (pos < field.size() && (field[pos] == '-' || field[pos] == '+')) {
        negative = field[pos] == '-';
        ++pos;
    }
    std::int64_t value = 0;
    for (; pos < field.size() && field[pos] >= '0' && field[pos] <= '9'; ++pos)
        value = std::min(kLimit, value * 10 + (field[pos] - '0')); // saturates, never wraps
    return negative ? -value : value;
}

namespace {

// The line loop behind both readers; `leftOut` may be null.
CrosspointLoadTable readLines(std::string_view text, int crosspointCount, XptLeftOut* leftOut) {
    CrosspointLoadTable table{};
    XptLeftOut ignored;
    XptLeftOut& skipped = leftOut ? *leftOut : ignored;
    // The table holds 1536 outputs; a larger count must not reach past it.
    const std::int64_t count = std::clamp(crosspointCount, 0, kMaxCrosspoints);
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == ';')
            continue;
        const std::size_t equals = line.find('=');
        const std::size_t comma =
            equals == std::string_view::npos ? equals : line.find(',', equals + 1);
        if (comma == std::string_view::npos) {
            ++skipped.unreadable;
            continue;
        }
        const std::int64_t output = xptFieldValue(line.substr(equals + 1, comma - equals - 1));
        const std::int64_t input = xptFieldValue(line.substr(comma + 1));
        if (output < 1 || output > count || input < 0 || input > count) {
            // Numbers a larger frame has are channels this one lacks; the rest
            // are no channel anywhere.
            const bool someFrameHasThem =
                output >= 1 && output <= kMaxCrosspoints && input >= 0 && input <= kMaxCrosspoints;
            ++(someFrameHasThem ? skipped.foreignChannels : skipped.unreadable);
            continue;
        }
        table[static_cast<std::size_t>(output)] = static_cast<std::int32_t>(input);
    }
    return table;
}

std::string lines(int n) { return std::to_string(n) + (n == 1 ? " line" : " lines"); }

} // namespace

CrosspointLoadTable readCrosspointFile(std::string_view text, int crosspointCount) {
    return readLines(text, crosspointCount, nullptr);
}

std::string crosspointFileRefusal(std::string_view text) {
    if (text.find('\0') != std::string_view::npos)
        return "holds NUL bytes, so it is not a crosspoint file";
    return {};
}

CrosspointFileContent parseCrosspointFile(std::string_view text, int crosspointCount) {
    CrosspointFileContent content;
    content.refusal = crosspointFileRefusal(text);
    if (content.refusal.empty())
        content.table = readLines(text, crosspointCount, &content.leftOut);
    return content;
}

namespace {

// Blanks, an optional sign, digits, blanks: nothing else.
bool isWholeNumber(std::string_view field) {
    std::size_t pos = 0;
    while (pos < field.size() && isBlank(field[pos]))
        ++pos;
    if (pos < field.size() && (field[pos] == '-' || field[pos] == '+'))
        ++pos;
    const std::size_t digits = pos;
    while (pos < field.size() && field[pos] >= '0' && field[pos] <= '9')
        ++pos;
    if (pos == digits)
        return false;
    while (pos < field.size() && isBlank(field[pos]))
        ++pos;
    return pos == field.size();
}

} // namespace

std::string crosspointFileStrictRefusal(std::string_view text) {
    std::map<std::int64_t, int> firstLine; // output -> the line naming it
    int number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty() || line.front() == ';')
            continue;
        const std::size_t equals = line.find('=');
        const std::size_t comma =
            equals == std::string_view::npos ? equals : line.find(',', equals + 1);
        if (comma == std::string_view::npos)
            continue;
        const std::string where = "line " + std::to_string(number) + ": ";
        const std::string_view output = line.substr(equals + 1, comma - equals - 1);
        for (auto [what, field] :
             {std::pair{"output", output}, std::pair{"input", line.substr(comma + 1)}})
            if (!isWholeNumber(field))
                return where + "the " + what + " is not a number";
        const std::int64_t o = xptFieldValue(output);
        const auto [it, fresh] = firstLine.emplace(o, number);
        if (!fresh)
            return where + "output " + std::to_string(o) +
                   " is named a second time (first on line " + std::to_string(it->second) + ")";
    }
    return {};
}

std::string leftOutSummary(const XptLeftOut& leftOut) {
    if (leftOut.total() == 0)
        return {};
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on
    // "text" + std::string temporaries.
    std::string out = "left out ";
    out += lines(leftOut.total());
    out += ':';
    if (leftOut.foreignChannels > 0) {
        out += ' ';
        out += std::to_string(leftOut.foreignChannels);
        out += " for channels this frame does not have";
    }
    if (leftOut.unreadable > 0) {
        out += leftOut.foreignChannels > 0 ? ", " : " ";
        out += std::to_string(leftOut.unreadable);
        out += " unreadable";
    }
    return out;
}

} // namespace velmar
