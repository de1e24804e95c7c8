#pragma once

#include "link/DeviceList.h"

#include <QAbstractTableModel>
#include <QFont>
#include <optional>

namespace velmar {

// The device selection list as a table: "IP address", "ID", "Name", "Type",
// "S/N". The connected frame's row is drawn in bold green, a lost one in grey.
class CDeviceListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { AddressColumn, IdColumn, NameColumn, TypeColumn, SerialColumn, ColumnCount };
    static constexpr int kColumnWidths[ColumnCount] = {98, 24, 72, 47, 102};
    // Item data of a row: its address as a number (0 when the text is no address).
    static constexpr int AddressRole = Qt::UserRole + 1;

    explicit CDeviceListModel(CDeviceList& list, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Call after the list's rows changed.
    void reload();
    void setConnectedAddress(std::optional<Ipv4Address> address);
    std::optional<Ipv4Address> connectedAddress() const { return m_connected; }

private:
    CDeviceList& m_list;
    std::optional<Ipv4Address> m_connected;
};

} // namespace velmar
