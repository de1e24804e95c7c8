#pragma once

#include "protocol/DeviceMessage.h"

#include <type_traits>

namespace velmar {

class CResponseDecoder;

// What a dialog that shows frame values receives while it is open. The
// dispatch has updated DeviceState before it calls; list replies come with the
// decoder, whose list tables hold the items until the next list reply.
class IDialogSink {
public:
    virtual ~IDialogSink() = default;
    virtual void onDeviceMessage(const DeviceMessage& message, bool isReply,
                                 const CResponseDecoder& decoder) = 0;
};

// The signal input status dialog stays open beside the main window, so the
// polling engine refreshes it after each stage-two poll as well.
class ISignalInputStatusSink : public IDialogSink {
public:
    virtual void refreshAll() = 0;
};

// One slot per dialog that must hear from the frame while it is open. The
// opener sets its slot before showing the dialog and clears it when it ends.
struct DialogRegistry {
    IDialogSink* operatingTime = nullptr;
    IDialogSink* xyControl = nullptr;
    IDialogSink* manualIpRouting = nullptr;
    IDialogSink* autoIpRouting = nullptr;
    IDialogSink* firmwareUpdate = nullptr;
    ISignalInputStatusSink* signalInputStatus = nullptr;
    IDialogSink* channelLabels = nullptr;
    IDialogSink* gainSettings = nullptr;
    IDialogSink* ppmStreams = nullptr;
    IDialogSink* levelDetectors = nullptr;
    IDialogSink* hwConfiguration = nullptr;
    IDialogSink* controlPanelUnit = nullptr;
    // A long run of requests in progress: hears every reply, refused ones too.
    IDialogSink* requestRun = nullptr;
};

// Holds a dialog in its slot while the dialog runs and clears the slot however
// the run ends (a return, an exception), so the dispatch never reaches a
// dialog that is gone.
template <class Sink>
class CScopedDialogSlot {
public:
    CScopedDialogSlot(Sink*& slot, std::type_identity_t<Sink>* sink) : m_slot(slot) {
        m_slot = sink;
    }
    ~CScopedDialogSlot() { m_slot = nullptr; }
    CScopedDialogSlot(const CScopedDialogSlot&) = delete;
    CScopedDialogSlot& operator=(const CScopedDialogSlot&) = delete;

private:
    Sink*& m_slot;
};

} // namespace velmar
