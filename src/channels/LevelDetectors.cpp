#include "channels/LevelDetectors.h"

#include "protocol/ResponseDecoder.h"

#include <cstdlib>
#include <utility>

namespace velmar {

namespace {

constexpr std::array<DetectorSide, 2> kSides{DetectorSide::Input, DetectorSide::Output};
constexpr std::int64_t kLevelLimit = 32767; // the whole part travels in 16 bits

DecimalValue wholeDb(std::int64_t db) {
    DecimalValue v;
    v.negative = db < 0;
    v.whole = static_cast<std::int16_t>(std::min<std::int64_t>(std::llabs(db), kLevelLimit));
    return v;
}

std::int64_t signedWhole(DecimalValue v) { return v.negative ? -v.whole : v.whole; }

// Whether the stored thresholds differ from what the fields would send.
bool thresholdsDiffer(const LevelDetector& d, const DetectorFields& f) {
    const DecimalValue l1 = wholeDb(f.level1);
    const DecimalValue l2 = wholeDb(f.level2);
    return d.time1 != f.time1 || d.time2 != f.time2 || d.level1.negative != l1.negative ||
           d.level2.negative != l2.negative || d.level1.whole != l1.whole ||
           d.level2.whole != l2.whole || d.level1.hundredths != 0 || d.level2.hundredths != 0;
}

bool thresholdsSet(const LevelDetector& d) {
    return d.time1 != 0 || d.time2 != 0 || d.level1.whole != 0 || d.level1.hundredths != 0 ||
           d.level2.whole != 0 || d.level2.hundredths != 0;
}

DeviceMessage channelRequest(CommandId id, int side, int channel) {
    DeviceMessage m = DeviceMessage::request(id);
    m.setI(1, side);
    m.setI(2, channel);
    return m;
}

} // namespace

std::int64_t maxTime(DetectorSide side, int stage) {
    return side == DetectorSide::Input && stage == 1 ? 600000 : 60000;
}

std::string fieldsProblem(DetectorSide side, const DetectorFields& fields) {
    const std::string name = side == DetectorSide::Input ? "Input" : "Output";
    for (int stage : {1, 2}) {
        const std::int64_t t = stage == 1 ? fields.time1 : fields.time2;
        if (t < 0 || t > maxTime(side, stage))
            return name + " time " + std::to_string(stage) + " must be 0 .. " +
                   std::to_string(maxTime(side, stage)) + " ms";
        const std::int64_t l = stage == 1 ? fields.level1 : fields.level2;
        if (l < -kLevelLimit || l > kLevelLimit)
            return name + " level " + std::to_string(stage) + " must be -" +
                   std::to_string(kLevelLimit) + " .. " + std::to_string(kLevelLimit) + " dB";
    }
    return {};
}

DeviceMessage thresholdRequest(DetectorSide side, int channel, const DetectorFields& fields) {
    DeviceMessage m = channelRequest(CommandId::slevdetthres, static_cast<int>(side), channel);
    m.setDecimal(3, wholeDb(fields.level1));
    m.setI(5, static_cast<std::int32_t>(fields.time1));
    m.setDecimal(6, wholeDb(fields.level2));
    m.setI(8, static_cast<std::int32_t>(fields.time2));
    return m;
}

DeviceMessage stateRequest(DetectorSide side, int channel, std::int32_t state) {
    DeviceMessage m = channelRequest(CommandId::slevdetstate, static_cast<int>(side), channel);
    m.setI(3, state);
    return m;
}

std::vector<DeviceMessage> statusListRequests(const ChannelRange& range) {
    std::vector<DeviceMessage> requests;
    for (DetectorSide side : kSides)
        for (int k = 0; k < range.rows() / kLevelDetectorBlock; ++k) {
            DeviceMessage m = channelRequest(CommandId::llevdetstatus, static_cast<int>(side),
                                             range.offset + kLevelDetectorBlock * k + 1);
            m.setI(3, kLevelDetectorBlock);
            requests.push_back(m);
        }
    return requests;
}

std::vector<DeviceMessage> levelDetectorOpeningRequests(const ChannelRange& range) {
    std::vector<DeviceMessage> requests;
    for (DetectorSide side : kSides)
        for (int n = range.offset + 1; n <= range.count; ++n)
            requests.push_back(channelRequest(CommandId::glevdetthres, static_cast<int>(side), n));
    for (DeviceMessage m : statusListRequests(range)) {
        m.command = CommandId::llevdetstate;
        requests.push_back(m);
    }
    for (const DeviceMessage& m : statusListRequests(range))
        requests.push_back(m);
    return requests;
}

CLevelDetectors::CLevelDetectors(const DeviceState& state, IQuestions& questions)
    : m_questions(questions), m_range(channelRangeOf(state)) {
    for (auto& side : m_detectors)
        side.resize(kLabelChannels + 1);
    rebuildRows();
}

LevelDetector* CLevelDetectors::detectorAt(int side, int channel) {
    if (channel < 1 || channel > kLabelChannels)
        return nullptr;
    return &m_detectors[side != 0 ? 1 : 0][static_cast<std::size_t>(channel)];
}

const LevelDetector& CLevelDetectors::detector(DetectorSide side, int channel) const {
    static const LevelDetector kNone;
    if (channel < 1 || channel > kLabelChannels)
        return kNone;
    return m_detectors[static_cast<std::size_t>(side)][static_cast<std::size_t>(channel)];
}

std::string CLevelDetectors::cellText(DetectorSide side, int channel) const {
    const LevelDetector& d = detector(side, channel);
    return std::to_string(d.time1) + ", " + detectorLevelText(d.level1) + ", " +
           std::to_string(d.time2) + ", " + detectorLevelText(d.level2) + ", " +
           std::to_string(d.state) + ", " + std::to_string(d.status);
}

void CLevelDetectors::rebuildRows() {
    m_rows.clear();
    for (int n = m_range.offset + 1; n <= m_range.count; ++n)
        if (!m_activeOnly || detector(DetectorSide::Input, n).state != 0 ||
            detector(DetectorSide::Output, n).state != 0)
            m_rows.push_back(n);
    m_full = true;
}

std::vector<std::string> CLevelDetectors::rowTexts(int row) const {
    if (row < 0 || row >= static_cast<int>(m_rows.size()))
        return {};
    const int n = m_rows[static_cast<std::size_t>(row)];
    return {std::to_string(n), channelTypeCell(m_range, n), cellText(DetectorSide::Input, n),
            cellText(DetectorSide::Output, n)};
}

void CLevelDetectors::setShowActiveOnly(bool on) {
    m_activeOnly = on;
    rebuildRows();
}

DetectorFields CLevelDetectors::fieldsOf(DetectorSide side, int channel) const {
    const LevelDetector& d = detector(side, channel);
    return {d.time1, signedWhole(d.level1), d.time2, signedWhole(d.level2), d.state != 0};
}

std::vector<DeviceMessage> CLevelDetectors::applyRequests(const std::vector<int>& channels,
                                                          const DetectorFields* input,
                                                          const DetectorFields* output) const {
    std::vector<DeviceMessage> requests;
    const std::array<const DetectorFields*, 2> fields{input, output};
    // PHD channels of a frame without PHD ports are listed and set like the
    // others: their detectors exist and the frame answers for them.
    for (int n : channels) {
        if (!m_range.listed(n))
            continue;
        for (DetectorSide side : kSides)
            if (const DetectorFields* f = fields[static_cast<std::size_t>(side)])
                if (thresholdsDiffer(detector(side, n), *f))
                    requests.push_back(thresholdRequest(side, n, *f));
        for (DetectorSide side : kSides)
            if (const DetectorFields* f = fields[static_cast<std::size_t>(side)])
                if ((detector(side, n).state != 0) != f->enable)
                    requests.push_back(stateRequest(side, n, f->enable ? 1 : 0));
    }
    return requests;
}

std::vector<DeviceMessage> CLevelDetectors::clearRequests(const std::vector<int>& channels,
                                                          bool input, bool output) const {
    std::vector<DeviceMessage> requests;
    const std::array<bool, 2> sides{input, output};
    for (int n : channels) {
        if (!m_range.listed(n))
            continue;
        for (DetectorSide side : kSides)
            if (sides[static_cast<std::size_t>(side)] && thresholdsSet(detector(side, n)))
                requests.push_back(thresholdRequest(side, n, DetectorFields{}));
        for (DetectorSide side : kSides)
            if (sides[static_cast<std::size_t>(side)] && detector(side, n).state != 0)
                requests.push_back(stateRequest(side, n, 0));
    }
    return requests;
}

std::vector<DeviceMessage> CLevelDetectors::applySide(DetectorSide side,
                                                      const DetectorFields& fields,
                                                      const std::vector<int>& selectedChannels) {
    m_notice = fieldsProblem(side, fields);
    if (!m_notice.empty())
        return {};
    const bool input = side == DetectorSide::Input;
    return applyRequests(selectedChannels, input ? &fields : nullptr, input ? nullptr : &fields);
}

std::vector<DeviceMessage> CLevelDetectors::applyAllPressed(const DetectorFields& input,
                                                            const DetectorFields& output) {
    m_notice = fieldsProblem(DetectorSide::Input, input);
    if (m_notice.empty())
        m_notice = fieldsProblem(DetectorSide::Output, output);
    if (!m_notice.empty() || !m_questions.askYesNo(kTitle, kApplyAllQuestion))
        return {};
    return applyRequests(m_rows, &input, &output);
}

std::vector<DeviceMessage> CLevelDetectors::clearAllPressed() {
    m_notice.clear();
    if (!m_questions.askYesNo(kTitle, kClearAllQuestion))
        return {};
    return clearRequests(m_rows, true, true);
}

std::vector<DetectorMenuItem>
CLevelDetectors::menu(const std::vector<int>& selectedChannels) const {
    std::vector<DetectorMenuItem> items;
    if (!selectedChannels.empty()) {
        items.push_back({DetectorMenuEntry::ClearSelectedIo, "Clear selected I/O"});
        items.push_back({DetectorMenuEntry::ClearSelectedInputs, "Clear selected inputs"});
        items.push_back({DetectorMenuEntry::ClearSelectedOutputs, "Clear selected outputs"});
        items.push_back({DetectorMenuEntry::Separator, {}});
    }
    items.push_back({DetectorMenuEntry::GetStatus, "Get status"});
    return items;
}

std::vector<DeviceMessage> CLevelDetectors::choose(DetectorMenuEntry entry,
                                                   const std::vector<int>& selectedChannels) {
    m_notice.clear();
    bool input = true;
    bool output = true;
    std::string_view question = "Clear selected channels";
    switch (entry) {
    case DetectorMenuEntry::GetStatus: return statusRequests();
    case DetectorMenuEntry::Separator: return {};
    case DetectorMenuEntry::ClearSelectedIo: break;
    case DetectorMenuEntry::ClearSelectedInputs:
        output = false;
        question = "Clear selected inputs";
        break;
    case DetectorMenuEntry::ClearSelectedOutputs:
        input = false;
        question = "Clear selected outputs";
        break;
    }
    if (selectedChannels.empty() || !m_questions.askYesNo(kTitle, question))
        return {};
    return clearRequests(selectedChannels, input, output);
}

std::vector<DeviceMessage> CLevelDetectors::statusRequests() const {
    if (!m_activeOnly)
        return statusListRequests(m_range);
    std::vector<DeviceMessage> requests;
    for (int n : m_rows)
        for (DetectorSide side : kSides)
            requests.push_back(channelRequest(CommandId::glevdetstatus, static_cast<int>(side), n));
    return requests;
}

bool CLevelDetectors::takeFullRefresh() {
    if (!m_full)
        return false;
    m_full = false;
    m_changed.clear();
    return true;
}

std::vector<int> CLevelDetectors::takeChangedChannels() { return std::exchange(m_changed, {}); }

void CLevelDetectors::changed(int channel) {
    if (m_range.listed(channel))
        m_changed.push_back(channel);
}

void CLevelDetectors::onDeviceMessage(const DeviceMessage& message, bool,
                                      const CResponseDecoder& decoder) {
    if (message.status != 0)
        return;
    const int side = message.i(1);
    switch (message.command) {
    case CommandId::glevdetthres:
    case CommandId::slevdetthres:
        if (LevelDetector* d = detectorAt(side, message.i(2))) {
            d->level1 = message.decimal(3);
            d->time1 = message.i(5);
            d->level2 = message.decimal(6);
            d->time2 = message.i(8);
            changed(message.i(2));
        }
        break;
    case CommandId::glevdetstate:
    case CommandId::slevdetstate:
    case CommandId::glevdetstatus:
        if (LevelDetector* d = detectorAt(side, message.i(2))) {
            (message.command == CommandId::glevdetstatus ? d->status : d->state) = message.i(3);
            changed(message.i(2));
        }
        break;
    case CommandId::llevdetstate:
    case CommandId::llevdetstatus: {
        const int first = message.i(2);
        const int count = message.i(3);
        std::array<std::int32_t, CResponseDecoder::kLevelDetectorEntries> items{};
        if (first < 1 || count < 1 || count > CResponseDecoder::kLevelDetectorEntries ||
            first + count - 1 > kLabelChannels || !decoder.copyLevelDetectorList(count, items))
            return;
        for (int k = 0; k < count; ++k) {
            LevelDetector* d = detectorAt(side, first + k);
            (message.command == CommandId::llevdetstatus ? d->status : d->state) =
                items[static_cast<std::size_t>(k)];
            changed(first + k);
        }
        break;
    }
    default: break;
    }
}

} // namespace velmar
