#pragma once

#include "protocol/DeviceMessage.h"

#include <cstddef>
#include <span>

namespace velmar {

// The connection always encodes into a buffer of this size: at most 511
// characters per line.
inline constexpr std::size_t kEncodeBufferSize = 512;

// Writes one message as a line for the frame into the caller's buffer and
// returns the number of characters written (the line is not NUL-terminated).
// 0 means there is nothing to send: no room at all, or not a command.
//
// A line that does not fit is cut where the room ends and then has no carriage
// return. Control characters are never written inside a line: a text holding a
// carriage return or line feed would otherwise end the line early and let its
// rest reach the frame as a command of its own.
std::size_t encodeMessage(const DeviceMessage& message, std::span<char> buffer);

} // namespace velmar
