#pragma once

#include "channels/ChannelLabels.h"

#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// The label file: a header line "channel,type,input,output", then one line
// per channel, as a spreadsheet writes and reads CSV (fields with a comma,
// quote, line break or outer blank are quoted, quotes doubled). The type
// column is written for people and ignored when read.
inline constexpr std::string_view kLabelCsvHeader = "channel,type,input,output";

struct LabelRow {
    int channel = 0;
    std::string input;
    std::string output;
    friend bool operator==(const LabelRow&, const LabelRow&) = default;
};

// Every listed channel with its two labels, `labelOf(kind, channel)` giving them.
template <typename LabelOf>
std::vector<LabelRow> labelRows(const ChannelRange& range, LabelOf labelOf) {
    std::vector<LabelRow> rows;
    for (int n = range.offset + 1; n <= range.count; ++n)
        rows.push_back({n, std::string(labelOf(LabelKind::Input, n)),
                        std::string(labelOf(LabelKind::Output, n))});
    return rows;
}

std::string csvField(std::string_view text);
std::string writeLabelCsv(const ChannelRange& range, const std::vector<LabelRow>& rows);

struct LabelCsvRefusal {
    int line = 0; // 1-based line of the file where the row starts
    std::string reason;
    friend bool operator==(const LabelCsvRefusal&, const LabelCsvRefusal&) = default;
};

struct LabelCsvRead {
    std::string error; // the file as a whole cannot be used (no header ...); nothing else then
    std::vector<LabelRow> rows;
    std::vector<LabelCsvRefusal> refused;
};

// Reads a label file for the channels of `range`. Rows that name a channel
// outside it, a blocked PHD channel, a channel twice, or a label the frame
// cannot carry (quote, comma, control character, more than 16 characters)
// are refused with their line number; the others are kept.
LabelCsvRead readLabelCsv(std::string_view text, const ChannelRange& range);

// "slabel" for each label of `rows` that differs from the frame's, inputs
// before outputs per channel.
template <typename LabelOf>
std::vector<DeviceMessage> labelChangeRequests(const std::vector<LabelRow>& rows, LabelOf labelOf) {
    std::vector<DeviceMessage> requests;
    for (const LabelRow& row : rows) {
        if (row.input != labelOf(LabelKind::Input, row.channel))
            requests.push_back(labelRequest(LabelKind::Input, row.channel, row.input));
        if (row.output != labelOf(LabelKind::Output, row.channel))
            requests.push_back(labelRequest(LabelKind::Output, row.channel, row.output));
    }
    return requests;
}

} // namespace velmar
