#pragma once

#include "engine/DialogOpeners.h"

namespace velmar {

// The panel dialogs the device menu opens: the control panel unit's key
// settings and the signal input status.
DialogOpeners panelDialogOpeners();

} // namespace velmar
