#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

namespace velmar {

// A NUL-terminated text of fixed capacity (the terminator included), as the
// frame's records hold them. Assigning never overruns: what does not fit is cut.
template <std::size_t N>
struct FixedText {
    static_assert(N >= 1);
    static constexpr std::size_t kCapacity = N;

    std::array<char, N> chars{};

    void assign(std::string_view text) {
        const std::size_t n = std::min(text.size(), N - 1);
        std::copy_n(text.data(), n, chars.data());
        std::fill(chars.begin() + static_cast<std::ptrdiff_t>(n), chars.end(), '\0');
    }
    void clear() { chars.fill('\0'); }

    std::string_view view() const {
        const auto end = std::find(chars.begin(), chars.end() - 1, '\0');
        return {chars.data(), static_cast<std::size_t>(end - chars.begin())};
    }
    bool empty() const { return chars[0] == '\0'; }

    friend bool operator==(const FixedText&, const FixedText&) = default;
};

} // namespace velmar
