#include "maintenance/CCardsDlg.h"

#include "controls/FileDialogs.h"
#include "link/QtText.h"
#include "engine/FileAccess.h"
#include "engine/PollingEngine.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmar {

CCardsDlg::CCardsDlg(QWidget* parent)
    : QDialog(parent), m_cards(new QCheckBox(qs(CCardsLogic::kCards), this)),
      m_mini(new QCheckBox(qs(CCardsLogic::kMini), this)),
      m_dante(new QCheckBox(qs(CCardsLogic::kDante), this)) {
    setWindowTitle(qs(CCardsLogic::kCaption));
    m_cards->setObjectName(QStringLiteral("cards"));
    m_mini->setObjectName(QStringLiteral("mini"));
    m_dante->setObjectName(QStringLiteral("dante"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ok"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* box = new QVBoxLayout(this);
    for (QCheckBox* c : {m_cards, m_mini, m_dante})
        box->addWidget(c);
    box->addWidget(buttons);
}

DumpChoice CCardsDlg::choice() const {
    return {m_cards->isChecked(), m_mini->isChecked(), m_dante->isChecked()};
}

std::string writeModuleDump(const QString& path, const DeviceSettings& settings,
                            DumpChoice choice) {
    return writeFileAtomically(path, moduleDumpText(settings, choice));
}

std::string runModuleDump(CPollingEngine& engine, QWidget* parent) {
    if (std::string why = CCardsLogic::unavailableReason(engine.state()); !why.empty())
        return why;
    CCardsDlg dialog(parent);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const DumpChoice choice = dialog.choice();
    if (!choice.any())
        return "No module was chosen; no dump was written.";
    // The filter text lists pairs of caption and pattern.
    const QString path = askFilePath(
        parent, FileDialogKind::Save, qs(CCardsLogic::kSaveTitle),
        {QStringLiteral("Device module HW/SW dump (*.txt)"), QStringLiteral("All Files (*)")},
        qs(CCardsLogic::kExtension), qs(CCardsLogic::kDefaultName));
    if (path.isEmpty())
        return {};
    // Taken now: the state the operator saw when choosing, not a later one.
    const std::string error = writeModuleDump(path, engine.state().settings, choice);
    if (!error.empty())
        return asSentence(error);
    return "Module HW/SW dump written to " + path.toStdString() + ".";
}

} // namespace velmar
