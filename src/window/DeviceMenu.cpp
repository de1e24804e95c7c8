#include "window/DeviceMenu.h"

#include "engine/XyBurst.h"

#include <array>
#include <span>

namespace velmar {

namespace {

using In = DeviceMenuInputs;
using When = bool (*)(const In&);

struct MenuRowSpec {
    int id; // 0: a separator
    std::string_view text;
    When when;
    bool separatorAfter = false;
};

constexpr bool maintenance(const In& in) {
    return in.runMode == kRunModeRecovery || in.runMode == kRunModeHash;
}
constexpr bool application(const In& in) { return in.runMode == kRunModeApplication; }
constexpr bool unit450(const In& in) { return application(in) && in.family == kFamily450; }
constexpr bool model465(const In& in) { return application(in) && in.family == kFamily465; }
constexpr bool frame(const In& in) {
    return application(in) && in.family != kFamily450 && in.family != kFamily465;
}
constexpr bool frameWithChannelDialogs(const In& in) {
    return frame(in) && in.versionNumber > 1040001;
}
constexpr bool frameWithIp(const In& in) {
    return frameWithChannelDialogs(in) && in.ipModulePresent;
}

// The connected device's menu, top to bottom; a row shows when its condition holds.
constexpr MenuRowSpec kConnectedMenu[] = {
    {devcmd::kClose, "Close", [](const In&) { return true; }, true},
    // recovery mode and the "#" state: the maintenance entries only
    {devcmd::kHwConfiguration, "HW configuration ...",
     [](const In& in) { return maintenance(in) && in.family != kFamily465; }},
    {devcmd::kNetworkSettings, "Network settings ...", maintenance, true},
    {devcmd::kFirmwareUpdate, "Firmware update ...", maintenance},
    {devcmd::kLoadOtherMode, "Load application mode",
     [](const In& in) { return in.runMode == kRunModeRecovery; }},
    {devcmd::kLoadOtherMode, "Load recovery mode",
     [](const In& in) { return in.runMode == kRunModeHash; }},
    // control panel unit 450
    {devcmd::kKeySettings, "Key settings ...",
     [](const In& in) { return unit450(in) && in.serviceMode; }, true},
    {devcmd::kHwConfiguration, "HW configuration ...", unit450},
    {devcmd::kIdSettings, "ID settings ...", unit450},
    {devcmd::kNetworkSettings, "Network settings ...", unit450, true},
    // model 465
    {devcmd::kNetworkSettings, "Network settings ...", model465, true},
    // the frames
    {devcmd::kInputStatus, "Input status ...", frame, true},
    {devcmd::kChannelLabels, "Channel labels ...", frameWithChannelDialogs},
    {devcmd::kGainSettings, "Gain settings ...", frameWithChannelDialogs},
    {0, "", frameWithChannelDialogs},
    {devcmd::kXyControl, "X-Y control ...", [](const In& in) { return frame(in) && in.xyEnabled; },
     true},
    {devcmd::kLevelDetectors, "Level detectors ...",
     [](const In& in) { return frame(in) && in.serviceMode; }},
    {devcmd::kPpmStreams, "PPM streams ...",
     [](const In& in) { return frame(in) && in.serviceMode; }, true},
    {devcmd::kManualIpRouting, "Manual IP routing control ...",
     [](const In& in) { return frameWithIp(in) && in.versionNumber < 2010003; }},
    {devcmd::kAutoIpRouting, "Automatic IP routing control ...", frameWithIp, true},
    {devcmd::kOperationalTime, "Operational time ...",
     [](const In& in) { return frame(in) && in.versionNumber > 2000301; }, true},
    // every family in application mode
    {devcmd::kFirmwareUpdate, "Firmware update ...", application},
    {devcmd::kLoadOtherMode, "Load recovery mode", application},
    {devcmd::kClearSettings, "Clear settings",
     [](const In& in) { return application(in) && in.family != kFamily465; }},
    // a restart for every frame that runs its application or the "#" state
    {0, "",
     [](const In& in) { return in.runMode == kRunModeApplication || in.runMode == kRunModeHash; }},
    {devcmd::kRestart, "Restart",
     [](const In& in) { return in.runMode == kRunModeApplication || in.runMode == kRunModeHash; }},
};

constexpr MenuRowSpec kOtherRowMenu[] = {
    {devcmd::kConnect, "Connect", [](const In&) { return true; }, true},
    {devcmd::kRemoveFromList, "Remove from list", [](const In& in) { return in.rowRemovable; },
     true},
    {devcmd::kNetworkSettings, "Change Network settings ...", [](const In&) { return true; }},
};

constexpr MenuRowSpec kOfflineMenu[] = {
    {devcmd::kRefresh, "Refresh", [](const In&) { return true; }},
};

// Commands that open a dialog; the rest act at once.
constexpr int kDialogCommands[] = {
    devcmd::kNetworkSettings, devcmd::kIdSettings,      devcmd::kXyControl,
    devcmd::kFirmwareUpdate,  devcmd::kHwConfiguration, devcmd::kInputStatus,
    devcmd::kManualIpRouting, devcmd::kAutoIpRouting,   devcmd::kChannelLabels,
    devcmd::kGainSettings,    devcmd::kPpmStreams,      devcmd::kLevelDetectors,
    devcmd::kKeySettings,     devcmd::kOperationalTime,
};

bool opensDialog(int id) {
    for (int d : kDialogCommands)
        if (d == id)
            return true;
    return false;
}

bool isWired(const WiredDialogs& wired, int id) {
    return id >= devcmd::kFirst && id <= devcmd::kLast &&
           wired.test(static_cast<std::size_t>(id - devcmd::kFirst));
}

void addRows(std::vector<MenuItem>& out, std::span<const MenuRowSpec> rows, const In& in) {
    for (const MenuRowSpec& r : rows) {
        if (!r.when(in))
            continue;
        const bool enabled = r.id == 0 || !opensDialog(r.id) || isWired(in.wired, r.id);
        out.push_back({r.id == 0 ? std::string_view{} : r.text, r.id, enabled});
        if (r.separatorAfter)
            out.push_back({});
    }
}

} // namespace

WiredDialogs wiredDialogsNow() {
    WiredDialogs wired;
    wired.set(devcmd::kXyControl - devcmd::kFirst);
    wired.set(devcmd::kHwConfiguration - devcmd::kFirst);
    wired.set(devcmd::kFirmwareUpdate - devcmd::kFirst);
    wired.set(devcmd::kKeySettings - devcmd::kFirst);
    wired.set(devcmd::kInputStatus - devcmd::kFirst);
    wired.set(devcmd::kNetworkSettings - devcmd::kFirst);
    wired.set(devcmd::kIdSettings - devcmd::kFirst);
    wired.set(devcmd::kOperationalTime - devcmd::kFirst);
    wired.set(devcmd::kManualIpRouting - devcmd::kFirst);
    wired.set(devcmd::kAutoIpRouting - devcmd::kFirst);
    wired.set(devcmd::kPpmStreams - devcmd::kFirst);
    wired.set(devcmd::kChannelLabels - devcmd::kFirst);
    wired.set(devcmd::kGainSettings - devcmd::kFirst);
    wired.set(devcmd::kLevelDetectors - devcmd::kFirst);
    return wired;
}

DeviceMenuInputs deviceMenuInputs(const DeviceState& state, MenuRow row, bool rowRemovable) {
    DeviceMenuInputs in;
    in.row = row;
    in.rowRemovable = rowRemovable;
    in.connected = state.connected;
    in.runMode = state.runMode;
    in.family = state.family;
    in.versionNumber = state.versionNumber();
    in.xyEnabled = state.xyEnabled;
    in.serviceMode = state.serviceMode;
    in.ipModulePresent = state.ipModulePresent();
    return in;
}

std::vector<MenuItem> buildDeviceMenu(const DeviceMenuInputs& in) {
    std::vector<MenuItem> out;
    if (in.row == MenuRow::Other)
        addRows(out, kOtherRowMenu, in);
    else if (in.connected)
        addRows(out, kConnectedMenu, in);
    else
        addRows(out, kOfflineMenu, in);
    return out;
}

std::string switchFrameQuestion(std::string_view connectedLabel, std::string_view rowName,
                                std::string_view rowAddress) {
    std::string text = "Disconnect from ";
    text += connectedLabel;
    text += " and connect to ";
    if (rowName.empty() || rowName == rowAddress) {
        text += rowAddress;
    } else {
        text += rowName;
        text += " (";
        text += rowAddress;
        text += ")";
    }
    text += "?";
    return text;
}

// ---- commands ---------------------------------------------------------------

bool CDeviceCommands::dialogAllowed(int commandId, MenuRow rowKind) {
    // The network settings dialog is offered for any row; it decides itself.
    if (commandId == devcmd::kNetworkSettings)
        return true;
    if (rowKind == MenuRow::Other || !m_state.connected)
        return false;
    if (commandId == devcmd::kFirmwareUpdate) {
        if (m_state.programming || m_burst.running())
            return false;
        if (m_state.runMode == kRunModeApplication && m_state.port == kPortTelnet) {
            m_operator.showMessage(kTelnetProgramming);
            return false;
        }
    }
    return true;
}

void CDeviceCommands::execute(int commandId, MenuRow rowKind, int row) {
    switch (commandId) {
    case devcmd::kRefresh: m_host.refreshDevices(); return;
    case devcmd::kConnect:
        if (row >= 0)
            m_host.connectToRow(row);
        return;
    case devcmd::kClose:
        if (rowKind != MenuRow::Other && m_state.connected)
            m_host.disconnect();
        return;
    case devcmd::kRemoveFromList:
        if (row >= 0)
            m_host.removeRow(row);
        return;
    case devcmd::kRestart: restart(); return;
    case devcmd::kLoadOtherMode: loadOtherMode(); return;
    case devcmd::kClearSettings: clearSettings(); return;
    default:
        if (opensDialog(commandId) && dialogAllowed(commandId, rowKind))
            m_host.openDialog(commandId);
        return;
    }
}

bool CDeviceCommands::restart() {
    if (!m_state.connected || !m_questions.askYesNo({}, kRestartQuestion) || !m_state.connected)
        return false;
    DeviceMessage m = DeviceMessage::request(CommandId::srestart);
    m.setI(1, 1);
    m_sink.sendRequest(m);
    // The frame goes away now and announces itself again once it is back.
    m_host.removeConnectedRow();
    m_host.disconnect();
    return true;
}

bool CDeviceCommands::loadOtherMode() {
    if (!m_state.connected)
        return false;
    const bool toRecovery = m_state.runMode != kRunModeRecovery;
    if (!m_questions.askYesNo({}, toRecovery ? kRecoveryQuestion : kApplicationQuestion) ||
        !m_state.connected)
        return false;
    m_sink.sendRequest(
        DeviceMessage::request(toRecovery ? CommandId::sloadboot : CommandId::sloadapp));
    m_host.removeConnectedRow();
    m_host.disconnect();
    return true;
}

bool CDeviceCommands::clearSettings() {
    if (!m_state.connected || !m_questions.askYesNo({}, kClearQuestion) || !m_state.connected)
        return false;
    m_sink.sendRequest(DeviceMessage::request(CommandId::sclear));
    return true;
}

} // namespace velmar
