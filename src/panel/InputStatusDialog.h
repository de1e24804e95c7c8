#pragma once

#include "engine/DeviceState.h"
#include "engine/DialogRegistry.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// Card kinds the status view lists, by the slot's card type. AD cards come
// with 8 inputs (type 2) or 2 (type 6) and share one radio button.
enum class InputCardKind { Sdi, Ad, Aes, Madi };
inline constexpr std::array<InputCardKind, 4> kInputCardKinds = {
    InputCardKind::Sdi, InputCardKind::Ad, InputCardKind::Aes, InputCardKind::Madi};

std::string_view inputCardKindName(InputCardKind kind); // "SDI", "AD", "AES", "MADI"
// Inputs a slot's card contributes to `kind`'s list: 0 when it is another kind.
int cardInputCount(int cardType, InputCardKind kind);

// One list row: the label cell first, then the status cells. `entry` is the
// input's running number: 1..14 on the main board, (slot - 1) * 8 + input on
// the cards.
struct InputStatusRow {
    int entry = 0;
    std::vector<std::string> cells;
    friend bool operator==(const InputStatusRow&, const InputStatusRow&) = default;
};

inline constexpr int cardEntry(int slot, int input) { return (slot - 1) * kCardChannels + input; }

// Column titles and widths of the two lists (the main board's widths follow
// the list's width, so only the card widths are fixed).
std::vector<std::string> mainInputColumns();
std::vector<std::string> cardInputColumns(InputCardKind kind);
std::vector<int> cardInputColumnWidths(InputCardKind kind);

// The row of main-board input 1..14 and of a card input, as both the dialog
// and velmarctl show them. An input the frame has not reported yet reads "?"
// in each status cell rather than passing for a good one.
InputStatusRow mainInputRow(const DeviceState& state, int input);
InputStatusRow cardInputRow(const DeviceState& state, InputCardKind kind, int slot, int input);
// Every card row of `kind`, slots 1..8 in order; none for a family other than 460.
std::vector<InputStatusRow> cardInputRows(const DeviceState& state, InputCardKind kind);

// "Signal input status" without widgets. It reads the main window's
// DeviceState and keeps the rows it shows; a reply rewrites only the rows it
// concerns, the polling engine's refresh rewrites them all.
class CInputStatusLogic final : public ISignalInputStatusSink {
public:
    static constexpr std::string_view kTitle = "Signal input status";

    explicit CInputStatusLogic(const DeviceState& state);

    const std::vector<InputStatusRow>& mainRows() const { return m_main; }
    const std::vector<InputStatusRow>& cardRows() const { return m_cards; }
    InputCardKind kind() const { return m_kind; }
    // The radio buttons and the card list are for 460 frames only.
    bool cardsEnabled() const { return m_family == kFamily460; }
    // A word for an empty card list, so it does not pass for an unread one:
    // "No MADI card in this frame"; empty while the list has rows.
    std::string cardListNote() const;
    // What the cells mean where the frame's own texts leave it open.
    static constexpr std::string_view kLegend =
        "An empty error cell: the frame reports no error. ?: not reported yet.";

    void selectKind(InputCardKind kind); // rebuilds the card list for the kind
    void refreshMain(int input);         // 1..14; anything else changes nothing
    void refreshMainAll();
    void refreshCard(int slot, int input);
    void refreshCardsAll(); // rewrites the cells of the rows listed
    void rebuildCards();    // lists the rows afresh (card types may have changed)
    void setFamily(int family);
    void refreshAll() override; // both lists

    void onDeviceMessage(const DeviceMessage& message, bool isReply,
                         const CResponseDecoder& decoder) override;

    // What changed since the last call, for the dialog to redraw.
    struct Changes {
        bool mainChanged = false;
        bool cardsRebuilt = false; // columns and rows anew
        bool cardsChanged = false; // cells only
        bool familyChanged = false;
    };
    Changes takeChanges();

private:
    void setRow(InputStatusRow& row, InputStatusRow fresh, bool& flag);

    const DeviceState& m_state;
    int m_family;
    InputCardKind m_kind = InputCardKind::Sdi;
    std::vector<InputStatusRow> m_main;
    std::vector<InputStatusRow> m_cards;
    Changes m_changes;
};

} // namespace velmar
