#pragma once

#include "engine/DeviceState.h"

#include <string>
#include <string_view>

namespace velmar {

// The module HW/SW dump: a small text record of what is fitted in the
// connected frame (board codes, serial numbers, software versions, the IP
// audio module's MAC and the AD cards' input mode). Nothing reads it back.

struct DumpChoice {
    bool cards = false; // " Cards": the card slots, modules 9 to 16
    bool mini = false;  // " Mini module": the SFP module, module 3
    bool dante = false; // " Dante module": the IP audio module, module 18
    bool any() const { return cards || mini || dante; }
};

// "Save cards/modules to file".
class CCardsLogic {
public:
    static constexpr std::string_view kCaption = "Save cards/modules to file";
    static constexpr std::string_view kCards = " Cards";
    static constexpr std::string_view kMini = " Mini module";
    static constexpr std::string_view kDante = " Dante module";
    // The save dialog that follows.
    static constexpr std::string_view kSaveTitle = "Save module HW/SW settings";
    static constexpr std::string_view kSaveFilter =
        "Device module HW/SW dump (*.txt)|*.txt|All Files (*.*)|*.*||";
    static constexpr std::string_view kDefaultName = "Modules";
    static constexpr std::string_view kExtension = "txt";

    // Why no dump can be written for this frame now, or empty.
    static std::string unavailableReason(const DeviceState& state);
};

// A module's software versions on one line: "A: 1.0 | B: 2.0", stopping at
// the first pair with an empty name or version.
std::string softwareText(const SwVersionRecord& record);

// The whole file, every line ended by "\n".
std::string moduleDumpText(const DeviceSettings& settings, DumpChoice choice);

} // namespace velmar
