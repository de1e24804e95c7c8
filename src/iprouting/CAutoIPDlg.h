#pragma once

#include "iprouting/AutoRouting.h"

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace velmar {

class CListCtrlEx;
class CPollingEngine;

// " Automatic IP routing control": automatic routing on or off, the module's
// latency, and the routes of the 64 destination channels.
class CAutoIPDlg : public QDialog, public IDialogSink {
    Q_OBJECT
public:
    CAutoIPDlg(CAutoRoutingLogic& logic, QWidget* parent = nullptr);

    void onDeviceMessage(const DeviceMessage& message, bool isReply,
                         const CResponseDecoder& decoder) override;

private:
    void showState();
    void report(const RouteOutcome& outcome);

    CAutoRoutingLogic& m_logic;
    QGroupBox* m_settings;
    QCheckBox* m_autoRouting;
    QSpinBox* m_frame;
    QSpinBox* m_latency;
    QPushButton* m_set;
    QSpinBox* m_source;
    QLineEdit* m_sourceHost;
    QSpinBox* m_destination;
    QLineEdit* m_destinationHost;
    QPushButton* m_connect;
    CListCtrlEx* m_list;
    QLineEdit* m_notice;
};

void runAutoIpDialog(CPollingEngine& engine, IQuestions& questions, QWidget* parent);

} // namespace velmar
