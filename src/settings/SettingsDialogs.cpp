#include "settings/SettingsDialogs.h"

#include "engine/DeviceCommands.h"
#include "settings/CHWConfDlg.h"

namespace velmar {

DialogOpeners settingsDialogOpeners() {
    return {
        {devcmd::kHwConfiguration,
         [](const DialogContext& c) { runHwConfDialog(c.engine, c.questions, c.parent); }},
    };
}

} // namespace velmar
