#pragma once

#include "settings/HwConfDialog.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace velmar {

class CListCtrlEx;
class CPollingEngine;

// "HW configuration": the frame's modules with type, serial number and
// software versions, and the two buttons that rewrite the make letter of
// every fitted card. Registered with the main window while open, so the
// frame's hardware replies refill the list.
class CHWConfDlg : public QDialog, public IDialogSink {
    Q_OBJECT
public:
    CHWConfDlg(CHwConfLogic& logic, QWidget* parent = nullptr);

    void onDeviceMessage(const DeviceMessage& message, bool isReply,
                         const CResponseDecoder& decoder) override;

private:
    void changeCards(CardMake make);
    void showState();

    CHwConfLogic& m_logic;
    CListCtrlEx* m_list;
    QPushButton* m_toX;
    QPushButton* m_toBrix;
    QLabel* m_notice; // what became of the last change
};

// Opens the dialog on the engine's tables, registered while it runs.
void runHwConfDialog(CPollingEngine& engine, IQuestions& questions, QWidget* parent);

} // namespace velmar
