#pragma once

#include "link/CDeviceListModel.h"

#include <QStyledItemDelegate>
#include <QTableView>

class QSortFilterProxyModel;

namespace velmar {

// Draws the connected frame's row so that it stays recognisable while
// selected: its bold green text is kept, on a darker selection colour.
class CDeviceRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    // The colours for one cell; public so the rule can be checked on its own.
    static void styleConnectedRow(QStyleOptionViewItem& option, const QModelIndex& index);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

// The device selection list's view. Rows stand in the order the frames were
// listed until the operator sorts on a column header (a third click on the
// header returns to that order). Everything the window does with a row goes by
// the row of the list itself, whatever the view's order: sourceRow() maps.
class CDeviceListView : public QTableView {
    Q_OBJECT
public:
    explicit CDeviceListView(CDeviceListModel& model, QWidget* parent = nullptr);

    // The list row under a view index or a point in the viewport; -1 for none.
    int sourceRow(const QModelIndex& viewIndex) const;
    int rowAt(const QPoint& viewportPos) const;
    // The view index of a list row's address cell.
    QModelIndex viewIndexOf(int sourceRow) const;

Q_SIGNALS:
    // Double click or Enter on a row, as a list row.
    void rowActivated(int sourceRow);

private:
    // The Name, Type and S/N columns are at least their standard widths and
    // wide enough for their longest texts, the bold connected row included.
    void fitNameColumn();

    CDeviceListModel& m_model;
    QSortFilterProxyModel* m_proxy;
};

} // namespace velmar
