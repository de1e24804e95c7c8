#pragma once

#include "panel/PanelUnitDialog.h"

#include <QDialog>
#include <array>

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace velmar {

class CListCtrlEx;
class CPollingEngine;

// "450 DORN settings": the keys, LEDs, ring LEDs, rotary count, intensity and
// master role of a model 450 control panel. Modal; registered with the main
// window while open, so the unit's replies reach its lists.
class C450DornDlg : public QDialog, public IDialogSink {
    Q_OBJECT
public:
    explicit C450DornDlg(CPanelUnitLogic& logic, QWidget* parent = nullptr);

    void onDeviceMessage(const DeviceMessage& message, bool isReply,
                         const CResponseDecoder& decoder) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void after(); // redraws what the last action or reply changed
    void showState();
    void sizeColumns();
    // The operator chose a key row (again): its fields show its values anew,
    // whatever was typed into them.
    void chooseKey(int key);
    void setField(QLineEdit* field, const std::string& text, std::string& shown);
    void showRingMenu(const QPoint& pos);

    CPanelUnitLogic& m_logic;
    CListCtrlEx* m_keys;
    CListCtrlEx* m_ring;
    QLineEdit* m_mode;
    QLineEdit* m_value;
    QLineEdit* m_state;
    QLineEdit* m_intensity;
    QLineEdit* m_rotary;
    QRadioButton* m_ledOff;
    QRadioButton* m_ledOn;
    QCheckBox* m_master;
    QLabel* m_notice;
    // What the fields last showed from the logic: a reply does not overwrite
    // what the operator is typing unless the value behind it changed.
    std::array<std::string, 4> m_shown;
};

// Opens the dialog on the connected unit, registered while it runs.
void runPanelUnitDialog(CPollingEngine& engine, IQuestions& questions, QWidget* parent);

} // namespace velmar
