#include "protocol/TerminalText.h"

#include <gtest/gtest.h>

using namespace std::string_view_literals;

namespace velmar {
namespace {

TEST(TerminalSafe, ControlsAndBrokenUtf8AreShownEscaped) {
    const std::pair<std::string_view, std::string_view> rows[] = {
        {"Studio A", "Studio A"},
        {"", ""},
        // What a hostile search reply carries: clear screen, bell, retitle.
        {"\x1b[2JStudio\a", "\\x1B[2JStudio\\x07"},
        {"\x1b]0;owned\x07", "\\x1B]0;owned\\x07"},
        {"line\r\nnext\t", "line\\x0D\\x0Anext\\x09"},
        {"nul\0end"sv, "nul\\x00end"},
        {"\x7f", "\\x7F"},
        // C1 controls as UTF-8: CSI, NEL, the ends of the range.
        {"\xC2\x9B"
         "2J",
         "\\u009B2J"},
        {"\xC2\x85", "\\u0085"},
        {"\xC2\x80\xC2\x9F", "\\u0080\\u009F"},
        // Printable UTF-8 passes as it is: NBSP right after the C1 range,
        // two, three and four bytes.
        {"\xC2\xA0", "\xC2\xA0"},
        {"B\xC3\xBChne", "B\xC3\xBChne"},
        {"\xE2\x82\xAC 5", "\xE2\x82\xAC 5"},
        {"\xF0\x9D\x84\x9E", "\xF0\x9D\x84\x9E"},
        // Bytes that are no UTF-8: each one on its own, what follows read afresh.
        {"\xFF\xFE", "\\xFF\\xFE"},
        {"\x9B"
         "2J",
         "\\x9B2J"}, // an 8-bit CSI without its lead byte
        {"\xC0\xAF", "\\xC0\\xAF"},
        {"\xED\xA0\x80", "\\xED\\xA0\\x80"},
        {"end\xE2\x82", "end\\xE2\\x82"},
        {"\xC3\xC3\xA9", "\\xC3\xC3\xA9"},
        {"\xC2", "\\xC2"},
        // A backslash the frame sent cannot pose as one of our escapes.
        {"\\x1B", "\\\\x1B"},
    };
    for (const auto& [text, want] : rows)
        EXPECT_EQ(terminalSafe(text), want) << testing::PrintToString(std::string(text));
}

TEST(TerminalSafe, ChosenCharactersGetABackslash) {
    EXPECT_EQ(terminalSafe("it's", "'"), "it\\'s");
    EXPECT_EQ(terminalSafe("a'b\"c", "'\""), "a\\'b\\\"c");
    std::string out = "x=";
    appendTerminalSafe(out, "\x1b'", "'");
    EXPECT_EQ(out, "x=\\x1B\\'");
}

TEST(TerminalSafe, OutputNeverHoldsARawControl) {
    // Every byte value, alone and as the second byte after each lead: nothing
    // below 0x20, no DEL and no C1 pair ever comes out raw.
    for (int lead = 0; lead < 256; ++lead)
        for (int next = 0; next < 256; ++next) {
            const char bytes[] = {static_cast<char>(lead), static_cast<char>(next)};
            const std::string out = terminalSafe(std::string_view(bytes, 2));
            for (std::size_t k = 0; k < out.size(); ++k) {
                const auto c = static_cast<unsigned char>(out[k]);
                ASSERT_FALSE(c < 0x20 || c == 0x7F) << lead << " " << next;
                ASSERT_FALSE(isC1Control(out, k)) << lead << " " << next;
                if (c >= 0x80) {
                    const std::size_t length = utf8SequenceLength(out, k);
                    ASSERT_NE(length, 0u) << lead << " " << next;
                    k += length - 1;
                }
            }
        }
}

} // namespace
} // namespace velmar
