#include "link/CAddDevDlg.h"

#include "controls/LinkLostBanner.h"
#include "link/DeviceList.h"
#include "link/Ipv4.h"
#include "link/QtText.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace velmar {

CAddDevDlg::CAddDevDlg(QWidget* parent)
    : QDialog(parent), m_address(new QLineEdit(this)), m_problem(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Add device to selection list"));
    // It probes over UDP: the connected frame's link does not concern it.
    setProperty(kLinkIndependentProperty, true);
    m_address->setObjectName(QStringLiteral("address"));
    // Four octets of up to three digits; the range is checked on OK.
    m_address->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("^(\\d{1,3}(\\.\\d{1,3}){0,3}\\.?)?$")), m_address));
    m_address->setPlaceholderText(QStringLiteral("0.0.0.0"));
    m_problem->setObjectName(QStringLiteral("addressProblem"));
    m_problem->setWordWrap(true);
    m_problem->setStyleSheet(QStringLiteral("color: #c00000;"));
    m_problem->hide();
    // The note goes as soon as the address is edited again.
    connect(m_address, &QLineEdit::textEdited, m_problem, &QLabel::hide);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("IP address"), m_address);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
}

void CAddDevDlg::accept() {
    const std::string problem = CDeviceList::addressProblem(m_address->text().toStdString());
    if (problem.empty()) {
        QDialog::accept();
        return;
    }
    m_problem->setText(qs(problem));
    m_problem->show();
    m_address->setFocus();
    m_address->selectAll();
}

QString CAddDevDlg::address() const {
    const std::string text = m_address->text().trimmed().toStdString();
    const std::optional<Ipv4Address> value = parseIpv4(text);
    if (!value || *value == 0)
        return {};
    return QString::fromStdString(formatIpv4(*value));
}

} // namespace velmar
