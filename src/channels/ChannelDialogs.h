#pragma once

#include "engine/DialogOpeners.h"

namespace velmar {

// The channel dialogs the device menu opens: labels, gains, level detectors.
DialogOpeners channelDialogOpeners();

} // namespace velmar
