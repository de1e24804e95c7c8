#include "grid/CRoutingGridPanel.h"

#include "controls/FileDialogs.h"
#include "grid/CRoutingGridView.h"
#include "grid/RouteJournal.h"
#include "engine/CrosspointFile.h"
#include "engine/Crosspoints.h"
#include "engine/FileAccess.h"
#include "engine/XyBurst.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

namespace velmar {

namespace {

QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QPushButton* toolButton(const QString& text, const char* name, const QString& tip = {}) {
    auto* b = new QPushButton(text);
    b->setObjectName(QLatin1String(name));
    b->setToolTip(tip);
    b->setAutoDefault(false);
    return b;
}

} // namespace

CRoutingGridPanel::CRoutingGridPanel(const DeviceState& state, CRouteJournal& journal,
                                     std::function<void(const QString&)> status, QWidget* parent)
    : QWidget(parent), m_state(state), m_journal(journal), m_status(std::move(status)),
      m_model(state, journal) {
    setObjectName(QStringLiteral("routingGrid"));
    m_view = new CRoutingGridView(m_model, this);

    m_find = new QLineEdit;
    m_find->setObjectName(QStringLiteral("gridFind"));
    m_find->setPlaceholderText(tr("Find channel ..."));
    m_find->setClearButtonEnabled(true);
    m_routedOnly = new QCheckBox(tr("Show routed &only"));
    m_routedOnly->setObjectName(QStringLiteral("gridRoutedOnly"));
    m_swap = new QCheckBox(tr("Inputs as rows"));
    m_swap->setObjectName(QStringLiteral("gridSwap"));
    m_stereo = new QCheckBox(tr("Stereo"));
    m_stereo->setObjectName(QStringLiteral("gridStereo"));
    m_stereo->setToolTip(tr("Route and unroute channel pairs"));
    auto* zoomOut = toolButton(QStringLiteral("\u2212"), "gridZoomOut", tr("Zoom out (Ctrl+-)"));
    auto* zoomIn = toolButton(QStringLiteral("+"), "gridZoomIn", tr("Zoom in (Ctrl++)"));
    auto* fitGroup =
        toolButton(tr("Fit group"), "gridFitGroup", tr("Zoom to the groups under the pointer"));
    auto* fitAll = toolButton(tr("Fit all"), "gridFitAll", tr("Every line in view (Ctrl+0)"));
    auto* preview = toolButton(tr("&Load from file ..."), "gridLoadFile",
                               tr("Show what a crosspoint file changes before loading it"));
    m_own = toolButton(tr("Open in own window"), "gridOwnWindow");
    auto* own = m_own;
    for (QPushButton* b : {zoomOut, zoomIn})
        b->setFixedWidth(b->sizeHint().height() + 4);

    // Two rows, so the tab beside the device list still shows every control.
    auto* finding = new QHBoxLayout;
    finding->addWidget(m_find, 1);
    finding->addWidget(m_routedOnly);
    finding->addWidget(m_swap);
    finding->addWidget(m_stereo);
    auto* tools = new QHBoxLayout;
    tools->addWidget(zoomOut);
    tools->addWidget(zoomIn);
    tools->addWidget(fitGroup);
    tools->addWidget(fitAll);
    tools->addStretch(1);
    tools->addWidget(preview);
    tools->addWidget(own);

    // The preview of a crosspoint file: counts, the choice to restore exactly, OK.
    m_previewBar = new QWidget;
    m_previewBar->setObjectName(QStringLiteral("gridPreviewBar"));
    m_previewCounts = new QLabel;
    m_previewCounts->setObjectName(QStringLiteral("gridPreviewCounts"));
    // The summary wraps inside the panel: a long path or list of left-out
    // lines must never widen the window past the screen.
    m_previewCounts->setWordWrap(true);
    m_previewCounts->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_previewClear = new QCheckBox(tr("Also unroute outputs the file leaves unrouted"));
    m_previewClear->setObjectName(QStringLiteral("gridPreviewClear"));
    auto* ok = toolButton(tr("OK"), "gridPreviewOk");
    auto* cancel = toolButton(tr("Cancel"), "gridPreviewCancel");
    auto* bar = new QVBoxLayout(m_previewBar);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->addWidget(m_previewCounts);
    auto* choices = new QHBoxLayout;
    choices->addWidget(m_previewClear);
    choices->addStretch(1);
    choices->addWidget(ok);
    choices->addWidget(cancel);
    bar->addLayout(choices);
    m_previewBar->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addLayout(finding);
    layout->addLayout(tools);
    layout->addWidget(m_previewBar);
    layout->addWidget(m_view, 1);

    connect(m_find, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_model.setFilter(text.toStdString());
        layoutChanged();
    });
    connect(m_routedOnly, &QCheckBox::toggled, this, [this](bool on) {
        m_model.setRoutedOnly(on);
        layoutChanged();
    });
    connect(m_swap, &QCheckBox::toggled, this, [this](bool on) {
        m_model.setSwapped(on);
        layoutChanged();
        saveChoices();
    });
    connect(m_stereo, &QCheckBox::toggled, this, [this](bool on) {
        m_model.setStereo(on);
        // The hover and the cursor now cover the pair.
        m_view->viewport()->update();
        m_status(on ? tr("Stereo: a click routes or unroutes the channel pair it highlights")
                    : tr("Mono: a click routes or unroutes one channel"));
    });
    connect(zoomIn, &QPushButton::clicked, this, [this] { m_view->zoomBy(1.25); });
    connect(zoomOut, &QPushButton::clicked, this, [this] { m_view->zoomBy(0.8); });
    connect(fitGroup, &QPushButton::clicked, this, [this] { m_view->fitGroup(); });
    connect(fitAll, &QPushButton::clicked, this, [this] { m_view->fitAll(); });
    connect(preview, &QPushButton::clicked, this, [this] {
        if (!crosspointFilesAvailable(m_state)) {
            m_status(tr("A crosspoint file can be loaded only while connected to a frame with a "
                        "routing matrix"));
            return;
        }
        const QString path = askFilePath(
            this, FileDialogKind::Open, qs(xpt::kOpenTitle),
            {QStringLiteral("Crosspoint status (*.xpt)"), QStringLiteral("All Files (*)")},
            QStringLiteral("xpt"));
        if (!path.isEmpty())
            previewFile(path);
    });
    connect(own, &QPushButton::clicked, this, &CRoutingGridPanel::ownWindowRequested);
    connect(ok, &QPushButton::clicked, this, &CRoutingGridPanel::applyPreview);
    connect(cancel, &QPushButton::clicked, this, &CRoutingGridPanel::cancelPreview);
    connect(m_previewClear, &QCheckBox::toggled, this, [this](bool on) {
        if (CCrosspointPreview* p = m_model.preview())
            p->setClearUnlisted(on);
        m_model.routesChanged();
        layoutChanged();
        showPreviewCounts();
    });
    connect(m_view, &CRoutingGridView::cellClicked, this, &CRoutingGridPanel::clickCell);
    connect(m_view, &CRoutingGridView::cellDragged, this, &CRoutingGridPanel::dragCells);
    connect(m_view, &CRoutingGridView::cellActivated, this, &CRoutingGridPanel::activateCell);
    connect(m_view, &CRoutingGridView::foldRequested, this, [this](int side, int group) {
        m_model.toggleFold(side, group);
        layoutChanged();
        saveChoices();
    });
    connect(m_view, &CRoutingGridView::cellSizeChanged, this, &CRoutingGridPanel::saveChoices);
    connect(m_view, &CRoutingGridView::hoverChanged, this, [this](const QString& text) {
        if (!text.isEmpty())
            m_status(text);
    });

    // Zoom keys work wherever the focus is inside the grid.
    const auto shortcut = [this](QKeySequence keys, auto slot) {
        auto* s = new QShortcut(keys, this);
        s->setContext(Qt::WidgetWithChildrenShortcut);
        connect(s, &QShortcut::activated, this, slot);
    };
    shortcut(QKeySequence::ZoomIn, [this] { m_view->zoomBy(1.25); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Equal), [this] { m_view->zoomBy(1.25); });
    shortcut(QKeySequence::ZoomOut, [this] { m_view->zoomBy(0.8); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_0), [this] { m_view->fitAll(); });
    shortcut(QKeySequence::Find, [this] {
        m_find->setFocus();
        m_find->selectAll();
    });
}

void CRoutingGridPanel::layoutChanged() { m_view->modelChanged(); }

void CRoutingGridPanel::routesChanged() {
    if (m_repaintQueued)
        return;
    // A block of replies repaints once, after the last of them.
    m_repaintQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_repaintQueued = false;
        m_model.routesChanged();
        m_view->modelChanged();
        if (m_model.preview())
            showPreviewCounts();
    });
}

void CRoutingGridPanel::rebuild() {
    m_model.rebuild();
    if (m_model.preview() &&
        (!m_state.connected || m_model.preview()->crosspointCount() != m_state.crosspointCount()))
        cancelPreview();
    m_view->modelChanged();
}

void CRoutingGridPanel::setProfile(QSettings* profile) {
    m_profile = nullptr; // restoring is not a change to save
    if (profile != nullptr) {
        profile->beginGroup(QLatin1String(kProfileGroup));
        const auto titles = [&](const char* key) {
            std::set<std::string> out;
            for (const QString& t : profile->value(QLatin1String(key)).toStringList())
                out.insert(t.toStdString());
            return out;
        };
        m_model.setFoldedTitles(kSideInput, titles("foldedInputs"));
        m_model.setFoldedTitles(kSideOutput, titles("foldedOutputs"));
        m_swap->setChecked(profile->value(QStringLiteral("inputsAsRows"), false).toBool());
        bool ok = false;
        const double cell = profile->value(QStringLiteral("cellSize")).toDouble(&ok);
        if (ok && std::isfinite(cell))
            m_view->setCellSize(cell);
        profile->endGroup();
    }
    m_profile = profile;
    layoutChanged();
}

void CRoutingGridPanel::saveChoices() {
    if (m_profile == nullptr)
        return;
    const auto titles = [&](int side) {
        QStringList out;
        for (const std::string& t : m_model.foldedTitles(side))
            out << qs(t);
        return out;
    };
    m_profile->beginGroup(QLatin1String(kProfileGroup));
    m_profile->setValue(QStringLiteral("foldedInputs"), titles(kSideInput));
    m_profile->setValue(QStringLiteral("foldedOutputs"), titles(kSideOutput));
    m_profile->setValue(QStringLiteral("inputsAsRows"), m_model.swapped());
    m_profile->setValue(QStringLiteral("cellSize"), m_view->cellSize());
    m_profile->endGroup();
}

void CRoutingGridPanel::setInOwnWindow(bool own) {
    m_own->setText(own ? tr("Back to the main window") : tr("Open in own window"));
}

bool CRoutingGridPanel::ask(std::string_view text, bool& skip) {
    if (skip)
        return true;
    QMessageBox box(QMessageBox::Question, qs(kDisconnectTitle), qs(text),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    auto* dontAsk = new QCheckBox(tr("Don't ask again this session"));
    dontAsk->setObjectName(QStringLiteral("dontAskAgain"));
    box.setCheckBox(dontAsk);
    m_view->setQuestionOpen(true);
    const bool yes = box.exec() == QMessageBox::Yes;
    m_view->setQuestionOpen(false);
    if (yes && dontAsk->isChecked())
        skip = true;
    return yes;
}

bool CRoutingGridPanel::askDisconnect() {
    return ask(kDisconnectQuestion, m_skipDisconnectQuestion);
}

bool CRoutingGridPanel::askReplace(const std::vector<GridRoute>& replaced) {
    return ask(replaceQuestion(replaced), m_skipReplaceQuestion);
}

void CRoutingGridPanel::send(const GridPlan& plan, const char* label) {
    if (plan.routes.empty())
        return;
    if (!m_journal.allowed()) {
        m_status(tr("Routes can be sent only while connected, without a firmware transfer or "
                    "burst"));
        return;
    }
    if (plan.unroute && (!askDisconnect() || !m_journal.allowed()))
        return;
    if (!plan.replaced.empty() && (!askReplace(plan.replaced) || !m_journal.allowed())) {
        m_status(tr("Nothing was sent: the live routes stay"));
        return;
    }
    m_journal.beginBatch(label);
    for (const GridRoute& r : plan.routes)
        m_journal.sendRequest(crosspointRequest(r.output, r.input));
    m_journal.endBatch();
}

void CRoutingGridPanel::clickCell(int row, int column) {
    if (!m_model.cellAt(row, column)) {
        if (m_model.rows().line(row) != nullptr && m_model.columns().line(column) != nullptr)
            m_status(tr("Unfold the group to route its channels"));
        return;
    }
    const GridPlan plan = m_model.clickPlan(row, column);
    send(plan, plan.unroute ? "grid disconnect" : "grid route");
}

void CRoutingGridPanel::activateCell(int row, int column) {
    // Enter on a folded line opens its group, as a click on its name does.
    const GridLine* r = m_model.rows().line(row);
    const GridLine* c = m_model.columns().line(column);
    if (r == nullptr || c == nullptr)
        return;
    if (r->channel == 0 || c->channel == 0) {
        const CGridAxis& axis = r->channel == 0 ? m_model.rows() : m_model.columns();
        m_model.toggleFold(axis.side, (r->channel == 0 ? r : c)->group);
        layoutChanged();
        saveChoices();
        return;
    }
    clickCell(row, column);
}

void CRoutingGridPanel::dragCells(int row0, int column0, int row1, int column1) {
    send(m_model.dragPlan(row0, column0, row1, column1), "grid run");
}

void CRoutingGridPanel::previewFile(const QString& path) {
    if (!crosspointFilesAvailable(m_state))
        return;
    const FileReadResult file = readFileBounded(path, kMaxCrosspointFileBytes);
    if (!file.ok()) {
        QMessageBox::warning(this, qs(xpt::kOpenTitle), qs(file.error));
        return;
    }
    const int count = m_state.crosspointCount();
    const CrosspointFileContent content = parseCrosspointFile(file.bytes, count);
    if (!content.refusal.empty()) {
        QMessageBox::warning(this, qs(xpt::kOpenTitle),
                             QDir::toNativeSeparators(path) + QLatin1Char(' ') +
                                 qs(content.refusal) + tr(". Nothing was sent."));
        return;
    }
    m_previewPath = QDir::toNativeSeparators(path);
    m_previewClear->blockSignals(true);
    m_previewClear->setChecked(false);
    m_previewClear->blockSignals(false);
    m_model.setPreview(CCrosspointPreview(content, count, false));
    m_previewBar->show();
    showPreviewCounts();
    layoutChanged();
}

void CRoutingGridPanel::showPreviewCounts() {
    const CCrosspointPreview* p = m_model.preview();
    if (p == nullptr)
        return;
    // The file's name; its folder is in the tooltip.
    QString text =
        QFileInfo(m_previewPath).fileName() + QStringLiteral(": ") + qs(p->summary(m_state));
    if (const std::string left = leftOutSummary(p->leftOut()); !left.empty())
        text += QStringLiteral("; ") + qs(left);
    m_previewCounts->setText(text);
    m_previewCounts->setToolTip(m_previewPath);
}

void CRoutingGridPanel::applyPreview() {
    const CCrosspointPreview* p = m_model.preview();
    if (p == nullptr)
        return;
    if (!m_journal.allowed() || p->crosspointCount() != m_state.crosspointCount()) {
        m_status(tr("The file was not loaded: the frame can take routes only while connected, "
                    "without a firmware transfer or burst"));
        return;
    }
    // Against the routes as they are now: another client may have changed some.
    const std::vector<GridRoute> routes = p->routesToSend(m_state);
    m_journal.beginBatch("file load");
    for (const GridRoute& r : routes)
        m_journal.sendRequest(crosspointRequest(r.output, r.input));
    m_journal.endBatch();
    m_status(tr("%1 routes of %2 sent").arg(routes.size()).arg(m_previewPath));
    cancelPreview();
}

void CRoutingGridPanel::cancelPreview() {
    m_model.setPreview(std::nullopt);
    m_previewBar->hide();
    m_previewPath.clear();
    layoutChanged();
}

} // namespace velmar
