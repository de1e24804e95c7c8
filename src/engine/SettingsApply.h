#pragma once

#include "engine/DeviceState.h"
#include "protocol/DeviceMessage.h"

#include <cstdint>
#include <vector>

namespace velmar {

// What the apply step needs to know of the frame besides the two settings
// blocks: which optional parts are fitted and whether the Dante module may be
// configured from here.
struct SettingsApplyContext {
    bool sfpPresent = false;
    bool ipModulePresent = false;
    std::int32_t bkLock = 0;        // last "gbklock"
    std::int32_t bkDomainState = 0; // third value of the last "gbkdomain"
    std::int32_t maxLatency = 0;    // "gmaxlatencyip"; 0 when never reported
};

SettingsApplyContext settingsApplyContext(const DeviceState& state);

// Whether the Dante module takes settings from this program: a locked module,
// or one that a Dante domain manages (domain state 1 or 2), does not.
bool danteConfigurable(const SettingsApplyContext& context);

enum class ApplyResult : int {
    NothingSent = 0,
    Sent = 1,
    NetworkSent = 2, // the frame's or the Dante module's network identity changed
};

struct SettingsApplyPlan {
    // The requests in the order they must be sent; built with
    // DeviceMessage::request, so ready for the sender.
    std::vector<DeviceMessage> requests;
    ApplyResult result = ApplyResult::NothingSent;
};

// Compares the confirmed settings with the current ones group by group and
// lists the set requests that carry each changed group to the frame: alive
// time, system delay, sample rates, identity, LAN, AES, MADI coax, PHD, the
// optional module, the Dante module, sync priorities and termination, then the
// card slots. A Dante module that cannot be configured gets the matching get
// requests instead, so its values are read back; those do not count as sent.
// The window and velmarctl both send exactly this list.
SettingsApplyPlan planSettingsApply(const DeviceSettings& before, const DeviceSettings& after,
                                    const SettingsApplyContext& context);

// The settings the window keeps after a confirmed dialog: the edited copy,
// except for what the dialog only shows and the frame alone reports (hardware
// and software records, serial number, MAC addresses, labels), which keep
// their current values, and the card slots the dialog left as they were when
// it opened (`opened`), which keep theirs too. Replies that arrived while the
// dialog was open (the card poll may still be answering) are thereby neither
// undone nor sent back to the frame as changes.
DeviceSettings settingsAfterApply(const DeviceSettings& current, const DeviceSettings& opened,
                                  const DeviceSettings& edited);

// The latency and packet size code that "sperformip" carries for a latency
// asked for in microseconds, limited by what the frame reported it can do.
struct PerformValues {
    std::int32_t latency = 0;
    std::int32_t packetSizeCode = 0;
    friend bool operator==(const PerformValues&, const PerformValues&) = default;
};
PerformValues performValues(std::int32_t latency, std::int32_t maxLatency);

} // namespace velmar
