#pragma once

#include "iprouting/FlowControl.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QSpinBox;

namespace velmar {

class CListCtrlEx;
class CPollingEngine;

// " Manual IP routing control": the Tx and Rx flows of the frame's IP audio
// module, their creation and deletion, and unicast clocking.
class CFlowDlg : public QDialog, public IDialogSink {
    Q_OBJECT
public:
    CFlowDlg(CFlowLogic& logic, QWidget* parent = nullptr);

    void onDeviceMessage(const DeviceMessage& message, bool isReply,
                         const CResponseDecoder& decoder) override;

private:
    void readFields();
    void showState();
    void report(const FlowOutcome& outcome);

    CFlowLogic& m_logic;
    QCheckBox* m_unicast;
    QLineEdit* m_unicastStatus;
    QSpinBox* m_txId;
    QSpinBox* m_txSlots;
    QSpinBox* m_txPort;
    QLineEdit* m_txAddress;
    QSpinBox* m_rxId;
    QSpinBox* m_rxSlots;
    QSpinBox* m_rxPort;
    QSpinBox* m_rxLatency;
    CListCtrlEx* m_txList;
    CListCtrlEx* m_rxList;
    QLineEdit* m_notice;
};

// Opens the dialog on the engine's tables, registered while it runs.
// `listedAddresses`: the control addresses of the frames in the device list.
void runFlowDialog(CPollingEngine& engine, IQuestions& questions,
                   std::vector<std::string> listedAddresses, QWidget* parent);

} // namespace velmar
