#include "channels/ChannelLabels.h"

#include "main/Dispatch.h"
#include "protocol/ResponseDecoder.h"
#include "protocol/WireText.h"

#include <array>
#include <utility>

namespace velmar {

namespace {

constexpr std::array<LabelKind, 2> kKinds{LabelKind::Input, LabelKind::Output};

std::string fourDigits(int n) {
    std::string digits = std::to_string(n);
    if (digits.size() < 4)
        digits.insert(0, 4 - digits.size(), '0');
    return digits;
}

} // namespace

DeviceMessage labelRequest(LabelKind kind, int channel, std::string_view text) {
    DeviceMessage m = DeviceMessage::request(CommandId::slabel);
    m.setI(1, static_cast<int>(kind));
    m.setI(2, channel);
    m.setText(3, 17, text);
    return m;
}

std::vector<DeviceMessage> labelOpeningRequests(const ChannelRange& range) {
    std::vector<DeviceMessage> requests;
    for (int k = 0; k < range.rows() / kLabelBlock; ++k)
        for (LabelKind kind : kKinds) {
            DeviceMessage m = DeviceMessage::request(CommandId::llabel);
            m.setI(1, static_cast<int>(kind));
            m.setI(2, range.offset + kLabelBlock * k + 1);
            m.setI(3, kLabelBlock);
            requests.push_back(m);
        }
    return requests;
}

std::string defaultLabel(LabelKind kind, int channel) {
    return (kind == LabelKind::Input ? "SOURCE-" : "DESTINATION-") + fourDigits(channel);
}

std::vector<DeviceMessage> defaultLabelRequests(const ChannelRange& range) {
    std::vector<DeviceMessage> requests;
    for (LabelKind kind : kKinds)
        for (int n = range.offset + 1; n <= range.count; ++n)
            if (!range.blocked(n))
                requests.push_back(labelRequest(kind, n, defaultLabel(kind, n)));
    return requests;
}

std::vector<DeviceMessage> clearLabelRequests(const ChannelRange& range) {
    std::vector<DeviceMessage> requests;
    for (LabelKind kind : kKinds)
        for (int n = range.offset + 1; n <= range.count; ++n)
            requests.push_back(labelRequest(kind, n, {}));
    return requests;
}

CChannelLabels::CChannelLabels(const DeviceState& state, IRequestSink& sink, IQuestions& questions)
    : m_state(state), m_sink(sink), m_questions(questions), m_range(channelRangeOf(state)),
      m_inputs(kLabelChannels + 1), m_outputs(kLabelChannels + 1) {
    for (int n = 1; n <= kLabelChannels; ++n) {
        copyLabel(LabelKind::Input, n);
        copyLabel(LabelKind::Output, n);
    }
}

void CChannelLabels::copyLabel(LabelKind kind, int channel) {
    const auto at = static_cast<std::size_t>(channel);
    if (kind == LabelKind::Input)
        m_inputs[at] = m_state.settings.inputLabels[at].view();
    else
        m_outputs[at] = m_state.settings.outputLabels[at].view();
}

std::string_view CChannelLabels::label(LabelKind kind, int channel) const {
    if (channel < 1 || channel > kLabelChannels)
        return {};
    const auto at = static_cast<std::size_t>(channel);
    return kind == LabelKind::Input ? m_inputs[at] : m_outputs[at];
}

std::vector<std::string> CChannelLabels::rowTexts(int row) const {
    const int n = m_range.channelOfRow(row);
    return {std::to_string(n), channelTypeCell(m_range, n), std::string(label(LabelKind::Input, n)),
            std::string(label(LabelKind::Output, n))};
}

int CChannelLabels::apply(int channel, std::string_view input, std::string_view output) {
    m_notice.clear();
    if (!m_range.listed(channel) || m_range.blocked(channel)) {
        m_notice = "Channel " + std::to_string(channel) + " cannot be labelled on this frame.";
        return 0;
    }
    for (auto [kind, text] : {std::pair{"Input", input}, std::pair{"Output", output}})
        if (auto problem = sendableTextProblem(text, kLabelLength)) {
            m_notice = std::string(kind) + " label " + *problem + "; nothing was sent.";
            return 0;
        }
    if (!m_state.connected) {
        m_notice = "Not connected; nothing was sent.";
        return 0;
    }
    int sent = 0;
    if (input != label(LabelKind::Input, channel)) {
        m_sink.sendRequest(labelRequest(LabelKind::Input, channel, input));
        ++sent;
    }
    if (output != label(LabelKind::Output, channel)) {
        m_sink.sendRequest(labelRequest(LabelKind::Output, channel, output));
        ++sent;
    }
    return sent;
}

std::vector<DeviceMessage> CChannelLabels::clearAllPressed() {
    if (!m_questions.askYesNo(kTitle, kClearQuestion))
        return {};
    return clearLabelRequests(m_range);
}

std::vector<DeviceMessage> CChannelLabels::defaultAllPressed() {
    if (!m_questions.askYesNo(kTitle, kDefaultQuestion))
        return {};
    return defaultLabelRequests(m_range);
}

bool CChannelLabels::takeFullRefresh() {
    if (!m_full)
        return false;
    m_full = false;
    m_changed.clear();
    return true;
}

std::vector<int> CChannelLabels::takeChangedChannels() { return std::exchange(m_changed, {}); }

void CChannelLabels::onDeviceMessage(const DeviceMessage& message, bool, const CResponseDecoder&) {
    // The dispatch has stored the labels in DeviceState already.
    const auto kind = message.i(1) != 0 ? LabelKind::Output : LabelKind::Input;
    if (message.command == CommandId::glabel || message.command == CommandId::slabel) {
        const int n = message.i(2);
        if (n < 1 || n > kLabelChannels || message.status != 0)
            return;
        copyLabel(kind, n);
        if (m_range.listed(n))
            m_changed.push_back(n);
    } else if (message.command == CommandId::llabel) {
        const int first = message.i(2);
        const int count = message.i(3);
        if (labelBlockEndsTables(first, count, m_range.count)) {
            for (int n = 1; n <= kLabelChannels; ++n) {
                copyLabel(LabelKind::Input, n);
                copyLabel(LabelKind::Output, n);
            }
            m_full = true;
            return;
        }
        for (int n = first; n < first + count && n <= kLabelChannels; ++n) {
            if (n < 1)
                continue;
            copyLabel(kind, n);
            if (m_range.listed(n))
                m_changed.push_back(n);
        }
    }
}

bool CChannelLabels::edited(int channel, std::string_view input, std::string_view output) const {
    return m_range.listed(channel) && !m_range.blocked(channel) &&
           (input != label(LabelKind::Input, channel) ||
            output != label(LabelKind::Output, channel));
}

} // namespace velmar
