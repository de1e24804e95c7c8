#pragma once

#include <string>

namespace velmar {

// A channel's name as the grid's edges, its read-out and its messages show
// it: "CARD3 12", "MADI 40". Every grid text about a channel comes from here,
// so the frame's channel labels can take over in one place.
std::string edgeText(int channel);

// "OUTPUT CARD3 12 ← INPUT MADI 40"; an input of 0 reads "nothing".
std::string routeReadout(int output, int input);

} // namespace velmar
