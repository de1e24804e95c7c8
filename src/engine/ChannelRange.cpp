#include "engine/ChannelRange.h"

#include "protocol/ChannelNames.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string_view>

namespace velmar {

namespace {

struct TypeSpan {
    int first;
    int last;
    std::string_view name;
};

// Ports after the first card bank, by 0-based channel index.
constexpr std::array<TypeSpan, 9> kPortTypes{{
    {512, 527, "AES"},
    {528, 559, "PHD 1"},
    {560, 591, "PHD 2"},
    {592, 655, "MADI"},
    {656, 783, "SFP 1"},
    {784, 911, "SFP 2"},
    {912, 975, "IP"},
    {976, 1007, "SUM"},
    {1008, 1023, ""},
}};

std::string decimalText(DecimalValue value, bool alwaysHundredths) {
    std::string text = value.negative ? "-" : "";
    text += std::to_string(value.whole);
    if (alwaysHundredths || value.hundredths != 0) {
        // A frame's hundredths outside 0..99 must not print as punctuation.
        const int h = std::abs(static_cast<int>(value.hundredths)) % 100;
        text += '.';
        text += static_cast<char>('0' + (h / 10) % 10);
        text += static_cast<char>('0' + h % 10);
    }
    return text;
}

} // namespace

ChannelRange channelRangeOf(const DeviceState& state) {
    ChannelRange range;
    range.count = state.crosspointCount();
    range.offset = (state.family == kFamily461 && !state.serviceMode) ? 512 : 0;
    range.noPhd = state.noPhd();
    return range;
}

int keyMovedRow(int current, ListKey key, int rowCount) {
    if (rowCount <= 0)
        return -1;
    const int last = rowCount - 1;
    current = std::clamp(current, 0, last);
    switch (key) {
    case ListKey::Up: return std::max(0, current - 1);
    case ListKey::Down: return std::min(last, current + 1);
    case ListKey::PageUp: return std::max(0, current - kPageRows);
    case ListKey::PageDown: return std::min(last, current + kPageRows);
    case ListKey::Home: return 0;
    case ListKey::End: return last;
    }
    return current;
}

std::string channelTypeName(int index) {
    if (index >= 0 && index < 512)
        return "CARD " + std::to_string(index / 64 + 1);
    if (index >= 1024 && index < 1536)
        return "CARD " + std::to_string((index - 1024) / 64 + 1);
    for (const TypeSpan& span : kPortTypes)
        if (index >= span.first && index <= span.last)
            return std::string(span.name);
    return {};
}

std::string channelTypeCell(const ChannelRange& range, int channel) {
    return range.blocked(channel) ? "----" : channelTypeName(channel - 1);
}

std::string labelledChannelName(int channel, std::string_view label) {
    std::string name = channelDisplayName(channel);
    if (!label.empty()) {
        name += "  ";
        name += label;
    }
    return name;
}

std::string gainText(DecimalValue value) { return decimalText(value, true); }

std::string detectorLevelText(DecimalValue value) { return decimalText(value, false); }

} // namespace velmar
