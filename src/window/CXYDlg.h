#pragma once

#include "engine/XyBurst.h"

#include <QDialog>

class QLabel;
class QLineEdit;

namespace velmar {

// "X-Y crosspoint control": sets and reads single crosspoints by number and
// runs the burst. Registered with the main window while open, so the frame's
// replies fill its response fields.
class CXYDlg : public QDialog, public IDialogSink {
    Q_OBJECT
public:
    CXYDlg(CXyControl& logic, QWidget* parent = nullptr);

    void onDeviceMessage(const DeviceMessage& message, bool isReply,
                         const CResponseDecoder& decoder) override;

protected:
    void done(int result) override;

private:
    int input() const;
    int output() const;
    void showResponse();
    void showNotice();

    CXyControl& m_logic;
    QLineEdit* m_input;
    QLineEdit* m_output;
    QLineEdit* m_responseInput;
    QLineEdit* m_responseOutput;
    QLabel* m_notice; // why a button sent nothing
};

} // namespace velmar
