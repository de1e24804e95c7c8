#include "link/CDeviceListModel.h"

#include "link/ReadableColour.h"

#include <QApplication>
#include <QBrush>
#include <QColor>
#include <QPalette>

namespace velmar {

namespace {
const char* const kTitles[] = {"IP address", "ID", "Name", "Type", "S/N", "Health"};
}

CDeviceListModel::CDeviceListModel(CDeviceList& list, QObject* parent)
    : QAbstractTableModel(parent), m_list(list) {
    for (const KnownDevice& row : m_list.rows())
        m_shown.push_back(row.addressValue);
}

int CDeviceListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_shown.size());
}

int CDeviceListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CDeviceListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() ||
        static_cast<std::size_t>(index.row()) >= m_list.rows().size())
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
        case HealthColumn: {
            // A verdict from before the link was lost no longer holds.
            if (row.offline && !connected)
                return QStringLiteral("Offline");
            const auto it = m_health.find(row.addressValue.value_or(0));
            return it == m_health.end() ? QVariant() : QVariant(it->second.text);
        }
        default: return {};
        }
        return QString::fromStdString(*text);
    }
    case Qt::ForegroundRole:
        if (connected)
            return QBrush(connectedColor(cellBackground(index.column(), row)));
        if (row.offline)
            return QBrush(offlineColor(cellBackground(index.column(), row)));
        return {};
    case Qt::BackgroundRole:
        if (index.column() == HealthColumn) {
            if (row.offline && !connected)
                return QBrush(QColor(255, 170, 170));
            const auto it = m_health.find(row.addressValue.value_or(0));
            if (it != m_health.end() && it->second.shade != HealthShade::None)
                return QBrush(cellBackground(index.column(), row));
        }
        return {};
    case Qt::ToolTipRole:
        if (index.column() == HealthColumn && !(row.offline && !connected)) {
            const auto it = m_health.find(row.addressValue.value_or(0));
            if (it != m_health.end() && !it->second.why.isEmpty())
                return it->second.why;
        }
        if (row.offline && !connected)
            return QStringLiteral("offline: the link was lost and it has not answered a search "
                                  "since");
        return {};
    case ConnectedRole: return connected;
    case SortRole:
        switch (index.column()) {
        case AddressColumn: return static_cast<quint32>(row.addressValue.value_or(0));
        case IdColumn: {
            bool ok = false;
            const qlonglong id = QString::fromStdString(row.id).toLongLong(&ok);
            return ok ? id : -1;
        }
        default: return data(index, Qt::DisplayRole);
        }
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

namespace {
QColor qcolor(Rgb c) { return {c.r, c.g, c.b}; }
Rgb rgb(const QColor& c) {
    return {static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
            static_cast<std::uint8_t>(c.blue())};
}
} // namespace

QColor CDeviceListModel::connectedColor(const QColor& background) {
    return qcolor(connectedGreenOn(rgb(background)));
}

QColor CDeviceListModel::offlineColor(const QColor& background) {
    return qcolor(offlineGreyOn(rgb(background)));
}

QColor CDeviceListModel::cellBackground(int column, const KnownDevice& row) const {
    if (column == HealthColumn) {
        const auto it = m_health.find(row.addressValue.value_or(0));
        if (it != m_health.end()) {
            switch (it->second.shade) {
            case HealthShade::Good: return {190, 240, 190};
            case HealthShade::Warning: return {255, 225, 150};
            case HealthShade::Bad: return {255, 170, 170};
            case HealthShade::None: break;
            }
        }
    }
    return QApplication::palette().color(QPalette::Base);
}

QVariant CDeviceListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < ColumnCount)
        return QString::fromLatin1(kTitles[section]);
    return QAbstractTableModel::headerData(section, orientation, role);
}

void CDeviceListModel::setHealth(Ipv4Address address, const QString& text, HealthShade shade,
                                 const QString& why) {
    m_health[address] = {text, shade, why};
    for (int r = 0; r < rowCount(); ++r)
        if (m_shown[static_cast<std::size_t>(r)] == address)
            Q_EMIT dataChanged(index(r, HealthColumn), index(r, HealthColumn));
}

void CDeviceListModel::clearHealth() {
    m_health.clear();
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, HealthColumn), index(rowCount() - 1, HealthColumn));
}

void CDeviceListModel::reload() {
    // The list only ever drops rows and appends new ones: tell the view just
    // that, so its selection, sort and scroll position survive.
    const std::vector<KnownDevice>& rows = m_list.rows();
    std::vector<bool> kept(m_shown.size(), false);
    std::size_t matched = 0;
    for (std::size_t i = 0; i < m_shown.size(); ++i) {
        if (matched < rows.size() && rows[matched].addressValue == m_shown[i]) {
            kept[i] = true;
            ++matched;
        }
    }
    // Removed runs from the last one up, so the numbers of earlier rows hold.
    for (std::size_t end = m_shown.size(); end > 0;) {
        if (kept[end - 1]) {
            --end;
            continue;
        }
        std::size_t begin = end - 1;
        while (begin > 0 && !kept[begin - 1])
            --begin;
        beginRemoveRows({}, static_cast<int>(begin), static_cast<int>(end) - 1);
        m_shown.erase(m_shown.begin() + static_cast<std::ptrdiff_t>(begin),
                      m_shown.begin() + static_cast<std::ptrdiff_t>(end));
        endRemoveRows();
        end = begin;
    }
    if (!m_shown.empty())
        Q_EMIT dataChanged(index(0, 0),
                           index(static_cast<int>(m_shown.size()) - 1, ColumnCount - 1));
    if (rows.size() > m_shown.size()) {
        beginInsertRows({}, static_cast<int>(m_shown.size()), static_cast<int>(rows.size()) - 1);
        for (std::size_t i = m_shown.size(); i < rows.size(); ++i)
            m_shown.push_back(rows[i].addressValue);
        endInsertRows();
    }
}

void CDeviceListModel::setConnectedAddress(std::optional<Ipv4Address> address) {
    if (m_connected == address)
        return;
    m_connected = address;
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

} // namespace velmar
