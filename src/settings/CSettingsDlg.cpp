#include "settings/CSettingsDlg.h"

#include "controls/FileDialogs.h"
#include "link/QtText.h"
#include "main/FileAccess.h"
#include "main/PollingEngine.h"
#include "settings/CSettingsPageWidgets.h"
#include "settings/SettingsFile.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTabWidget>
#include <QVBoxLayout>

namespace velmar {

namespace {
const QStringList kFileFilters{QStringLiteral("Device settings (*.cfg)"),
                               QStringLiteral("All Files (*)")};
constexpr auto kCaption = "Device settings";
} // namespace

CSettingsDlg::CSettingsDlg(CSettingsDialogLogic& logic, QWidget* parent)
    : QDialog(parent), m_logic(logic), m_tabs(new QTabWidget(this)) {
    setWindowTitle(qs(m_logic.title()));
    m_tabs->setObjectName(QStringLiteral("settingsPages"));
    m_tabs->setUsesScrollButtons(true);

    using L = CSettingsDialogLogic;
    L& g = m_logic;
    m_pages[L::kIdPage] = new CDevIdTab(g.idPage);
    m_pages[L::kNetworkPage] = new CDevLanTab(g.lanPage);
    m_pages[L::kSampleRatePage] = new CSRateTab(g.sampleRatePage);
    m_pages[L::kSyncPage] = new CSyncPrioTab(g.syncPage);
    m_pages[L::kAesPage] =
        new CComboTab({{QStringLiteral("Output channel status"), &g.aesPage.channelStatus,
                        QStringLiteral("aesChannelStatus")}});
    CMadiCoaxPage& madi = g.madiPage;
    m_pages[L::kMadiPage] = new CComboTab({
        {QStringLiteral("Input sample rate"), &madi.inputRate, QStringLiteral("madiInputRate")},
        {QStringLiteral("Output frame rate"), &madi.frameRate, QStringLiteral("madiFrameRate")},
        {QStringLiteral("Output channel status"), &madi.channelStatus,
         QStringLiteral("madiChannelStatus")},
        {QStringLiteral("Output channel count"), &madi.channelCount,
         QStringLiteral("madiChannelCount")},
        {QStringLiteral("Output DSD mode"), &madi.dsdMode, QStringLiteral("madiDsdMode")},
    });
    CPhdPage& phd = g.phdPage;
    m_pages[L::kPhdPage] = new CComboTab({
        {QStringLiteral("Port configuration"), &phd.portConfig, QStringLiteral("phdPortConfig"),
         [&phd] { phd.portConfigChanged(); }},
        {QStringLiteral("Emulation mode port 1"), &phd.emulation1, QStringLiteral("phdEmulation1")},
        {QStringLiteral("Emulation mode port 2"), &phd.emulation2, QStringLiteral("phdEmulation2")},
    });
    m_pages[L::kDantePage] = new CDanteTab(g.dantePage);
    m_pages[L::kOptionalPage] = new COptModTab(g.optPage);
    m_pages[L::kCardPage] = new CCardConfTab(g.cardPage);
    m_pages[L::kSystemDelayPage] = new CNumberTab(
        g.systemDelayPage, QStringLiteral("System delay (samples)"), QStringLiteral("systemDelay"));
    m_pages[L::kAliveTimePage] = new CNumberTab(g.aliveTimePage, QStringLiteral("Alive time (sec)"),
                                                QStringLiteral("aliveTime"));
    m_pages[L::kHwPage] = new CHWConfTab(g.hwRows);
    for (int i = 0; i < L::kPageCount; ++i)
        m_tabs->addTab(m_pages[static_cast<std::size_t>(i)], qs(L::tabText(i)));
    showPages();

    auto* saveFile = new QPushButton(QStringLiteral("Save to file..."), this);
    saveFile->setObjectName(QStringLiteral("saveToFile"));
    auto* loadFile = new QPushButton(QStringLiteral("Load from file..."), this);
    loadFile->setObjectName(QStringLiteral("loadFromFile"));
    auto* save = new QPushButton(QStringLiteral("Save changes"), this);
    save->setObjectName(QStringLiteral("saveChanges"));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    // Enter in a field must not end the dialog: nothing is the default button.
    for (QPushButton* b : {saveFile, loadFile, save, cancel})
        b->setAutoDefault(false);
    connect(saveFile, &QPushButton::clicked, this, &CSettingsDlg::saveToFile);
    connect(loadFile, &QPushButton::clicked, this, &CSettingsDlg::loadFromFile);
    connect(save, &QPushButton::clicked, this, &CSettingsDlg::saveChanges);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_tabs, &QTabWidget::currentChanged, this, &CSettingsDlg::pageChanged);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(saveFile);
    buttons->addWidget(loadFile);
    buttons->addStretch();
    buttons->addWidget(save);
    buttons->addWidget(cancel);
    auto* box = new QVBoxLayout(this);
    box->addWidget(m_tabs);
    box->addLayout(buttons);
    m_tabs->setCurrentIndex(L::kIdPage);
    resize(1120, 520);
}

void CSettingsDlg::showPages() {
    for (CSettingsPage* page : m_pages)
        page->showState();
}

// The page being left is read back; one that refuses its input keeps the
// operator on it with the reason.
void CSettingsDlg::pageChanged(int index) {
    if (m_switchingBack)
        return;
    const int left = m_current;
    m_current = index;
    if (left < 0 || left >= CSettingsDialogLogic::kPageCount)
        return;
    m_pages[static_cast<std::size_t>(left)]->pullState();
    if (std::optional<PageError> e = m_logic.storePage(left))
        storeFailed(left, *e);
}

bool CSettingsDlg::storeFailed(int page, const PageError& error) {
    {
        const QScopedValueRollback guard(m_switchingBack, true);
        m_tabs->setCurrentIndex(page);
    }
    m_current = page;
    tell(qs(error.message), true);
    if (QWidget* field = m_pages[static_cast<std::size_t>(page)]->controlWidget(error.control)) {
        field->setFocus();
        if (auto* edit = qobject_cast<QLineEdit*>(field))
            edit->selectAll();
    }
    return true;
}

void CSettingsDlg::saveChanges() {
    for (CSettingsPage* page : m_pages)
        page->pullState();
    if (const auto failure = m_logic.storeAll()) {
        storeFailed(failure->page, failure->error);
        return;
    }
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(kCaption),
                    QStringLiteral("Save changes"), QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("saveChangesQuestion"));
    if (box.exec() != QMessageBox::Yes) {
        reject();
        return;
    }
    // The link may have gone while the dialog was open: the edits stay here,
    // where they can still be saved to a file.
    if (m_linkUp && !m_linkUp()) {
        tell(QStringLiteral("The frame is no longer connected, so nothing was sent. Your "
                            "changes are still here: \"Save to file...\" keeps them."),
             true);
        return;
    }
    m_confirmed = true;
    accept();
}

void CSettingsDlg::saveToFile() {
    saveToFileAt(askFilePath(this, FileDialogKind::Save, qs(cfg::kSaveTitle), kFileFilters,
                             QStringLiteral("cfg")));
}

void CSettingsDlg::saveToFileAt(const QString& path) {
    if (path.isEmpty())
        return;
    if (const std::string why = writeFileAtomically(path, m_logic.fileText()); !why.empty())
        tell(qs(asSentence(why)), true);
}

void CSettingsDlg::loadFromFile() {
    loadFromFileAt(askFilePath(this, FileDialogKind::Open, qs(cfg::kLoadTitle), kFileFilters,
                               QStringLiteral("cfg")));
}

void CSettingsDlg::loadFromFileAt(const QString& path) {
    if (path.isEmpty())
        return;
    const FileReadResult file = readFileBounded(path, kMaxSettingsFileBytes);
    if (!file.ok()) {
        tell(qs(asSentence(file.error)), true);
        return;
    }
    const std::string shownPath = QDir::toNativeSeparators(path).toStdString();
    const CSettingsDialogLogic::LoadOutcome outcome = m_logic.loadFile(file.bytes, shownPath);
    if (outcome.loaded)
        showPages();
    if (!outcome.message.empty())
        tell(qs(outcome.message), !outcome.loaded);
}

void CSettingsDlg::tell(const QString& text, bool warning) {
    QMessageBox box(warning ? QMessageBox::Warning : QMessageBox::Information,
                    QString::fromLatin1(kCaption), text, QMessageBox::Ok, this);
    box.exec();
}

void runSettingsDialog(CPollingEngine& engine, QWidget* parent) {
    const DeviceState& state = engine.state();
    const DeviceSettings opened = state.settings;
    CSettingsDialogLogic logic(opened, settingsDialogInputs(state));
    CSettingsDlg dialog(logic, parent);
    dialog.setLinkCheck([&engine] { return engine.state().connected; });
    dialog.exec();
    if (dialog.confirmed() && engine.state().connected)
        engine.applySettings(logic.settings(), opened);
}

} // namespace velmar
