#pragma once

#include "panel/InputStatusDialog.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace velmar {

class CJsonWriter;

// The input status as velmarctl prints it: the dialog's lists with the
// dialog's cell texts, the main board first, then one table per card kind
// the frame holds (460 frames only, as in the dialog).
struct InputStatusTable {
    std::string name; // "Main board", "SDI", "AD", "AES", "MADI"
    bool mainBoard = false;
    std::vector<std::string> columns;
    std::vector<InputStatusRow> rows;
};

std::vector<InputStatusTable> inputStatusTables(const DeviceState& state);
// Inputs whose status the frame has not reported (their cells read "?").
int unreportedInputs(const std::vector<InputStatusTable>& tables);

std::string inputStatusText(const DeviceState& state);
void writeInputStatusJson(CJsonWriter& out, const DeviceState& state);

// One row that changed, with the table it belongs to.
struct InputStatusChange {
    const InputStatusTable* table = nullptr;
    InputStatusRow row;
};
// `AES 3: Signal error "error", Sync error "error", Active "no"`, with the
// card kind in front of a card row ("SDI Slot 1 - 1: ...").
std::string inputStatusChangeText(const InputStatusChange& change);
void writeInputStatusChangeJson(CJsonWriter& out, const InputStatusChange& change);

// Follows the status for velmarctl's watch: each call to changes() tells the
// rows whose texts differ from the last call (rows that appeared included).
class CInputStatusWatch {
public:
    explicit CInputStatusWatch(const DeviceState& state);
    std::vector<InputStatusChange> changes();

private:
    const DeviceState& m_state;
    std::vector<InputStatusTable> m_tables;
    std::map<std::pair<std::string, int>, std::vector<std::string>> m_shown;
};

} // namespace velmar
