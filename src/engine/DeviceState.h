#pragma once

#include "engine/FixedText.h"
#include "protocol/DeviceMessage.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmar {

// Everything the main window knows about the one connected frame. Indices are
// the frame's own numbers (slots, modules, ports and channels from 1); entry 0
// of every table is unused. Only the dispatch writes the frame's values, so
// the state always shows what the frame said, never what was asked of it.

inline constexpr int kModuleCount = 20;
inline constexpr int kCardSlots = 8;
inline constexpr int kCardChannels = 8;
inline constexpr int kMaxCrosspoints = 1536;
inline constexpr int kLabelChannels = 2048;
inline constexpr int kMainInputs = 14;
inline constexpr int kFlowCount = 32;
inline constexpr int kFlowSlots = 8;
inline constexpr int kSdiRxEntries = 16;
inline constexpr int kSyncSourceFirst = 2; // source 1 ("Internal") has no priority
inline constexpr int kSyncSourceLast = 18;

// Module numbers of the hardware and software reports.
inline constexpr int kModuleMainBoard = 2;
inline constexpr int kModuleSfp = 3;
inline constexpr int kModuleFirstCard = 9; // slots 1..8 are modules 9..16
inline constexpr int kModuleIpAudio = 18;
inline constexpr int kModuleLast = 20;

inline constexpr int kPortCommand = 10003;
inline constexpr int kPortTelnet = 23;

// Frame families.
inline constexpr int kFamily460 = 0;
inline constexpr int kFamily461 = 1;
inline constexpr int kFamily465 = 2;
inline constexpr int kFamily450 = 6;

// Run modes (the entry kind of the chosen list row).
inline constexpr int kRunModeRecovery = 0;
inline constexpr int kRunModeApplication = 1;
inline constexpr int kRunModeHash = 2;

struct NetworkSettings { // "gip"
    std::int32_t mode = 0;
    FixedText<16> ipAddress;
    FixedText<16> subnetMask;
    FixedText<16> gateway;
    FixedText<13> macAddress;
    friend bool operator==(const NetworkSettings&, const NetworkSettings&) = default;
};

struct HwConfRecord { // "ghwconf"
    std::int32_t module = 0;
    std::int32_t present = 0; // non-zero = fitted
    FixedText<17> boardCode;
    FixedText<14> secondText;
    friend bool operator==(const HwConfRecord&, const HwConfRecord&) = default;
};

struct SwVersionRecord { // "gswver"
    std::int32_t value = 0;
    std::array<FixedText<17>, fields::kSwVerPairs> first{};
    std::array<FixedText<17>, fields::kSwVerPairs> second{}; // second[0] is the version text
    friend bool operator==(const SwVersionRecord&, const SwVersionRecord&) = default;
};

struct MadiInMode { // "gmadiinmode": port, then five values
    std::int32_t port = 0;
    std::array<std::int32_t, 5> values{};
    friend bool operator==(const MadiInMode&, const MadiInMode&) = default;
};

struct MadiOutMode { // "gmadioutmode" (port, four modes) and "gmadidsdmode"
    std::int32_t port = 0;
    std::array<std::int32_t, 4> modes{};
    std::int32_t dsdMode = 0;
    friend bool operator==(const MadiOutMode&, const MadiOutMode&) = default;
};

struct PortValue { // "goptmode", "ghlinkinmode", "ghlinkoutmode"
    std::int32_t port = 0;
    std::int32_t value = 0;
    friend bool operator==(const PortValue&, const PortValue&) = default;
};

// Per-channel (or per-port, for ports 1..2) settings of a card slot.
struct CardChannel {
    // AD
    std::int32_t inputMode = 0;
    DecimalValue micLevel;
    DecimalValue lineLevel;
    std::int32_t adMute = 0;
    std::int32_t phantomPower = 0;
    std::int32_t phase = 0;
    // DA
    DecimalValue outputLevel;
    std::int32_t daMute = 0;
    // The card has one DSD filter: the frame reports and sets it as channel
    // 1's. The other channels keep what the operator chose on the card page.
    std::int32_t dsdFilter = 0;
    // SDI, per port
    std::int32_t embedderEnable = 0;
    std::int32_t txSourceRate = 0;
    std::array<std::int32_t, 5> embedMode{};      // groups 1..4
    std::array<std::int32_t, 5> rxSourceEnable{}; // groups 1..4
    // AES
    std::int32_t aesRxSourceEnable = 0;
    // card MADI, per port
    std::int32_t madiInMode = 0;
    std::array<std::int32_t, 3> madiOutMode{};
    std::int32_t madiDsdMode = 0;
    std::int32_t madiRxSourceEnable = 0;
    friend bool operator==(const CardChannel&, const CardChannel&) = default;
};

struct CardRecord {
    std::int32_t cardType = 0; // from the slot's hardware record, see cardTypeFromBoardCode
    std::int32_t cardMode = 0; // AD board type or card interface mode (1 MADI, 2 hotlink)
    std::int32_t cardRedundancy = 0;
    std::int32_t cardRedundancyValue = 0;
    std::int32_t hotlinkInMode = 0;
    std::int32_t hotlinkOutMode = 0;
    std::array<CardChannel, kCardChannels + 1> channels{};
    friend bool operator==(const CardRecord&, const CardRecord&) = default;
};

struct IpAudioAddress { // "gbkip", "gbksecip"
    std::int32_t mode = 0;
    FixedText<16> ipAddress;
    FixedText<16> subnetMask;
    FixedText<16> gateway;
    FixedText<16> dns;
    FixedText<13> macAddress;
    friend bool operator==(const IpAudioAddress&, const IpAudioAddress&) = default;
};

struct IpAudioSettings {
    IpAudioAddress primary;
    IpAudioAddress secondary;
    FixedText<32> moduleName;
    std::int32_t switchMode = 0;
    std::int32_t sampleRateEnable = 0;
    std::int32_t unicastClock = 0;
    std::int32_t preferredMaster = 0;
    std::int32_t autoRouting = 0;
    std::int32_t frameSize = 0;
    std::int32_t latency = 0;
    friend bool operator==(const IpAudioSettings&, const IpAudioSettings&) = default;
};

// The block the settings dialog edits as a copy and the apply step compares
// group by group with the current one.
struct DeviceSettings {
    std::int32_t systemDelay = 0;
    std::int32_t aliveTime = 0;
    std::int32_t genRate = 0;
    std::int32_t rateAdaptSource = 0;
    std::int32_t wordClockOut = 0;
    std::int32_t aesChannelStatus = 0;
    std::int32_t psuConfig = 0; // bit 0 PSU 1, bit 1 PSU 2 fitted
    std::int32_t fanConfig = 0; // bits 0..2 FAN 1..3 fitted
    // Index 0..16 = sync source 2..18; 0 disabled, 1..31 (31 lowest).
    std::array<std::uint8_t, kSyncSourceLast - kSyncSourceFirst + 1> syncPriority{};
    std::int32_t deviceId = 0;
    FixedText<17> deviceName;
    FixedText<7> deviceModel;
    std::int32_t deviceModelNumber = 0; // the number that follows the model in "gdevinfo"
    FixedText<17> serialNumber;
    NetworkSettings networkSettings;
    std::array<HwConfRecord, kModuleCount + 1> hwConf{};
    std::array<SwVersionRecord, kModuleCount + 1> swVersion{};
    std::array<MadiInMode, 4> madiInMode{};
    std::array<MadiOutMode, 4> madiOutMode{};
    std::array<std::int32_t, 3> phdMode{};
    std::array<PortValue, 3> optMode{};
    std::array<std::int32_t, 2> optRedundancy{};
    std::array<PortValue, 3> hotlinkInMode{};
    std::array<PortValue, 3> hotlinkOutMode{};
    std::int32_t syncTerm = 0;
    std::array<CardRecord, kCardSlots + 1> cards{};
    IpAudioSettings ipAudio;
    std::array<FixedText<17>, kLabelChannels + 1> inputLabels{};
    std::array<FixedText<17>, kLabelChannels + 1> outputLabels{};

    friend bool operator==(const DeviceSettings&, const DeviceSettings&) = default;
};

struct InputStatusPair {
    std::int32_t index = 0;
    FixedText<4> value;
    friend bool operator==(const InputStatusPair&, const InputStatusPair&) = default;
};

struct CardPortStatus { // "gaesinpstatus", "gcifstatus": slot, channel or port, status text
    std::int32_t slot = 0;
    std::int32_t index = 0;
    FixedText<4> status;
    friend bool operator==(const CardPortStatus&, const CardPortStatus&) = default;
};

struct TxFlow { // "gcrtxflow"
    std::int32_t flow = 0;
    std::int32_t channels = 0;
    FixedText<16> name;
    std::int32_t extra = 0;
    friend bool operator==(const TxFlow&, const TxFlow&) = default;
};

struct RxFlow { // "gcrrxflow"
    std::int32_t flow = 0;
    std::int32_t channels = 0;
    std::int32_t third = 0;
    std::int32_t fourth = 0;
    friend bool operator==(const RxFlow&, const RxFlow&) = default;
};

struct FlowSlot { // "gtxflowslot", "grxflowslot"
    std::int32_t flow = 0;
    std::int32_t slot = 0;
    std::int32_t channel = 0;
    friend bool operator==(const FlowSlot&, const FlowSlot&) = default;
};

// What the frame reports about its condition; wiped at every connect.
struct LiveStatus {
    std::int32_t actualRate = 0;
    std::int32_t syncState = 0;
    std::int32_t syncSource = 0;
    std::array<std::int32_t, 4> fanStatus{};
    std::array<std::int32_t, 3> psuStatus{};
    // Which of the power and cooling values the frame actually answered
    // (status 0). A zero above is "OK" only where its flag is set; otherwise
    // the frame never said, and nobody may show it as OK.
    bool psuConfigReported = false;
    bool fanConfigReported = false;
    std::array<bool, 3> psuReported{};                           // [1..2]
    std::array<bool, 4> fanReported{};                           // [1..3]
    std::array<std::int32_t, kMaxCrosspoints + 1> crosspoints{}; // input per output, <= 0 none
    // Outputs the frame has told the route of. Any other output reads 0 above,
    // which is "not connected" only once the frame has said so.
    std::array<bool, kMaxCrosspoints + 1> crosspointReported{}; // [1..]
    std::array<InputStatusPair, kMainInputs + 1> mainInputStatus{};
    std::array<std::int32_t, 3> optInactive{};
    std::array<std::array<std::int32_t, kCardChannels + 1>, kCardSlots + 1> adSignal{};
    std::array<std::array<std::int32_t, kCardChannels + 1>, kCardSlots + 1> adOverload{};
    std::array<std::array<std::int32_t, 5>, kSdiRxEntries> sdiRxStatus{};
    std::array<std::array<CardPortStatus, kCardChannels + 1>, kCardSlots + 1> aesInputStatus{};
    std::array<std::array<std::int32_t, 3>, kCardSlots + 1> cardIfInactive{};
    std::array<std::array<CardPortStatus, 3>, kCardSlots + 1> cardIfStatus{};
    std::array<TxFlow, kFlowCount + 1> txFlows{};
    std::array<RxFlow, kFlowCount + 1> rxFlows{};
    std::array<std::array<FlowSlot, kFlowSlots>, kFlowCount + 1> txFlowSlots{};
    std::array<std::array<FlowSlot, kFlowSlots>, kFlowCount + 1> rxFlowSlots{};
    std::array<std::int32_t, 2> rxPortRange{};
    std::int32_t maxLatency = 0;
    std::int32_t bkLock = 0;
    std::array<std::int32_t, 3> bkDomain{};

    friend bool operator==(const LiveStatus&, const LiveStatus&) = default;
};

struct DeviceState {
    // Link fields: they belong to the connection, not to the frame.
    bool connected = false;
    bool receiving = true;
    int aliveCounter = 0;
    bool programming = false;
    int runMode = kRunModeApplication;
    int family = kFamily461;
    std::uint32_t deviceAddress = 0; // a.b.c.d as (a << 24) | (b << 16) | (c << 8) | d
    std::string connectedAddress;    // the same as dotted text
    std::string deviceTitleName;
    int port = kPortCommand;
    bool useTelnetPort = false;
    bool xyEnabled = false;
    bool serviceMode = false;
    bool aliveEnabled = true;

    DeviceSettings settings;
    LiveStatus live;

    // Wipes what is known of the frame; the link fields keep their values
    // except those named here. `address` is the connected frame's or 0.
    void reset(bool nowConnected, std::uint32_t address);

    int versionNumber() const;
    int crosspointCount() const;
    bool crosspointsRead() const; // the frame told the route of every output
    int cardType(int slot) const; // 0 for a slot out of range
    bool ipModulePresent() const;
    bool sfpPresent() const;
    bool noPhd() const;

    int syncPriorityOf(int source) const; // 0 for a source out of 2..18
};

// a × 1000000 + b × 10000 + c × 100 + d of a text "a.b.c.d"; 0 when it does not read.
int versionNumberFromText(std::string_view text);

// The family a frame's own model text stands for.
int familyFromModel(std::string_view model);
// Model texts the program knows ("460", "461", "465", "450", "QB16", "RB16",
// "GRID"), and the same as one readable list.
bool isKnownModel(std::string_view model);
std::string knownModelList();
// The family of a device list row by its Type column (unknown types count as 461).
int familyFromListType(std::string_view type);
// The run mode of a device list row by its IP address column.
int runModeFromListAddress(std::string_view address);

} // namespace velmar
