#include "grid/CRoutingGrid.h"

#include "grid/CRoutingGridPanel.h"
#include "engine/XyBurst.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace velmar {

namespace {

QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The grid's own window gives the grid back to its tab when it closes.
class CGridWindow final : public QWidget {
public:
    CGridWindow(std::function<void()> onClose, QWidget* parent)
        : QWidget(parent, Qt::Window), m_onClose(std::move(onClose)) {}

protected:
    void closeEvent(QCloseEvent* event) override {
        QWidget::closeEvent(event);
        if (m_onClose)
            m_onClose();
    }

private:
    std::function<void()> m_onClose;
};

} // namespace

CRoutingGrid::CRoutingGrid(const DeviceState& state, IRequestSink& engine, IQuestions& questions,
                           const CXyBurst& burst, std::function<void(const QString&)> status)
    : m_state(state), m_status(std::move(status)),
      m_timers([this](int id) { m_journal.onTimer(id); }),
      m_journal(state, engine, m_timers, questions) {
    m_journal.setReport(this);
    m_journal.setBusy([&burst] { return burst.running(); });
}

CRoutingGrid::~CRoutingGrid() { m_journal.setReport(nullptr); }

void CRoutingGrid::addEditMenu(QMenuBar* bar) {
    QMenu* edit = bar->addMenu(tr("&Edit"));
    m_undo = edit->addAction(tr("&Undo"));
    m_undo->setObjectName(QStringLiteral("undoAction"));
    m_undo->setShortcut(QKeySequence::Undo);
    m_redo = edit->addAction(tr("&Redo"));
    m_redo->setObjectName(QStringLiteral("redoAction"));
    // Ctrl+Shift+Z everywhere, and the platform's own key where it has another.
    QList<QKeySequence> redoKeys{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)};
    for (const QKeySequence& k : QKeySequence::keyBindings(QKeySequence::Redo))
        if (!redoKeys.contains(k))
            redoKeys << k;
    m_redo->setShortcuts(redoKeys);
    connect(m_undo, &QAction::triggered, this, [this] { m_journal.undo(); });
    connect(m_redo, &QAction::triggered, this, [this] { m_journal.redo(); });
    refreshEditActions();
}

void CRoutingGrid::addTab(QTabWidget* tabs, QSettings* profile) {
    m_tabs = tabs;
    m_panel = new CRoutingGridPanel(m_state, m_journal, m_status);
    m_panel->setProfile(profile);
    tabs->addTab(m_panel, tr("&Grid"));
    connect(m_panel, &CRoutingGridPanel::ownWindowRequested, this, &CRoutingGrid::openOwnWindow);
}

void CRoutingGrid::openOwnWindow() {
    // In its own window the same button takes the grid back.
    if (m_ownWindow) {
        m_ownWindow->close();
        return;
    }
    if (!m_panel || !m_tabs)
        return;
    const int index = m_tabs->indexOf(m_panel);
    auto* window = new CGridWindow(
        [this] { QTimer::singleShot(0, this, &CRoutingGrid::bringBack); }, m_tabs->window());
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setObjectName(QStringLiteral("routingGridWindow"));
    window->setWindowTitle(tr("Routing grid"));
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    // The tab keeps a note and a way back while the grid is away.
    auto* away = new QWidget;
    away->setObjectName(QStringLiteral("gridAway"));
    auto* awayLayout = new QVBoxLayout(away);
    awayLayout->addWidget(new QLabel(tr("The routing grid is open in its own window.")), 0,
                          Qt::AlignCenter);
    auto* back = new QPushButton(tr("Bring it back here"));
    awayLayout->addWidget(back, 0, Qt::AlignCenter);
    connect(back, &QPushButton::clicked, window, &QWidget::close);
    m_tabs->removeTab(index);
    m_tabs->insertTab(index, away, tr("&Grid"));
    m_tabs->setCurrentIndex(index);
    layout->addWidget(m_panel);
    m_panel->setInOwnWindow(true);
    m_panel->show();
    window->resize(1000, 700);
    m_ownWindow = window;
    window->show();
}

void CRoutingGrid::bringBack() {
    if (!m_panel || !m_tabs)
        return;
    QWidget* away = m_tabs->findChild<QWidget*>(QStringLiteral("gridAway"));
    const int index = away != nullptr ? m_tabs->indexOf(away) : m_tabs->count();
    m_panel->setParent(nullptr);
    m_panel->setInOwnWindow(false);
    if (away != nullptr) {
        m_tabs->removeTab(index);
        away->deleteLater();
    }
    m_tabs->insertTab(index, m_panel, tr("&Grid"));
    m_tabs->setCurrentIndex(index);
}

void CRoutingGrid::onMessage(const DeviceMessage& message, bool isReply) {
    m_journal.onMessage(message, isReply);
}

void CRoutingGrid::crosspointChanged() {
    if (m_panel)
        m_panel->routesChanged();
    // Whether undo asks depends on the live routes.
    refreshEditActions();
}

void CRoutingGrid::typesChanged() {
    if (m_panel)
        m_panel->rebuild();
}

void CRoutingGrid::cleared() {
    m_journal.clear();
    if (m_panel)
        m_panel->rebuild();
}

void CRoutingGrid::batch(const std::string& label, const std::function<void()>& send) {
    m_journal.beginBatch(label);
    send();
    m_journal.endBatch();
}

void CRoutingGrid::routeStatus(std::string_view text) {
    if (m_status)
        m_status(qs(text));
}

void CRoutingGrid::routeMarksChanged() {
    if (m_panel)
        m_panel->routesChanged();
    if (m_editQueued)
        return;
    m_editQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_editQueued = false;
        refreshEditActions();
    });
}

void CRoutingGrid::refreshEditActions() {
    if (m_undo) {
        m_undo->setEnabled(m_journal.canUndo());
        m_undo->setText(QStringLiteral("&") + qs(m_journal.undoText()));
    }
    if (m_redo) {
        m_redo->setEnabled(m_journal.canRedo());
        m_redo->setText(QStringLiteral("&") + qs(m_journal.redoText()));
    }
}

} // namespace velmar
