#pragma once

#include "link/DeviceList.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>
#include <map>
#include <optional>
#include <vector>

namespace velmar {

// The device selection list as a table: "IP address", "ID", "Name", "Type",
// "S/N". The connected frame's row is drawn in bold green, a lost one in grey,
// each in a shade that reads on the background it is drawn on.
class CDeviceListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        AddressColumn,
        IdColumn,
        NameColumn,
        TypeColumn,
        SerialColumn,
        HealthColumn,
        ColumnCount
    };
    static constexpr int kColumnWidths[ColumnCount] = {98, 24, 72, 47, 102, 80};
    // Item data of a row: its address as a number (0 when the text is no address).
    static constexpr int AddressRole = Qt::UserRole + 1;
    // What a column sorts by: addresses and IDs as numbers, texts as shown.
    static constexpr int SortRole = Qt::UserRole + 2;
    // True for the connected frame's row.
    static constexpr int ConnectedRole = Qt::UserRole + 3;
    // The connected row's green and a lost row's grey, readable on `background`.
    static QColor connectedColor(const QColor& background);
    static QColor offlineColor(const QColor& background);

    explicit CDeviceListModel(CDeviceList& list, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Call after the list's rows changed. Rows that stayed in their places
    // are refreshed and appended ones inserted, so the view keeps its
    // selection and scroll position; anything else resets the view.
    void reload();
    void setConnectedAddress(std::optional<Ipv4Address> address);
    std::optional<Ipv4Address> connectedAddress() const { return m_connected; }
    // The "Health" column of a frame's row: the verdict word, red for an
    // alarm or an unreachable frame, amber for a warning; the tooltip says why.
    enum class HealthShade { None, Good, Warning, Bad };
    void setHealth(Ipv4Address address, const QString& text, HealthShade shade, const QString& why);
    void clearHealth();
    // The background of a cell as the view paints it without selection.
    QColor cellBackground(int column, const KnownDevice& row) const;

private:
    CDeviceList& m_list;
    std::optional<Ipv4Address> m_connected;
    struct Health {
        QString text;
        HealthShade shade = HealthShade::None;
        QString why;
    };
    std::map<Ipv4Address, Health> m_health;
    std::vector<std::optional<Ipv4Address>> m_shown; // the rows the view knows, by address
};

} // namespace velmar
