#include "window/CCrosspointModels.h"

#include "link/QtText.h"

namespace velmar {

CCrosspointModel::CCrosspointModel(CCrosspointList& list, QObject* parent)
    : QAbstractTableModel(parent), m_list(list) {
    m_list.setRowSignals(this);
}

int CCrosspointModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_list.rowCount();
}

int CCrosspointModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant CCrosspointModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole)
        return {};
    return qs(m_list.text(index.row(), index.column()));
}

QVariant CCrosspointModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 3)
        return qs(m_list.headerTitle(section));
    return QAbstractTableModel::headerData(section, orientation, role);
}

void CCrosspointModel::refreshHeader() { Q_EMIT headerDataChanged(Qt::Horizontal, 0, 2); }

void CCrosspointModel::beginReset() { beginResetModel(); }
void CCrosspointModel::endReset() { endResetModel(); }
void CCrosspointModel::beginRemove(int row) { beginRemoveRows({}, row, row); }
void CCrosspointModel::endRemove() { endRemoveRows(); }
void CCrosspointModel::beginAppend(int row) { beginInsertRows({}, row, row); }
void CCrosspointModel::endAppend() { endInsertRows(); }

CChannelListModel::CChannelListModel(const CCrosspointPanel& panel, int side, QObject* parent)
    : QAbstractListModel(parent), m_panel(panel), m_side(side) {}

int CChannelListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_panel.channelList(m_side).size());
}

QVariant CChannelListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const ChannelEntry& entry = m_panel.channelList(m_side)[static_cast<std::size_t>(index.row())];
    if (role == Qt::DisplayRole)
        return qs(entry.text);
    if (role == ChannelRole)
        return entry.channel;
    return {};
}

void CChannelListModel::reload() {
    beginResetModel();
    endResetModel();
}

CLoadStatusModel::CLoadStatusModel(const CLoadStatusLogic& logic, QObject* parent)
    : QAbstractTableModel(parent), m_logic(logic) {}

int CLoadStatusModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_logic.rowCount();
}

int CLoadStatusModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant CLoadStatusModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole)
        return {};
    return qs(m_logic.text(index.row(), index.column()));
}

QVariant CLoadStatusModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return section == 0 ? qs(CLoadStatusLogic::kInputTitle)
                            : qs(CLoadStatusLogic::kOutputTitle);
    return QAbstractTableModel::headerData(section, orientation, role);
}

} // namespace velmar
