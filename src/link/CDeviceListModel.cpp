#include "link/CDeviceListModel.h"

#include <QApplication>
#include <QBrush>
#include <QColor>

namespace velmar {

namespace {
const char* const kTitles[] = {"IP address", "ID", "Name", "Type", "S/N"};
}

CDeviceListModel::CDeviceListModel(CDeviceList& list, QObject* parent)
    : QAbstractTableModel(parent), m_list(list) {}

int CDeviceListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_list.rows().size());
}

int CDeviceListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CDeviceListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const KnownDevice& row = m_list.rows()[static_cast<std::size_t>(index.row())];
    const bool connected = m_connected && row.addressValue == m_connected;
    switch (role) {
    case Qt::DisplayRole: {
        const std::string* text = nullptr;
        switch (index.column()) {
        case AddressColumn: text = &row.address; break;
        case IdColumn: text = &row.id; break;
        case NameColumn: text = &row.name; break;
        case TypeColumn: text = &row.type; break;
        case SerialColumn: text = &row.serial; break;
        default: return {};
        }
        return QString::fromStdString(*text);
    }
    case Qt::ForegroundRole:
        if (connected)
            return QBrush(QColor(0, 255, 0));
        if (row.offline)
            return QBrush(QColor(Qt::gray));
        return {};
    case Qt::ToolTipRole:
        if (row.offline && !connected)
            return QStringLiteral("offline: the link was lost and it has not answered a search "
                                  "since");
        return {};
    case Qt::FontRole:
        if (connected) {
            QFont font = QApplication::font();
            font.setWeight(QFont::Bold);
            return font;
        }
        return {};
    case AddressRole: return static_cast<quint32>(row.addressValue.value_or(0));
    default: return {};
    }
}

QVariant CDeviceListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < ColumnCount)
        return QString::fromLatin1(kTitles[section]);
    return QAbstractTableModel::headerData(section, orientation, role);
}

void CDeviceListModel::reload() {
    beginResetModel();
    endResetModel();
}

void CDeviceListModel::setConnectedAddress(std::optional<Ipv4Address> address) {
    if (m_connected == address)
        return;
    m_connected = address;
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

} // namespace velmar
