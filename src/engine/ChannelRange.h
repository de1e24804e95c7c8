#pragma once

#include "engine/DeviceState.h"
#include "protocol/DeviceMessage.h"

#include <string>
#include <string_view>

namespace velmar {

// The channels the label, gain and level detector dialogs list: offset + 1 ..
// count. A 461 outside service mode hides its first 512 channels (its card
// bank is not routed there), so its lists start at 513.
struct ChannelRange {
    int offset = 0;
    int count = 0;
    bool noPhd = false;

    int rows() const { return count > offset ? count - offset : 0; }
    int channelOfRow(int row) const { return offset + row + 1; }
    int rowOfChannel(int channel) const { return channel - offset - 1; }
    bool listed(int channel) const { return channel > offset && channel <= count; }
    // The PHD channels 529..592 cannot be set when the frame has no PHD ports.
    bool blocked(int channel) const { return noPhd && channel >= 529 && channel <= 592; }
};

ChannelRange channelRangeOf(const DeviceState& state);

// The keys that move the selection in the channel lists. Page keys move 31
// rows (one screen of the original list) and stop at the ends.
enum class ListKey { Up, Down, PageUp, PageDown, Home, End };
inline constexpr int kPageRows = 31;
// The row a key moves to from `current`; -1 for an empty list.
int keyMovedRow(int current, ListKey key, int rowCount);

// "CARD 1" .. "CARD 8", "AES", "PHD 1" ... for a 0-based channel index.
std::string channelTypeName(int index);
// The Type column: the type name, or "----" for a blocked PHD channel.
std::string channelTypeCell(const ChannelRange& range, int channel);

// A channel's name with its label beside it when it has one: "AES  01  Kick".
std::string labelledChannelName(int channel, std::string_view label);

// "-3.05": sign, whole part and always two digits of hundredths.
std::string gainText(DecimalValue value);
// "-6.50", "-20": hundredths only when there are any.
std::string detectorLevelText(DecimalValue value);

} // namespace velmar
