#pragma once

#include "engine/ChannelRange.h"
#include "engine/DeviceState.h"
#include "engine/DialogRegistry.h"
#include "engine/Questions.h"

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmar {

inline constexpr int kLabelBlock = 32;
inline constexpr std::size_t kLabelLength = 16;

enum class LabelKind : int { Input = 0, Output = 1 };

DeviceMessage labelRequest(LabelKind kind, int channel, std::string_view text);
// "llabel" for every block of 32 listed channels, inputs then outputs per block.
std::vector<DeviceMessage> labelOpeningRequests(const ChannelRange& range);
// "SOURCE-0001" / "DESTINATION-1536": four digits at least.
std::string defaultLabel(LabelKind kind, int channel);
// Every listed, unblocked channel's input label, then every output label.
std::vector<DeviceMessage> defaultLabelRequests(const ChannelRange& range);
// Empty labels for every listed channel, inputs then outputs.
std::vector<DeviceMessage> clearLabelRequests(const ChannelRange& range);

// The logic of `CChnLabelDlg` ("Channel labels"): its copy of the two label
// tables, the rows it lists and its buttons. The copy changes only when the
// frame answers; Apply sends what differs from it and nothing else.
class CChannelLabels final : public IDialogSink {
public:
    static constexpr std::string_view kTitle = "Channel labels";
    static constexpr std::string_view kClearQuestion = "Clear all labels";
    static constexpr std::string_view kDefaultQuestion = "Generate default labels on all channels";
    static constexpr std::string_view kRequestsWhat = "labels";

    CChannelLabels(const DeviceState& state, IRequestSink& sink, IQuestions& questions);

    const ChannelRange& range() const { return m_range; }
    bool serviceMode() const { return m_state.serviceMode; }
    int rowCount() const { return m_range.rows(); }
    // Channel, Type, Input, Output of a row.
    std::vector<std::string> rowTexts(int row) const;
    std::string_view label(LabelKind kind, int channel) const;

    // "Apply" on the row of `channel` with the two edit boxes' texts: sends
    // "slabel" for each label that differs, inputs first. A text the frame
    // cannot carry sends nothing at all (notice() says why). Returns the count sent.
    int apply(int channel, std::string_view input, std::string_view output);
    // "Clear all" / "Default all": ask, and on Yes give the requests to run.
    std::vector<DeviceMessage> clearAllPressed();
    std::vector<DeviceMessage> defaultAllPressed();

    const std::string& notice() const { return m_notice; }
    // Whether the edit boxes hold labels for `channel` that Apply would send.
    bool edited(int channel, std::string_view input, std::string_view output) const;

    // What changed since the last call: everything, or these channels.
    bool takeFullRefresh();
    std::vector<int> takeChangedChannels();

    void onDeviceMessage(const DeviceMessage& message, bool isReply,
                         const CResponseDecoder& decoder) override;

private:
    void copyLabel(LabelKind kind, int channel);

    const DeviceState& m_state;
    IRequestSink& m_sink;
    IQuestions& m_questions;
    ChannelRange m_range;
    std::vector<std::string> m_inputs;  // [1..2048]
    std::vector<std::string> m_outputs; // [1..2048]
    bool m_full = true;
    std::vector<int> m_changed;
    std::string m_notice;
};

// Reading the label tables without the dialog (velmarctl): a label is taken
// only from a reply that answers one of the "llabel" requests, so a ":slabel"
// or list line the frame sends unasked changes nothing read. A refused block,
// a block answered for channels not asked, or a count other than the block's
// makes the read fail (failure() says why in plain words). Every reply that
// answers a request is passed on to `next`, the run counting the answers.
class CLabelListRead final : public IDialogSink {
public:
    CLabelListRead(const std::vector<DeviceMessage>& requests, IDialogSink& next);

    std::string_view label(LabelKind kind, int channel) const;
    // Empty while every answer was what was asked.
    const std::string& failure() const { return m_failure; }
    // Called once when the read fails (to stop the run: the rest is of no use).
    void setOnFailure(std::function<void()> onFailure) { m_onFailure = std::move(onFailure); }

    void onDeviceMessage(const DeviceMessage& message, bool isReply,
                         const CResponseDecoder& decoder) override;

private:
    using Key = std::pair<int, int>; // kind, first channel
    void fail(std::string why);

    IDialogSink& m_next;
    std::map<Key, int> m_waiting; // block -> count asked
    std::vector<std::string> m_inputs;
    std::vector<std::string> m_outputs;
    std::string m_failure;
    std::function<void()> m_onFailure;
};

// Label writes, checked: a write counts as confirmed only when the frame's
// answer carries the text written. An answer with another text is passed on
// to `next` as a refusal, so the run counts it as one.
class CLabelWriteCheck final : public IDialogSink {
public:
    // The status a write answered with another text is passed on with.
    static constexpr std::int32_t kOtherText = 0x7FFF;

    CLabelWriteCheck(const std::vector<DeviceMessage>& requests, IDialogSink& next);

    int otherTexts() const { return m_otherTexts; }
    // "channel 17 (status 2)" for refusals, "channel 17 input 'NOPE'" for
    // another text; at most ten of each.
    const std::vector<std::string>& refusals() const { return m_refusals; }
    const std::vector<std::string>& otherTextNotes() const { return m_otherNotes; }
    int refusedByStatus() const { return m_refused; }

    void onDeviceMessage(const DeviceMessage& message, bool isReply,
                         const CResponseDecoder& decoder) override;

private:
    using Key = std::pair<int, int>; // kind, channel
    IDialogSink& m_next;
    std::multimap<Key, std::string> m_waiting;
    int m_otherTexts = 0;
    int m_refused = 0;
    std::vector<std::string> m_refusals;
    std::vector<std::string> m_otherNotes;
};

} // namespace velmar
