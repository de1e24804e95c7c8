#pragma once

#include "maintenance/AdminDialogs.h"

#include <QDialog>
#include <array>
#include <optional>

class QLabel;
class QLineEdit;
class QRadioButton;

namespace velmar {

class CCheckableGroupBox;
class CPollingEngine;

// "Network settings": automatic addressing or a fixed address, mask and
// gateway, for the connected frame or for a listed frame by its serial number.
class CDevLANDlg : public QDialog {
    Q_OBJECT
public:
    CDevLANDlg(const CNetworkSettingsLogic& logic, QWidget* parent = nullptr);

    // What OK decided; nothing while the dialog runs or after Cancel.
    const std::optional<CNetworkSettingsLogic::Outcome>& outcome() const { return m_outcome; }

private:
    void okPressed();

    const CNetworkSettingsLogic& m_logic;
    QRadioButton* m_automatic;
    CCheckableGroupBox* m_fixed;
    std::array<QLineEdit*, 3> m_fields{};
    QLabel* m_problem;
    std::optional<CNetworkSettingsLogic::Outcome> m_outcome;
};

// A frame given a new address by its serial number takes a moment to listen
// there; the window searches again after this long.
inline constexpr int kSearchAfterReaddressMs = 1000;

// What the window does after the dialog: a line for the status bar and, for a
// frame that is not connected, the request to broadcast once its row is gone.
struct NetworkDialogResult {
    std::string status;
    std::optional<SetAddressRequest> setAddress;
};

// Shows the dialog for `target`; "sip" for the connected frame goes out here.
NetworkDialogResult runNetworkDialog(CPollingEngine& engine, const NetworkTarget& target,
                                     QWidget* parent);

} // namespace velmar
