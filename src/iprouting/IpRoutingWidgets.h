#pragma once

#include <QList>
#include <QStringList>
#include <vector>

class QSpinBox;
class QWidget;

namespace velmar {

class CListCtrlEx;

// The selected rows of a list, in list order.
std::vector<int> selectedListRows(const CListCtrlEx* list);
// Fills a list with `rows`, each row's item data from `userData`, keeping the
// rows selected whose item data was selected before.
void refillList(CListCtrlEx* list, const QList<QStringList>& rows,
                const std::vector<qint64>& userData);
QSpinBox* rangedField(QWidget* parent, const char* objectName, int lo, int hi, int value);

} // namespace velmar
