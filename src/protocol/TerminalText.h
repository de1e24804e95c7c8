#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmar {

// Texts that come from a frame or a file and are printed on a terminal pass
// through here first, so that no byte of theirs can act on the terminal
// (move the cursor, retitle the window, end a line early):
//   - printable ASCII and well-formed printable UTF-8 pass unchanged;
//   - control characters (below 0x20) and DEL are written \xNN ("\x1B");
//   - the C1 controls U+0080..U+009F, which some terminals obey, are written
//     \uNNNN ("\u009B");
//   - bytes that are not well-formed UTF-8 are written \xNN, one by one;
//   - a backslash is written \\, so an escape written by the frame itself
//     cannot be taken for one of ours;
//   - each character of `alsoEscaped` is written with a backslash in front
//     (a quote around the text, say).
// Hex digits are upper case.
std::string terminalSafe(std::string_view text, std::string_view alsoEscaped = {});

// Appends terminalSafe(text, alsoEscaped) to `out`.
void appendTerminalSafe(std::string& out, std::string_view text, std::string_view alsoEscaped = {});

// Length of the well-formed UTF-8 sequence at text[at] (no over-long forms,
// surrogates or values above U+10FFFF), or 0 when none starts there.
std::size_t utf8SequenceLength(std::string_view text, std::size_t at);

// True for a well-formed two-byte sequence of a C1 control (U+0080..U+009F)
// at text[at].
bool isC1Control(std::string_view text, std::size_t at);

} // namespace velmar
