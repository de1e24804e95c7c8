#include "maintenance/CFileInfoDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

namespace velmar {

CFileInfoDlg::CFileInfoDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Flash information"));
    m_type = new QComboBox(this);
    m_type->setObjectName(QStringLiteral("flashType"));
    m_type->addItem(QStringLiteral("460"), static_cast<int>(FlashJoinType::Frame));
    m_type->addItem(QStringLiteral("450"), static_cast<int>(FlashJoinType::Panel));
    m_release = new QLineEdit(this);
    m_release->setObjectName(QStringLiteral("flashRelease"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("flashInfoButtons"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Type"), m_type);
    form->addRow(QStringLiteral("Release"), m_release);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

FlashJoinType CFileInfoDlg::type() const {
    return m_type->currentData().toInt() == static_cast<int>(FlashJoinType::Panel)
               ? FlashJoinType::Panel
               : FlashJoinType::Frame;
}

std::string CFileInfoDlg::release() const { return m_release->text().toStdString(); }

} // namespace velmar
