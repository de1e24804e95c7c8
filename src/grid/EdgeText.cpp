#include "grid/EdgeText.h"

#include "protocol/ChannelNames.h"

namespace velmar {

std::string edgeText(int channel) {
    // The lists pad names with two blanks ("CARD3  12"); the grid's edges are
    // narrow and the read-out is a sentence, so one blank is enough.
    const std::string name = channelDisplayName(channel);
    std::string out;
    out.reserve(name.size());
    for (char c : name)
        if (c != ' ' || out.empty() || out.back() != ' ')
            out += c;
    return out;
}

std::string routeReadout(int output, int input) {
    return "OUTPUT " + edgeText(output) + " \u2190 " +
           (input > 0 ? "INPUT " + edgeText(input) : std::string("nothing"));
}

} // namespace velmar
