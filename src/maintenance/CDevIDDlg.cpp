#include "maintenance/CDevIDDlg.h"

#include "link/QtText.h"
#include "engine/PollingEngine.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace velmar {

CDevIDDlg::CDevIDDlg(const CDeviceIdLogic& logic, QWidget* parent)
    : QDialog(parent), m_logic(logic), m_id(new QLineEdit(QString::number(logic.id()), this)),
      m_name(new QLineEdit(qs(logic.name()), this)), m_problem(new QLabel(this)) {
    setWindowTitle(qs(CDeviceIdLogic::kCaption));
    m_id->setObjectName(QStringLiteral("id"));
    // Digits only, but never fewer than were typed: an ID out of range is
    // refused with the range when OK is pressed, not cut to fit.
    m_id->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,9}")), m_id));
    m_name->setObjectName(QStringLiteral("name"));
    m_name->setMaxLength(static_cast<int>(CDeviceIdLogic::kNameLength));
    m_problem->setObjectName(QStringLiteral("problem"));
    m_problem->setWordWrap(true);
    m_problem->setStyleSheet(QStringLiteral("color: #b00000"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("ID"), m_id);
    form->addRow(QStringLiteral("Name"), m_name);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ok"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CDevIDDlg::okPressed);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* box = new QVBoxLayout(this);
    box->addLayout(form);
    box->addWidget(m_problem);
    box->addWidget(buttons);
}

void CDevIDDlg::okPressed() {
    const CDeviceIdLogic::Outcome out =
        m_logic.accept(m_id->text().trimmed().toStdString(), m_name->text().toStdString());
    if (!out.problem.empty()) {
        m_problem->setText(qs(out.problem));
        QLineEdit* field = out.field == 1 ? m_id : m_name;
        field->setFocus();
        field->selectAll();
        return;
    }
    m_request = out.request;
    accept();
}

std::string runIdDialog(CPollingEngine& engine, QWidget* parent) {
    const DeviceState& state = engine.state();
    if (!state.connected)
        return {};
    const CDeviceIdLogic logic(state.settings.deviceId, state.settings.deviceName.view());
    CDevIDDlg dialog(logic, parent);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    if (!dialog.request())
        return "The ID and name are unchanged; nothing was sent.";
    if (!engine.state().connected)
        return "The link was lost; the ID and name were not sent.";
    engine.sendRequest(*dialog.request());
    return "New ID and name sent to the frame.";
}

} // namespace velmar
