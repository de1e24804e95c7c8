#pragma once

#include "engine/DialogRegistry.h"
#include "maintenance/AdminDialogs.h"

#include <QDialog>

class QLabel;

namespace velmar {

class CPollingEngine;

// "Operational time": how long the frame has run since its last restart and
// in all. Registered with the main window while open, so the two replies
// reach it.
class CTimeDlg : public QDialog, public IDialogSink {
    Q_OBJECT
public:
    CTimeDlg(COperatingTimeLogic& logic, QWidget* parent = nullptr);

    void onDeviceMessage(const DeviceMessage& message, bool isReply,
                         const CResponseDecoder& decoder) override;

private:
    void showState();

    COperatingTimeLogic& m_logic;
    QLabel* m_sinceRestart; // 1073
    QLabel* m_restartAt;    // 1075
    QLabel* m_total;        // 1074
    QLabel* m_totalDays;    // 1076
};

// Asks the frame for both times and shows them; only for the connected frame.
void runTimeDialog(CPollingEngine& engine, QWidget* parent);

} // namespace velmar
