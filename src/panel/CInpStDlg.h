#pragma once

#include "panel/InputStatusDialog.h"

#include <QDialog>
#include <array>

class QLabel;
class QRadioButton;
class QVBoxLayout;

namespace velmar {

class CListCtrlEx;
class CPollingEngine;

// "Signal input status": lock and signal state of the main-board inputs and
// of the inputs of the cards of one kind. Modeless: it stays open beside the
// main window, which keeps it current through the dialog registry for as
// long as it exists.
class CInpStDlg : public QDialog, public ISignalInputStatusSink {
    Q_OBJECT
public:
    static constexpr const char* kObjectName = "inputStatusDialog";

    CInpStDlg(CPollingEngine& engine, QWidget* parent);
    ~CInpStDlg() override;

    const CInputStatusLogic& logic() const { return m_logic; }

    void onDeviceMessage(const DeviceMessage& message, bool isReply,
                         const CResponseDecoder& decoder) override;
    void refreshAll() override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showChanges();
    void buildCardList();
    void showCardNote();
    void fitMainColumns();

    CPollingEngine& m_engine;
    CInputStatusLogic m_logic;
    CListCtrlEx* m_main;
    CListCtrlEx* m_cards = nullptr;
    QLabel* m_cardNote;
    QVBoxLayout* m_cardBox;
    std::array<QRadioButton*, 4> m_kinds{};
};

// The "Input status ..." command: creates the dialog on the first call and
// registers it; later calls refresh both lists and bring it to the front.
void showInputStatusDialog(CPollingEngine& engine, QWidget* window);

} // namespace velmar
