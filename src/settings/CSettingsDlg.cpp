#include "settings/CSettingsDlg.h"

#include "controls/FileDialogs.h"
#include "link/QtText.h"
#include "engine/FileAccess.h"
#include "engine/PollingEngine.h"
#include "settings/CSettingsPageWidgets.h"
#include "settings/SettingsFile.h"

#include <QApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace velmar {

namespace {
const QStringList kFileFilters{QStringLiteral("Device settings (*.cfg)"),
                               QStringLiteral("All Files (*)")};
constexpr auto kCaption = "Device settings";
} // namespace

CSettingsDlg::CSettingsDlg(CSettingsDialogLogic& logic, QWidget* parent)
    : QDialog(parent), m_logic(logic), m_tabs(new QTabWidget(this)),
      m_pageList(new QListWidget(this)), m_status(new QLabel(this)) {
    setWindowTitle(qs(m_logic.title()));
    m_tabs->setObjectName(QStringLiteral("settingsPages"));
    // Thirteen tabs in a row need more width than a small screen has, and a
    // tab behind scroll arrows is a page nobody finds: the pages are listed
    // at the side instead, every one in sight. The tab widget still holds
    // the pages and the page keys.
    m_tabs->tabBar()->hide();
    m_pageList->setObjectName(QStringLiteral("settingsPageList"));

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
    for (int i = 0; i < L::kPageCount; ++i) {
        m_tabs->addTab(m_pages[static_cast<std::size_t>(i)], qs(L::tabText(i)));
        m_pageList->addItem(qs(L::tabText(i)));
    }
    // As wide as the longest caption and as tall as all of them: no scrolling.
    m_pageList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pageList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const int frame = 2 * m_pageList->frameWidth();
    m_pageList->setFixedWidth(m_pageList->sizeHintForColumn(0) + frame + 12);
    m_pageList->setMinimumHeight(m_pageList->sizeHintForRow(0) * L::kPageCount + frame);
    showPages();

    auto* saveFile = new QPushButton(QStringLiteral("Save to file..."), this);
    saveFile->setObjectName(QStringLiteral("saveToFile"));
    auto* loadFile = new QPushButton(QStringLiteral("Load from file..."), this);
    loadFile->setObjectName(QStringLiteral("loadFromFile"));
    auto* save = new QPushButton(QStringLiteral("Save changes"), this);
    save->setObjectName(QStringLiteral("saveChanges"));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    // Enter closes the dialog as "Cancel" does, applying nothing; only
    // "Save changes" and its question send anything.
    for (QPushButton* b : {saveFile, loadFile, save, cancel})
        b->setAutoDefault(false);
    cancel->setDefault(true);
    connect(saveFile, &QPushButton::clicked, this, &CSettingsDlg::saveToFile);
    connect(loadFile, &QPushButton::clicked, this, &CSettingsDlg::loadFromFile);
    connect(save, &QPushButton::clicked, this, &CSettingsDlg::saveChanges);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    // The list follows the page actually shown: a page that refuses to be
    // left takes the selection back.
    connect(m_tabs, &QTabWidget::currentChanged, this,
            [this] { m_pageList->setCurrentRow(m_tabs->currentIndex()); });
    connect(m_tabs, &QTabWidget::currentChanged, this, &CSettingsDlg::pageChanged);
    connect(m_pageList, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            m_tabs->setCurrentIndex(row);
    });

    m_status->setObjectName(QStringLiteral("settingsFileStatus"));
    // A long path must not widen the dialog.
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(saveFile);
    buttons->addWidget(loadFile);
    buttons->addWidget(m_status, 1);
    buttons->addWidget(save);
    buttons->addWidget(cancel);
    auto* pages = new QHBoxLayout;
    pages->addWidget(m_pageList);
    pages->addWidget(m_tabs, 1);
    auto* box = new QVBoxLayout(this);
    box->addLayout(pages);
    box->addLayout(buttons);
    m_tabs->setCurrentIndex(L::kIdPage);
    m_pageList->setCurrentRow(L::kIdPage);
    // Room for the widest page, within a 1024 x 768 screen and the one shown on.
    QSize size = sizeHint().expandedTo(QSize(1000, 560)).boundedTo(QSize(1000, 700));
    if (const QScreen* screen = this->screen())
        size = size.boundedTo(screen->availableGeometry().size());
    resize(size);

    // The page shortcuts must reach the dialog wherever the focus is: a combo
    // box would otherwise take Ctrl+PageDown as "next value".
    qApp->installEventFilter(this);
}

int CSettingsDlg::pageStep(const QKeyEvent& key) {
    const Qt::KeyboardModifiers mods =
        key.modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier |
                           Qt::MetaModifier);
    const bool shift = mods.testFlag(Qt::ShiftModifier);
    if (!mods.testFlag(Qt::ControlModifier) || mods.testFlag(Qt::AltModifier) ||
        mods.testFlag(Qt::MetaModifier))
        return 0;
    switch (key.key()) {
    case Qt::Key_Tab: return shift ? -1 : 1;
    case Qt::Key_Backtab: return -1;
    case Qt::Key_PageDown: return shift ? 0 : 1;
    case Qt::Key_PageUp: return shift ? 0 : -1;
    default: return 0;
    }
}

bool CSettingsDlg::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride)
        return QDialog::eventFilter(watched, event);
    auto* widget = qobject_cast<QWidget*>(watched);
    // Only keys meant for this dialog's own widgets (an open drop-down list
    // is a window of its own and keeps its keys).
    if (widget == nullptr || widget->window() != this)
        return QDialog::eventFilter(watched, event);
    const int step = pageStep(*static_cast<QKeyEvent*>(event));
    if (step == 0)
        return QDialog::eventFilter(watched, event);
    if (type == QEvent::ShortcutOverride) {
        // Claimed here so no shortcut elsewhere takes it; the key press follows.
        event->accept();
        return true;
    }
    const int count = m_tabs->count();
    m_tabs->setCurrentIndex((m_tabs->currentIndex() + step + count) % count);
    // The focus leaves the page's fields, so a further key cannot change a value.
    m_pageList->setFocus(Qt::TabFocusReason);
    return true;
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
    if (const std::string why = writeFileAtomically(path, m_logic.fileText()); !why.empty()) {
        setStatus({});
        tell(qs(asSentence(why)), true);
        return;
    }
    setStatus(QStringLiteral("Settings saved to %1.").arg(QDir::toNativeSeparators(path)));
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
    if (outcome.loaded) {
        showPages();
        setStatus(QStringLiteral("Settings loaded from %1; nothing is sent before \"Save "
                                 "changes\".")
                      .arg(qs(shownPath)));
    } else {
        setStatus({});
    }
    if (!outcome.message.empty())
        tell(qs(outcome.message), !outcome.loaded);
}

void CSettingsDlg::setStatus(const QString& text) {
    m_status->setText(text);
    m_status->setToolTip(text);
}

QString CSettingsDlg::statusText() const { return m_status->text(); }

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
