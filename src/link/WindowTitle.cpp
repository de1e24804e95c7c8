#include "link/WindowTitle.h"

namespace velmar {

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
