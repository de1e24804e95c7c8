#pragma once

#include "maintenance/ModuleDump.h"

#include <QDialog>

class QCheckBox;

namespace velmar {

class CPollingEngine;

// "Save cards/modules to file": which modules go into the HW/SW dump.
class CCardsDlg : public QDialog {
    Q_OBJECT
public:
    explicit CCardsDlg(QWidget* parent = nullptr);
    DumpChoice choice() const;

private:
    QCheckBox* m_cards;
    QCheckBox* m_mini;
    QCheckBox* m_dante;
};

// The whole command: the choice, the file, the writing. A line for the
// status bar (empty when the operator cancelled).
std::string runModuleDump(CPollingEngine& engine, QWidget* parent);

// Writes the dump of `settings` to `path`; empty on success, else why not.
std::string writeModuleDump(const QString& path, const DeviceSettings& settings, DumpChoice choice);

} // namespace velmar
