#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;

namespace velmar {

// "Add device to selection list": one address field, OK and Cancel. OK on
// what is no frame address says why in the dialog and keeps it open. The
// result is the dotted address, or empty when what was typed is no address.
class CAddDevDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAddDevDlg(QWidget* parent = nullptr);
    QString address() const;

    void accept() override;

private:
    QLineEdit* m_address;
    QLabel* m_problem;
};

} // namespace velmar
