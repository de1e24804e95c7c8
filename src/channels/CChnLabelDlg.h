#pragma once

#include "channels/ChannelLabels.h"

#include <QDialog>

class QLabel;
class QLineEdit;

namespace velmar {

class CListCtrlEx;
class CPollingEngine;

// "Channel labels": every listed channel's type and two labels; the edit
// boxes take the selected channel's labels, Apply sends what differs, Clear
// all and (in service mode) Default all run their thousands of requests with
// progress and say how many the frame confirmed.
class CChnLabelDlg : public QDialog, public IDialogSink {
    Q_OBJECT
public:
    CChnLabelDlg(CChannelLabels& logic, CPollingEngine& engine, QWidget* parent = nullptr);

    void onDeviceMessage(const DeviceMessage& message, bool isReply,
                         const CResponseDecoder& decoder) override;

private:
    void refresh();
    void fillAll();
    void loadRow(int row);
    void apply();
    void runAll(std::vector<DeviceMessage> requests);

    CChannelLabels& m_logic;
    CPollingEngine& m_engine;
    CListCtrlEx* m_list;
    QLineEdit* m_input;
    QLineEdit* m_output;
    QLabel* m_notice;
};

// Opens the dialog, registered while it runs, and asks the frame for its labels.
void runChannelLabelsDialog(CPollingEngine& engine, IQuestions& questions, QWidget* parent);

} // namespace velmar
