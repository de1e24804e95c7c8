#pragma once

#include "protocol/DeviceMessage.h"

#include <span>
#include <string>

namespace velmar::framesim {

// Writes a line the way a frame does: the prefix (":" for a reply, "!" for a
// message of its own), the keyword, the status, the arguments of the reply
// column (only those before the bar when the status is not 0), any list items,
// the tag and the carriage return. The program's own encoder only knows the
// request column, and a frame's lines may run past its 511-character limit
// (list replies), so the frame keeps its own writer.
std::string writeFrameLine(char prefix, const DeviceMessage& message,
                           std::span<const std::string> listItems = {});

// Value formatting shared with the list items.
std::string formatDecimal(DecimalValue value);
std::string quoted(std::string_view text);

} // namespace velmar::framesim
