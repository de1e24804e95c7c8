#pragma once

#include "engine/DialogRegistry.h"
#include "engine/EngineInterfaces.h"
#include "engine/Questions.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// The model 450 control panel: 12 keys, LEDs behind keys 1..11, a ring of 32
// LEDs, a rotary encoder, an LED intensity and the master role.
inline constexpr int kPanelKeys = 12;
inline constexpr int kPanelKeyLeds = 11;
inline constexpr int kPanelRingLeds = 32;
inline constexpr int kPanelRingStates = 4; // ring LED states 0..3

struct PanelKey {
    std::int32_t mode = 0;
    std::int32_t value = 0;
    std::int32_t state = 0;
    bool ledOn = false;
};

// The LED radio buttons: neither until a key with an LED is chosen.
enum class LedChoice { None, Off, On };

// Keys that move the key list's selection: pages of 31 rows, stopping at the
// first and last key, and Home and End to those keys.
enum class KeyListMove { PageUp, PageDown, Home, End };
inline constexpr int kPanelPageRows = 31;
// The key 1..12 a move leads to from `key` (0: no key chosen yet).
int movedKey(int key, KeyListMove move);

// A whole number typed into a field, when it reads as one within low..high.
std::optional<std::int32_t> fieldNumber(std::string_view text, std::int32_t low, std::int32_t high);

// "450 DORN settings" without widgets: what the unit reported, the edit
// fields, and what each button sends. The lists show what the unit answered,
// never what was asked of it; a set request shows once the unit confirms it.
class CPanelUnitLogic final : public IDialogSink {
public:
    static constexpr std::string_view kTitle = "450 DORN settings";
    static constexpr std::string_view kClearQuestion = "Clear all leds (state=0)";
    static constexpr int kIdentifySeconds = 10;

    CPanelUnitLogic(IRequestSink& sink, IQuestions& questions);

    // The requests that read the unit, sent when the dialog opens.
    void start();

    const PanelKey& key(int key) const; // 1..12; key 0 for anything else
    std::int32_t ringLed(int led) const {
        return inRange(led, 1, kPanelRingLeds) ? m_ring[at(led)] : 0;
    }
    std::int32_t rotaryCount() const { return m_rotaryCount; }
    bool master() const { return m_master; }

    // The cells of key row 1..12 ("Key", "Mode", "Value", "State", "LED") and of
    // ring row 1..32 ("Led", "State").
    std::vector<std::string> keyRow(int key) const;
    std::vector<std::string> ringRow(int led) const;

    // Edit fields as shown.
    int selectedKey() const { return m_selectedKey; }
    const std::string& modeField() const { return m_modeField; }
    const std::string& valueField() const { return m_valueField; }
    const std::string& stateField() const { return m_stateField; }
    const std::string& intensityField() const { return m_intensityField; }
    LedChoice ledChoice() const { return m_ledChoice; }
    bool ledRadioEnabled() const { return inRange(m_selectedKey, 1, kPanelKeyLeds); }

    // The operator's actions. Fields are passed as typed; a value outside its
    // range is refused before anything is sent and the notice says why.
    void selectKey(int key); // copies the key's values into the edit fields
    void selectRingLed(int led) { m_selectedRing = inRange(led, 1, kPanelRingLeds) ? led : 0; }
    int selectedRingLed() const { return m_selectedRing; }
    void keyModeSetPressed(std::string_view mode, std::string_view value);
    void keyStateSetPressed(std::string_view state);
    void ledChosen(LedChoice choice);
    void intensitySetPressed(std::string_view intensity);
    void ringLedChosen(int state); // the right-click menu's entry 0..3
    void masterToggled(bool ticked);
    void clearAllLedsPressed();
    void identifyPressed();

    // What the last action means for the operator; empty when nothing to say.
    const std::string& notice() const { return m_notice; }
    // True once after anything shown changed; the dialog redraws then.
    bool takeChanged();

    void onDeviceMessage(const DeviceMessage& message, bool isReply,
                         const CResponseDecoder& decoder) override;

private:
    static constexpr bool inRange(int v, int low, int high) { return v >= low && v <= high; }
    static constexpr std::size_t at(int i) { return static_cast<std::size_t>(i); }
    void send(CommandId id, std::initializer_list<std::int32_t> values);
    void refuse(std::string text);
    void copyKeyToFields();

    IRequestSink& m_sink;
    IQuestions& m_questions;
    std::array<PanelKey, kPanelKeys + 1> m_keys{};
    std::array<std::int32_t, kPanelRingLeds + 1> m_ring{};
    std::int32_t m_rotaryCount = 0;
    bool m_master = false;
    int m_selectedKey = 0;
    int m_selectedRing = 0;
    std::string m_modeField;
    std::string m_valueField;
    std::string m_stateField;
    std::string m_intensityField = "2";
    LedChoice m_ledChoice = LedChoice::None;
    std::string m_notice;
    bool m_changed = false;
};

} // namespace velmar
