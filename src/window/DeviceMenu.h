#pragma once

#include "engine/DeviceCommands.h"
#include "engine/DeviceState.h"
#include "engine/EngineInterfaces.h"
#include "engine/Questions.h"

#include <bitset>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

class CXyBurst;

// Where the right click landed.
enum class MenuRow {
    None,      // outside any row
    Connected, // the connected device's row
    Other,     // any other row
};

// Dialog commands whose dialogs exist, by id − 1500. The others are shown but
// disabled until their dialogs are built.
using WiredDialogs = std::bitset<devcmd::kLast - devcmd::kFirst + 1>;
WiredDialogs wiredDialogsNow();

struct DeviceMenuInputs {
    MenuRow row = MenuRow::None;
    bool rowRemovable = false; // the row's address is a hand-added one
    bool connected = false;
    int runMode = kRunModeApplication;
    int family = kFamily461;
    int versionNumber = 0;
    bool xyEnabled = false;
    bool serviceMode = false;
    bool ipModulePresent = false;
    WiredDialogs wired = wiredDialogsNow();
};

// The inputs as the state shows them, for a click on `row`.
DeviceMenuInputs deviceMenuInputs(const DeviceState& state, MenuRow row, bool rowRemovable);

struct MenuItem {
    std::string_view text; // empty for a separator
    int id = 0;            // 0 for a separator
    bool enabled = true;
    bool separator() const { return id == 0; }
    friend bool operator==(const MenuItem&, const MenuItem&) = default;
};

// The popup for a click, in order, separators included.
std::vector<MenuItem> buildDeviceMenu(const DeviceMenuInputs& in);

// Asked before a double click on another row drops the connected frame:
// "Disconnect from Studio A (10.0.1.20) and connect to Studio B (10.0.1.21)?"
std::string switchFrameQuestion(std::string_view connectedLabel, std::string_view rowName,
                                std::string_view rowAddress);

// What the commands need from the main window besides the frame.
class IDeviceMenuHost {
public:
    virtual ~IDeviceMenuHost() = default;
    virtual void refreshDevices() = 0; // a discovery broadcast
    virtual void
    connectToRow(int row) = 0; // drop the link, take the row's mode and family, connect
    virtual void disconnect() = 0;
    virtual void removeRow(int row) = 0;   // "Remove from list"
    virtual void removeConnectedRow() = 0; // the frame restarts; it comes back with a discovery
    virtual void openDialog(int commandId) = 0; // a dialog command whose preconditions hold
};

// The handlers of the menu's commands. The ones that act on the frame ask
// first and send through the request sink; the rest go to the host.
class CDeviceCommands {
public:
    static constexpr std::string_view kRestartQuestion = "Restart device";
    static constexpr std::string_view kRecoveryQuestion = "Restart device in recovery mode";
    static constexpr std::string_view kApplicationQuestion = "Restart device in application mode";
    static constexpr std::string_view kClearQuestion =
        "Clear device and return to factory settings";
    static constexpr std::string_view kTelnetProgramming =
        "Programming not possible due to TELNET port connection";

    CDeviceCommands(const DeviceState& state, IRequestSink& sink, IQuestions& questions,
                    IOperator& op, const CXyBurst& burst, IDeviceMenuHost& host)
        : m_state(state), m_sink(sink), m_questions(questions), m_operator(op), m_burst(burst),
          m_host(host) {}

    // A menu command for the clicked row (`row` −1 outside any row).
    void execute(int commandId, MenuRow rowKind, int row);

    // The commands that act on the frame; also reached from elsewhere (the
    // settings apply asks for a restart). True when the request went out.
    bool restart();
    bool loadOtherMode();
    bool clearSettings();

private:
    bool dialogAllowed(int commandId, MenuRow rowKind);

    const DeviceState& m_state;
    IRequestSink& m_sink;
    IQuestions& m_questions;
    IOperator& m_operator;
    const CXyBurst& m_burst;
    IDeviceMenuHost& m_host;
};

} // namespace velmar
