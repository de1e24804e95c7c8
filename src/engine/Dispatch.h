#pragma once

#include "engine/DeviceState.h"
#include "engine/DialogRegistry.h"
#include "engine/EngineInterfaces.h"
#include "protocol/DeviceMessage.h"
#include "protocol/ResponseDecoder.h"

namespace velmar {

// What the dispatch asks of the engine besides the state it writes.
class IDispatchHost : public IRequestSink {
public:
    virtual void updateTitle() = 0;
    virtual void showSampleRate() = 0;
    virtual void showSyncSource() = 0;
    virtual void showPowerAndFans() = 0;
};

struct DispatchContext {
    DeviceState& state;
    DialogRegistry& dialogs;
    IMainView& view;
    ITimerHost& timers;
    IDispatchHost& host;
};

// Handles one decoded message from the frame: stores what it says in
// DeviceState, tells the views, forwards it to the open dialog that shows it
// and sends the follow-up requests some replies call for. `decoder` is the one
// that decoded the message; list replies read their items from it.
void dispatch(DispatchContext& context, const DeviceMessage& message, bool isReply,
              const CResponseDecoder& decoder);

// An "llabel" block that ends at the frame's last channel completes both label
// tables: the labels dialog then copies them whole and redraws every row;
// other blocks redraw only their own rows.
bool labelBlockEndsTables(int first, int count, int channelCount);

// How a command's replies with a non-zero status are treated.
enum class OnError : unsigned char {
    NoRow,  // the command has no handler: every message is ignored
    Ignore, // a non-zero status drops the message
    Handle, // the handler sees every message and applies its own error rule
};

// The error rule of a command's row; for tests and diagnostics.
OnError dispatchErrorRule(CommandId command);

} // namespace velmar
