#include "channels/CChannelList.h"

#include "controls/CListCtrlEx.h"

#include <QItemSelectionModel>
#include <QKeyEvent>
#include <algorithm>
#include <optional>

namespace velmar {

namespace {

std::optional<ListKey> listKeyOf(int key) {
    switch (key) {
    case Qt::Key_Up: return ListKey::Up;
    case Qt::Key_Down: return ListKey::Down;
    case Qt::Key_PageUp: return ListKey::PageUp;
    case Qt::Key_PageDown: return ListKey::PageDown;
    case Qt::Key_Home: return ListKey::Home;
    case Qt::Key_End: return ListKey::End;
    default: return std::nullopt;
    }
}

} // namespace

CChannelListKeys::CChannelListKeys(CListCtrlEx* list) : QObject(list), m_list(list) {
    list->installEventFilter(this);
}

bool CChannelListKeys::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_list || event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const std::optional<ListKey> move = listKeyOf(key->key());
    if (!move || key->modifiers() != Qt::NoModifier)
        return false;
    const int row = keyMovedRow(m_list->currentIndex().row(), *move, m_list->rowCount());
    if (row >= 0)
        selectOnlyRow(m_list, row);
    return true;
}

void selectOnlyRow(CListCtrlEx* list, int row) {
    const QModelIndex index = list->model()->index(row, 0);
    list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                       QItemSelectionModel::Rows);
    list->scrollTo(index);
}

std::vector<int> selectedChannels(const CListCtrlEx* list) {
    std::vector<int> rows;
    for (const QModelIndex& index : list->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    std::vector<int> channels;
    for (int row : rows)
        channels.push_back(static_cast<int>(list->rowUserData(row)));
    return channels;
}

} // namespace velmar
