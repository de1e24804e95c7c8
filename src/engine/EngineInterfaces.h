#pragma once

#include "link/LinkLoss.h"

#include "protocol/DeviceMessage.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmar {

// The numbered timers of the main window. The engine owns 6, 7, 11 and 12; the
// others belong to the X-Y burst, the firmware transfer, the discovery queue
// and the device list, and the shell routes them there.
inline constexpr int kTimerXyBurst = 5;
inline constexpr int kTimerAlive = 6;
inline constexpr int kTimerStartPoll = 7;
inline constexpr int kTimerFirmware = 8;
inline constexpr int kTimerDiscoveryQueue = 9;
inline constexpr int kTimerDeviceList = 10;
inline constexpr int kTimerSettingsReady = 11;
// The window's background read of the channel labels (see CPollingEngine).
inline constexpr int kTimerLabelRead = 12;

inline constexpr int kAlivePeriodMs = 5000;
inline constexpr int kTelnetSettleMs = 300;
inline constexpr int kStageTwoAfterVersionMs = 100;
inline constexpr int kStageTwoFallbackMs = 1000;
inline constexpr int kSettingsReadyMs = 200;
inline constexpr int kSettingsAppliedMs = 300;

// Starts and stops the numbered timers; whoever backs it calls the engine's
// onTimer(id) when one fires. Starting a running timer replaces its period.
class ITimerHost {
public:
    virtual ~ITimerHost() = default;
    virtual void startTimer(int id, int periodMs) = 0;
    virtual void stopTimer(int id) = 0;
};

// The connection to one frame. Probing and connecting are the shell's; the
// engine decides address, port and whether to probe.
class ILink {
public:
    virtual ~ILink() = default;
    // 0 on success, else an error code (1: bad address or no echo from the frame).
    virtual int open(std::string_view address, int port, bool probeFirst) = 0;
    virtual void close() = 0;
    // Encodes and writes one line; ignored while there is no connection.
    virtual void send(const DeviceMessage& message) = 0;
};

class IOperator {
public:
    virtual ~IOperator() = default;
    virtual void showMessage(std::string_view text) = 0;
    virtual bool askYesNo(std::string_view text) = 0; // only Yes proceeds
};

// Where views and dialogs hand their requests: the engine completes each as a
// request and sends it while connected.
class IRequestSink {
public:
    virtual ~IRequestSink() = default;
    virtual void sendRequest(DeviceMessage message) = 0;
};

// One field of the " Device status " group as the window shows it.
struct StatusField {
    std::string text;
    bool enabled = false;
    bool red = false; // black text on the red brush
    friend bool operator==(const StatusField&, const StatusField&) = default;
};

struct StatusFields {
    StatusField syncSource;         // "Sync source"
    StatusField sampleRate;         // "Sample rate"
    std::array<StatusField, 2> psu; // "PSU 1", "PSU 2"
    std::array<StatusField, 3> fan; // "FAN 1" .. "FAN 3"
    friend bool operator==(const StatusFields&, const StatusFields&) = default;
};

// What the main window shows of the engine. Every call says what changed; the
// window reads nothing back.
class IMainView {
public:
    virtual ~IMainView() = default;
    virtual void titleChanged(std::string_view title) = 0;
    virtual void statusFieldsChanged(const StatusFields& fields) = 0;
    virtual void settingsEnabledChanged(bool enabled) = 0;
    virtual void crosspointControlsEnabledChanged(bool enabled) = 0;
    virtual void connectButtonTextChanged(std::string_view text) = 0; // "Close" or "Connect"
    // The connected row changed: deselect the selected row and repaint the list.
    virtual void deviceListReset() = 0;
    // Type and S/N columns of the row whose address is `address` ("gdevinfo").
    virtual void deviceRowInfoChanged(std::string_view address, std::string_view model,
                                      std::string_view serialNumber) = 0;
    // ID and Name columns of the row whose address is `address` ("gdevid").
    virtual void deviceRowIdentityChanged(std::string_view address, int id,
                                          std::string_view name) = 0;
    virtual void crosspointListCleared() = 0;
    virtual void rebuildCrosspointTypeLists() = 0;
    virtual void crosspointRowChanged(int output) = 0;
    virtual void crosspointListChanged() = 0; // all rows
    // The IP flows changed: refill the output (or input) list if it shows the IP type.
    virtual void ipFlowListChanged(bool outputs) = 0;
    virtual void inputOutputSelectionCleared() = 0;
    // One line for the status bar: progress, a refusal, a lost link, an outcome.
    virtual void statusMessage(std::string_view text) = 0;
    // The frame at `address` was lost; its row shows it until it answers a search.
    virtual void deviceOffline(std::string_view address) = 0;
};

} // namespace velmar
