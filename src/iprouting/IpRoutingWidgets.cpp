#include "iprouting/IpRoutingWidgets.h"

#include "controls/CListCtrlEx.h"

#include <QItemSelectionModel>
#include <QSpinBox>
#include <algorithm>
#include <set>

namespace velmar {

std::vector<int> selectedListRows(const CListCtrlEx* list) {
    std::vector<int> rows;
    for (const QModelIndex& index : list->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void refillList(CListCtrlEx* list, const QList<QStringList>& rows,
                const std::vector<qint64>& userData) {
    std::set<qint64> selected;
    for (const int row : selectedListRows(list))
        selected.insert(list->table().row(row).userData);
    list->setRows(rows);
    for (int i = 0; i < static_cast<int>(userData.size()); ++i) {
        list->setRowUserData(i, userData[static_cast<std::size_t>(i)]);
        if (selected.count(userData[static_cast<std::size_t>(i)]) != 0)
            list->selectRow(i);
    }
    list->resizeColumnsToContents();
}

QSpinBox* rangedField(QWidget* parent, const char* objectName, int lo, int hi, int value) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(QLatin1String(objectName));
    box->setRange(lo, hi);
    box->setValue(value);
    return box;
}

} // namespace velmar
