#include "panel/PanelDialogs.h"

#include "engine/DeviceCommands.h"
#include "panel/C450DornDlg.h"
#include "panel/CInpStDlg.h"

namespace velmar {

DialogOpeners panelDialogOpeners() {
    return {
        {devcmd::kKeySettings,
         [](const DialogContext& c) { runPanelUnitDialog(c.engine, c.questions, c.parent); }},
        {devcmd::kInputStatus,
         [](const DialogContext& c) { showInputStatusDialog(c.engine, c.parent); }},
    };
}

} // namespace velmar
