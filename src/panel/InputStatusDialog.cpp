#include "panel/InputStatusDialog.h"

#include "engine/CodeTables.h"

namespace velmar {

namespace {

constexpr bool inRange(int v, int low, int high) { return v >= low && v <= high; }
constexpr std::size_t at(int i) { return static_cast<std::size_t>(i); }

constexpr std::string_view kNotReported = "?";
constexpr std::string_view kNoPhd = "----";
constexpr int kFirstPhd = 9;
constexpr int kFirstSfp = 12;

constexpr std::string_view kMainLabels[kMainInputs] = {"AES 1", "AES 2", "AES 3", "AES 4", "AES 5",
                                                       "AES 6", "AES 7", "AES 8", "PHD 1", "PHD 2",
                                                       "MADI",  "SFP 1", "SFP 2", "IP"};

constexpr std::string_view kSdiFormats[] = {"invalid", "SD SDI", "HD SDI", "3G SDI"};
constexpr std::string_view kSdiRates[] = {"23.98 Hz", "24 Hz", "25 Hz",    "29.97 Hz",
                                          "30 Hz",    "50 Hz", "59.94 Hz", "60 Hz"};

template <std::size_t N>
std::string codeText(const std::string_view (&table)[N], int code) {
    return std::string(inRange(code, 0, static_cast<int>(N) - 1) ? table[at(code)] : "error");
}

std::string yesNo(bool yes) { return yes ? "yes" : "no"; }

char charAt(std::string_view text, std::size_t i) { return i < text.size() ? text[i] : '\0'; }

// Signal error, sync error and active cells of a three-character status text.
// The main board reads anything but `a` as active; a MADI card leaves an
// unknown third character empty, since its inputs report it strictly.
std::vector<std::string> statusCells(std::string_view text, bool strictActive, bool marked) {
    std::string active;
    const char third = charAt(text, 2);
    if (third == 'a')
        active = "no";
    else if (third == 'A' || !strictActive)
        active = "yes";
    if (marked && !active.empty())
        active += " *";
    return {charAt(text, 0) == 'E' ? "error" : "", charAt(text, 1) == 'S' ? "error" : "", active};
}

std::string slotLabel(int slot, int input) {
    return "Slot " + std::to_string(slot) + " - " + std::to_string(input);
}

} // namespace

std::string_view inputCardKindName(InputCardKind kind) {
    switch (kind) {
    case InputCardKind::Sdi: return "SDI";
    case InputCardKind::Ad: return "AD";
    case InputCardKind::Aes: return "AES";
    case InputCardKind::Madi: return "MADI";
    }
    return "";
}

int cardInputCount(int cardType, InputCardKind kind) {
    switch (kind) {
    case InputCardKind::Sdi: return cardType == kCardTypeSdi ? 2 : 0;
    case InputCardKind::Ad: return cardType == kCardTypeAd ? 8 : cardType == kCardTypeAd2 ? 2 : 0;
    case InputCardKind::Aes: return cardType == kCardTypeAes ? 8 : 0;
    case InputCardKind::Madi: return cardType == kCardTypeMadi ? 2 : 0;
    }
    return 0;
}

std::vector<std::string> mainInputColumns() {
    return {"Input", "Signal error", "Sync error", "Active"};
}

std::vector<std::string> cardInputColumns(InputCardKind kind) {
    switch (kind) {
    case InputCardKind::Sdi: return {"Input", "Locked", "Format", "Frame rate"};
    case InputCardKind::Ad: return {"Input", "Signal", "Overload"};
    case InputCardKind::Aes:
    case InputCardKind::Madi: return mainInputColumns();
    }
    return {};
}

std::vector<int> cardInputColumnWidths(InputCardKind kind) {
    std::vector<int> widths(cardInputColumns(kind).size(), 78);
    widths.front() = 60;
    return widths;
}

InputStatusRow mainInputRow(const DeviceState& state, int input) {
    InputStatusRow row{input, {}};
    if (!inRange(input, 1, kMainInputs))
        return row;
    row.cells.emplace_back(kMainLabels[at(input - 1)]);
    if (state.noPhd() && (input == kFirstPhd || input == kFirstPhd + 1)) {
        row.cells.insert(row.cells.end(), 3, std::string(kNoPhd));
        return row;
    }
    const InputStatusPair& pair = state.live.mainInputStatus[at(input)];
    if (pair.index == 0) {
        row.cells.insert(row.cells.end(), 3, std::string(kNotReported));
        return row;
    }
    bool marked = false;
    if (input == kFirstSfp || input == kFirstSfp + 1)
        marked = state.settings.optRedundancy[0] != 0 &&
                 state.live.optInactive[at(input - kFirstSfp + 1)] != 0;
    const auto cells = statusCells(pair.value.view(), false, marked);
    row.cells.insert(row.cells.end(), cells.begin(), cells.end());
    return row;
}

InputStatusRow cardInputRow(const DeviceState& state, InputCardKind kind, int slot, int input) {
    InputStatusRow row{cardEntry(slot, input), {slotLabel(slot, input)}};
    const LiveStatus& live = state.live;
    const auto unreported = [&row](std::size_t cells) {
        row.cells.insert(row.cells.end(), cells, std::string(kNotReported));
        return row;
    };
    switch (kind) {
    case InputCardKind::Sdi: {
        const auto& e = live.sdiRxStatus[at(2 * slot + input - 3)];
        if (e[0] == 0)
            return unreported(3);
        row.cells.push_back(yesNo(e[2] != 0));
        row.cells.push_back(codeText(kSdiFormats, e[3]));
        row.cells.push_back(codeText(kSdiRates, e[4]));
        return row;
    }
    case InputCardKind::Ad:
        row.cells.push_back(yesNo(live.adSignal[at(slot)][at(input)] != 0));
        row.cells.push_back(yesNo(live.adOverload[at(slot)][at(input)] != 0));
        return row;
    case InputCardKind::Aes:
    case InputCardKind::Madi: {
        const bool madi = kind == InputCardKind::Madi;
        const CardPortStatus& s = madi ? live.cardIfStatus[at(slot)][at(input)]
                                       : live.aesInputStatus[at(slot)][at(input)];
        if (s.slot == 0)
            return unreported(3);
        const bool marked = madi && state.settings.cards[at(slot)].cardRedundancy != 0 &&
                            live.cardIfInactive[at(slot)][at(input)] != 0;
        const auto cells = statusCells(s.status.view(), madi, marked);
        row.cells.insert(row.cells.end(), cells.begin(), cells.end());
        return row;
    }
    }
    return row;
}

std::vector<InputStatusRow> cardInputRows(const DeviceState& state, InputCardKind kind) {
    std::vector<InputStatusRow> rows;
    if (state.family != kFamily460)
        return rows;
    for (int slot = 1; slot <= kCardSlots; ++slot) {
        const int inputs = cardInputCount(state.cardType(slot), kind);
        for (int input = 1; input <= inputs; ++input)
            rows.push_back(cardInputRow(state, kind, slot, input));
    }
    return rows;
}

CInputStatusLogic::CInputStatusLogic(const DeviceState& state)
    : m_state(state), m_family(state.family) {
    for (int input = 1; input <= kMainInputs; ++input)
        m_main.push_back(mainInputRow(state, input));
    m_cards = cardInputRows(state, m_kind);
}

void CInputStatusLogic::setRow(InputStatusRow& row, InputStatusRow fresh, bool& flag) {
    if (row == fresh)
        return;
    row = std::move(fresh);
    flag = true;
}

void CInputStatusLogic::selectKind(InputCardKind kind) {
    m_kind = kind;
    rebuildCards();
}

void CInputStatusLogic::refreshMain(int input) {
    if (inRange(input, 1, kMainInputs))
        setRow(m_main[at(input - 1)], mainInputRow(m_state, input), m_changes.mainChanged);
}

void CInputStatusLogic::refreshMainAll() {
    for (int input = 1; input <= kMainInputs; ++input)
        refreshMain(input);
}

void CInputStatusLogic::refreshCard(int slot, int input) {
    if (!cardsEnabled() || !inRange(slot, 1, kCardSlots) ||
        !inRange(input, 1, cardInputCount(m_state.cardType(slot), m_kind)))
        return;
    const int entry = cardEntry(slot, input);
    for (InputStatusRow& row : m_cards)
        if (row.entry == entry)
            setRow(row, cardInputRow(m_state, m_kind, slot, input), m_changes.cardsChanged);
}

void CInputStatusLogic::refreshCardsAll() {
    for (InputStatusRow& row : m_cards) {
        const int slot = (row.entry - 1) / kCardChannels + 1;
        const int input = (row.entry - 1) % kCardChannels + 1;
        // A card that changed kind since the list was built is left to rebuildCards().
        if (inRange(input, 1, cardInputCount(m_state.cardType(slot), m_kind)))
            setRow(row, cardInputRow(m_state, m_kind, slot, input), m_changes.cardsChanged);
    }
}

void CInputStatusLogic::rebuildCards() {
    m_cards = cardInputRows(m_state, m_kind);
    m_changes.cardsRebuilt = true;
}

void CInputStatusLogic::setFamily(int family) {
    if (family == m_family)
        return;
    m_family = family;
    m_changes.familyChanged = true;
    rebuildCards();
}

void CInputStatusLogic::refreshAll() {
    refreshMainAll();
    refreshCardsAll();
}

void CInputStatusLogic::onDeviceMessage(const DeviceMessage& m, bool, const CResponseDecoder&) {
    const int first = m.i(1);
    const int second = m.i(2);
    switch (m.command) {
    case CommandId::gmaininpstatus: refreshMain(first); break;
    case CommandId::lmaininpstatus:
    case CommandId::goptred:
    case CommandId::soptred: refreshMainAll(); break;
    case CommandId::goptinact: refreshMain(first + kFirstSfp - 1); break;
    case CommandId::ghwconf:
        if (first == kModuleMainBoard) {
            refreshMain(kFirstPhd);
            refreshMain(kFirstPhd + 1);
        } else if (first == kModuleLast) {
            rebuildCards(); // the inventory is complete: the card types are known
        }
        break;
    case CommandId::gsdirxstat:
    case CommandId::gadsigdet:
    case CommandId::gadovldet:
    case CommandId::gaesinpstatus:
    case CommandId::gcifstatus:
    case CommandId::gcifinact: refreshCard(first, second); break;
    case CommandId::gcifred:
    case CommandId::scifred:
        for (int input = 1; input <= kCardChannels; ++input)
            refreshCard(first, input);
        break;
    case CommandId::gdevinfo:
    case CommandId::sdevinfo: setFamily(m_state.family); break;
    default: break;
    }
}

std::string CInputStatusLogic::cardListNote() const {
    if (!m_cards.empty())
        return {};
    if (!cardsEnabled())
        return "Cards are listed for 460 frames only";
    std::string note = "No ";
    note += inputCardKindName(m_kind);
    note += " card in this frame";
    return note;
}

CInputStatusLogic::Changes CInputStatusLogic::takeChanges() {
    const Changes changes = m_changes;
    m_changes = {};
    return changes;
}

} // namespace velmar
