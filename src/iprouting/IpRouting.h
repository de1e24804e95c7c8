#pragma once

#include "engine/DeviceState.h"

#include <optional>
#include <string>
#include <string_view>

namespace velmar {

// Requests that name the IP audio module carry its name from "gbkname"; a
// module that has not told its name yet is addressed as itself.
std::string moduleNameOrLocalhost(const DeviceState& state);

// The buttons that change routing act only on a connected frame that is not
// taking firmware. (The X-Y burst cannot run meanwhile: it ends with its own
// modal dialog.)
bool ipRoutingActionsAllowed(const DeviceState& state);

// Why a Dante host name typed by the operator cannot be sent, or nothing.
std::optional<std::string> hostNameProblem(std::string_view name);

// Dante host names travel in 32-byte texts.
inline constexpr std::size_t kHostNameLength = 31; // 32 bytes with terminator

} // namespace velmar
