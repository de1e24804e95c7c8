#include "protocol/WireText.h"

#include <algorithm>

namespace velmar {

namespace {

// Well-formed UTF-8: no stray continuation bytes, no overlong forms, no
// surrogates, nothing above U+10FFFF.
bool isUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        unsigned char low = 0x80; // the range of the second byte
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (text.size() - i < length)
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF))
                return false;
        }
        i += length;
    }
    return true;
}

} // namespace

bool isSendableCharacter(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x20 && u != 0x7F && c != '\'' && c != '"' && c != ',';
}

bool isSendableText(std::string_view text) {
    return std::all_of(text.begin(), text.end(), isSendableCharacter) && isUtf8(text);
}

std::optional<std::string> sendableTextProblem(std::string_view text, std::size_t maxLength) {
    if (!std::all_of(text.begin(), text.end(), isSendableCharacter))
        return std::string("holds a quote, comma or control character");
    if (!isUtf8(text))
        return std::string("holds bytes that are not UTF-8 text");
    if (maxLength > 0 && text.size() > maxLength) {
        // The frame counts bytes: a letter outside ASCII takes two or more.
        std::string why = "is longer than ";
        why += std::to_string(maxLength);
        why += " bytes";
        return why;
    }
    return std::nullopt;
}

} // namespace velmar
