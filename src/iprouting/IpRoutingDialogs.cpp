#include "iprouting/IpRoutingDialogs.h"

#include "engine/DeviceCommands.h"
#include "iprouting/CAutoIPDlg.h"
#include "iprouting/CFlowDlg.h"
#include "iprouting/CPPMDlg.h"

namespace velmar {

DialogOpeners ipRoutingDialogOpeners() {
    return {
        // The flow dialog refuses destinations that are frames of the device list.
        {devcmd::kManualIpRouting,
         [](const DialogContext& c) {
             runFlowDialog(c.engine, c.questions, c.listedAddresses, c.parent);
         }},
        {devcmd::kAutoIpRouting,
         [](const DialogContext& c) { runAutoIpDialog(c.engine, c.questions, c.parent); }},
        {devcmd::kPpmStreams,
         [](const DialogContext& c) { runPpmDialog(c.engine, c.questions, c.parent); }},
    };
}

} // namespace velmar
