#pragma once

#include "engine/ChannelRange.h"
#include "engine/DeviceState.h"
#include "engine/DialogRegistry.h"
#include "engine/Questions.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

struct GainSetting {
    DecimalValue gain;
    std::int32_t phase = 0; // non-zero: inverted
    std::int32_t mute = 0;  // non-zero: muted
    friend bool operator==(const GainSetting&, const GainSetting&) = default;
};

enum class GainSide : int { Input = 0, Output = 1 };

DeviceMessage gainRequest(GainSide side, int channel, const GainSetting& setting);
// "lgain" for inputs, then for outputs, over all listed channels.
std::vector<DeviceMessage> gainOpeningRequests(const ChannelRange& range);

// The entries of the gain list's context menu, in menu order.
enum class GainMenuEntry {
    ClearAll,
    ClearSelected,
    Separator,
    InputPhase,
    InputMute,
    OutputPhase,
    OutputMute,
};

struct GainMenuItem {
    GainMenuEntry entry;
    std::string_view text;
    bool checked = false;
};

// The logic of `CIOGainDlg` ("Gain settings"): its copy of every channel's
// input and output gain, phase and mute, and the context menu's toggles. A
// toggle sends the channel's own flag inverted; the copy changes only when
// the frame answers.
class CGainSettings final : public IDialogSink {
public:
    static constexpr std::string_view kTitle = "Gain settings";
    static constexpr std::string_view kClearAllQuestion = "Clear settings for all channels";
    static constexpr std::string_view kClearSelectedQuestion =
        "Clear settings for selected channels";
    static constexpr std::string_view kRequestsWhat = "gain settings";
    // The phase columns read "0" or "inverted" while the card page says
    // "normal" and "invert" for the same flag: the legend under the list
    // names both.
    static constexpr std::string_view kLegend =
        "phase: \"0\" = normal (the card page's \"normal\"), \"inverted\" = inverted "
        "(\"invert\"); mute: \"yes\" = muted";

    CGainSettings(const DeviceState& state, IRequestSink& sink, IQuestions& questions);

    const ChannelRange& range() const { return m_range; }
    bool serviceMode() const { return m_state.serviceMode; }
    int rowCount() const { return m_range.rows(); }
    // Channel, Type, Input gain, phase, mute, Output gain, phase, mute.
    std::vector<std::string> rowTexts(int row) const;
    const GainSetting& setting(GainSide side, int channel) const;

    // The context menu for a right click with `selectedChannels` selected (in
    // list order) on the row of `clickedChannel` (0: beside the rows); empty
    // when nothing is selected.
    std::vector<GainMenuItem> menu(int clickedChannel,
                                   const std::vector<int>& selectedChannels) const;
    // A menu entry chosen: the toggles send at once (one request per selected
    // channel); the clear entries ask first and give their requests back, for
    // the caller to run (they can be thousands).
    std::vector<DeviceMessage> choose(GainMenuEntry entry,
                                      const std::vector<int>& selectedChannels);

    // Rows whose values changed since the last call.
    std::vector<int> takeChangedChannels();

    void onDeviceMessage(const DeviceMessage& message, bool isReply,
                         const CResponseDecoder& decoder) override;

private:
    std::vector<DeviceMessage> clearRequests(const std::vector<int>& channels) const;

    const DeviceState& m_state;
    IRequestSink& m_sink;
    IQuestions& m_questions;
    ChannelRange m_range;
    std::array<std::vector<GainSetting>, 2> m_settings; // [side][1..2048]
    std::vector<int> m_changed;
};

} // namespace velmar
