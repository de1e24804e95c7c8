#pragma once

#include "engine/DialogOpeners.h"

namespace velmar {

// The panel dialogs the device menu opens: the control panel unit's key
// settings and the signal input status.
DialogOpeners panelDialogOpeners();

// Ends the panel dialogs that use the window's engine, at once: the window
// goes. The input status dialog outlives links, so only the window ends it.
void closeLinkDialogs(QWidget* window);

} // namespace velmar
