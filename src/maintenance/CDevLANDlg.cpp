#include "maintenance/CDevLANDlg.h"

#include "controls/CCheckableGroupBox.h"
#include "link/QtText.h"
#include "engine/PollingEngine.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace velmar {

namespace {
constexpr std::array<const char*, 3> kFieldObjects = {"ipAddress", "subnetMask", "gateway"};
}

CDevLANDlg::CDevLANDlg(const CNetworkSettingsLogic& logic, QWidget* parent)
    : QDialog(parent), m_logic(logic),
      m_automatic(new QRadioButton(qs(CNetworkSettingsLogic::kAutomatic), this)),
      m_fixed(new CCheckableGroupBox(qs(CNetworkSettingsLogic::kFixed),
                                     CCheckableGroupBox::RadioButton, 0, this)),
      m_problem(new QLabel(this)) {
    setWindowTitle(qs(logic.title()));
    m_automatic->setObjectName(QStringLiteral("automatic"));
    m_fixed->setObjectName(QStringLiteral("fixed"));
    m_fixed->setPartner(m_automatic);
    auto* form = new QFormLayout(m_fixed);
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        m_fields[i] = new QLineEdit(qs(logic.addresses()[i]), m_fixed);
        m_fields[i]->setObjectName(QLatin1String(kFieldObjects[i]));
        m_fields[i]->setMaxLength(15);
        form->addRow(qs(CNetworkSettingsLogic::kFieldNames[i]), m_fields[i]);
    }
    m_problem->setObjectName(QStringLiteral("problem"));
    m_problem->setWordWrap(true);
    m_problem->setStyleSheet(QStringLiteral("color: #b00000"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ok"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CDevLANDlg::okPressed);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* box = new QVBoxLayout(this);
    box->addWidget(m_automatic);
    box->addWidget(m_fixed);
    box->addWidget(m_problem);
    box->addWidget(buttons);

    m_automatic->setChecked(!logic.fixedChosen());
    m_fixed->setCaptionChecked(logic.fixedChosen());
}

void CDevLANDlg::okPressed() {
    std::array<std::string, 3> texts;
    for (std::size_t i = 0; i < texts.size(); ++i)
        texts[i] = m_fields[i]->text().trimmed().toStdString();
    CNetworkSettingsLogic::Outcome out = m_logic.accept(m_fixed->isCaptionChecked(), texts);
    if (out.kind == CNetworkSettingsLogic::Outcome::Kind::Invalid) {
        m_problem->setText(qs(out.problem));
        m_fields[static_cast<std::size_t>(out.field)]->setFocus();
        m_fields[static_cast<std::size_t>(out.field)]->selectAll();
        return;
    }
    m_outcome = std::move(out);
    accept();
}

NetworkDialogResult runNetworkDialog(CPollingEngine& engine, const NetworkTarget& target,
                                     QWidget* parent) {
    const CNetworkSettingsLogic logic(target, engine.state().settings.networkSettings);
    CDevLANDlg dialog(logic, parent);
    NetworkDialogResult result;
    if (dialog.exec() != QDialog::Accepted || !dialog.outcome())
        return result;
    using Kind = CNetworkSettingsLogic::Outcome::Kind;
    const CNetworkSettingsLogic::Outcome& out = *dialog.outcome();
    switch (out.kind) {
    case Kind::Invalid: break;
    case Kind::Cancelled: result.status = out.problem; break;
    case Kind::Unchanged:
        result.status = "The network settings are unchanged; nothing was sent.";
        break;
    case Kind::Send:
        if (target.kind == NetworkTarget::Kind::Discovered) {
            result.setAddress =
                CNetworkSettingsLogic::setAddressRequest(target.serialNumber, out.record);
            result.status = "New network settings sent to the frame with S/N " +
                            target.serialNumber + "; it answers the next search at " +
                            (out.record.mode == 1 ? std::string("the address it obtains")
                                                  : std::string(out.record.ipAddress.view())) +
                            ".";
        } else if (engine.state().connected) {
            engine.sendRequest(CNetworkSettingsLogic::sipRequest(out.record));
            result.status = "New network settings sent to " + target.name + ".";
        } else {
            result.status = "The link was lost; the network settings were not sent.";
        }
        break;
    }
    return result;
}

} // namespace velmar
