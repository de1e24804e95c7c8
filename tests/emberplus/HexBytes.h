#pragma once

#include <string>
#include <string_view>

namespace velmar::test {

// "60 80 a1 03" -> those bytes: wire examples written as the documents show them.
inline std::string unhex(std::string_view text) {
    std::string out;
    std::string digits;
    for (const char c : text)
        if (c != ' ')
            digits.push_back(c);
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}

} // namespace velmar::test
