#include "maintenance/CDevPsuCfgDlg.h"

#include "link/QtText.h"
#include "engine/PollingEngine.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmar {

namespace {
QComboBox* entryList(const std::array<ConfigEntry, 4>& entries, int selected, QWidget* parent) {
    auto* list = new QComboBox(parent);
    for (const ConfigEntry& e : entries)
        list->addItem(qs(e.text), e.value);
    list->setCurrentIndex(selected); // -1: a value without an entry selects nothing
    return list;
}
} // namespace

CDevPsuCfgDlg::CDevPsuCfgDlg(const CPsuFanLogic& logic, QWidget* parent)
    : QDialog(parent), m_psu(entryList(CPsuFanLogic::kPsuEntries, logic.psuIndex(), this)),
      m_fan(entryList(CPsuFanLogic::kFanEntries, logic.fanIndex(), this)) {
    setWindowTitle(qs(CPsuFanLogic::kCaption));
    m_psu->setObjectName(QStringLiteral("psu"));
    m_fan->setObjectName(QStringLiteral("fan"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("PSU installed"), m_psu);
    form->addRow(QStringLiteral("FAN installed"), m_fan);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ok"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* box = new QVBoxLayout(this);
    box->addLayout(form);
    box->addWidget(buttons);
}

int CDevPsuCfgDlg::psuIndex() const { return m_psu->currentIndex(); }
int CDevPsuCfgDlg::fanIndex() const { return m_fan->currentIndex(); }

std::string runPsuFanDialog(CPollingEngine& engine, QWidget* parent) {
    const DeviceState& state = engine.state();
    if (!state.connected)
        return "Not connected to a frame.";
    const CPsuFanLogic logic(state.settings.psuConfig, state.settings.fanConfig);
    CDevPsuCfgDlg dialog(logic, parent);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const std::vector<DeviceMessage> requests = logic.accept(dialog.psuIndex(), dialog.fanIndex());
    if (requests.empty())
        return "The PSU and FAN configuration is unchanged; nothing was sent.";
    if (!engine.state().connected)
        return "The link was lost; the PSU and FAN configuration was not sent.";
    for (const DeviceMessage& m : requests)
        engine.sendRequest(m);
    return "New PSU and FAN configuration sent to the frame.";
}

} // namespace velmar
