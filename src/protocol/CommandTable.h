#pragma once

#include "protocol/CommandId.h"

#include <string_view>

namespace velmar {

// The keyword of a command as it travels on the wire; empty for the reserved rows
// and for anything that is not a command (InvalidReply and above).
std::string_view keywordOf(CommandId id);

// The command whose keyword matches exactly (byte for byte, case-sensitive);
// InvalidReply when none does.
CommandId commandOf(std::string_view keyword);

bool isReserved(CommandId id);

} // namespace velmar
