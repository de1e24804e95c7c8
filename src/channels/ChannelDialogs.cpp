#include "channels/ChannelDialogs.h"

#include "channels/CChnLabelDlg.h"
#include "channels/CIOGainDlg.h"
#include "channels/CLevDetDlg.h"
#include "engine/DeviceCommands.h"

namespace velmar {

DialogOpeners channelDialogOpeners() {
    return {
        {devcmd::kChannelLabels,
         [](const DialogContext& c) {
             runChannelLabelsDialog(c.engine, c.questions, c.parent);
             if (c.labelsChanged)
                 c.labelsChanged(); // the lists show the new labels
         }},
        {devcmd::kGainSettings,
         [](const DialogContext& c) { runGainDialog(c.engine, c.questions, c.parent); }},
        {devcmd::kLevelDetectors,
         [](const DialogContext& c) { runLevelDetectorDialog(c.engine, c.questions, c.parent); }},
    };
}

} // namespace velmar
