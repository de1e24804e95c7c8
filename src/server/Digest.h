#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// SHA-1 of the bytes. Only the WebSocket handshake uses it, where it is a
// checksum the protocol asks for, not a security measure.
std::array<std::uint8_t, 20> sha1(std::string_view data);

// Standard base64 with '=' padding.
std::string base64Encode(std::span<const std::uint8_t> bytes);

// Strict: the standard alphabet, a length that is a multiple of four, padding
// only at the end, no whitespace, and no stray bits in the last character.
std::optional<std::vector<std::uint8_t>> base64Decode(std::string_view text);

} // namespace velmar
