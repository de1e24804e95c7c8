#pragma once

#include "controls/ListSort.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// The rows, texts and descriptors behind the editable list. The widget shows
// and edits through it; everything the list decides on its own (which colour a
// cell is painted in, whether and with which editor a cell is edited, where
// Tab goes, how a header click sorts) is decided here.
//
// Colours are 0xRRGGBB, kNoColour where a level leaves the choice to the next
// one. Editors are the owner's numbers; kNoEditor means none at that level.

inline constexpr std::int32_t kNoColour = -1;
inline constexpr int kNoEditor = 0;

// What an end-edit callback answers.
enum class EditResult : int {
    Reject = 0,       // the cell keeps its text
    Accept = 1,       // any other non-zero value accepts as well
    AcceptResort = -1 // accept, then sort again by the edited column
};
EditResult toEditResult(int callbackValue);

struct ListCell {
    int row = -1;
    int column = -1;
    bool operator==(const ListCell&) const = default;
};

struct ListColumn {
    std::string title;
    bool readOnly = false;
    int editor = kNoEditor;
    std::int32_t textColour = kNoColour;
    std::int32_t backColour = kNoColour;
    int sortFlags = 0;
    int sortType = static_cast<int>(SortType::Text);
    bool sortClicked = false; // the header was clicked since the sort was set
};

struct ListCellDesc {
    int column = -1;
    bool readOnly = false;
    int editor = kNoEditor;
    std::int32_t textColour = kNoColour;
    std::int32_t backColour = kNoColour;
};

struct ListRow {
    std::vector<std::string> texts; // one per column
    bool readOnly = false;
    int editor = kNoEditor;
    std::int32_t textColour = kNoColour;
    std::int32_t backColour = kNoColour;
    std::int64_t userData = 0;
    std::vector<ListCellDesc> cells; // only the cells that were touched
};

// Where Tab leads from the cursor.
struct TabStep {
    enum Kind {
        Move,      // edit `cell`
        AppendRow, // ask the owner for a new row, then edit its first editable cell
        Leave      // hand the key to the dialog's focus movement
    };
    Kind kind = Leave;
    ListCell cell;
};

class CListTable {
public:
    // Row order of an owner comparison: negative, zero or positive.
    using RowCompare = std::function<int(const ListRow& a, const ListRow& b, int column)>;

    // Columns.
    int addColumn(std::string title);
    int columnCount() const { return static_cast<int>(m_columns.size()); }
    const ListColumn& column(int c) const { return m_columns.at(static_cast<std::size_t>(c)); }
    void setColumnReadOnly(int c, bool readOnly);
    void setColumnEditor(int c, int editor);
    void setColumnColours(int c, std::int32_t text, std::int32_t back);
    void setColumnSort(int c, int sortType, int sortFlags);

    // Rows. A position out of range appends; the new row's index is returned.
    int insertRow(int position, std::string_view firstText);
    void removeRow(int row);
    void clear();
    // Replaces every row at once; texts beyond the columns are dropped.
    void assignRows(std::vector<std::vector<std::string>> rows);
    int rowCount() const { return static_cast<int>(m_rows.size()); }
    bool hasCell(int row, int c) const;
    const ListRow& row(int r) const { return m_rows.at(static_cast<std::size_t>(r)); }

    // Texts; reading outside the table gives an empty text, writing there is ignored.
    const std::string& text(int row, int c) const;
    void setText(int row, int c, std::string_view text);

    void setRowUserData(int row, std::int64_t data);
    std::int64_t rowUserData(int row) const; // 0 for a row that does not exist
    void setRowColours(int row, std::int32_t text, std::int32_t back);
    void setRowReadOnly(int row, bool readOnly);
    void setRowEditor(int row, int editor);
    void setCellReadOnly(int row, int c, bool readOnly);
    void setCellEditor(int row, int c, int editor);
    void setCellColours(int row, int c, std::int32_t text, std::int32_t back);

    // Control-wide defaults, taken from the view when the list is attached.
    void setDefaultColours(std::int32_t text, std::int32_t back);
    void setDefaultEditor(int editor) { m_defaultEditor = editor; }

    // The colour a cell is painted in: cell, then row, then column, then the default.
    std::int32_t textColour(int row, int c) const;
    std::int32_t backColour(int row, int c) const;

    // A cell is editable when neither its column, its row nor itself is read-only.
    bool isEditable(int row, int c) const;
    // The editor of an editable cell: the cell's, the row's, the column's, the
    // default; kNoEditor when the cell cannot be edited.
    int editorFor(int row, int c) const;

    // Tab from `cursor` (forwards or, with Shift, backwards), skipping cells
    // that cannot be edited. A cursor outside the table starts before the
    // first cell (forwards) or after the last (backwards).
    TabStep tabStep(ListCell cursor, bool backwards, bool appendRows) const;
    // The first editable cell of a row, or {-1, -1}.
    ListCell firstEditable(int row) const;

    // Sorting. headerClick applies a click on column c's header and returns
    // the direction it sorted in (0: the column does not sort, nothing moved).
    // resort sorts by c again in its current direction. Both are stable and
    // return the old row index of each new position in `order`.
    int headerClick(int c, std::vector<int>* order = nullptr);
    int resort(int c, std::vector<int>* order = nullptr);
    int sortColumn() const { return m_sortColumn; }
    void setRowCompare(RowCompare compare) { m_rowCompare = std::move(compare); }
    void setDateParser(DateParser parser) { m_dateParser = std::move(parser); }

private:
    ListRow* rowAt(int row);
    const ListCellDesc* cellDesc(int row, int c) const;
    ListCellDesc& touchCell(int row, int c);
    void sortBy(int c, int direction, std::vector<int>* order);

    std::vector<ListColumn> m_columns;
    std::vector<ListRow> m_rows;
    std::int32_t m_defaultText = 0x000000;
    std::int32_t m_defaultBack = 0xffffff;
    int m_defaultEditor = kNoEditor;
    int m_sortColumn = -1;
    RowCompare m_rowCompare;
    DateParser m_dateParser = parseIsoDate;
};

} // namespace velmar
