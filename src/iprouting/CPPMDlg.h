#pragma once

#include "iprouting/PpmStreams.h"

#include <QDialog>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace velmar {

class CListCtrlEx;
class CPollingEngine;

// "PPM stream settings": the settings of one new stream. OK creates it
// through `logic`; a refusal keeps the form open with the field in focus.
class CPPMCreateDlg : public QDialog {
    Q_OBJECT
public:
    CPPMCreateDlg(CPpmLogic& logic, const PpmCreateSettings& initial, QWidget* parent = nullptr);
    PpmCreateSettings settings() const;

private:
    void okPressed();

    CPpmLogic& m_logic;
    QLabel* m_problem;
    QSpinBox* m_id;
    QLineEdit* m_address;
    QSpinBox* m_port;
    QSpinBox* m_channels;
    QSpinBox* m_rate;
    QCheckBox* m_phase;
};

// "PPM streams": the frame's meter streams, their creation, removal,
// switching and channel assignment.
class CPPMDlg : public QDialog, public IDialogSink {
    Q_OBJECT
public:
    CPPMDlg(CPpmLogic& logic, QWidget* parent = nullptr);

    void onDeviceMessage(const DeviceMessage& message, bool isReply,
                         const CResponseDecoder& decoder) override;

    // The list's menu commands, also reachable without the menu.
    void removeSelected();
    void toggleEnable();
    void assignChannels();
    void deassignChannels();
    void createWithSettings(); // "Create ..."

private:
    void readQuickFields();
    void showState();
    void showCreateTarget();
    void report(const PpmOutcome& outcome);
    void openMenu(const QPoint& at);

    CPpmLogic& m_logic;
    CListCtrlEx* m_streams;
    CListCtrlEx* m_assignment;
    QSpinBox* m_channels;
    QSpinBox* m_rate;
    QSpinBox* m_firstChannel;
    QLabel* m_createTarget;
    QLineEdit* m_notice;
};

void runPpmDialog(CPollingEngine& engine, IQuestions& questions, QWidget* parent);

} // namespace velmar
