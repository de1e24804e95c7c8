#include "maintenance/MaintenanceDialogs.h"

#include "engine/DeviceCommands.h"
#include "engine/PollingEngine.h"
#include "maintenance/AdminDialogs.h"
#include "maintenance/CCardsDlg.h"
#include "maintenance/CDevIDDlg.h"
#include "maintenance/CDevPsuCfgDlg.h"
#include "maintenance/CFlashDlg.h"
#include "maintenance/CTimeDlg.h"
#include "maintenance/ModuleDump.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <string>

namespace velmar {

namespace {
// Dialogs that end with a line for the status bar.
template <std::string (*Run)(CPollingEngine&, QWidget*)>
void withStatus(const DialogContext& c) {
    const std::string status = Run(c.engine, c.parent);
    if (!status.empty() && c.showStatus)
        c.showStatus(status);
}
} // namespace

DialogOpeners maintenanceDialogOpeners() {
    return {
        {devcmd::kFirmwareUpdate,
         [](const DialogContext& c) {
             runFlashDialog(c.engine, c.parent, [restarting = c.frameRestarting] {
                 if (restarting)
                     restarting();
             });
         }},
        {devcmd::kIdSettings, withStatus<runIdDialog>},
        {devcmd::kOperationalTime,
         [](const DialogContext& c) { runTimeDialog(c.engine, c.parent); }},
        {admincmd::kPsuFanConfiguration, withStatus<runPsuFanDialog>},
        {admincmd::kModuleDump, withStatus<runModuleDump>},
    };
}

void addMaintenanceMenu(QMenuBar& bar, const CPollingEngine& engine,
                        std::function<void(int commandId)> open) {
    auto* maintenance = bar.addMenu(QStringLiteral("&Maintenance"));
    QWidget* window = bar.window();
    QAction* join = maintenance->addAction(QStringLiteral("Save all flash file ..."));
    join->setObjectName(QStringLiteral("saveAllFlashAction"));
    QObject::connect(join, &QAction::triggered, maintenance, [window] { runFlashJoin(window); });
    QAction* psuFan = maintenance->addAction(QStringLiteral("PSU and FAN configuration ..."));
    psuFan->setObjectName(QStringLiteral("psuFanAction"));
    QObject::connect(psuFan, &QAction::triggered, maintenance,
                     [open] { open(admincmd::kPsuFanConfiguration); });
    QAction* dump = maintenance->addAction(QStringLiteral("Save module HW/SW dump ..."));
    dump->setObjectName(QStringLiteral("moduleDumpAction"));
    QObject::connect(dump, &QAction::triggered, maintenance,
                     [open] { open(admincmd::kModuleDump); });
    // Both need the connected frame's state.
    QObject::connect(maintenance, &QMenu::aboutToShow, maintenance, [&engine, psuFan, dump] {
        psuFan->setEnabled(engine.state().connected);
        dump->setEnabled(CCardsLogic::unavailableReason(engine.state()).empty());
    });
}

} // namespace velmar
