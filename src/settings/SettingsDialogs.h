#pragma once

#include "engine/DialogOpeners.h"

namespace velmar {

// The settings dialogs the device menu opens: the hardware configuration.
DialogOpeners settingsDialogOpeners();

} // namespace velmar
