#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

namespace velmar {

// "Add device to selection list": one address field, OK and Cancel. The
// result is the dotted address, or empty when what was typed is no address
// (or 0.0.0.0).
class CAddDevDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAddDevDlg(QWidget* parent = nullptr);
    QString address() const;

private:
    QLineEdit* m_address;
};

} // namespace velmar
