#pragma once

#include "FaultPlan.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar::framesim {

// Module numbers of the hardware configuration: the main board, the SFP module,
// the eight card slots and the IP audio module.
inline constexpr int kModuleCount = 20;
inline constexpr int kMainBoardModule = 2;
inline constexpr int kSfpModule = 3;
inline constexpr int kFirstSlotModule = 9;
inline constexpr int kSlotCount = 8;
inline constexpr int kIpModule = 18;
inline constexpr int kMainInputs = 14;
inline constexpr int kPsuUnits = 2;
inline constexpr int kFanUnits = 3;

struct ModuleRecord {
    int present = 0;
    std::string boardText;  // code (6), variant and make letter (4), date YYMMDD (6)
    std::string serialText; // code (6), week YYWW (4), run number (3)
    std::string versionLabel;
    std::string version; // a.b.c.d; empty: the module reports no version
};

struct NetworkSettings {
    int mode = 0;
    std::string address;
    std::string mask;
    std::string gateway;
    std::string dns = "0.0.0.0"; // the IP audio module's interfaces only
};

// One MADI port: input mode, the three output values in wire order (channel
// status, legacy frame, channel count) and the DSD mode.
struct MadiPort {
    int inMode = 0;
    std::array<int, 3> outModes{};
    int dsdMode = 0;
};

// The control panel unit's state (model 450): keys 1..12 with mode, value and
// state, the LEDs behind keys 1..11, the ring of 32 LEDs (state 0..3), the
// rotary count, the LED intensity (1..3) and the master role.
inline constexpr int kPanelKeys = 12;
inline constexpr int kPanelKeyLeds = 11;
inline constexpr int kPanelRingLeds = 32;
struct PanelUnit {
    std::array<std::array<int, 3>, kPanelKeys + 1> keys{}; // [1..12]: mode, value, state
    std::array<int, kPanelKeyLeds + 1> leds{};             // [1..11]: 0 off, 1 on
    std::array<int, kPanelRingLeds + 1> ringLeds{};        // [1..32]
    int rotaryCount = 0;
    int ledIntensity = 2;
    int master = 1;
};

// What frame is being imitated: identity, fitted hardware, the values it starts
// with, where it listens and how it misbehaves.
struct FrameProfile {
    std::string preset; // name of the preset it was built from, if any

    std::string model = "460";
    int modelNumber = 0; // the number the model text is reported with
    int id = 1;
    std::string name = "Frame";
    std::string serial = "000000000001";
    int runMode = 1; // 0 recovery, 1 application, 2 the "#" state

    NetworkSettings network{0, "127.0.0.2", "255.0.0.0", "0.0.0.0", "0.0.0.0"};
    std::string mac = "0050C2000001";

    std::array<ModuleRecord, kModuleCount + 1> modules{}; // [1..20]

    int psuConfig = 3; // bit per fitted PSU
    int fanConfig = 7; // bit per fitted fan
    std::array<int, kPsuUnits + 1> psuStatus{};
    std::array<int, kFanUnits + 1> fanStatus{};
    int temperature = 38;

    int syncState = 0;  // 0 locked, non-zero a sync fault
    int syncSource = 1; // 1 internal .. 18 IP
    int sampleRate = 2; // actual rate code, 2 = 48 kHz
    int genRate = 2;
    std::array<int, 19> syncPriority{};                     // [2..18]
    std::array<std::string, kMainInputs + 1> inputStatus{}; // [1..14], up to 3 characters
    std::map<int, int> crosspoints; // output -> input the frame starts with; the rest unrouted
    PanelUnit panel;

    // Frame-wide settings the settings pages edit.
    int systemDelay = 0;     // samples, 0..64
    int rateAdaptSource = 1; // 1 internal, 3 AES11, 5..12 AES, 13/14 PHD, 15..18
    int wordClockOut = 0;
    int syncTerm = 0;
    int aesChannelStatus = 0;
    std::array<MadiPort, 4> madi{};              // [1] coax, [2..3] the SFP ports
    std::array<int, 3> phdMode{};                // port configuration, emulation port 1, port 2
    std::array<int, 3> optMode{0, 1, 1};         // [1..2]: 0 disabled, 1 MADI, 2 Hotlink
    std::array<int, 2> optRedundancy{};          // enable, mode
    std::array<std::array<int, 2>, 3> hotlink{}; // [1..2]: input mode, output mode

    NetworkSettings ipPrimary{0, "192.168.10.2", "255.255.255.0", "0.0.0.0", "0.0.0.0"};
    NetworkSettings ipSecondary{0, "192.168.11.2", "255.255.255.0", "0.0.0.0", "0.0.0.0"};
    std::string ipMac = "001DC1000001";
    std::string ipSecondaryMac = "001DC1000002";
    std::string ipName = "Frame-IP";
    int ipSwitchMode = 0;
    int ipSampleRateEnable = 1;
    int ipUnicastClock = 0;
    int ipUnicastClockState = 0;
    std::string ipUnicastClockText = "Idle";
    int ipPreferredMaster = 0;
    int ipLatency = 1000;    // microseconds
    int ipMaxLatency = 1000; // microseconds
    int ipFrameSize = 16;    // packet size code
    int ipLock = 0;          // non-zero: the module takes no settings from here
    int ipDomainState = 0;   // 1 or 2: the module belongs to a managed domain

    // IP audio routing
    int ipAutoRouting = 0; // "gautorouteip"
    // "grxportrng": the ports Rx flows may listen on
    int ipRxPortFirst = 14528;
    int ipRxPortLast = 14591;

    std::string bindAddress = "127.0.0.2";
    std::uint16_t tcpPort = 10003;
    std::uint16_t telnetPort = 23;
    std::uint16_t udpPort = 10002;
    std::uint16_t replyPort = 10004; // where search replies and "!edev" go
    int aliveIntervalMs = 5000;      // the frame's own alive requests; 0 = none
    // A scheduled scenario (see Scenario.h), started when the first client
    // connects; empty for none.
    std::string scenario;
    int scenarioTickMs = 1000;
    bool scenarioRepeat = false;

    FaultPlan faults;

    // Family code the model stands for: 0 460/QB16/GRID, 1 461/RB16, 2 465, 6 450.
    int family() const;
    // Main board version a.b.c.d as a*1000000 + b*10000 + c*100 + d; 0 if unparsable.
    int versionNumber() const;
    int crosspointCount() const;
    // The card type of slot 1..8 from its board code; 0 when nothing is fitted.
    int cardType(int slot) const;
    // The main board's sixth board code character is "1" on frames without PHD.
    bool hasPhd() const;
    // The TCP port the command server listens on: the telnet port in recovery
    // mode and in the "#" state.
    std::uint16_t commandPort() const { return runMode == 1 ? tcpPort : telnetPort; }
};

// Names of the built-in presets, in the order --list-presets shows them.
std::vector<std::string_view> presetNames();
std::string_view presetDescription(std::string_view name);
std::optional<FrameProfile> presetProfile(std::string_view name);

// Applies one "key = value" setting; false with a reason when the key is unknown
// or the value does not fit it.
bool applySetting(FrameProfile& profile, std::string_view key, std::string_view value,
                  std::string& error);

// Reads a profile text: one "key = value" per line, "#" starts a comment. A
// "preset" line starts from that preset and must come first.
std::optional<FrameProfile> parseProfile(std::string_view text, std::string& error);

int cardTypeOfBoardCode(std::string_view boardText);
int familyOfModel(std::string_view model);

} // namespace velmar::framesim
