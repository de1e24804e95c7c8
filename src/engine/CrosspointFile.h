#pragma once

#include "engine/DeviceState.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace velmar {

class CCrosspointList;

// The crosspoint status file (*.xpt): one line "seq=output,input" per
// crosspoint, CR LF after each, ";" lines and empty lines as comments. The
// shell does the file dialogs and the file I/O; these functions turn the
// state into the file's text and the text into a load table.
namespace xpt {

inline constexpr std::string_view kDefaultExtension = "*.xpt";
inline constexpr std::string_view kFilter = "Crosspoint status (*.xpt)|*.xpt|All Files (*.*)|*.*||";
inline constexpr std::string_view kSaveTitle = "Save crosspoint status";
inline constexpr std::string_view kSaveSelectedTitle = "Save selected crosspoints";
inline constexpr std::string_view kOpenTitle = "Open crosspoint status";

} // namespace xpt

// Saving and loading need a connected frame with a crosspoint matrix and no
// firmware transfer.
bool crosspointFilesAvailable(const DeviceState& state);

// "Save to &file ...": with the range filter at "ALL" every connected output in
// ascending order, otherwise the list's rows as shown; numbered from 1.
std::string writeCrosspointStatus(const DeviceState& state, const CCrosspointList& list);
// "Save to file..." of the list's menu: the selected rows in list order, every
// line numbered 1.
std::string writeSelectedCrosspoints(const DeviceState& state, const CCrosspointList& list,
                                     std::span<const int> selectedRows);

// One input per output 1..1536; 0 = not in the file (or routed to nothing).
using CrosspointLoadTable = std::array<std::int32_t, kMaxCrosspoints + 1>;

// An .xpt of a full 1536-output frame is about 20 KB; anything beyond this is
// not one, and reading it would only cost memory.
inline constexpr std::size_t kMaxCrosspointFileBytes = 4 * 1024 * 1024;

// The lines of a file that loading leaves out, by reason. Comments and empty
// lines are not counted.
struct XptLeftOut {
    int foreignChannels = 0; // channels of a larger frame than this one
    int unreadable = 0;      // no "=" or ",", or numbers that are no channel at all
    int total() const { return foreignChannels + unreadable; }
    friend bool operator==(const XptLeftOut&, const XptLeftOut&) = default;
};

// A file as loading sees it.
struct CrosspointFileContent {
    CrosspointLoadTable table{};
    XptLeftOut leftOut;
    // Non-empty when the bytes are not a crosspoint file at all; the table is
    // then empty and nothing may be sent.
    std::string refusal;
};

// Reads a file's text leniently: lines that do not read, and outputs or inputs
// outside 1..crosspointCount (inputs 0..crosspointCount), are skipped; a later
// line for the same output wins. Never writes outside the table, whatever the
// numbers say.
CrosspointLoadTable readCrosspointFile(std::string_view text, int crosspointCount);

// The same lenient reading, counting the lines it leaves out, after refusing
// what is plainly no text file: a file holding NUL bytes (an image, an
// archive) can hold "=5,17" by chance, and must not route anything.
CrosspointFileContent parseCrosspointFile(std::string_view text, int crosspointCount);

// Why the bytes cannot be a crosspoint file ("holds NUL bytes, so it is not a
// crosspoint file"), or empty when they may be one.
std::string crosspointFileRefusal(std::string_view text);

// The stricter reading of a file given on the command line, where nobody
// reviews the table before it is sent: a number field holding anything but
// blanks and a number ("5<ESC>", "12abc"), or an output named on two lines,
// refuses the whole file ("line 4: output 5 is named a second time (first on
// line 2)"). Empty when neither is found. Lines without "=" or "," stay
// lines that are left out.
std::string crosspointFileStrictRefusal(std::string_view text);

// "left out 3 lines: 2 for channels this frame does not have, 1 unreadable";
// empty when nothing was left out.
std::string leftOutSummary(const XptLeftOut& leftOut);

// The numeric value of a field as the file is read: leading blanks skipped, an
// optional sign, digits up to the first other character, 0 without digits.
// Values beyond the int range saturate, so they stay out of every range.
std::int64_t xptFieldValue(std::string_view field);

} // namespace velmar
