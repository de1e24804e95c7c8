#include "settings/HwConfDialog.h"

#include "protocol/DeviceMessage.h"
#include "protocol/WireText.h"

#include <algorithm>
#include <utility>

namespace velmar {

namespace {

constexpr std::size_t at(int index) { return static_cast<std::size_t>(index); }

constexpr std::int32_t kBoardKindCard = 2;
constexpr std::string_view kCardMac = "000000";

int entryOfSlot(int slot) { return kModuleFirstCard + slot - 1; }

std::string cardsText(int count) {
    return std::to_string(count) + (count == 1 ? " card" : " cards");
}

} // namespace

char makeLetter(CardMake make) { return make == CardMake::X ? 'X' : ' '; }

std::string_view cardMakeName(CardMake make) { return make == CardMake::X ? "X" : "Brix"; }

std::optional<CardMake> cardMakeFromWord(std::string_view word) {
    std::string lower(word);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    if (lower == "x")
        return CardMake::X;
    if (lower == "brix")
        return CardMake::Brix;
    return std::nullopt;
}

std::optional<std::string> withMakeLetter(std::string_view typeText, CardMake make) {
    if (typeText.size() <= kMakeLetterAt)
        return std::nullopt;
    std::string out(typeText);
    out[kMakeLetterAt] = makeLetter(make);
    return out;
}

DeviceMessage cardBoardInfoRequest(int slot, const HwConfRecord& record,
                                   std::string_view typeText) {
    DeviceMessage m = DeviceMessage::request(CommandId::sboardinfo);
    m.setI(1, kBoardKindCard);
    m.setI(2, slot - 1);
    m.setText(fields::kBoardInfoFirst, typeText);
    m.setText(fields::kBoardInfoSecond, record.secondText.view());
    m.setText(fields::kBoardInfoThird, kCardMac);
    m.setI(fields::kBoardInfoLastSlot, 0); // write over the memory, never erase it first
    return m;
}

CardChangePlan planCardChange(const HwConfTable& hwConf, CardMake make) {
    CardChangePlan plan;
    for (int slot = 1; slot <= kCardSlots; ++slot) {
        const HwConfRecord& record = hwConf[at(entryOfSlot(slot))];
        if (record.present == 0)
            continue;
        const std::string_view type = record.boardCode.view();
        const std::optional<std::string> changed = withMakeLetter(type, make);
        if (!changed) {
            plan.leftAlone.push_back({slot, "its type text is too short to hold a make letter"});
            continue;
        }
        if (!isSendableText(type) || !isSendableText(record.secondText.view())) {
            plan.leftAlone.push_back(
                {slot, "its type or serial text holds characters a request cannot carry"});
            continue;
        }
        if (*changed == type)
            continue; // already of that make
        plan.changes.push_back(
            {slot, std::string(type), *changed, cardBoardInfoRequest(slot, record, *changed)});
    }
    return plan;
}

bool cardMakeChangeable(int family, int runMode) {
    return cardSlotsShown(family) && runMode == kRunModeApplication;
}

std::vector<HwRow> hwConfDialogRows(const DeviceSettings& tables, int family) {
    std::vector<HwRow> rows = hwConfigurationRows(tables, cardSlotsShown(family));
    if (family == kFamily450)
        std::erase_if(rows, [](const HwRow& r) { return r.entry != kModuleMainBoard; });
    return rows;
}

// ---- the dialog ----

CHwConfLogic::CHwConfLogic(const DeviceState& state, IRequestSink& sink, IQuestions& questions)
    : m_state(state), m_sink(sink), m_questions(questions) {
    m_tables.hwConf = state.settings.hwConf;
    m_tables.swVersion = state.settings.swVersion;
    refill();
    m_changed = false;
}

std::string_view CHwConfLogic::question(CardMake make) {
    return make == CardMake::X ? kXQuestion : kBrixQuestion;
}

bool CHwConfLogic::buttonsEnabled() const {
    return cardMakeChangeable(m_state.family, m_state.runMode);
}

bool CHwConfLogic::changeCardsPressed(CardMake make) {
    if (!buttonsEnabled())
        return false;
    if (!m_questions.askYesNo(kTitle, question(make)))
        return false;
    if (!m_state.connected) {
        m_notice = "Not connected: no card was changed.";
        m_changed = true;
        return false;
    }
    const std::vector<DeviceMessage> requests = changeCards(make);
    for (const DeviceMessage& request : requests)
        m_sink.sendRequest(request);
    return !requests.empty();
}

std::vector<DeviceMessage> CHwConfLogic::changeCards(CardMake make) {
    const CardChangePlan plan = planCardChange(m_tables.hwConf, make);
    std::vector<DeviceMessage> requests;
    for (const CardChange& change : plan.changes) {
        m_tables.hwConf[at(entryOfSlot(change.slot))].boardCode.assign(change.newType);
        m_pending[at(change.slot)] = true;
        requests.push_back(change.request);
    }
    m_refusals.clear();
    m_confirmed = 0;
    if (requests.empty())
        m_notice = "Nothing to change: the fitted cards are of " + std::string(cardMakeName(make)) +
                   " type already.";
    else
        m_notice.clear();
    m_leftAloneNotice.clear();
    for (const CardLeftAlone& card : plan.leftAlone)
        m_leftAloneNotice += (m_leftAloneNotice.empty() ? "" : " ") +
                             std::string("The card in slot ") + std::to_string(card.slot) +
                             " was left as it is: " + card.reason + ".";
    if (!m_leftAloneNotice.empty())
        m_notice += (m_notice.empty() ? "" : " ") + m_leftAloneNotice;
    if (!requests.empty())
        composeNotice();
    refill();
    return requests;
}

int CHwConfLogic::pendingCount() const {
    return static_cast<int>(std::count(m_pending.begin(), m_pending.end(), true));
}

bool CHwConfLogic::takeChanged() { return std::exchange(m_changed, false); }

void CHwConfLogic::onDeviceMessage(const DeviceMessage& message, bool isReply,
                                   const CResponseDecoder&) {
    if (!isReply)
        return;
    const int module = message.i(1);
    switch (message.command) {
    case CommandId::sboardinfo: onBoardInfoReply(message); break;
    case CommandId::ghwconf:
        if (message.status != 0 || module < 1 || module > kModuleCount)
            return;
        // A card whose change is on its way keeps showing the new text until
        // the frame answers the change itself.
        if (module >= kModuleFirstCard && module < kModuleFirstCard + kCardSlots &&
            m_pending[at(module - kModuleFirstCard + 1)])
            return;
        m_tables.hwConf[at(module)] = m_state.settings.hwConf[at(module)];
        refill();
        break;
    case CommandId::gswver:
        if (message.status != 0 || module < 1 || module > kModuleCount)
            return;
        m_tables.swVersion[at(module)] = m_state.settings.swVersion[at(module)];
        refill();
        break;
    default: break;
    }
}

void CHwConfLogic::onBoardInfoReply(const DeviceMessage& message) {
    const int position = message.i(2);
    if (message.i(1) != kBoardKindCard || position < 0 || position >= kCardSlots)
        return;
    const int slot = position + 1;
    const bool wasPending = std::exchange(m_pending[at(slot)], false);
    // The main window's record is what the frame holds: written on a
    // confirmation, unchanged after a refusal.
    m_tables.hwConf[at(entryOfSlot(slot))] = m_state.settings.hwConf[at(entryOfSlot(slot))];
    if (wasPending) {
        if (message.status == 0)
            ++m_confirmed;
        else
            m_refusals.push_back({slot, message.status});
        composeNotice();
    }
    refill();
}

void CHwConfLogic::composeNotice() {
    std::string text = m_leftAloneNotice;
    const auto add = [&text](const std::string& sentence) {
        text += (text.empty() ? "" : " ") + sentence;
    };
    if (const int pending = pendingCount(); pending > 0)
        add("Waiting for the frame to confirm " + cardsText(pending) + ".");
    if (!m_refusals.empty()) {
        std::string slots;
        for (const Refusal& r : m_refusals)
            slots += (slots.empty() ? "" : ", ") + std::to_string(r.slot) + " (status " +
                     std::to_string(r.status) + ")";
        add("The frame refused the new type of the card in slot" +
            std::string(m_refusals.size() == 1 ? " " : "s ") + slots + "; it keeps its old type.");
    }
    if (m_confirmed > 0 && pendingCount() == 0)
        add("The frame confirmed the new type of " + cardsText(m_confirmed) + ".");
    m_notice = std::move(text);
    m_changed = true;
}

void CHwConfLogic::refill() {
    m_rows = hwConfDialogRows(m_tables, m_state.family);
    m_changed = true;
}

} // namespace velmar
