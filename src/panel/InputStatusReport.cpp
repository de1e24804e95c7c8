#include "panel/InputStatusReport.h"

#include "protocol/JsonWriter.h"
#include "protocol/TerminalText.h"

#include <algorithm>

namespace velmar {

namespace {

constexpr std::string_view kUnreported = "?";

// JSON member names of the column titles.
constexpr std::pair<std::string_view, std::string_view> kJsonKeys[] = {
    {"Input", "input"},          {"Signal error", "signalError"},
    {"Sync error", "syncError"}, {"Active", "active"},
    {"Locked", "locked"},        {"Format", "format"},
    {"Frame rate", "frameRate"}, {"Signal", "signal"},
    {"Overload", "overload"},
};

std::string_view jsonKey(std::string_view title) {
    for (const auto& [t, key] : kJsonKeys)
        if (t == title)
            return key;
    return title;
}

bool reported(const InputStatusRow& row) {
    return std::none_of(row.cells.begin(), row.cells.end(),
                        [](const std::string& c) { return c == kUnreported; });
}

void table(std::string& out, const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t k = 0; k < row.size(); ++k)
            widths[k] = std::max(widths[k], row[k].size());
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t k = 0; k < row.size(); ++k) {
            line += row[k];
            if (k + 1 < row.size())
                line.append(widths[k] + 2 - row[k].size(), ' ');
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out += line + "\n";
    }
}

// Cells come from the frame's texts; none may reach a terminal raw.
std::vector<std::string> safeCells(const InputStatusRow& row) {
    std::vector<std::string> cells;
    for (const std::string& c : row.cells)
        cells.push_back(terminalSafe(c));
    return cells;
}

void writeRow(CJsonWriter& out, const InputStatusTable& t, const InputStatusRow& row) {
    out.beginObject();
    if (!t.mainBoard) {
        out.field("kind", std::string_view(t.name))
            .field("slot", (row.entry - 1) / kCardChannels + 1)
            .field("number", (row.entry - 1) % kCardChannels + 1);
    } else {
        out.field("number", row.entry);
    }
    for (std::size_t c = 0; c < t.columns.size() && c < row.cells.size(); ++c)
        out.field(jsonKey(t.columns[c]), std::string_view(row.cells[c]));
    out.field("reported", reported(row)).endObject();
}

} // namespace

std::vector<InputStatusTable> inputStatusTables(const DeviceState& state) {
    std::vector<InputStatusTable> tables;
    InputStatusTable main{"Main board", true, mainInputColumns(), {}};
    for (int input = 1; input <= kMainInputs; ++input)
        main.rows.push_back(mainInputRow(state, input));
    tables.push_back(std::move(main));
    for (const InputCardKind kind : kInputCardKinds) {
        std::vector<InputStatusRow> rows = cardInputRows(state, kind);
        if (!rows.empty())
            tables.push_back(
                {std::string(inputCardKindName(kind)), false, cardInputColumns(kind), rows});
    }
    return tables;
}

int unreportedInputs(const std::vector<InputStatusTable>& tables) {
    int count = 0;
    for (const InputStatusTable& t : tables)
        count += static_cast<int>(std::count_if(t.rows.begin(), t.rows.end(),
                                                [](const auto& r) { return !reported(r); }));
    return count;
}

std::string inputStatusText(const DeviceState& state) {
    const std::vector<InputStatusTable> tables = inputStatusTables(state);
    std::string out;
    for (const InputStatusTable& t : tables) {
        if (!out.empty())
            out += "\n";
        out += t.mainBoard ? t.name + "\n" : t.name + " cards\n";
        std::vector<std::vector<std::string>> rows{t.columns};
        for (const InputStatusRow& row : t.rows)
            rows.push_back(safeCells(row));
        table(out, rows);
    }
    if (state.family != kFamily460)
        out += "\nCard inputs are listed for 460 frames only.\n";
    else if (tables.size() == 1)
        out += "\nNo SDI, AD, AES or MADI card is fitted.\n";
    if (unreportedInputs(tables) > 0)
        out += "\n? = not reported by the frame\n";
    return out;
}

void writeInputStatusJson(CJsonWriter& out, const DeviceState& state) {
    const std::vector<InputStatusTable> tables = inputStatusTables(state);
    out.beginObject().field("family", state.family).key("main").beginArray();
    for (const InputStatusRow& row : tables.front().rows)
        writeRow(out, tables.front(), row);
    out.endArray().key("cards").beginArray();
    for (std::size_t t = 1; t < tables.size(); ++t)
        for (const InputStatusRow& row : tables[t].rows)
            writeRow(out, tables[t], row);
    out.endArray().endObject();
}

std::string inputStatusChangeText(const InputStatusChange& change) {
    const InputStatusTable& t = *change.table;
    const std::vector<std::string> cells = safeCells(change.row);
    std::string line = t.mainBoard ? std::string() : t.name + " ";
    line += cells.empty() ? std::string() : cells.front();
    line += ":";
    for (std::size_t c = 1; c < t.columns.size() && c < cells.size(); ++c)
        line += (c == 1 ? " " : ", ") + t.columns[c] + " \"" + cells[c] + "\"";
    return line;
}

void writeInputStatusChangeJson(CJsonWriter& out, const InputStatusChange& change) {
    writeRow(out, *change.table, change.row);
}

CInputStatusWatch::CInputStatusWatch(const DeviceState& state) : m_state(state) { changes(); }

std::vector<InputStatusChange> CInputStatusWatch::changes() {
    // The tables are kept until the next call, so the changes can point at them.
    m_tables = inputStatusTables(m_state);
    std::vector<InputStatusChange> out;
    for (const InputStatusTable& t : m_tables) {
        for (const InputStatusRow& row : t.rows) {
            auto& shown = m_shown[{t.name, row.entry}];
            if (shown == row.cells)
                continue;
            shown = row.cells;
            out.push_back({&t, row});
        }
    }
    return out;
}

} // namespace velmar
