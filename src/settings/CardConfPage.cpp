#include "settings/CardConfPage.h"

#include "engine/CodeTables.h"
#include "settings/SettingsPages.h"

#include <algorithm>
#include <array>

namespace velmar {

namespace {

using Texts = std::vector<std::string_view>;

const Texts kEnable{"disable", "enable"};
const Texts kTxRate{"48 kHz", "44.1 kHz", "32 kHz"};
const Texts kEmbedMode{"remove", "pass", "insert sync", "insert async", "use SRC"};
const Texts kAdMode{"line", "mic"};
const Texts kMute{"unmute", "mute"};
const Texts kPhantom{"off", "on"};
const Texts kPhase{"normal", "invert"};
const Texts kInterface{"disabled", "madi", "hotlink"};
const Texts kRedundancyMode{"automatic", "sfp 1 active", "sfp 2 active"};
const Texts kMadiInput{"auto", "as internal"};
const Texts kFrameRate{"high", "legacy"};
const Texts kChannelStatus{"transparent", "default"};
const Texts kChannelCount{"56 ch", "64 ch"};
const Texts kDsdMode{"native", "dsd over pcm"};
const Texts kHotlink{"internal", "external"};

constexpr int kSdiPorts = 2;
constexpr int kSdiRowsPerPort = 10;
constexpr int kAdRowsPerChannel = 6;
constexpr int kDaRowsPerChannel = 3;
constexpr int kMadiHeadRows = 3;
constexpr int kMadiRowsPerPort = 6;
constexpr int kInterfaceMadi = 1;
constexpr int kInterfaceHotlink = 2;

// The text for a stored value; a value the list has no entry for shows
// nothing, and a row without text is not read back, so it stays as it was.
std::string textOf(const Texts& texts, std::int32_t value) {
    return value >= 0 && value < static_cast<std::int32_t>(texts.size())
               ? std::string(texts[static_cast<std::size_t>(value)])
               : std::string{};
}

// The stored value for a text: its position, or 0 for a text the list does not hold.
std::int32_t valueOf(const Texts& texts, std::string_view text) {
    const auto it = std::find(texts.begin(), texts.end(), text);
    return it == texts.end() ? 0 : static_cast<std::int32_t>(it - texts.begin());
}

int adChannels(int cardType) { return cardType == kCardTypeAd2 ? 2 : kCardChannels; }

// What one row of a card's list is, by its position.
enum class Kind {
    None,
    SdiEmbedder,
    SdiTxRate,
    SdiGroupMode,
    SdiRxSrc,
    AdMode,
    AdMute,
    AdPhantom,
    AdPhase,
    AdMicLevel,
    AdLineLevel,
    DaLevel,
    DaMute,
    DaDsdFilter,
    AesRxSrc,
    MadiInterface,
    MadiRedundancy,
    MadiRedundancyMode,
    MadiInput,
    MadiRxSrc,
    MadiFrameRate,
    MadiChannelStatus,
    MadiChannelCount,
    MadiDsd,
};

struct RowRef {
    Kind kind = Kind::None;
    int channel = 0; // channel or port, from 1
    int group = 0;   // SDI group, from 1
};

RowRef rowRef(int cardType, int row) {
    if (row < 0)
        return {};
    switch (cardType) {
    case kCardTypeSdi: {
        const int port = row / kSdiRowsPerPort + 1;
        const int r = row % kSdiRowsPerPort;
        if (port > kSdiPorts)
            return {};
        if (r == 0)
            return {Kind::SdiEmbedder, port};
        if (r == 1)
            return {Kind::SdiTxRate, port};
        if (r < 6)
            return {Kind::SdiGroupMode, port, r - 1};
        return {Kind::SdiRxSrc, port, r - 5};
    }
    case kCardTypeAd:
    case kCardTypeAd2: {
        const int channel = row / kAdRowsPerChannel + 1;
        if (channel > adChannels(cardType))
            return {};
        static constexpr Kind kKinds[] = {Kind::AdMode,  Kind::AdMute,     Kind::AdPhantom,
                                          Kind::AdPhase, Kind::AdMicLevel, Kind::AdLineLevel};
        return {kKinds[row % kAdRowsPerChannel], channel};
    }
    case kCardTypeDa: {
        const int channel = row / kDaRowsPerChannel + 1;
        if (channel > kCardChannels)
            return {};
        static constexpr Kind kKinds[] = {Kind::DaLevel, Kind::DaMute, Kind::DaDsdFilter};
        return {kKinds[row % kDaRowsPerChannel], channel};
    }
    case kCardTypeAes: return row < kCardChannels ? RowRef{Kind::AesRxSrc, row + 1} : RowRef{};
    case kCardTypeMadi: {
        if (row < kMadiHeadRows) {
            static constexpr Kind kKinds[] = {Kind::MadiInterface, Kind::MadiRedundancy,
                                              Kind::MadiRedundancyMode};
            return {kKinds[row]};
        }
        const int port = (row - kMadiHeadRows) / kMadiRowsPerPort + 1;
        if (port > 2)
            return {};
        static constexpr Kind kKinds[] = {Kind::MadiInput,        Kind::MadiRxSrc,
                                          Kind::MadiFrameRate,    Kind::MadiChannelStatus,
                                          Kind::MadiChannelCount, Kind::MadiDsd};
        return {kKinds[(row - kMadiHeadRows) % kMadiRowsPerPort], port};
    }
    default: return {};
    }
}

const Texts* textsOf(Kind kind) {
    switch (kind) {
    case Kind::SdiEmbedder:
    case Kind::SdiRxSrc:
    case Kind::DaDsdFilter:
    case Kind::AesRxSrc:
    case Kind::MadiRedundancy:
    case Kind::MadiRxSrc: return &kEnable;
    case Kind::SdiTxRate: return &kTxRate;
    case Kind::SdiGroupMode: return &kEmbedMode;
    case Kind::AdMode: return &kAdMode;
    case Kind::AdMute:
    case Kind::DaMute: return &kMute;
    case Kind::AdPhantom: return &kPhantom;
    case Kind::AdPhase: return &kPhase;
    case Kind::MadiInterface: return &kInterface;
    case Kind::MadiRedundancyMode: return &kRedundancyMode;
    case Kind::MadiInput: return &kMadiInput;
    case Kind::MadiFrameRate: return &kFrameRate;
    case Kind::MadiChannelStatus: return &kChannelStatus;
    case Kind::MadiChannelCount: return &kChannelCount;
    case Kind::MadiDsd: return &kDsdMode;
    default: return nullptr; // the levels
    }
}

std::string_view parameterName(Kind kind, int group) {
    static constexpr std::string_view kGroupModes[] = {
        "Tx embedder mode group 1", "Tx embedder mode group 2", "Tx embedder mode group 3",
        "Tx embedder mode group 4"};
    static constexpr std::string_view kRxGroups[] = {"Rx SRC group 1", "Rx SRC group 2",
                                                     "Rx SRC group 3", "Rx SRC group 4"};
    switch (kind) {
    case Kind::SdiEmbedder: return "Embedder";
    case Kind::SdiTxRate: return "Tx sample rate";
    case Kind::SdiGroupMode: return kGroupModes[group - 1];
    case Kind::SdiRxSrc: return kRxGroups[group - 1];
    case Kind::AdMode: return "Mode";
    case Kind::AdMute:
    case Kind::DaMute: return "State";
    case Kind::AdPhantom: return "Phantom power";
    case Kind::AdPhase: return "Phase";
    case Kind::AdMicLevel: return "Mic clipping level";
    case Kind::AdLineLevel: return "Line clipping level";
    case Kind::DaLevel: return "Max output level";
    case Kind::DaDsdFilter: return "DSD filter";
    case Kind::AesRxSrc: return "Rx SRC";
    case Kind::MadiInterface: return "Interface type";
    case Kind::MadiRedundancy: return "SFP redundancy";
    case Kind::MadiRedundancyMode: return "Redundancy mode";
    case Kind::MadiInput: return "Input mode / sample rate";
    case Kind::MadiRxSrc: return "Rx SRC";
    case Kind::MadiFrameRate: return "Output mode / frame rate";
    case Kind::MadiChannelStatus: return "Output channel status";
    case Kind::MadiChannelCount: return "Output channel count";
    case Kind::MadiDsd: return "Output DSD mode";
    case Kind::None: break;
    }
    return {};
}

int rowCount(int cardType) {
    switch (cardType) {
    case kCardTypeSdi: return kSdiPorts * kSdiRowsPerPort;
    case kCardTypeAd:
    case kCardTypeAd2: return adChannels(cardType) * kAdRowsPerChannel;
    case kCardTypeDa: return kCardChannels * kDaRowsPerChannel;
    case kCardTypeAes: return kCardChannels;
    case kCardTypeMadi: return kMadiHeadRows + 2 * kMadiRowsPerPort;
    default: return 0;
    }
}

// The value a row shows for a card.
std::string rowValue(const CardRecord& card, const RowRef& r) {
    const CardChannel& c = card.channels[static_cast<std::size_t>(std::clamp(r.channel, 0, 8))];
    const auto g = static_cast<std::size_t>(r.group);
    switch (r.kind) {
    case Kind::SdiEmbedder: return textOf(kEnable, c.embedderEnable);
    case Kind::SdiTxRate: return textOf(kTxRate, c.txSourceRate);
    case Kind::SdiGroupMode: return textOf(kEmbedMode, c.embedMode[g]);
    case Kind::SdiRxSrc: return textOf(kEnable, c.rxSourceEnable[g]);
    case Kind::AdMode: return textOf(kAdMode, c.inputMode);
    case Kind::AdMute: return textOf(kMute, c.adMute);
    case Kind::AdPhantom: return textOf(kPhantom, c.phantomPower);
    case Kind::AdPhase: return textOf(kPhase, c.phase);
    case Kind::AdMicLevel: return levelText(c.micLevel);
    case Kind::AdLineLevel: return levelText(c.lineLevel);
    case Kind::DaLevel: return levelText(c.outputLevel);
    case Kind::DaMute: return textOf(kMute, c.daMute);
    case Kind::DaDsdFilter: return textOf(kEnable, c.dsdFilter);
    case Kind::AesRxSrc: return textOf(kEnable, c.aesRxSourceEnable);
    case Kind::MadiInterface:
        return std::string(card.cardMode == kInterfaceMadi      ? kInterface[1]
                           : card.cardMode == kInterfaceHotlink ? kInterface[2]
                                                                : kInterface[0]);
    case Kind::MadiRedundancy: return textOf(kEnable, card.cardRedundancy);
    case Kind::MadiRedundancyMode: {
        const std::string t = textOf(kRedundancyMode, card.cardRedundancyValue);
        return t.empty() ? std::string(kRedundancyMode[0]) : t;
    }
    default: break;
    }
    // The port rows of a MADI / Hotlink card.
    if (card.cardMode == kInterfaceHotlink) {
        if (r.channel != 1)
            return {};
        if (r.kind == Kind::MadiInput)
            return textOf(kHotlink, card.hotlinkInMode);
        if (r.kind == Kind::MadiFrameRate)
            return textOf(kHotlink, card.hotlinkOutMode);
        return {};
    }
    if (card.cardMode != kInterfaceMadi)
        return {};
    // Under redundancy both ports carry port 1's settings.
    const CardChannel& p = card.cardRedundancy != 0 ? card.channels[1] : c;
    switch (r.kind) {
    case Kind::MadiInput: return textOf(kMadiInput, p.madiInMode);
    case Kind::MadiRxSrc: return textOf(kEnable, p.madiRxSourceEnable);
    case Kind::MadiFrameRate: return textOf(kFrameRate, p.madiOutMode[1]);
    case Kind::MadiChannelStatus: return textOf(kChannelStatus, p.madiOutMode[0]);
    case Kind::MadiChannelCount: return textOf(kChannelCount, p.madiOutMode[2]);
    case Kind::MadiDsd: return textOf(kDsdMode, p.madiDsdMode);
    default: return {};
    }
}

std::string channelText(const RowRef& r) {
    return r.channel == 0 ? std::string("both") : std::to_string(r.channel);
}

// Reads one row's text back into the card; true when the row was one the
// page stores.
void storeRow(CardRecord& card, const RowRef& r, std::string_view text) {
    CardChannel& c = card.channels[static_cast<std::size_t>(std::clamp(r.channel, 0, 8))];
    const auto g = static_cast<std::size_t>(r.group);
    const auto flag = [text](std::string_view on) { return text == on ? 1 : 0; };
    switch (r.kind) {
    case Kind::SdiEmbedder: c.embedderEnable = flag("enable"); break;
    case Kind::SdiTxRate:
        c.txSourceRate = text == kTxRate[0] ? 0 : text == kTxRate[1] ? 1 : 2;
        break;
    case Kind::SdiGroupMode: c.embedMode[g] = valueOf(kEmbedMode, text); break;
    case Kind::SdiRxSrc: c.rxSourceEnable[g] = flag("enable"); break;
    case Kind::AdMode: c.inputMode = flag("mic"); break;
    case Kind::AdMute: c.adMute = flag("mute"); break;
    case Kind::AdPhantom: c.phantomPower = flag("on"); break;
    case Kind::AdPhase: c.phase = flag("invert"); break;
    case Kind::DaMute: c.daMute = flag("mute"); break;
    case Kind::DaDsdFilter: c.dsdFilter = flag("enable"); break;
    case Kind::AesRxSrc: c.aesRxSourceEnable = flag("enable"); break;
    case Kind::MadiInterface: card.cardMode = valueOf(kInterface, text); break;
    case Kind::MadiRedundancy: card.cardRedundancy = flag("enable"); break;
    case Kind::MadiRedundancyMode: card.cardRedundancyValue = valueOf(kRedundancyMode, text); break;
    default: break; // levels are never written here; port rows below
    }
    if (r.kind < Kind::MadiInput)
        return;
    if (card.cardMode == kInterfaceHotlink) {
        if (r.kind == Kind::MadiInput && r.channel == 1)
            card.hotlinkInMode = flag("external");
        return;
    }
    if (card.cardMode != kInterfaceMadi)
        return;
    switch (r.kind) {
    case Kind::MadiInput: c.madiInMode = flag("as internal"); break;
    case Kind::MadiRxSrc: c.madiRxSourceEnable = flag("enable"); break;
    case Kind::MadiFrameRate: c.madiOutMode[1] = flag("legacy"); break;
    case Kind::MadiChannelStatus: c.madiOutMode[0] = flag("default"); break;
    case Kind::MadiChannelCount: c.madiOutMode[2] = flag("64 ch"); break;
    case Kind::MadiDsd: c.madiDsdMode = flag("dsd over pcm"); break;
    default: break;
    }
}

} // namespace

std::string levelText(const DecimalValue& level) {
    std::string out = level.negative ? "-" : "";
    out += std::to_string(level.whole);
    out += '.';
    if (level.hundredths >= 0 && level.hundredths < 10)
        out += '0';
    out += std::to_string(level.hundredths);
    return out;
}

std::vector<CardParamRow> cardParameterRows(const CardRecord& card) {
    std::vector<CardParamRow> rows;
    const int count = rowCount(card.cardType);
    rows.reserve(static_cast<std::size_t>(count));
    for (int row = 0; row < count; ++row) {
        const RowRef r = rowRef(card.cardType, row);
        rows.push_back({channelText(r), parameterName(r.kind, r.group), rowValue(card, r)});
    }
    return rows;
}

bool cardSlotsShown(int family) { return family == 0 || family == 3 || family == 5; }

std::string_view cardDescription(std::string_view partNumber) {
    static constexpr std::pair<std::string_view, std::string_view> kBoards[] = {
        {"460210", "SDI emb-/deembedder with SRC"},
        {"460130", "AD converter"},
        {"460132", "AD converter"},
        {"460230", "DA converter"},
        {"460240", "AES with SRC"},
        {"460250", "MADI dual / Hotlink"},
        {"460260", "Dante IP audio with SRC"},
        {"460610", "EQ"},
    };
    const std::string_view prefix = partNumber.substr(0, 6);
    for (const auto& [code, text] : kBoards)
        if (prefix == code)
            return text;
    return {};
}

std::vector<CardSlotRow> cardSlotRows(const DeviceSettings& s, bool available) {
    std::vector<CardSlotRow> rows;
    if (!available)
        return rows;
    for (int slot = 1; slot <= kCardSlots; ++slot) {
        CardSlotRow row;
        row.slot = std::to_string(slot);
        const HwConfRecord& hw = s.hwConf[static_cast<std::size_t>(slot + 8)];
        row.fitted = hw.present != 0;
        if (row.fitted) {
            const std::string_view part = hw.boardCode.view();
            row.type = std::string(part.substr(0, 9));
            row.description = std::string(cardDescription(part));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

// ---- the page ----

void CCardConfPage::distribute(const DeviceSettings& s, const SettingsDialogInputs& in) {
    m_cards = s.cards;
    m_hwConf = s.hwConf;
    m_available = cardSlotsShown(in.family);
}

void CCardConfPage::gather(DeviceSettings& s) const { s.cards = m_cards; }

void CCardConfPage::load() {
    DeviceSettings view;
    view.hwConf = m_hwConf;
    slots = cardSlotRows(view, m_available);
    slotsEnabled = m_available;
    params.clear();
    paramsEnabled = false;
    m_selected = -1;
    m_highlighted = -1;
    m_contextType = 0;
    m_contextInterface = 1;
}

int CCardConfPage::slotOfRow(int row) const {
    return row >= 0 && row < static_cast<int>(slots.size()) &&
                   slots[static_cast<std::size_t>(row)].fitted
               ? row + 1
               : 0;
}

void CCardConfPage::selectSlot(int row) {
    if (!m_available || row < 0 || row >= static_cast<int>(slots.size()))
        return;
    if (m_selected >= 0) {
        storeSlot(slotOfRow(m_selected));
        m_highlighted = -1;
        m_contextType = 0;
        m_contextInterface = 1;
    }
    const int slot = slotOfRow(row);
    if (slot > 0) {
        const CardRecord& card = m_cards[static_cast<std::size_t>(slot)];
        m_highlighted = row;
        m_contextType = card.cardType;
        m_contextInterface = card.cardMode;
    }
    paramsEnabled = slot > 0;
    if (row != m_selected) {
        params.clear();
        if (slot > 0)
            params = cardParameterRows(m_cards[static_cast<std::size_t>(slot)]);
        m_selected = row;
    }
}

void CCardConfPage::store() {
    if (m_selected >= 0)
        storeSlot(slotOfRow(m_selected));
}

void CCardConfPage::storeSlot(int slot) {
    if (slot <= 0)
        return;
    CardRecord& card = m_cards[static_cast<std::size_t>(slot)];
    // The interface type row goes first: the port rows are read by it.
    for (int pass = 0; pass < 2; ++pass)
        for (int row = 0; row < static_cast<int>(params.size()); ++row) {
            const RowRef r = rowRef(card.cardType, row);
            const bool head = r.kind == Kind::MadiInterface;
            if ((pass == 0) != head || params[static_cast<std::size_t>(row)].value.empty())
                continue;
            storeRow(card, r, params[static_cast<std::size_t>(row)].value);
        }
}

CCardConfPage::Editor CCardConfPage::editorFor(int row) const {
    Editor e;
    if (row < 0 || row >= static_cast<int>(params.size()) || !paramsEnabled)
        return e;
    const RowRef r = rowRef(m_contextType, row);
    const std::string& text = params[static_cast<std::size_t>(row)].value;
    const Texts* texts = textsOf(r.kind);
    bool enabled = true;
    if (r.kind == Kind::MadiInput && m_contextInterface == kInterfaceHotlink) {
        texts = &kHotlink;
        enabled = r.channel == 1;
    } else if (r.kind >= Kind::MadiInput) {
        enabled = m_contextInterface == kInterfaceMadi;
    } else if (r.kind == Kind::AdLineLevel) {
        enabled = false;
    } else if (r.kind == Kind::None) {
        enabled = false;
    }
    if (texts)
        e.entries.assign(texts->begin(), texts->end());
    else
        e.entries = {text}; // a level: only the value it has
    const auto it = std::find(e.entries.begin(), e.entries.end(), std::string_view(text));
    e.selected = it == e.entries.end() ? -1 : static_cast<int>(it - e.entries.begin());
    e.enabled = enabled;
    return e;
}

void CCardConfPage::commitValue(int row, std::string_view text) {
    if (row < 0 || row >= static_cast<int>(params.size()))
        return;
    params[static_cast<std::size_t>(row)].value = std::string(text);
    if (rowRef(m_contextType, row).kind == Kind::MadiInterface)
        m_contextInterface = text == "madi"      ? kInterfaceMadi
                             : text == "hotlink" ? kInterfaceHotlink
                                                 : 0;
}

} // namespace velmar
