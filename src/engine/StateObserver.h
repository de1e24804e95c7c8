#pragma once

#include "engine/DeviceState.h"
#include "engine/EngineInterfaces.h"
#include "protocol/DeviceMessage.h"

#include <string_view>

namespace velmar {

struct FlashOutcome;

// What the engine tells whoever keeps the history of a frame (the event log).
// The engine calls these at the few places where the link or the state moves,
// always with the state as it stands; the observer compares it with what it
// saw before. It never changes the state.
class IStateObserver {
public:
    virtual ~IStateObserver() = default;
    virtual void linkOpened(const DeviceState& state) = 0;
    virtual void connectFailed(std::string_view address) = 0;
    // Called before the state is wiped. `lost` is empty when the operator (or
    // the program) closed the link, else why it ended.
    virtual void linkClosing(const DeviceState& state, std::string_view lost) = 0;
    // After the dispatch has handled one message from the frame.
    virtual void dispatched(const DeviceState& state, const DeviceMessage& message,
                            bool isReply) = 0;
    // The settings dialog's changes were sent: `requests` of them.
    virtual void settingsApplied(const DeviceState& state, int requests) = 0;
    // The firmware dialog refused a file or ended its transfer; `state` is the
    // frame as it stood when the run began (the link may be gone by now).
    virtual void firmwareEnded(const DeviceState& /*state*/, const FlashOutcome& /*outcome*/) {}
};

} // namespace velmar
