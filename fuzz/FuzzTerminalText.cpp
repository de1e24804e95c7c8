// Frame and file texts on their way to a terminal: whatever the bytes, the
// escaped text holds no control character, no C1 control and no broken
// UTF-8, and printable text passes through unchanged.

#include "FuzzSupport.h"
#include "protocol/TerminalText.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velmar;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string out = terminalSafe(text, "'");
    bool unchanged = true; // the input needs no escape at all
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        const std::size_t length = c < 0x80 ? 1 : utf8SequenceLength(text, at);
        if (length == 0 || c < 0x20 || c == 0x7F || c == '\\' || c == '\'' ||
            isC1Control(text, at)) {
            unchanged = false;
            break;
        }
        at += length;
    }
    FUZZ_CHECK(!unchanged || out == text);
    for (std::size_t at = 0; at < out.size();) {
        const auto c = static_cast<unsigned char>(out[at]);
        FUZZ_CHECK(c >= 0x20 && c != 0x7F);
        FUZZ_CHECK(!isC1Control(out, at));
        const std::size_t length = c < 0x80 ? 1 : utf8SequenceLength(out, at);
        FUZZ_CHECK(length > 0);
        at += length;
    }
    // No escape grows a byte beyond six characters ("\u009B" for two bytes).
    FUZZ_CHECK(out.size() <= 4 * text.size());
    return 0;
}
