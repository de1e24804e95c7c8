#include "iprouting/IpRouting.h"

#include "protocol/WireText.h"

namespace velmar {

std::string moduleNameOrLocalhost(const DeviceState& state) {
    const std::string_view name = state.settings.ipAudio.moduleName.view();
    return name.empty() ? std::string("localhost") : std::string(name);
}

bool ipRoutingActionsAllowed(const DeviceState& state) {
    return state.connected && !state.programming;
}

std::optional<std::string> hostNameProblem(std::string_view name) {
    if (auto problem = sendableTextProblem(name, kHostNameLength))
        return "The host name " + *problem;
    return std::nullopt;
}

} // namespace velmar
