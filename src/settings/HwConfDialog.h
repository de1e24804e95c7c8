#pragma once

#include "engine/DeviceState.h"
#include "engine/DialogRegistry.h"
#include "engine/Questions.h"
#include "settings/SettingsPages.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// The make of a card: the ninth character of its type text, "X" for an X-type
// board and a blank for the maker's own (Brix) type.
enum class CardMake { X, Brix };

inline constexpr std::size_t kMakeLetterAt = 8;

char makeLetter(CardMake make);
std::string_view cardMakeName(CardMake make); // "X", "Brix"
// The words velmarctl takes for a make: "x" and "brix", in any case.
std::optional<CardMake> cardMakeFromWord(std::string_view word);

// The type text with the make's letter as its ninth character; nothing else
// changes. No value when the text is too short to hold the letter: padding it
// would write characters the board never had.
std::optional<std::string> withMakeLetter(std::string_view typeText, CardMake make);

// The "sboardinfo" request that writes `typeText` to the card in `slot`
// (1..8): board kind 2, its slot index, the new type text, the serial text of
// its hardware record unchanged, MAC "000000" and no erase first.
DeviceMessage cardBoardInfoRequest(int slot, const HwConfRecord& record, std::string_view typeText);

struct CardChange {
    int slot = 0;
    std::string oldType;
    std::string newType;
    DeviceMessage request;
};

// A fitted card whose letter cannot be changed without writing more than the
// letter: a type text too short to hold it, or a type or serial text with
// characters a request line cannot carry (they would be dropped, and every
// character after them would move).
struct CardLeftAlone {
    int slot = 0;
    std::string reason; // "its type text is too short to hold a make letter"
};

// What changing every fitted card to a make would write: cards 1..8 in order
// whose letter differs, and the cards that have to be left alone.
struct CardChangePlan {
    std::vector<CardChange> changes;
    std::vector<CardLeftAlone> leftAlone;
};
using HwConfTable = std::array<HwConfRecord, kModuleCount + 1>;
CardChangePlan planCardChange(const HwConfTable& hwConf, CardMake make);

// The two buttons work on frames whose cards are listed, in application mode.
bool cardMakeChangeable(int family, int runMode);

// The rows of the stand-alone dialog: those of the settings page, except that
// a control panel unit (family 6) lists its main board only.
std::vector<HwRow> hwConfDialogRows(const DeviceSettings& tables, int family);

// The stand-alone "HW configuration" dialog without widgets: its own copies
// of the hardware and software tables, the rows it lists, and the two buttons
// that rewrite the make letter of every fitted card.
//
// A change shows in the dialog's copy at once and is sent; the main window's
// table is the frame's word and changes when the frame confirms. The reply (or
// a later "ghwconf") then replaces the dialog's copy of that card, so a refused
// change does not stay on show.
class CHwConfLogic final : public IDialogSink {
public:
    static constexpr std::string_view kTitle = "HW configuration";
    static constexpr std::string_view kXQuestion = "Change cards to X type";
    static constexpr std::string_view kBrixQuestion = "Change cards to Brix type";

    CHwConfLogic(const DeviceState& state, IRequestSink& sink, IQuestions& questions);

    static std::string_view question(CardMake make);

    const std::vector<HwRow>& rows() const { return m_rows; }
    bool buttonsEnabled() const;

    // A button: asks its question and, on Yes while connected, changes the
    // cards and sends their requests. True when a request went out.
    bool changeCardsPressed(CardMake make);
    // The change itself, without asking or sending: the dialog's copy takes
    // the new type texts and the requests to send come back, in slot order.
    std::vector<DeviceMessage> changeCards(CardMake make);

    // What the last action or reply means for the operator; empty when nothing to say.
    const std::string& notice() const { return m_notice; }
    // Cards whose change the frame has not answered yet.
    int pendingCount() const;
    // True once after the rows or the notice changed; the dialog redraws then.
    bool takeChanged();

    void onDeviceMessage(const DeviceMessage& message, bool isReply,
                         const CResponseDecoder& decoder) override;

private:
    struct Refusal {
        int slot = 0;
        std::int32_t status = 0;
    };
    void refill();
    void onBoardInfoReply(const DeviceMessage& message);
    void composeNotice();

    const DeviceState& m_state;
    IRequestSink& m_sink;
    IQuestions& m_questions;
    DeviceSettings m_tables; // only hwConf and swVersion are used
    std::array<bool, kCardSlots + 1> m_pending{};
    std::vector<HwRow> m_rows;
    std::string m_notice;
    std::string m_leftAloneNotice; // cards the last change had to leave alone
    std::vector<Refusal> m_refusals;
    int m_confirmed = 0;
    bool m_changed = false;
};

} // namespace velmar
