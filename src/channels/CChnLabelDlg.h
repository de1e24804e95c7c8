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

    // Writes every listed channel's labels to `path` as a label file; the
    // notice names the file, or says why it was not written.
    void saveCsv(const QString& path);

    // Every way out (Close, Escape, the close box) passes here: typed labels
    // that were not applied are not dropped without asking.
    void done(int result) override;

private:
    void refresh();
    void fillAll();
    void loadRow(int row);
    bool apply(); // false when nothing could be sent (the notice says why)
    void runAll(std::vector<DeviceMessage> requests);

    CChannelLabels& m_logic;
    CPollingEngine& m_engine;
    CListCtrlEx* m_list;
    QLineEdit* m_input;
    QLineEdit* m_output;
    QLabel* m_notice;
    int m_loadedChannel = 0; // whose labels the edit boxes hold
    int m_sentChannel = 0;   // what the last Apply sent
    std::string m_sentInput;
    std::string m_sentOutput;
};

// Opens the dialog, registered while it runs, and asks the frame for its labels.
void runChannelLabelsDialog(CPollingEngine& engine, IQuestions& questions, QWidget* parent);

} // namespace velmar
