#include "engine/Crosspoints.h"

#include "engine/ChannelRange.h"
#include "engine/CodeTables.h"
#include "engine/XyBurst.h"
#include "protocol/ChannelNames.h"

#include <algorithm>
#include <cstdio>

namespace velmar {

namespace {

constexpr std::size_t at(int index) { return static_cast<std::size_t>(index); }

constexpr int kChannelsPerSlot = 64;
constexpr int kSecondBank = 1024;
constexpr int kFirstAes = 513;
constexpr int kFirstPhd1 = 529;
constexpr int kFirstPhd2 = 561;
constexpr int kFirstMadi = 593;
constexpr int kFirstSfp1 = 657;
constexpr int kFirstSfp2 = 785;
constexpr int kFirstIp = 913;
constexpr int kSfpHotlinkMode = 2;
constexpr int kCardModeHotlink = 2;
constexpr int kCardModeMadi = 1;

bool familyWithoutMatrix(int family) { return family == kFamily465 || family == kFamily450; }

std::string number(int value, int digits) {
    std::array<char, 16> buf{};
    const int n = std::snprintf(buf.data(), buf.size(), "%0*d", digits, value);
    return std::string(buf.data(), static_cast<std::size_t>(std::max(n, 0)));
}

std::string cardPrefix(int slot) { return "CARD" + std::to_string(slot) + "  "; }

// One run of consecutive channels under one name prefix. In Stereo an entry
// stands for a pair: half as many entries, names counting pairs, item data the
// left channel.
struct Block {
    std::string prefix;
    int firstChannel = 0;
    int count = 0;
    int firstName = 1; // mono numbering of the first entry (65 for a second block)
    int monoDigits = 2;
    int stereoDigits = 2;
};

void addBlock(std::vector<ChannelEntry>& out, const Block& b, bool stereo) {
    if (!stereo) {
        for (int k = 0; k < b.count; ++k)
            out.push_back({b.prefix + number(b.firstName + k, b.monoDigits), b.firstChannel + k});
        return;
    }
    const int firstPair = (b.firstName - 1) / 2 + 1;
    for (int p = 0; p < b.count / 2; ++p)
        out.push_back(
            {b.prefix + number(firstPair + p, b.stereoDigits) + "  L+R", b.firstChannel + 2 * p});
}

// The flow slot carrying IP channel `ipChannel` on that side, as "  -  Flow f-s".
std::string flowNote(const DeviceState& s, int side, int ipChannel) {
    const bool tx = side == kSideOutput;
    for (int flow = 1; flow <= kFlowCount; ++flow) {
        const bool present =
            tx ? s.live.txFlows[at(flow)].flow != 0 : s.live.rxFlows[at(flow)].flow != 0;
        if (!present)
            continue;
        const auto& slots = tx ? s.live.txFlowSlots[at(flow)] : s.live.rxFlowSlots[at(flow)];
        for (int slot = 0; slot < kFlowSlots; ++slot) {
            const FlowSlot& fs = slots[at(slot)];
            if (fs.flow != 0 && fs.channel == ipChannel)
                return "  -  Flow " + std::to_string(flow) + "-" + std::to_string(slot + 1);
        }
    }
    return {};
}

// How many channels a card offers on one side; 0 for none.
int cardChannelCount(const CardRecord& card, int side) {
    const bool input = side == kSideInput;
    switch (card.cardType) {
    case kCardTypeSdi: return 32;
    case kCardTypeAd: return input ? 8 : 0;
    case kCardTypeDa: return input ? 0 : 8;
    case kCardTypeAes: return 16;
    case kCardTypeMadi: return card.cardMode == 0 ? 0 : 64;
    case kCardTypeAd2: return input ? 2 : 0;
    default: return 64;
    }
}

void addCardChannels(std::vector<ChannelEntry>& out, const DeviceState& s, int side, int slotIndex,
                     bool stereo) {
    const CardRecord& card = s.settings.cards[at(slotIndex + 1)];
    const int count = cardChannelCount(card, side);
    if (count == 0)
        return;
    const bool madi = card.cardType == kCardTypeMadi;
    const bool eq = card.cardType == kCardTypeEq;
    const bool threeDigits =
        eq || (madi && (card.cardRedundancy == 0 || card.cardMode == kCardModeHotlink));
    const bool secondBlock =
        eq || (madi && (card.cardMode == kCardModeHotlink ||
                        (card.cardMode == kCardModeMadi && card.cardRedundancy == 0)));
    const int digits = threeDigits ? 3 : 2;
    Block b{cardPrefix(slotIndex + 1), kChannelsPerSlot * slotIndex + 1, count, 1, digits, digits};
    addBlock(out, b, stereo);
    if (secondBlock) {
        b.firstChannel += kSecondBank;
        b.firstName = kChannelsPerSlot + 1;
        addBlock(out, b, stereo);
    }
}

// MADI outputs offer 56 channels when the last mode value of the port is 0.
int madiCount(const DeviceState& s, int side, int madiPort) {
    if (side == kSideOutput && s.settings.madiOutMode[at(madiPort)].modes[3] == 0)
        return 56;
    return 64;
}

std::string_view cardSuffix(const CardRecord& card, int side) {
    switch (card.cardType) {
    case kCardTypeSdi: return " - SDI";
    case kCardTypeAd:
    case kCardTypeAd2: return side == kSideInput ? " - AD" : "";
    case kCardTypeDa: return side == kSideOutput ? " - DA" : "";
    case kCardTypeAes: return " - AES";
    case kCardTypeMadi: return card.cardMode != 0 ? " - MADI" : "";
    case kCardTypeEq: return " - EQ";
    default: return "";
    }
}

} // namespace

std::vector<TypeEntry> typeListFor(const DeviceState& s, int side) {
    std::vector<TypeEntry> out;
    if (familyWithoutMatrix(s.family))
        return out;
    out.push_back({"AES", kPortTypeAes});
    if (!s.noPhd())
        out.push_back({"PHD", kPortTypePhd});
    out.push_back({"MADI", kPortTypeMadi});
    if (s.sfpPresent()) {
        const auto sfp = [](int port, int mode) {
            return "SFP " + std::to_string(port) +
                   (mode == kSfpHotlinkMode ? " - HOTLINK" : " - MADI");
        };
        const int mode1 = s.settings.optMode[1].value;
        const int mode2 = s.settings.optMode[2].value;
        if (mode1 != 0)
            out.push_back({sfp(1, mode1), kPortTypeSfp1});
        if (s.settings.optRedundancy[0] == 0 && mode2 != 0)
            out.push_back({sfp(2, mode2), kPortTypeSfp2});
    }
    if (s.ipModulePresent())
        out.push_back({"IP", kPortTypeIp});
    if (s.family != kFamily461) {
        for (int slot = 1; slot <= kCardSlots; ++slot) {
            const std::string_view suffix = cardSuffix(s.settings.cards[at(slot)], side);
            if (!suffix.empty())
                out.push_back({cardPrefix(slot) + std::string(suffix), slot - 1});
        }
    }
    return out;
}

std::vector<ChannelEntry> channelListFor(const DeviceState& s, int side, int type, bool stereo) {
    std::vector<ChannelEntry> out;
    if (familyWithoutMatrix(s.family))
        return out;
    if (type >= 0 && type < kCardSlots) {
        addCardChannels(out, s, side, type, stereo);
        return out;
    }
    switch (type) {
    case kPortTypeAes: addBlock(out, {"AES  ", kFirstAes, 16}, stereo); break;
    case kPortTypePhd:
        if (s.settings.phdMode[0] != 0) {
            addBlock(out, {"PHD1  ", kFirstPhd1, 32}, stereo);
            addBlock(out, {"PHD2  ", kFirstPhd2, 32}, stereo);
        } else {
            addBlock(out, {"PHD  ", kFirstPhd1, 16}, stereo);
        }
        break;
    case kPortTypeMadi: addBlock(out, {"MADI  ", kFirstMadi, madiCount(s, side, 1)}, stereo); break;
    case kPortTypeSfp1:
    case kPortTypeSfp2: {
        const int port = type == kPortTypeSfp1 ? 1 : 2;
        const int first = port == 1 ? kFirstSfp1 : kFirstSfp2;
        const int mode = s.settings.optMode[at(port)].value;
        if (mode == kSfpHotlinkMode)
            addBlock(out, {"CHN  ", first, 128, 1, 3, 2}, stereo);
        else if (mode != 0)
            addBlock(out, {"CHN  ", first, madiCount(s, side, port + 1)}, stereo);
        break;
    }
    case kPortTypeIp:
        addBlock(out, {"IP  ", kFirstIp, 64}, stereo);
        if (s.ipModulePresent())
            for (ChannelEntry& e : out)
                e.text += flowNote(s, side, e.channel - kFirstIp + 1);
        break;
    default: break;
    }
    return out;
}

// ---- control panel ----------------------------------------------------------

bool CCrosspointPanel::allowed() const {
    return m_state.connected && !m_state.programming && !m_burst.running();
}

bool CCrosspointPanel::allowedOrSay(std::string_view button) {
    m_notice.clear();
    if (allowed())
        return true;
    m_notice = button;
    m_notice += !m_state.connected    ? ": not connected, nothing sent"
                : m_state.programming ? ": a firmware transfer is running, nothing sent"
                                      : ": an X-Y burst is running, nothing sent";
    return false;
}

void CCrosspointPanel::rebuildTypeLists() {
    for (int side : {kSideInput, kSideOutput}) {
        Side& s = m_sides[index(side)];
        s.types = typeListFor(m_state, side);
        if (s.types.empty()) {
            s = Side{};
            continue;
        }
        s.typeRow = 0;
        fillChannelList(side, kPortTypeAes);
    }
}

void CCrosspointPanel::fillChannelList(int side, int type) {
    Side& s = m_sides[index(side)];
    s.type = type;
    s.channels = channelListFor(m_state, side, type, m_stereo);
}

void CCrosspointPanel::selectType(int side, int row) {
    Side& s = m_sides[index(side)];
    if (row < 0 || row >= static_cast<int>(s.types.size()))
        return;
    s.typeRow = row;
    fillChannelList(side, s.types[at(row)].type);
}

void CCrosspointPanel::setStereo(bool stereo) {
    m_stereo = stereo;
    for (int side : {kSideInput, kSideOutput})
        if (m_sides[index(side)].type >= 0)
            fillChannelList(side, m_sides[index(side)].type);
}

bool CCrosspointPanel::refreshIpLists(int side) {
    if (m_sides[index(side)].type != kPortTypeIp)
        return false;
    fillChannelList(side, kPortTypeIp);
    return true;
}

void CCrosspointPanel::clear() { m_sides = {}; }

std::vector<int> CCrosspointPanel::selectedChannels(int side, std::span<const int> rows) const {
    const std::vector<ChannelEntry>& list = m_sides[index(side)].channels;
    std::vector<int> out;
    for (int row : rows.first(std::min<std::size_t>(rows.size(), kMaxSelected)))
        if (row >= 0 && row < static_cast<int>(list.size()))
            out.push_back(list[at(row)].channel);
    return out;
}

int CCrosspointPanel::connectSelected(std::span<const int> inputRows,
                                      std::span<const int> outputRows) {
    if (!allowedOrSay("Connect"))
        return 0;
    const std::vector<int> inputs = selectedChannels(kSideInput, inputRows);
    const std::vector<int> outputs = selectedChannels(kSideOutput, outputRows);
    if (inputs.empty() || outputs.empty()) {
        m_notice = inputs.empty() && outputs.empty()
                       ? "Connect: select an input and the outputs it should feed"
                   : inputs.empty() ? "Connect: select the input that should feed the outputs"
                                    : "Connect: select the outputs the input should feed";
        return 0;
    }
    // One input feeds every selected output; otherwise inputs and outputs pair
    // up in list order and the surplus of the longer selection is left alone.
    const std::size_t pairs =
        inputs.size() == 1 ? outputs.size() : std::min(inputs.size(), outputs.size());
    const int count = m_state.crosspointCount();
    int sent = 0;
    for (std::size_t k = 0; k < pairs; ++k) {
        const int output = outputs[k];
        const int input = inputs.size() == 1 ? inputs[0] : inputs[k];
        if (output <= 0 || output > count || input > count)
            continue;
        m_sink.sendRequest(crosspointRequest(output, input));
        ++sent;
        if (m_stereo) {
            m_sink.sendRequest(crosspointRequest(output + 1, input + 1));
            ++sent;
        }
    }
    return sent;
}

int CCrosspointPanel::disconnectSelected(std::span<const int> outputRows) {
    if (!allowedOrSay("Disconnect"))
        return 0;
    const std::vector<int> outputs = selectedChannels(kSideOutput, outputRows);
    if (outputs.empty()) {
        m_notice = "Disconnect: select the outputs to disconnect";
        return 0;
    }
    if (!m_questions.askYesNo(kTitle, kDisconnectQuestion) || !allowedOrSay("Disconnect"))
        return 0;
    const int count = m_state.crosspointCount();
    int sent = 0;
    for (int output : outputs) {
        if (output <= 0 || output > count)
            continue;
        m_sink.sendRequest(crosspointRequest(output, 0));
        ++sent;
        if (m_stereo) {
            m_sink.sendRequest(crosspointRequest(output + 1, 0));
            ++sent;
        }
    }
    return sent;
}

// ---- crosspoint list --------------------------------------------------------

namespace {

constexpr std::array<std::string_view, CCrosspointList::kRangeFilters> kRangeTitles = {
    "ALL",   "CARD1", "CARD2", "CARD3", "CARD4", "CARD5", "CARD6", "CARD7",
    "CARD8", "AES",   "PHD",   "MADI",  "SFP1",  "SFP2",  "IP",
};

struct Span {
    int first;
    int last;
};

constexpr std::array<Span, 6> kPortRanges = {{
    {513, 528},
    {529, 592},
    {593, 656},
    {657, 784},
    {785, 912},
    {913, 976},
}};

} // namespace

int CCrosspointList::outputAt(int row) const {
    return row >= 0 && row < rowCount() ? m_rows[at(row)].output : 0;
}

int CCrosspointList::inputAt(int row) const {
    return row >= 0 && row < rowCount() ? m_rows[at(row)].input : 0;
}

std::string CCrosspointList::text(int row, int column) const {
    if (row < 0 || row >= rowCount())
        return {};
    switch (column) {
    // The frame's labels stand beside the channel names once they are known.
    case 1: {
        const int input = m_rows[at(row)].input;
        return input >= 1 && input <= kLabelChannels
                   ? labelledChannelName(input, m_state.settings.inputLabels[at(input)].view())
                   : channelDisplayName(input);
    }
    case 2: {
        const int output = m_rows[at(row)].output;
        return output >= 1 && output <= kLabelChannels
                   ? labelledChannelName(output, m_state.settings.outputLabels[at(output)].view())
                   : channelDisplayName(output);
    }
    default: return {};
    }
}

std::string_view CCrosspointList::headerTitle(int column) const {
    switch (column) {
    case 0: return kRangeTitles[at(m_rangeFilter)];
    case 1: return kInputTitle;
    case 2: return kOutputTitle;
    default: return {};
    }
}

bool CCrosspointList::inRange(int output) const {
    if (output < 1 || output > m_state.crosspointCount())
        return false;
    if (m_rangeFilter == 0)
        return true;
    if (m_rangeFilter <= kCardSlots) {
        const int first = kChannelsPerSlot * (m_rangeFilter - 1) + 1;
        const int last = kChannelsPerSlot * m_rangeFilter;
        return (output >= first && output <= last) ||
               (output >= first + kSecondBank && output <= last + kSecondBank);
    }
    const Span& span = kPortRanges[at(m_rangeFilter - kCardSlots - 1)];
    return output >= span.first && output <= span.last;
}

bool CCrosspointList::rangeExists(int filter) const {
    const DeviceSettings& s = m_state.settings;
    if (filter >= 1 && filter <= kCardSlots)
        return m_state.family == kFamily460 &&
               s.hwConf[at(kModuleFirstCard - 1 + filter)].present != 0;
    switch (filter) {
    case 12: return m_state.family != kFamily461 && s.optMode[1].value != 0;
    case 13:
        return m_state.family != kFamily461 && s.optMode[2].value != 0 && s.optRedundancy[0] == 0;
    default: return true;
    }
}

void CCrosspointList::toggleSort(int mode) { m_sortMode = m_sortMode == mode ? kSortNone : mode; }

void CCrosspointList::clear() {
    // A range chosen on one frame may not exist on the next, and would hide
    // rows there without a word.
    if (m_state.connected && m_state.deviceAddress != m_filterFrame) {
        m_filterFrame = m_state.deviceAddress;
        m_rangeFilter = 0;
    }
    if (m_signals != nullptr)
        m_signals->beginReset();
    m_rows.clear();
    if (m_signals != nullptr)
        m_signals->endReset();
}

CCrosspointList::Change CCrosspointList::redrawAll(int mode) {
    toggleSort(mode);
    if (m_signals != nullptr)
        m_signals->beginReset();
    m_rows.clear();
    const int count = m_state.crosspointCount();
    for (int output = 1; output <= count; ++output) {
        const int input = m_state.live.crosspoints[at(output)];
        if (input > 0 && inRange(output))
            m_rows.push_back({output, input});
    }
    if (m_sortMode == kSortByInput)
        std::stable_sort(m_rows.begin(), m_rows.end(), [](const Row& a, const Row& b) {
            return a.input != b.input ? a.input < b.input : a.output < b.output;
        });
    if (m_signals != nullptr)
        m_signals->endReset();
    return {.reset = true};
}

CCrosspointList::Change CCrosspointList::redrawOutput(int output, int mode) {
    toggleSort(mode);
    Change change;
    if (!inRange(output))
        return change;
    const auto it = std::find_if(m_rows.begin(), m_rows.end(),
                                 [output](const Row& r) { return r.output == output; });
    if (it != m_rows.end()) {
        change.removedRow = static_cast<int>(it - m_rows.begin());
        if (m_signals != nullptr)
            m_signals->beginRemove(change.removedRow);
        m_rows.erase(it);
        if (m_signals != nullptr)
            m_signals->endRemove();
    }
    const int input = m_state.live.crosspoints[at(output)];
    if (input > 0) {
        if (m_signals != nullptr)
            m_signals->beginAppend(rowCount());
        m_rows.push_back({output, input});
        if (m_signals != nullptr)
            m_signals->endAppend();
        change.appended = true;
    }
    return change;
}

CCrosspointList::Change CCrosspointList::headerClicked(int column) {
    switch (column) {
    case 0:
        // Range 0 always exists, so this ends within one round.
        do {
            m_rangeFilter = (m_rangeFilter + 1) % kRangeFilters;
        } while (!rangeExists(m_rangeFilter));
        return redrawAll(kSortByOutput);
    case 1: return redrawAll(kSortByInput);
    case 2: return redrawAll(kSortByOutput);
    default: return {};
    }
}

std::string CCrosspointList::summary() const {
    const int count = m_state.crosspointCount();
    int connected = 0;
    for (int output = 1; output <= count; ++output)
        if (m_state.live.crosspoints[at(output)] > 0)
            ++connected;
    std::string text(kRangeTitles[at(m_rangeFilter)]);
    text += ": " + std::to_string(rowCount()) + " of " + std::to_string(connected);
    return text;
}

bool CCrosspointList::menuAvailable(std::span<const int> selectedRows) const {
    return m_state.connected && !selectedRows.empty();
}

int CCrosspointList::disconnectSelectedRows(std::span<const int> selectedRows) {
    const auto allowed = [this] {
        return m_state.connected && !m_state.programming && !m_burst.running();
    };
    if (!allowed() || selectedRows.empty())
        return 0;
    if (!m_questions.askYesNo(kTitle, kDisconnectQuestion) || !allowed())
        return 0;
    std::vector<int> outputs;
    for (int row : selectedRows)
        if (const int output = outputAt(row); output >= 1 && output <= m_state.crosspointCount())
            outputs.push_back(output);
    for (auto it = outputs.rbegin(); it != outputs.rend(); ++it)
        m_sink.sendRequest(crosspointRequest(*it, 0));
    return static_cast<int>(outputs.size());
}

} // namespace velmar
