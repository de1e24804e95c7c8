#pragma once

#include "engine/LoadStatusLogic.h"

#include <QDialog>

namespace velmar {

// "Load crosspoint status": shows what a crosspoint file would set; the
// caller sends it when the operator confirms with OK.
class CLoadStDlg : public QDialog {
    Q_OBJECT
public:
    CLoadStDlg(const CLoadStatusLogic& logic, QWidget* parent = nullptr);
};

} // namespace velmar
