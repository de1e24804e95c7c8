#pragma once

#include "maintenance/FlashFile.h"

#include <QDialog>

class QComboBox;
class QLineEdit;

namespace velmar {

// "Flash information": the type and release of the images to join.
class CFileInfoDlg final : public QDialog {
    Q_OBJECT
public:
    explicit CFileInfoDlg(QWidget* parent);

    FlashJoinType type() const;
    std::string release() const;

private:
    QComboBox* m_type = nullptr;
    QLineEdit* m_release = nullptr;
};

} // namespace velmar
