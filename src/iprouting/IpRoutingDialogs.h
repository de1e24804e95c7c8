#pragma once

#include "engine/DialogOpeners.h"

namespace velmar {

// The IP routing dialogs the device menu opens: manual and automatic IP
// routing control and the PPM streams.
DialogOpeners ipRoutingDialogOpeners();

} // namespace velmar
