#include "link/StartupOptions.h"

namespace velmar {

StartupOptions parseCommandLine(std::string_view commandLine) {
    StartupOptions o;
    if (commandLine == "telnet") {
        o.telnet = true;
        o.xy = true;
        o.service = true;
    } else if (commandLine == "xy") {
        o.xy = true;
    } else if (commandLine == "vkq") {
        o.service = true;
    }
    return o;
}

std::string windowTitle(bool online, std::string_view deviceName, bool telnetPort) {
    std::string title = " Velmar";
    if (!online)
        return title;
    if (deviceName.empty()) {
        title += "   ( Online )";
    } else {
        title += "   ( Online - ";
        title += deviceName;
        title += " )";
    }
    if (telnetPort)
        title += " - using Telnet port";
    return title;
}

} // namespace velmar
