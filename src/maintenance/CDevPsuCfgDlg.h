#pragma once

#include "maintenance/AdminDialogs.h"

#include <QDialog>

class QComboBox;

namespace velmar {

class CPollingEngine;

// "PSU and FAN configuration": which power supplies and fans are fitted, so
// the frame watches only those.
class CDevPsuCfgDlg : public QDialog {
    Q_OBJECT
public:
    CDevPsuCfgDlg(const CPsuFanLogic& logic, QWidget* parent = nullptr);
    int psuIndex() const;
    int fanIndex() const;

private:
    QComboBox* m_psu;
    QComboBox* m_fan;
};

// Shows the dialog while connected and sends the changed values; a line for
// the status bar.
std::string runPsuFanDialog(CPollingEngine& engine, QWidget* parent);

} // namespace velmar
