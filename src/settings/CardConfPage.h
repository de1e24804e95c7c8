#pragma once

#include "engine/DeviceState.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

struct SettingsDialogInputs;

// Whether the frame's family has card slots that can be shown and configured.
bool cardSlotsShown(int family);

struct CardSlotRow {
    std::string slot;
    std::string type;
    std::string description;
    bool fitted = false;
};
std::string_view cardDescription(std::string_view partNumber);
// Empty when the frame's family has no configurable cards.
std::vector<CardSlotRow> cardSlotRows(const DeviceSettings& s, bool available);

// One row of a card's parameter list: the channel or port ("1", "2", ...,
// or "both"), the parameter and its value as text. The texts are what the
// page edits and reads back, so they are the page's own words.
struct CardParamRow {
    std::string channel;
    std::string_view parameter;
    std::string value;
    friend bool operator==(const CardParamRow&, const CardParamRow&) = default;
};

// A level as the cards report it: "-12.05".
std::string levelText(const DecimalValue& level);

// The parameter rows of the card in a slot, as the Card configuration page
// and `velmarctl cards` show them; empty for a card without settings.
std::vector<CardParamRow> cardParameterRows(const CardRecord& card);

// The Card configuration page: the slot list, the selected card's parameter
// list and the choices its value editor offers.
class CCardConfPage {
public:
    // What the value editor offers for a row: its entries, the one that is
    // selected (the cell's text) and whether a choice can be made at all.
    struct Editor {
        std::vector<std::string> entries;
        int selected = -1;
        bool enabled = false;
    };

    void distribute(const DeviceSettings& s, const SettingsDialogInputs& in);
    void gather(DeviceSettings& s) const;
    void load();
    void store(); // the selected slot's parameters back into its record

    // A click on a slot row (keyboard movement does not select a slot).
    void selectSlot(int row);
    int selectedRow() const { return m_selected; }
    // The row shown with the green background, or -1.
    int highlightedRow() const { return m_highlighted; }

    Editor editorFor(int row) const;
    // An accepted choice in a Value cell. Choosing an interface type moves
    // the other rows' editors to it before the slot is stored.
    void commitValue(int row, std::string_view text);

    std::vector<CardSlotRow> slots;
    bool slotsEnabled = false;
    std::vector<CardParamRow> params;
    bool paramsEnabled = false;

private:
    void storeSlot(int slot);
    int slotOfRow(int row) const;

    std::array<CardRecord, kCardSlots + 1> m_cards{};
    std::array<HwConfRecord, kModuleCount + 1> m_hwConf{};
    bool m_available = false;
    int m_selected = -1;
    int m_highlighted = -1;
    // The editor context: the selected card's type and interface type.
    int m_contextType = 0;
    int m_contextInterface = 1;
};

} // namespace velmar
