#pragma once

#include "maintenance/AdminDialogs.h"

#include <QDialog>

class QLabel;
class QLineEdit;

namespace velmar {

class CPollingEngine;

// "Device ID and Name": the frame's number and the name it shows in the list.
class CDevIDDlg : public QDialog {
    Q_OBJECT
public:
    CDevIDDlg(const CDeviceIdLogic& logic, QWidget* parent = nullptr);

    // The request OK decided on; nothing when unchanged or cancelled.
    const std::optional<DeviceMessage>& request() const { return m_request; }

private:
    void okPressed();

    const CDeviceIdLogic& m_logic;
    QLineEdit* m_id;
    QLineEdit* m_name;
    QLabel* m_problem;
    std::optional<DeviceMessage> m_request;
};

// Shows the dialog while connected and sends "sdevid"; a line for the status bar.
std::string runIdDialog(CPollingEngine& engine, QWidget* parent);

} // namespace velmar
