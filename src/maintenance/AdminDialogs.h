#pragma once

#include "link/DeviceList.h"
#include "link/DiscoveryDatagrams.h"
#include "engine/DeviceState.h"
#include "engine/EngineInterfaces.h"

#include <array>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// The small dialogs used when racking a frame: its address, its ID and name,
// its power supplies and fans, and how long it has run. Each class here holds
// what its dialog shows and decides what OK sends; the Qt dialogs only forward.

// Commands of the main window that no device menu offers: the window's
// Maintenance menu does.
namespace admincmd {
inline constexpr int kPsuFanConfiguration = 1516;
inline constexpr int kModuleDump = 1523;
} // namespace admincmd

// ---- Network settings -------------------------------------------------------

// Whom the network dialog is for: the connected frame (changed with "sip") or
// a listed frame that is not connected (readdressed by its serial number).
struct NetworkTarget {
    enum class Kind { Connected, Discovered };
    Kind kind = Kind::Connected;
    Ipv4Address address = 0;
    std::string name;
    std::string serialNumber;
    int row = -1; // the device list row, -1 when none was selected
};

// Who the command opens the dialog for, or nothing: a row that is neither the
// connected frame nor one with a serial number, no row while disconnected, an
// address of 0.
std::optional<NetworkTarget> networkTargetFor(const DeviceState& state,
                                              const KnownDevice* selectedRow, int row);

class CNetworkSettingsLogic {
public:
    static constexpr std::string_view kCaption = "Network settings";
    static constexpr std::string_view kAutomatic = "Obtain an IP address automatically";
    static constexpr std::string_view kFixed = "Use the following IP address";
    static constexpr std::array<std::string_view, 3> kFieldNames = {"IP address", "Subnet mask",
                                                                    "Default gateway"};

    // `current` is the connected frame's reported record; it is not used for a
    // discovered frame, which starts from a fixed address: the one it answered
    // the search from, mask and gateway 0.0.0.0 (not known).
    CNetworkSettingsLogic(NetworkTarget target, const NetworkSettings& current);

    const NetworkTarget& target() const { return m_target; }
    std::string title() const;
    bool fixedChosen() const { return m_fixed; }
    // The three address fields as they start: IP address, subnet mask, gateway.
    const std::array<std::string, 3>& addresses() const { return m_addresses; }

    // What OK leads to.
    struct Outcome {
        enum class Kind {
            Invalid,   // a field cannot be used: the dialog stays open, `problem` says why
            Cancelled, // (no longer made: an unusable address is Invalid)
            Unchanged, // the connected frame already has these values
            Send,      // `record` goes out ("sip" or the set-address request)
        };
        Kind kind = Kind::Cancelled;
        std::string problem;
        int field = -1; // the field to focus when Invalid
        NetworkSettings record;
    };
    Outcome accept(bool fixed, const std::array<std::string, 3>& fields) const;

    // The requests for an Outcome::Send, for each kind of target.
    static DeviceMessage sipRequest(const NetworkSettings& record);
    static SetAddressRequest setAddressRequest(std::string_view serialNumber,
                                               const NetworkSettings& record);

private:
    NetworkTarget m_target;
    NetworkSettings m_current;
    bool m_fixed = true;
    std::array<std::string, 3> m_addresses;
};

// Why a typed address cannot be used, in plain words, or nothing.
std::optional<std::string> addressProblem(std::string_view fieldName, std::string_view text);

// Why `mask` cannot be a subnet mask, or nothing: its ones must come first
// and in one run (255.255.255.0, not 255.0.255.0), and there must be some.
std::optional<std::string> subnetMaskProblem(Ipv4Address mask);

// ---- Device ID and Name -----------------------------------------------------

class CDeviceIdLogic {
public:
    static constexpr std::string_view kCaption = "Device ID and Name";
    static constexpr int kMaxId = 99; // what a frame takes
    static constexpr std::size_t kNameLength = 16;

    CDeviceIdLogic(int id, std::string_view name);
    int id() const { return m_id; }
    const std::string& name() const { return m_name; }

    struct Outcome {
        std::string problem;                  // not empty: the dialog stays open and says why
        int field = 0;                        // 1 the ID, 2 the name
        std::optional<DeviceMessage> request; // "sdevid", none when nothing changed
    };
    Outcome accept(std::string_view idText, std::string_view name) const;

private:
    int m_id = 0;
    std::string m_name;
};

// ---- PSU and FAN configuration ------------------------------------------------

struct ConfigEntry {
    std::string_view text;
    int value = 0;
};

class CPsuFanLogic {
public:
    static constexpr std::string_view kCaption = "PSU and FAN configuration";
    static constexpr std::array<ConfigEntry, 4> kPsuEntries = {
        {{"None", 0}, {"PSU1", 1}, {"PSU2", 2}, {"Both", 3}}};
    static constexpr std::array<ConfigEntry, 4> kFanEntries = {
        {{"None", 0}, {"1", 1}, {"2", 3}, {"3", 7}}};

    CPsuFanLogic(int psuConfig, int fanConfig);
    // The entry each list starts on, -1 when the value has none.
    int psuIndex() const { return indexOf(kPsuEntries, m_psu); }
    int fanIndex() const { return indexOf(kFanEntries, m_fan); }

    // "spsuconf" and "sfanconf" for the values that changed (-1: no selection, 0).
    std::vector<DeviceMessage> accept(int psuIndex, int fanIndex) const;

private:
    static int indexOf(const std::array<ConfigEntry, 4>& entries, int value);
    static int valueAt(const std::array<ConfigEntry, 4>& entries, int index);
    int m_psu = 0;
    int m_fan = 0;
};

// ---- Operational time ---------------------------------------------------------

// Turns a moment into local calendar time; the shell passes the system's, a
// test a fixed zone.
using LocalTimeFn = bool (*)(std::time_t, std::tm&);
bool systemLocalTime(std::time_t when, std::tm& out);

class COperatingTimeLogic {
public:
    static constexpr std::string_view kCaption = "Operational time";
    static constexpr std::string_view kWaiting = "waiting for the frame ...";
    static constexpr std::string_view kNotReported = "the frame did not report it";

    explicit COperatingTimeLogic(LocalTimeFn localTime = systemLocalTime)
        : m_localTime(localTime) {}

    // Asked when the dialog opens, in this order.
    static std::vector<DeviceMessage> requests();

    // A reply; `now` is the moment it arrived. False when it is not one of ours.
    bool onReply(const DeviceMessage& reply, std::time_t now);

    const std::string& sinceRestart() const { return m_sinceRestart; } // 1073
    const std::string& restartInstant() const { return m_restartAt; }  // 1075
    const std::string& totalTime() const { return m_total; }           // 1074
    const std::string& totalDays() const { return m_totalDays; }       // 1076

    static std::string durationText(std::int32_t h, std::int32_t m, std::int32_t s);
    static std::string daysText(std::int32_t hours);

private:
    LocalTimeFn m_localTime;
    std::string m_sinceRestart{kWaiting};
    std::string m_restartAt;
    std::string m_total{kWaiting};
    std::string m_totalDays;
};

} // namespace velmar
