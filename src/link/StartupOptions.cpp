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

} // namespace velmar
