#pragma once

#include "engine/ChannelRange.h"

#include <QObject>
#include <vector>

class QKeyEvent;

namespace velmar {

class CListCtrlEx;

// Gives a channel list the dialogs' keyboard movement (Page Up/Down by 31
// rows, Home, End, Up, Down): the key moves the current row, and selects it
// alone, so the dialog loads that channel as a click would.
class CChannelListKeys : public QObject {
public:
    explicit CChannelListKeys(CListCtrlEx* list);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CListCtrlEx* m_list;
};

// Moves the list's current row to `row` and selects only it.
void selectOnlyRow(CListCtrlEx* list, int row);
// The item data (channel numbers) of the selected rows, in list order.
std::vector<int> selectedChannels(const CListCtrlEx* list);

} // namespace velmar
