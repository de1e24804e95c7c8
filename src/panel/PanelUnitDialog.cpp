#include "panel/PanelUnitDialog.h"

#include "protocol/CommandTable.h"

#include <algorithm>
#include <charconv>

namespace velmar {

std::optional<std::int32_t> fieldNumber(std::string_view text, std::int32_t low,
                                        std::int32_t high) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc{} || ptr != end || value < low || value > high)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

namespace {

std::string rangeText(std::string_view field, int low, int high) {
    return std::string(field) + " must be a whole number from " + std::to_string(low) + " to " +
           std::to_string(high) + "; nothing was sent.";
}

constexpr std::int32_t kFieldMax = 65535;

bool isSetCommand(CommandId id) {
    switch (id) {
    case CommandId::smaster:
    case CommandId::skeymode:
    case CommandId::skeystate:
    case CommandId::sledstate:
    case CommandId::sringledstate:
    case CommandId::sledint: return true;
    default: return false;
    }
}

} // namespace

CPanelUnitLogic::CPanelUnitLogic(IRequestSink& sink, IQuestions& questions)
    : m_sink(sink), m_questions(questions) {}

void CPanelUnitLogic::send(CommandId id, std::initializer_list<std::int32_t> values) {
    DeviceMessage m = DeviceMessage::request(id);
    int slot = 1;
    for (const std::int32_t v : values)
        m.setI(slot++, v);
    m_sink.sendRequest(m);
}

void CPanelUnitLogic::start() {
    send(CommandId::gmaster, {});
    for (int k = 1; k <= kPanelKeys; ++k)
        send(CommandId::gkeymode, {k});
    for (int k = 1; k <= kPanelKeys; ++k)
        send(CommandId::gkeystate, {k});
    for (int k = 1; k <= kPanelKeyLeds; ++k)
        send(CommandId::gledstate, {k});
    for (int k = 1; k <= kPanelRingLeds; ++k)
        send(CommandId::gringledstate, {k});
    send(CommandId::gledint, {});
    send(CommandId::grotcount, {});
}

const PanelKey& CPanelUnitLogic::key(int key) const {
    return m_keys[inRange(key, 1, kPanelKeys) ? at(key) : 0];
}

std::vector<std::string> CPanelUnitLogic::keyRow(int k) const {
    const PanelKey& p = key(k);
    std::string led = "---"; // key 12 has no LED
    if (inRange(k, 1, kPanelKeyLeds))
        led = p.ledOn ? "on" : "off";
    return {std::to_string(k), std::to_string(p.mode), std::to_string(p.value),
            std::to_string(p.state), led};
}

std::vector<std::string> CPanelUnitLogic::ringRow(int led) const {
    return {std::to_string(led), std::to_string(ringLed(led))};
}

void CPanelUnitLogic::refuse(std::string text) {
    m_notice = std::move(text);
    m_changed = true;
}

int movedKey(int key, KeyListMove move) {
    switch (move) {
    case KeyListMove::PageUp: return std::max(1, key - kPanelPageRows);
    case KeyListMove::PageDown: return std::min(kPanelKeys, std::max(key, 1) + kPanelPageRows);
    case KeyListMove::Home: return 1;
    case KeyListMove::End: return kPanelKeys;
    }
    return key;
}

void CPanelUnitLogic::copyKeyToFields() {
    const PanelKey& p = key(m_selectedKey);
    m_modeField = std::to_string(p.mode);
    m_valueField = std::to_string(p.value);
    m_stateField = std::to_string(p.state);
    if (inRange(m_selectedKey, 1, kPanelKeyLeds))
        m_ledChoice = p.ledOn ? LedChoice::On : LedChoice::Off;
    else
        m_ledChoice = LedChoice::None;
    m_changed = true;
}

void CPanelUnitLogic::selectKey(int k) {
    if (!inRange(k, 1, kPanelKeys))
        return;
    m_selectedKey = k;
    m_notice.clear();
    copyKeyToFields();
}

void CPanelUnitLogic::keyModeSetPressed(std::string_view modeText, std::string_view valueText) {
    if (m_selectedKey == 0)
        return refuse("Choose a key in the list first; nothing was sent.");
    const auto mode = fieldNumber(modeText, 0, 4);
    if (!mode)
        return refuse(rangeText("Mode", 0, 4));
    if (*mode == 0) {
        // Mode 0 is not a mode the unit takes: the fields go back to what it has.
        const PanelKey& p = key(m_selectedKey);
        m_modeField = std::to_string(p.mode);
        m_valueField = std::to_string(p.value);
        m_notice.clear();
        m_changed = true;
        return;
    }
    const auto value = fieldNumber(valueText, 0, kFieldMax);
    if (!value)
        return refuse(rangeText("Value", 0, kFieldMax));
    m_notice.clear();
    m_modeField = std::to_string(*mode);
    m_valueField = std::to_string(*value);
    m_changed = true;
    send(CommandId::skeymode, {m_selectedKey, *mode, *value});
}

void CPanelUnitLogic::keyStateSetPressed(std::string_view stateText) {
    if (m_selectedKey == 0)
        return refuse("Choose a key in the list first; nothing was sent.");
    const auto state = fieldNumber(stateText, 0, kFieldMax);
    if (!state)
        return refuse(rangeText("State", 0, kFieldMax));
    m_notice.clear();
    m_stateField = std::to_string(*state);
    m_changed = true;
    send(CommandId::skeystate, {m_selectedKey, *state});
}

void CPanelUnitLogic::ledChosen(LedChoice choice) {
    // Key 12 has no LED, and a click on the button already chosen changes nothing.
    if (!ledRadioEnabled() || choice == LedChoice::None || choice == m_ledChoice)
        return;
    m_ledChoice = choice;
    m_changed = true;
    send(CommandId::sledstate, {m_selectedKey, choice == LedChoice::On ? 1 : 0});
}

void CPanelUnitLogic::intensitySetPressed(std::string_view text) {
    const auto intensity = fieldNumber(text, 1, 3);
    if (!intensity)
        return refuse(rangeText("Led intensity", 1, 3));
    m_notice.clear();
    m_intensityField = std::to_string(*intensity);
    m_changed = true;
    send(CommandId::sledint, {*intensity});
}

void CPanelUnitLogic::ringLedChosen(int state) {
    if (m_selectedRing == 0 || !inRange(state, 0, kPanelRingStates - 1))
        return;
    send(CommandId::sringledstate, {m_selectedRing, state});
}

void CPanelUnitLogic::masterToggled(bool ticked) {
    // The box shows the operator's click until the unit answers; the answer
    // (or a refusal, which puts the box back) decides.
    send(CommandId::smaster, {ticked ? 1 : 0});
}

void CPanelUnitLogic::clearAllLedsPressed() {
    if (!m_questions.askYesNo(kTitle, kClearQuestion))
        return;
    for (int k = 1; k <= kPanelKeyLeds; ++k)
        send(CommandId::sledstate, {k, 0});
    for (int k = 1; k <= kPanelRingLeds; ++k)
        send(CommandId::sringledstate, {k, 0});
}

void CPanelUnitLogic::identifyPressed() { send(CommandId::sidentify, {kIdentifySeconds}); }

bool CPanelUnitLogic::takeChanged() {
    const bool changed = m_changed;
    m_changed = false;
    return changed;
}

void CPanelUnitLogic::onDeviceMessage(const DeviceMessage& m, bool, const CResponseDecoder&) {
    if (m.status != 0) {
        // The lists keep what the unit has; the operator still has to hear
        // that a change was turned down.
        if (isSetCommand(m.command)) {
            m_notice = "The unit refused \"" + std::string(keywordOf(m.command)) + "\" (status " +
                       std::to_string(m.status) + ").";
            // The LED buttons go back to what the unit has.
            if (m.command == CommandId::sledstate && ledRadioEnabled())
                m_ledChoice = key(m_selectedKey).ledOn ? LedChoice::On : LedChoice::Off;
            m_changed = true;
        }
        return;
    }
    const int index = m.i(1);
    switch (m.command) {
    case CommandId::gmaster:
    case CommandId::smaster: m_master = index != 0; break;
    case CommandId::gkeymode:
    case CommandId::skeymode:
        if (!inRange(index, 1, kPanelKeys))
            return;
        m_keys[at(index)].mode = m.i(2);
        m_keys[at(index)].value = m.i(3);
        break;
    case CommandId::gkeystate:
    case CommandId::skeystate:
        if (!inRange(index, 1, kPanelKeys))
            return;
        m_keys[at(index)].state = m.i(2);
        break;
    case CommandId::gledstate:
    case CommandId::sledstate:
        if (!inRange(index, 1, kPanelKeyLeds))
            return;
        m_keys[at(index)].ledOn = m.i(2) != 0;
        break;
    case CommandId::gringledstate:
    case CommandId::sringledstate:
        if (!inRange(index, 1, kPanelRingLeds))
            return;
        m_ring[at(index)] = m.i(2);
        break;
    case CommandId::gledint:
    case CommandId::sledint:
        if (!inRange(index, 1, 3))
            return;
        m_intensityField = std::to_string(index);
        break;
    case CommandId::grotcount: m_rotaryCount = index; break;
    default: return;
    }
    m_changed = true;
}

} // namespace velmar
