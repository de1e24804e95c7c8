#pragma once

#include <string_view>

namespace velmar {

// The three switches the one command-line word sets.
struct StartupOptions {
    bool telnet = false;  // every connection uses the telnet port
    bool xy = false;      // the device menu offers "X-Y control ..."
    bool service = false; // the device menu offers the service-only entries
};

// The whole command line (the words after the program name, joined by one
// blank) is compared exactly and case-sensitively with "telnet", "xy" and
// "vkq"; anything else sets nothing.
StartupOptions parseCommandLine(std::string_view commandLine);

} // namespace velmar
