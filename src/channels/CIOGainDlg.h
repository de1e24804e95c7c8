#pragma once

#include "channels/GainSettings.h"

#include <QDialog>
#include <memory>

class QLabel;
class QMenu;

namespace velmar {

class CListCtrlEx;
class CPollingEngine;

// "Gain settings": every listed channel's input and output gain with phase
// and mute; the context menu inverts phase or toggles mute of the selected
// channels and, in service mode, clears settings.
class CIOGainDlg : public QDialog, public IDialogSink {
    Q_OBJECT
public:
    CIOGainDlg(CGainSettings& logic, CPollingEngine& engine, QWidget* parent = nullptr);

    // The context menu for a right click on `row` (nothing without a
    // selection); its actions do what the entries say.
    std::unique_ptr<QMenu> contextMenu(int row);

    void onDeviceMessage(const DeviceMessage& message, bool isReply,
                         const CResponseDecoder& decoder) override;

private:
    void fillAll();
    void refreshRows();
    void choose(GainMenuEntry entry);

    CGainSettings& m_logic;
    CPollingEngine& m_engine;
    CListCtrlEx* m_list;
    QLabel* m_notice;
};

// Opens the dialog, registered while it runs, and asks the frame for its gains.
void runGainDialog(CPollingEngine& engine, IQuestions& questions, QWidget* parent);

} // namespace velmar
