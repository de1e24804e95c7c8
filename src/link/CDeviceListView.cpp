#include "link/CDeviceListView.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QSortFilterProxyModel>
#include <algorithm>

namespace velmar {

void CDeviceRowDelegate::styleConnectedRow(QStyleOptionViewItem& option, const QModelIndex& index) {
    if (!index.data(CDeviceListModel::ConnectedRole).toBool())
        return;
    // The selection colour would paint over the green: keep the text green and
    // darken the selection behind it, so the row reads as both.
    const QColor selection = option.palette.color(QPalette::Highlight).darker(250);
    option.palette.setColor(QPalette::HighlightedText, CDeviceListModel::connectedColor(selection));
    option.palette.setColor(QPalette::Highlight, selection);
}

void CDeviceRowDelegate::initStyleOption(QStyleOptionViewItem* option,
                                         const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    styleConnectedRow(*option, index);
}

CDeviceListView::CDeviceListView(CDeviceListModel& model, QWidget* parent)
    : QTableView(parent), m_model(model), m_proxy(new QSortFilterProxyModel(this)) {
    m_proxy->setSourceModel(&model);
    m_proxy->setSortRole(CDeviceListModel::SortRole);
    m_proxy->setSortCaseSensitivity(Qt::CaseInsensitive);
    setModel(m_proxy);
    setItemDelegate(new CDeviceRowDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setContextMenuPolicy(Qt::CustomContextMenu);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setStretchLastSection(true);
    setShowGrid(false);
    for (int c = 0; c < CDeviceListModel::ColumnCount; ++c)
        setColumnWidth(c, CDeviceListModel::kColumnWidths[c]);
    // Unsorted at first: the order in which the frames were listed.
    horizontalHeader()->setSortIndicatorClearable(true);
    horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    setSortingEnabled(true);

    connect(this, &QTableView::activated, this,
            [this](const QModelIndex& index) { Q_EMIT rowActivated(sourceRow(index)); });
    // Typing an address finds its row: the search runs in the current column,
    // so keep that on the address column whichever cell was clicked.
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid() && current.column() != CDeviceListModel::AddressColumn)
                    selectionModel()->setCurrentIndex(
                        current.siblingAtColumn(CDeviceListModel::AddressColumn),
                        QItemSelectionModel::NoUpdate);
            });
    connect(&model, &QAbstractItemModel::modelReset, this, &CDeviceListView::fitNameColumn);
    connect(&model, &QAbstractItemModel::rowsInserted, this, &CDeviceListView::fitNameColumn);
    connect(&model, &QAbstractItemModel::dataChanged, this, &CDeviceListView::fitNameColumn);
}

int CDeviceListView::sourceRow(const QModelIndex& viewIndex) const {
    if (!viewIndex.isValid())
        return -1;
    const QModelIndex source = m_proxy->mapToSource(viewIndex);
    return source.isValid() ? source.row() : -1;
}

int CDeviceListView::rowAt(const QPoint& viewportPos) const {
    return sourceRow(indexAt(viewportPos));
}

QModelIndex CDeviceListView::viewIndexOf(int sourceRow) const {
    return m_proxy->mapFromSource(m_model.index(sourceRow, CDeviceListModel::AddressColumn));
}

void CDeviceListView::fitNameColumn() {
    for (const int c : {CDeviceListModel::NameColumn, CDeviceListModel::TypeColumn,
                        CDeviceListModel::SerialColumn}) {
        const int wanted = std::max(CDeviceListModel::kColumnWidths[c], sizeHintForColumn(c));
        if (columnWidth(c) < wanted)
            setColumnWidth(c, wanted);
    }
}

} // namespace velmar
