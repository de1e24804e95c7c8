#pragma once

#include <string>
#include <string_view>

namespace velmar {

// The window title for the link state: " Velmar", and when online
// "   ( Online )" or "   ( Online - <name> )", plus " - using Telnet port" on
// the telnet port.
std::string windowTitle(bool online, std::string_view deviceName, bool telnetPort);

} // namespace velmar
