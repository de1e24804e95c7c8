#include "protocol/WireText.h"

#include <algorithm>

namespace velmar {

bool isSendableCharacter(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x20 && u != 0x7F && c != '\'' && c != '"' && c != ',';
}

bool isSendableText(std::string_view text) {
    return std::all_of(text.begin(), text.end(), isSendableCharacter);
}

std::optional<std::string> sendableTextProblem(std::string_view text, std::size_t maxLength) {
    if (!isSendableText(text))
        return std::string("holds a quote, comma or control character");
    if (maxLength > 0 && text.size() > maxLength) {
        std::string why = "is longer than ";
        why += std::to_string(maxLength);
        why += " characters";
        return why;
    }
    return std::nullopt;
}

} // namespace velmar
