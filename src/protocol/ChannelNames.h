#pragma once

#include <string>

namespace velmar {

// Channel numbers count from 1 over all ports of the frame (cards 1..512, AES,
// PHD, MADI, SFP, IP, the second card bank 1025..1536). A channel is shown as
// its port name and its number within the port, two digits at least:
// 512 -> "CARD8  64", 513 -> "AES  01", 1025 -> "CARD1  65", 1000 -> "CHN  1000".
std::string channelDisplayName(int channel);

} // namespace velmar
