#include "controls/CListTable.h"

#include <algorithm>
#include <numeric>

namespace velmar {

namespace {
const std::string kEmpty;
}

EditResult toEditResult(int callbackValue) {
    if (callbackValue == 0)
        return EditResult::Reject;
    return callbackValue == -1 ? EditResult::AcceptResort : EditResult::Accept;
}

int CListTable::addColumn(std::string title) {
    ListColumn col;
    col.title = std::move(title);
    m_columns.push_back(std::move(col));
    for (auto& r : m_rows)
        r.texts.resize(m_columns.size());
    return columnCount() - 1;
}

void CListTable::setColumnReadOnly(int c, bool readOnly) {
    if (c >= 0 && c < columnCount())
        m_columns[static_cast<std::size_t>(c)].readOnly = readOnly;
}

void CListTable::setColumnEditor(int c, int editor) {
    if (c >= 0 && c < columnCount())
        m_columns[static_cast<std::size_t>(c)].editor = editor;
}

void CListTable::setColumnColours(int c, std::int32_t text, std::int32_t back) {
    if (c >= 0 && c < columnCount()) {
        m_columns[static_cast<std::size_t>(c)].textColour = text;
        m_columns[static_cast<std::size_t>(c)].backColour = back;
    }
}

void CListTable::setColumnSort(int c, int sortType, int sortFlags) {
    if (c >= 0 && c < columnCount()) {
        m_columns[static_cast<std::size_t>(c)].sortType = sortType;
        m_columns[static_cast<std::size_t>(c)].sortFlags = sortFlags;
        m_columns[static_cast<std::size_t>(c)].sortClicked = false;
    }
}

int CListTable::insertRow(int position, std::string_view firstText) {
    if (position < 0 || position > rowCount())
        position = rowCount();
    ListRow r;
    r.texts.resize(std::max<std::size_t>(m_columns.size(), 1));
    r.texts[0] = std::string(firstText);
    m_rows.insert(m_rows.begin() + position, std::move(r));
    return position;
}

void CListTable::removeRow(int row) {
    if (row >= 0 && row < rowCount())
        m_rows.erase(m_rows.begin() + row);
}

void CListTable::clear() { m_rows.clear(); }

void CListTable::assignRows(std::vector<std::vector<std::string>> rows) {
    m_rows.clear();
    m_rows.reserve(rows.size());
    for (auto& texts : rows) {
        texts.resize(std::max<std::size_t>(m_columns.size(), 1));
        ListRow r;
        r.texts = std::move(texts);
        m_rows.push_back(std::move(r));
    }
}

bool CListTable::hasCell(int row, int c) const {
    return row >= 0 && row < rowCount() && c >= 0 && c < columnCount();
}

ListRow* CListTable::rowAt(int row) {
    return row >= 0 && row < rowCount() ? &m_rows[static_cast<std::size_t>(row)] : nullptr;
}

const std::string& CListTable::text(int row, int c) const {
    if (row < 0 || row >= rowCount() || c < 0)
        return kEmpty;
    const auto& texts = m_rows[static_cast<std::size_t>(row)].texts;
    return static_cast<std::size_t>(c) < texts.size() ? texts[static_cast<std::size_t>(c)] : kEmpty;
}

void CListTable::setText(int row, int c, std::string_view text) {
    if (!hasCell(row, c))
        return;
    auto& texts = m_rows[static_cast<std::size_t>(row)].texts;
    texts.resize(std::max(texts.size(), m_columns.size()));
    texts[static_cast<std::size_t>(c)] = std::string(text);
}

void CListTable::setRowUserData(int row, std::int64_t data) {
    if (auto* r = rowAt(row))
        r->userData = data;
}

std::int64_t CListTable::rowUserData(int row) const {
    return row >= 0 && row < rowCount() ? m_rows[static_cast<std::size_t>(row)].userData : 0;
}

void CListTable::setRowColours(int row, std::int32_t text, std::int32_t back) {
    if (auto* r = rowAt(row)) {
        r->textColour = text;
        r->backColour = back;
    }
}

void CListTable::setRowReadOnly(int row, bool readOnly) {
    if (auto* r = rowAt(row))
        r->readOnly = readOnly;
}

void CListTable::setRowEditor(int row, int editor) {
    if (auto* r = rowAt(row))
        r->editor = editor;
}

const ListCellDesc* CListTable::cellDesc(int row, int c) const {
    if (row < 0 || row >= rowCount())
        return nullptr;
    for (const auto& d : m_rows[static_cast<std::size_t>(row)].cells)
        if (d.column == c)
            return &d;
    return nullptr;
}

ListCellDesc& CListTable::touchCell(int row, int c) {
    auto& cells = m_rows[static_cast<std::size_t>(row)].cells;
    for (auto& d : cells)
        if (d.column == c)
            return d;
    cells.push_back(ListCellDesc{c});
    return cells.back();
}

void CListTable::setCellReadOnly(int row, int c, bool readOnly) {
    if (hasCell(row, c))
        touchCell(row, c).readOnly = readOnly;
}

void CListTable::setCellEditor(int row, int c, int editor) {
    if (hasCell(row, c))
        touchCell(row, c).editor = editor;
}

void CListTable::setCellColours(int row, int c, std::int32_t text, std::int32_t back) {
    if (hasCell(row, c)) {
        auto& d = touchCell(row, c);
        d.textColour = text;
        d.backColour = back;
    }
}

void CListTable::setDefaultColours(std::int32_t text, std::int32_t back) {
    m_defaultText = text;
    m_defaultBack = back;
}

std::int32_t CListTable::textColour(int row, int c) const {
    if (const auto* d = cellDesc(row, c); d && d->textColour != kNoColour)
        return d->textColour;
    if (row >= 0 && row < rowCount() &&
        m_rows[static_cast<std::size_t>(row)].textColour != kNoColour)
        return m_rows[static_cast<std::size_t>(row)].textColour;
    if (c >= 0 && c < columnCount() &&
        m_columns[static_cast<std::size_t>(c)].textColour != kNoColour)
        return m_columns[static_cast<std::size_t>(c)].textColour;
    return m_defaultText;
}

std::int32_t CListTable::backColour(int row, int c) const {
    if (const auto* d = cellDesc(row, c); d && d->backColour != kNoColour)
        return d->backColour;
    if (row >= 0 && row < rowCount() &&
        m_rows[static_cast<std::size_t>(row)].backColour != kNoColour)
        return m_rows[static_cast<std::size_t>(row)].backColour;
    if (c >= 0 && c < columnCount() &&
        m_columns[static_cast<std::size_t>(c)].backColour != kNoColour)
        return m_columns[static_cast<std::size_t>(c)].backColour;
    return m_defaultBack;
}

bool CListTable::isEditable(int row, int c) const {
    if (!hasCell(row, c))
        return false;
    if (m_columns[static_cast<std::size_t>(c)].readOnly ||
        m_rows[static_cast<std::size_t>(row)].readOnly)
        return false;
    const auto* d = cellDesc(row, c);
    return !(d && d->readOnly);
}

int CListTable::editorFor(int row, int c) const {
    if (!isEditable(row, c))
        return kNoEditor;
    if (const auto* d = cellDesc(row, c); d && d->editor != kNoEditor)
        return d->editor;
    if (int e = m_rows[static_cast<std::size_t>(row)].editor; e != kNoEditor)
        return e;
    if (int e = m_columns[static_cast<std::size_t>(c)].editor; e != kNoEditor)
        return e;
    return m_defaultEditor;
}

ListCell CListTable::firstEditable(int row) const {
    for (int c = 0; c < columnCount(); ++c)
        if (isEditable(row, c))
            return {row, c};
    return {};
}

TabStep CListTable::tabStep(ListCell cursor, bool backwards, bool appendRows) const {
    const int cols = columnCount();
    const int total = rowCount() * cols;
    // Cells numbered row by row; -1 and total are the places before and after.
    int pos;
    if (hasCell(cursor.row, cursor.column))
        pos = cursor.row * cols + cursor.column;
    else
        pos = backwards ? total : -1;
    for (pos += backwards ? -1 : 1; pos >= 0 && pos < total; pos += backwards ? -1 : 1) {
        if (isEditable(pos / cols, pos % cols))
            return {TabStep::Move, {pos / cols, pos % cols}};
    }
    // Only going forwards past the end asks for a new row.
    if (!backwards && appendRows && cols > 0)
        return {TabStep::AppendRow, {}};
    return {TabStep::Leave, {}};
}

void CListTable::sortBy(int c, int direction, std::vector<int>* order) {
    std::vector<int> idx(m_rows.size());
    std::iota(idx.begin(), idx.end(), 0);
    const int type = m_columns[static_cast<std::size_t>(c)].sortType;
    std::stable_sort(idx.begin(), idx.end(), [&](int a, int b) {
        const auto& ra = m_rows[static_cast<std::size_t>(a)];
        const auto& rb = m_rows[static_cast<std::size_t>(b)];
        int cmp = m_rowCompare ? m_rowCompare(ra, rb, c)
                               : compareCells(type, text(a, c), text(b, c), m_dateParser);
        return cmp * direction < 0;
    });
    std::vector<ListRow> sorted;
    sorted.reserve(m_rows.size());
    for (int i : idx)
        sorted.push_back(std::move(m_rows[static_cast<std::size_t>(i)]));
    m_rows = std::move(sorted);
    if (order)
        *order = std::move(idx);
}

int CListTable::headerClick(int c, std::vector<int>* order) {
    if (c < 0 || c >= columnCount())
        return 0;
    ListColumn& column = m_columns[static_cast<std::size_t>(c)];
    const int direction = headerClickDirection(column.sortFlags, !column.sortClicked);
    if (direction == 0)
        return 0;
    column.sortClicked = true;
    m_sortColumn = c;
    sortBy(c, direction, order);
    return direction;
}

int CListTable::resort(int c, std::vector<int>* order) {
    if (c < 0 || c >= columnCount())
        return 0;
    int direction = currentDirection(m_columns[static_cast<std::size_t>(c)].sortFlags);
    if (direction == 0)
        return 0;
    m_sortColumn = c;
    sortBy(c, direction, order);
    return direction;
}

} // namespace velmar
