#pragma once

#include "controls/CListTable.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <QTableView>
#include <functional>
#include <map>

namespace velmar {

class CListCtrlEx;

// Rows of the editable list served to the view straight from CListTable: no
// item objects, so a list of thousands of rows costs only its texts.
class CListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CListModel(QObject* parent = nullptr);

    CListTable& table() { return m_table; }
    const CListTable& table() const { return m_table; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Changes that the view must hear about go through these.
    int addColumn(const QString& title);
    int insertRow(int position, const QString& firstText);
    void removeRow(int row);
    void clear();
    void assignRows(std::vector<std::vector<std::string>> rows);
    void setText(int row, int column, const QString& text);
    void cellsChanged(int firstRow, int lastRow); // colours or flags of whole rows
    // Runs a sort of the table and moves the view's persistent indexes along.
    int sortRows(const std::function<int(std::vector<int>*)>& doSort);

private:
    CListTable m_table;
};

// The one editable list of the program: a report-style grid with colours per
// cell, row and column, sorting by a header click, and in-place editing of one
// cell at a time through an editor the owner supplies (an edit box, a combo box,
// a date picker, ...).
//
// An edit ends when the user presses Enter (commit) or Escape (cancel), moves
// the focus out of the editor, clicks, turns the wheel or opens a context menu
// anywhere else, or scrolls the list; an application-wide event filter watches
// for those while an edit is in progress. Tab and Shift+Tab move the edit over
// the editable cells, optionally appending rows at the end.
class CListCtrlEx : public QTableView {
    Q_OBJECT
public:
    // Loads the editor with the cell's text (without one, the editor's text is set).
    using BeginEdit = std::function<void(QWidget* editor, int row, int column, const QString& text,
                                         qint64 userData, CListCtrlEx& list)>;
    // Decides the edit: 0 rejects, -1 accepts and sorts again, any other value
    // accepts. `text` arrives as the editor's text and may be changed.
    // Without one, the editor's text is accepted on commit.
    using EndEdit = std::function<int(QWidget* editor, int row, int column, QString& text,
                                      qint64 userData, CListCtrlEx& list, bool commit)>;
    using AppendRow = std::function<bool(CListCtrlEx& list)>;

    explicit CListCtrlEx(QWidget* parent = nullptr);
    ~CListCtrlEx() override;

    CListModel& listModel() { return *m_model; }
    // Read access for owners; changes go through the list so the view hears of them.
    const CListTable& table() const { return m_model->table(); }

    int addColumn(const QString& title, int width = -1);
    int insertRow(int position, const QString& firstText);
    int rowCount() const { return m_model->table().rowCount(); }
    // Fills the whole list in one go (one reset instead of a change per row),
    // for lists of thousands of rows. Any edit in progress is cancelled.
    void setRows(const QList<QStringList>& rows);
    QString text(int row, int column) const;
    void setText(int row, int column, const QString& text);

    void setRowUserData(int row, qint64 data);
    qint64 rowUserData(int row) const;
    void setRowColours(int row, const QColor& text, const QColor& back);
    void setColumnColours(int column, const QColor& text, const QColor& back);
    void setCellColours(int row, int column, const QColor& text, const QColor& back);
    void setColumnReadOnly(int column, bool readOnly);
    void setRowReadOnly(int row, bool readOnly);
    void setCellReadOnly(int row, int column, bool readOnly);
    void setColumnSort(int column, int sortType, int sortFlags);
    void setRowCompare(CListTable::RowCompare compare);

    // Editors. The list takes the editor widget over (parent and visibility);
    // the returned number is what the column, row and cell setters take.
    int addEditor(QWidget* editor, BeginEdit begin = {}, EndEdit end = {});
    QWidget* editorWidget(int editor) const;
    void setColumnEditor(int column, int editor);
    void setRowEditor(int row, int editor);
    void setCellEditor(int row, int column, int editor);
    // The plain edit box every editable cell without an editor of its own uses.
    int defaultEditor() const { return m_defaultEditor; }

    void deleteRow(int row);
    void deleteSelectedRows();
    void deleteAllRows();
    // Selects or deselects one row, or every row when `row` is negative.
    void selectRow(int row, bool select = true);

    void setDeleteKeyRemovesRows(bool on) { m_deleteKey = on; }
    void setTabAppendsRows(bool on) { m_appendRows = on; }
    void setAppendRowHandler(AppendRow handler) { m_appendHandler = std::move(handler); }

    // Starts editing a cell; false when the cell cannot be edited.
    bool editCell(int row, int column);
    bool isEditing() const { return m_edit.row >= 0; }
    ListCell editedCell() const { return {m_edit.row, m_edit.column}; }
    QWidget* activeEditor() const;

    // The text an editor shows, for owners without callbacks of their own.
    static QString editorText(const QWidget* editor);
    static void setEditorText(QWidget* editor, const QString& text);

public Q_SLOTS:
    // Commits (true) or cancels (false) the edit in progress.
    void endEdit(bool commit);

Q_SIGNALS:
    // A cell's text was changed by an accepted edit.
    void cellEdited(int row, int column);

protected:
    // Asked when Tab passes the last cell (or hits an empty table) while row
    // appending is on; true when a row was added.
    virtual bool appendRow();

    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void updateGeometries() override;

private:
    struct Editor {
        QPointer<QWidget> widget;
        BeginEdit begin;
        EndEdit end;
    };
    struct Edit {
        int row = -1;
        int column = -1;
        int editor = kNoEditor;
    };

    // Watches the whole application while an edit is in progress, as the
    // list's own counterpart of a thread-wide message hook.
    class CEditHook : public QObject {
    public:
        explicit CEditHook(CListCtrlEx& list) : m_list(list) {}
        bool eventFilter(QObject* watched, QEvent* event) override {
            return m_list.watchEdit(watched, event);
        }

    private:
        CListCtrlEx& m_list;
    };

    bool watchEdit(QObject* watched, QEvent* event);
    bool handleTab(bool backwards);
    void onHeaderClicked(int column);
    // Sorts again by `column`; returns where `row` went.
    int applyResort(int column, int row);
    bool insideEditor(const QObject* object) const;
    bool dropDownOpen() const;
    void placeEditor();

    CListModel* m_model;
    CEditHook m_hook{*this};
    std::map<int, Editor> m_editors;
    int m_nextEditor = 1;
    int m_defaultEditor = kNoEditor;
    Edit m_edit;
    ListCell m_tabCursor;
    ListCell m_lastEdited;        // after its row moved with a re-sort
    std::vector<int> m_lastOrder; // old row of each position after that re-sort
    bool m_ending = false;
    int m_arrowColumn = -1; // where the sort arrow belongs
    Qt::SortOrder m_arrowOrder = Qt::AscendingOrder;
    bool m_deleteKey = false;
    bool m_appendRows = false;
    AppendRow m_appendHandler;
};

} // namespace velmar
