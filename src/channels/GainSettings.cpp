#include "channels/GainSettings.h"

#include <utility>

namespace velmar {

namespace {

constexpr std::array<GainSide, 2> kSides{GainSide::Input, GainSide::Output};

std::string_view phaseText(std::int32_t phase) { return phase != 0 ? "inverted" : "0"; }
std::string_view muteText(std::int32_t mute) { return mute != 0 ? "yes" : "no"; }

} // namespace

DeviceMessage gainRequest(GainSide side, int channel, const GainSetting& setting) {
    DeviceMessage m = DeviceMessage::request(CommandId::sgain);
    m.setI(1, static_cast<int>(side));
    m.setI(2, channel);
    m.setDecimal(3, setting.gain);
    m.setI(5, setting.phase);
    m.setI(6, setting.mute);
    return m;
}

std::vector<DeviceMessage> gainOpeningRequests(const ChannelRange& range) {
    std::vector<DeviceMessage> requests;
    if (range.rows() == 0)
        return requests;
    for (GainSide side : kSides) {
        DeviceMessage m = DeviceMessage::request(CommandId::lgain);
        m.setI(1, static_cast<int>(side));
        m.setI(2, range.offset + 1);
        m.setI(3, range.rows());
        requests.push_back(m);
    }
    return requests;
}

CGainSettings::CGainSettings(const DeviceState& state, IRequestSink& sink, IQuestions& questions)
    : m_state(state), m_sink(sink), m_questions(questions), m_range(channelRangeOf(state)) {
    for (auto& side : m_settings)
        side.resize(kLabelChannels + 1);
}

const GainSetting& CGainSettings::setting(GainSide side, int channel) const {
    static const GainSetting kNone;
    if (channel < 1 || channel > kLabelChannels)
        return kNone;
    return m_settings[static_cast<std::size_t>(side)][static_cast<std::size_t>(channel)];
}

// The full refresh and the row refresh show the same words, so a flag reads
// the same before and after the frame's reply.
std::vector<std::string> CGainSettings::rowTexts(int row) const {
    const int n = m_range.channelOfRow(row);
    const GainSetting& in = setting(GainSide::Input, n);
    const GainSetting& out = setting(GainSide::Output, n);
    return {std::to_string(n),
            channelTypeCell(m_range, n),
            gainText(in.gain),
            std::string(phaseText(in.phase)),
            std::string(muteText(in.mute)),
            gainText(out.gain),
            std::string(phaseText(out.phase)),
            std::string(muteText(out.mute))};
}

std::vector<GainMenuItem> CGainSettings::menu(int clickedChannel,
                                              const std::vector<int>& selectedChannels) const {
    // Any selection opens the menu; its check marks follow the clicked row,
    // or the first selected one when the click was beside the rows.
    if (!m_range.listed(clickedChannel))
        for (int n : selectedChannels)
            if (m_range.listed(n)) {
                clickedChannel = n;
                break;
            }
    if (selectedChannels.empty() || !m_range.listed(clickedChannel))
        return {};
    const GainSetting& in = setting(GainSide::Input, clickedChannel);
    const GainSetting& out = setting(GainSide::Output, clickedChannel);
    const bool service = m_state.serviceMode;
    std::vector<GainMenuItem> items;
    if (service) {
        items.push_back({GainMenuEntry::ClearAll, "Clear all settings"});
        items.push_back({GainMenuEntry::ClearSelected, "Clear selected settings"});
        items.push_back({GainMenuEntry::Separator, {}});
    }
    items.push_back({GainMenuEntry::InputPhase, "Input Phase", in.phase != 0});
    if (service)
        items.push_back({GainMenuEntry::InputMute, "Input Mute", in.mute != 0});
    items.push_back({GainMenuEntry::OutputPhase, "Output Phase", out.phase != 0});
    if (service)
        items.push_back({GainMenuEntry::OutputMute, "Output Mute", out.mute != 0});
    return items;
}

std::vector<DeviceMessage> CGainSettings::clearRequests(const std::vector<int>& channels) const {
    std::vector<DeviceMessage> requests;
    // A frame without PHD ports still keeps (and answers) the PHD channels'
    // gains, so those rows clear like any other.
    for (int n : channels)
        if (m_range.listed(n))
            for (GainSide side : kSides)
                requests.push_back(gainRequest(side, n, GainSetting{}));
    return requests;
}

std::vector<DeviceMessage> CGainSettings::choose(GainMenuEntry entry,
                                                 const std::vector<int>& selectedChannels) {
    switch (entry) {
    case GainMenuEntry::ClearAll: {
        if (!m_questions.askYesNo(kTitle, kClearAllQuestion))
            return {};
        std::vector<int> all;
        for (int row = 0; row < m_range.rows(); ++row)
            all.push_back(m_range.channelOfRow(row));
        return clearRequests(all);
    }
    case GainMenuEntry::ClearSelected:
        if (!m_questions.askYesNo(kTitle, kClearSelectedQuestion))
            return {};
        return clearRequests(selectedChannels);
    case GainMenuEntry::Separator: return {};
    case GainMenuEntry::InputPhase:
    case GainMenuEntry::InputMute:
    case GainMenuEntry::OutputPhase:
    case GainMenuEntry::OutputMute: break;
    }
    const bool input = entry == GainMenuEntry::InputPhase || entry == GainMenuEntry::InputMute;
    const bool phase = entry == GainMenuEntry::InputPhase || entry == GainMenuEntry::OutputPhase;
    const GainSide side = input ? GainSide::Input : GainSide::Output;
    for (int n : selectedChannels) {
        if (!m_range.listed(n))
            continue;
        GainSetting s = setting(side, n);
        if (phase)
            s.phase = s.phase != 0 ? 0 : 1;
        else
            s.mute = s.mute != 0 ? 0 : 1;
        m_sink.sendRequest(gainRequest(side, n, s));
    }
    return {};
}

std::vector<int> CGainSettings::takeChangedChannels() { return std::exchange(m_changed, {}); }

void CGainSettings::onDeviceMessage(const DeviceMessage& message, bool, const CResponseDecoder&) {
    if (message.command != CommandId::ggain && message.command != CommandId::sgain)
        return;
    // "ggain" is handled whatever its status; a refused read leaves the copy alone.
    if (message.status != 0)
        return;
    const int n = message.i(2);
    if (n < 1 || n > kLabelChannels)
        return;
    const auto side = static_cast<std::size_t>(message.i(1) != 0 ? 1 : 0);
    GainSetting& s = m_settings[side][static_cast<std::size_t>(n)];
    s.gain = message.decimal(3);
    s.phase = message.i(5);
    s.mute = message.i(6);
    if (m_range.listed(n))
        m_changed.push_back(n);
}

} // namespace velmar
