#include "channels/ChannelLabels.h"

#include "engine/Dispatch.h"
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

namespace {

std::string kindWord(int kind) {
    return kind == 0 ? "input" : kind == 1 ? "output" : "kind " + std::to_string(kind);
}

constexpr std::size_t kNotes = 10;

} // namespace

CLabelListRead::CLabelListRead(const std::vector<DeviceMessage>& requests, IDialogSink& next)
    : m_next(next), m_inputs(kLabelChannels + 1), m_outputs(kLabelChannels + 1) {
    for (const DeviceMessage& m : requests)
        if (m.command == CommandId::llabel)
            m_waiting[{m.i(1), m.i(2)}] = m.i(3);
}

std::string_view CLabelListRead::label(LabelKind kind, int channel) const {
    if (channel < 1 || channel > kLabelChannels)
        return {};
    const auto at = static_cast<std::size_t>(channel);
    return kind == LabelKind::Input ? m_inputs[at] : m_outputs[at];
}

void CLabelListRead::fail(std::string why) {
    if (!m_failure.empty())
        return;
    m_failure = std::move(why);
    if (m_onFailure)
        m_onFailure();
}

void CLabelListRead::onDeviceMessage(const DeviceMessage& message, bool isReply,
                                     const CResponseDecoder& decoder) {
    if (!isReply || message.command != CommandId::llabel) {
        m_next.onDeviceMessage(message, isReply, decoder); // a single label is not read here
        return;
    }
    const int kind = message.i(1);
    const int first = message.i(2);
    const auto it = m_waiting.find({kind, first});
    if (it == m_waiting.end()) {
        fail("the frame answered with " + kindWord(kind) + " labels from channel " +
             std::to_string(first) + " on, which were not asked for");
        return;
    }
    const int asked = it->second;
    const std::string block = "the " + kindWord(kind) + " labels of channels " +
                              std::to_string(first) + " .. " + std::to_string(first + asked - 1);
    m_waiting.erase(it);
    m_next.onDeviceMessage(message, isReply, decoder);
    if (message.status != 0) {
        fail("the frame refused " + block + " (status " + std::to_string(message.status) + ")");
        return;
    }
    const int count = message.i(3);
    std::array<CResponseDecoder::LabelEntry, CResponseDecoder::kLabelEntries> items{};
    if (count != asked || !decoder.copyLabelList(count, items)) {
        fail("the frame reported " + std::to_string(count) + " labels for " + block);
        return;
    }
    auto& table = kind != 0 ? m_outputs : m_inputs;
    for (int k = 0; k < count && first + k <= kLabelChannels; ++k)
        if (first + k >= 1)
            table[static_cast<std::size_t>(first + k)] = items[static_cast<std::size_t>(k)].view();
}

CLabelWriteCheck::CLabelWriteCheck(const std::vector<DeviceMessage>& requests, IDialogSink& next)
    : m_next(next) {
    for (const DeviceMessage& m : requests)
        if (m.command == CommandId::slabel)
            m_waiting.emplace(Key{m.i(1), m.i(2)}, std::string(m.text(3, 17)));
}

void CLabelWriteCheck::onDeviceMessage(const DeviceMessage& message, bool isReply,
                                       const CResponseDecoder& decoder) {
    const auto it = isReply && message.command == CommandId::slabel
                        ? m_waiting.find({message.i(1), message.i(2)})
                        : m_waiting.end();
    if (it == m_waiting.end()) {
        m_next.onDeviceMessage(message, isReply, decoder);
        return;
    }
    const std::string written = std::move(it->second);
    m_waiting.erase(it);
    const std::string where = "channel " + std::to_string(message.i(2));
    if (message.status != 0) {
        ++m_refused;
        if (m_refusals.size() < kNotes)
            m_refusals.push_back(where + " (status " + std::to_string(message.status) + ")");
        m_next.onDeviceMessage(message, isReply, decoder);
        return;
    }
    const std::string_view answered = message.text(3, 17);
    if (answered == written) {
        m_next.onDeviceMessage(message, isReply, decoder);
        return;
    }
    // The frame kept something else: not what was asked for.
    ++m_otherTexts;
    if (m_otherNotes.size() < kNotes)
        m_otherNotes.push_back(where + " " + kindWord(message.i(1)) + " '" + std::string(answered) +
                               "'");
    DeviceMessage refused = message;
    refused.status = kOtherText;
    m_next.onDeviceMessage(refused, isReply, decoder);
}

} // namespace velmar
