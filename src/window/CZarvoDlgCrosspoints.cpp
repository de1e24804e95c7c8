// The main window's crosspoint lists: selection, the context menu, the
// crosspoint files and what the engine tells the lists.
#include "window/CZarvoDlg.h"

#include "controls/FileDialogs.h"
#include "engine/CrosspointFile.h"
#include "engine/Crosspoints.h"
#include "engine/FileAccess.h"
#include "engine/LoadStatusLogic.h"
#include "link/QtText.h"
#include "window/CCrosspointModels.h"
#include "window/CLoadStDlg.h"

#include <QComboBox>
#include <QDir>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTableView>

namespace velmar {

// ---- crosspoints ----

std::vector<int> CZarvoDlg::selectedRows(QListView* view) const {
    std::vector<int> rows;
    const QModelIndexList selected = view->selectionModel()->selectedIndexes();
    rows.reserve(static_cast<std::size_t>(selected.size()));
    for (const QModelIndex& index : selected)
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end()); // in list order, as the lists show them
    return rows;
}

std::vector<int> CZarvoDlg::selectedCrosspointRows() const {
    std::vector<int> rows;
    const QModelIndexList selected = m_crosspointView->selectionModel()->selectedRows();
    for (const QModelIndex& index : selected)
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CZarvoDlg::reloadPanel() {
    for (int side : {kSideInput, kSideOutput}) {
        const auto i = static_cast<std::size_t>(side);
        QComboBox* chooser = m_typeChoosers[i];
        const QSignalBlocker block(chooser);
        chooser->clear();
        for (const TypeEntry& entry : m_panel.typeList(side))
            chooser->addItem(qs(entry.text), entry.type);
        chooser->setCurrentIndex(m_panel.selectedTypeRow(side));
        m_channelModels[i]->reload();
    }
}

void CZarvoDlg::setCrosspointControlsEnabled(bool enabled) {
    for (QWidget* w :
         {static_cast<QWidget*>(m_typeChoosers[0]), static_cast<QWidget*>(m_typeChoosers[1]),
          static_cast<QWidget*>(m_channelViews[0]), static_cast<QWidget*>(m_channelViews[1]),
          static_cast<QWidget*>(m_mono), static_cast<QWidget*>(m_stereo),
          static_cast<QWidget*>(m_connectButton), static_cast<QWidget*>(m_disconnectButton),
          static_cast<QWidget*>(m_loadButton), static_cast<QWidget*>(m_saveButton)})
        w->setEnabled(enabled);
}

void CZarvoDlg::showCrosspointMenu(const QPoint& pos) {
    const std::vector<int> rows = selectedCrosspointRows();
    if (!m_crosspoints.menuAvailable(rows))
        return;
    QMenu menu(this);
    QAction* disconnect = menu.addAction(qs(kMenuDisconnect));
    QAction* save = menu.addAction(qs(kMenuSaveToFile));
    QAction* chosen = menu.exec(m_crosspointView->viewport()->mapToGlobal(pos));
    if (chosen == disconnect)
        m_grid.batch("Disconnect selected", [&] { m_crosspoints.disconnectSelectedRows(rows); });
    else if (chosen == save)
        saveCrosspoints(true);
}

namespace {
const QStringList kCrosspointFilters{QStringLiteral("Crosspoint status (*.xpt)"),
                                     QStringLiteral("All Files (*)")};
} // namespace

void CZarvoDlg::saveCrosspoints(bool selectedOnly) {
    if (!crosspointFilesAvailable(m_engine.state()))
        return;
    const QString path = askFilePath(this, FileDialogKind::Save,
                                     qs(selectedOnly ? xpt::kSaveSelectedTitle : xpt::kSaveTitle),
                                     kCrosspointFilters, QStringLiteral("xpt"));
    if (!path.isEmpty())
        saveCrosspointsTo(path, selectedOnly);
}

void CZarvoDlg::saveCrosspointsTo(const QString& path, bool selectedOnly) {
    if (path.isEmpty() || !crosspointFilesAvailable(m_engine.state()))
        return;
    // An output the frame never answered for reads as unrouted: a file saved
    // now would silently lack its route.
    if (!m_engine.state().crosspointsRead()) {
        showMessage("The frame has not reported the routes of all its outputs. Nothing was saved.");
        return;
    }
    const std::string text =
        selectedOnly
            ? writeSelectedCrosspoints(m_engine.state(), m_crosspoints, selectedCrosspointRows())
            : writeCrosspointStatus(m_engine.state(), m_crosspoints);
    if (const std::string why = writeFileAtomically(path, text); !why.empty()) {
        showMessage(asSentence(why));
        return;
    }
    statusBar()->showMessage((selectedOnly ? QStringLiteral("Selected crosspoints saved to ")
                                           : QStringLiteral("Crosspoint status saved to ")) +
                             QDir::toNativeSeparators(path));
}

void CZarvoDlg::loadCrosspoints() {
    if (!crosspointFilesAvailable(m_engine.state()))
        return;
    const QString path = askFilePath(this, FileDialogKind::Open, qs(xpt::kOpenTitle),
                                     kCrosspointFilters, QStringLiteral("xpt"));
    if (!path.isEmpty())
        loadCrosspointsFrom(path);
}

void CZarvoDlg::loadCrosspointsFrom(const QString& path) {
    if (!crosspointFilesAvailable(m_engine.state()))
        return;
    const FileReadResult file = readFileBounded(path, kMaxCrosspointFileBytes);
    if (!file.ok()) {
        showMessage(asSentence(file.error));
        return;
    }
    const std::string shownPath = QDir::toNativeSeparators(path).toStdString();
    const CLoadStatusLogic logic(shownPath, file.bytes, m_engine.state().crosspointCount());
    if (!logic.refusal().empty()) {
        showMessage(shownPath + " " + logic.refusal() + ". Nothing was sent.");
        return;
    }
    CLoadStDlg dialog(logic, this);
    if (dialog.exec() == QDialog::Accepted)
        m_grid.batch("file load",
                     [&] { logic.confirm(m_engine.state(), m_burst, m_grid.journal()); });
}

void CZarvoDlg::crosspointListCleared() {
    m_crosspoints.clear();
    m_crosspointModel->refreshHeader(); // another frame starts with "ALL"
    m_panel.clear();
    reloadPanel();
    m_grid.cleared();
}

void CZarvoDlg::rebuildCrosspointTypeLists() {
    m_panel.rebuildTypeLists();
    reloadPanel();
    m_grid.typesChanged();
}

void CZarvoDlg::crosspointRowChanged(int output) {
    m_crosspoints.redrawOutput(output);
    m_grid.crosspointChanged();
}

void CZarvoDlg::crosspointListChanged() {
    m_crosspoints.redrawAll(kSortByOutput);
    m_grid.crosspointChanged();
}

void CZarvoDlg::ipFlowListChanged(bool outputs) {
    const int side = outputs ? kSideOutput : kSideInput;
    if (m_panel.refreshIpLists(side))
        m_channelModels[static_cast<std::size_t>(side)]->reload();
}

void CZarvoDlg::inputOutputSelectionCleared() {
    for (QListView* view : m_channelViews)
        view->clearSelection();
}

} // namespace velmar
