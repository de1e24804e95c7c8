#include "protocol/ChannelNames.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace velmar {

namespace {

struct PortGroup {
    int first;
    int last;
    std::string_view name;
};

// The fixed ports between the two card banks. Channels outside every group are
// shown as plain channel numbers.
constexpr std::array<PortGroup, 7> kPorts = {{
    {513, 528, "AES  "},
    {529, 560, "PHD1  "},
    {561, 592, "PHD2  "},
    {593, 656, "MADI  "},
    {657, 784, "SFP1  "},
    {785, 912, "SFP2  "},
    {913, 976, "IP  "},
}};

std::string format(std::string_view name, int number) {
    std::array<char, 32> buf;
    const int n = std::snprintf(buf.data(), buf.size(), "%.*s%.2d", static_cast<int>(name.size()),
                                name.data(), number);
    return std::string(buf.data(), static_cast<std::size_t>(n));
}

std::string cardName(int card, int number) {
    std::array<char, 8> name;
    const int n = std::snprintf(name.data(), name.size(), "CARD%d  ", card);
    return format({name.data(), static_cast<std::size_t>(n)}, number);
}

} // namespace

std::string channelDisplayName(int channel) {
    if (channel >= 1 && channel <= 512)
        return cardName((channel - 1) / 64 + 1, (channel - 1) % 64 + 1);
    if (channel >= 1025 && channel <= 1536)
        return cardName((channel - 1025) / 64 + 1, (channel - 1025) % 64 + 65);
    for (const PortGroup& port : kPorts)
        if (channel >= port.first && channel <= port.last)
            return format(port.name, channel - port.first + 1);
    return format("CHN  ", channel);
}

} // namespace velmar
