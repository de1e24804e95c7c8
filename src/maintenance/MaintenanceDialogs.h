#pragma once

#include "engine/DialogOpeners.h"

#include <functional>

class QMenuBar;

namespace velmar {

// The maintenance dialogs the menus open: firmware update, ID settings,
// operational time, PSU and FAN configuration and the module dump. The
// network settings are the window's own: they concern list rows too.
DialogOpeners maintenanceDialogOpeners();

// The window's "Maintenance" menu: joining flash files, and the PSU and FAN
// configuration and module dump of the connected frame, opened through
// `open` with their command ids.
void addMaintenanceMenu(QMenuBar& bar, const CPollingEngine& engine,
                        std::function<void(int commandId)> open);

} // namespace velmar
