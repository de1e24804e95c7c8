#include "controls/CListCtrlEx.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QScrollBar>
#include <algorithm>

namespace velmar {

namespace {

std::int32_t toColour(const QColor& c) {
    return c.isValid() ? static_cast<std::int32_t>(c.rgb() & 0xffffff) : kNoColour;
}

QColor fromColour(std::int32_t c) { return QColor::fromRgb(static_cast<QRgb>(c) | 0xff000000u); }

std::string toText(const QString& s) { return s.toStdString(); }

// Dates of a date column are read the way the user's locale writes them, with
// year-month-day as the fallback that every locale understands.
std::optional<std::int64_t> parseLocaleDate(std::string_view text) {
    const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).trimmed();
    QLocale locale;
    for (auto format : {QLocale::ShortFormat, QLocale::LongFormat}) {
        QDate d = locale.toDate(s, format);
        if (d.isValid())
            return d.toJulianDay();
    }
    return parseIsoDate(text);
}

// Like QWidget::isAncestorOf, but across window borders, so that a combo
// box's drop-down or a date picker's calendar counts as part of its editor.
bool isWithin(const QObject* object, const QWidget* ancestor) {
    for (auto* o = object; o; o = o->parent())
        if (o == ancestor)
            return true;
    return false;
}

} // namespace

// ---------------------------------------------------------------- model

CListModel::CListModel(QObject* parent) : QAbstractTableModel(parent) {
    m_table.setDateParser(parseLocaleDate);
}

int CListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_table.rowCount();
}

int CListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_table.columnCount();
}

QVariant CListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !m_table.hasCell(index.row(), index.column()))
        return {};
    switch (role) {
    case Qt::DisplayRole: return QString::fromStdString(m_table.text(index.row(), index.column()));
    case Qt::ForegroundRole: return fromColour(m_table.textColour(index.row(), index.column()));
    case Qt::BackgroundRole: return fromColour(m_table.backColour(index.row(), index.column()));
    case Qt::UserRole: return QVariant::fromValue<qint64>(m_table.rowUserData(index.row()));
    default: return {};
    }
}

QVariant CListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < m_table.columnCount())
        return QString::fromStdString(m_table.column(section).title);
    return QAbstractTableModel::headerData(section, orientation, role);
}

int CListModel::addColumn(const QString& title) {
    const int c = m_table.columnCount();
    beginInsertColumns({}, c, c);
    m_table.addColumn(toText(title));
    endInsertColumns();
    return c;
}

int CListModel::insertRow(int position, const QString& firstText) {
    if (position < 0 || position > m_table.rowCount())
        position = m_table.rowCount();
    beginInsertRows({}, position, position);
    int row = m_table.insertRow(position, toText(firstText));
    endInsertRows();
    return row;
}

void CListModel::removeRow(int row) {
    if (row < 0 || row >= m_table.rowCount())
        return;
    beginRemoveRows({}, row, row);
    m_table.removeRow(row);
    endRemoveRows();
}

void CListModel::clear() {
    beginResetModel();
    m_table.clear();
    endResetModel();
}

void CListModel::assignRows(std::vector<std::vector<std::string>> rows) {
    beginResetModel();
    m_table.assignRows(std::move(rows));
    endResetModel();
}

void CListModel::setText(int row, int column, const QString& text) {
    if (!m_table.hasCell(row, column))
        return;
    m_table.setText(row, column, toText(text));
    Q_EMIT dataChanged(index(row, column), index(row, column));
}

void CListModel::cellsChanged(int firstRow, int lastRow) {
    if (m_table.rowCount() == 0 || m_table.columnCount() == 0)
        return;
    firstRow = std::clamp(firstRow, 0, m_table.rowCount() - 1);
    lastRow = std::clamp(lastRow, firstRow, m_table.rowCount() - 1);
    Q_EMIT dataChanged(index(firstRow, 0), index(lastRow, m_table.columnCount() - 1));
}

int CListModel::sortRows(const std::function<int(std::vector<int>*)>& doSort) {
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> order;
    const int direction = doSort(&order);
    if (direction != 0 && !order.empty()) {
        std::vector<int> newRowOf(order.size());
        for (std::size_t n = 0; n < order.size(); ++n)
            newRowOf[static_cast<std::size_t>(order[n])] = static_cast<int>(n);
        const auto from = persistentIndexList();
        QModelIndexList to;
        to.reserve(from.size());
        for (const auto& i : from) {
            const auto oldRow = static_cast<std::size_t>(i.row());
            to.append(oldRow < newRowOf.size() ? index(newRowOf[oldRow], i.column()) : i);
        }
        changePersistentIndexList(from, to);
    }
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    return direction;
}

// ---------------------------------------------------------------- view

CListCtrlEx::CListCtrlEx(QWidget* parent) : QTableView(parent), m_model(new CListModel(this)) {
    setModel(m_model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers); // the list runs its own edits
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    // Rows as compact as a report list's, with room for an editor's frame.
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 10);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setHighlightSections(false);
    const QPalette pal = palette();
    m_model->table().setDefaultColours(toColour(pal.color(QPalette::Text)),
                                       toColour(pal.color(QPalette::Base)));

    auto* box = new QLineEdit;
    box->setObjectName(QStringLiteral("listEditBox"));
    m_defaultEditor = addEditor(box);
    m_model->table().setDefaultEditor(m_defaultEditor);

    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &CListCtrlEx::onHeaderClicked);
    // The editor follows its cell when columns are resized.
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this] { placeEditor(); });
    // Scrolling moves the cell away from under its editor: the edit ends.
    for (auto* bar : {verticalScrollBar(), horizontalScrollBar()})
        connect(bar, &QScrollBar::valueChanged, this, [this] {
            if (isEditing())
                endEdit(true);
        });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid())
                    m_tabCursor = {current.row(), current.column()};
            });
}

CListCtrlEx::~CListCtrlEx() {
    // Destroying the list cancels nothing; it only stops watching.
    if (isEditing())
        qApp->removeEventFilter(&m_hook);
}

int CListCtrlEx::addColumn(const QString& title, int width) {
    int c = m_model->addColumn(title);
    if (width >= 0)
        setColumnWidth(c, width);
    return c;
}

int CListCtrlEx::insertRow(int position, const QString& firstText) {
    // Rows below the edited one move; keep the edit on its own row.
    int row = m_model->insertRow(position, firstText);
    if (isEditing() && row <= m_edit.row) {
        ++m_edit.row;
        placeEditor();
    }
    return row;
}

void CListCtrlEx::setRows(const QList<QStringList>& rows) {
    if (isEditing())
        endEdit(false);
    std::vector<std::vector<std::string>> texts;
    texts.reserve(static_cast<std::size_t>(rows.size()));
    for (const auto& row : rows) {
        auto& out = texts.emplace_back();
        for (const auto& cell : row)
            out.push_back(toText(cell));
    }
    m_model->assignRows(std::move(texts));
    m_tabCursor = {};
}

QString CListCtrlEx::text(int row, int column) const {
    return QString::fromStdString(m_model->table().text(row, column));
}

void CListCtrlEx::setText(int row, int column, const QString& text) {
    m_model->setText(row, column, text);
}

void CListCtrlEx::setRowUserData(int row, qint64 data) {
    m_model->table().setRowUserData(row, data);
}

qint64 CListCtrlEx::rowUserData(int row) const { return m_model->table().rowUserData(row); }

void CListCtrlEx::setRowColours(int row, const QColor& text, const QColor& back) {
    m_model->table().setRowColours(row, toColour(text), toColour(back));
    m_model->cellsChanged(row, row);
}

void CListCtrlEx::setColumnColours(int column, const QColor& text, const QColor& back) {
    m_model->table().setColumnColours(column, toColour(text), toColour(back));
    m_model->cellsChanged(0, rowCount() - 1);
}

void CListCtrlEx::setCellColours(int row, int column, const QColor& text, const QColor& back) {
    m_model->table().setCellColours(row, column, toColour(text), toColour(back));
    m_model->cellsChanged(row, row);
}

void CListCtrlEx::setColumnReadOnly(int column, bool readOnly) {
    m_model->table().setColumnReadOnly(column, readOnly);
}
void CListCtrlEx::setRowReadOnly(int row, bool readOnly) {
    m_model->table().setRowReadOnly(row, readOnly);
}
void CListCtrlEx::setCellReadOnly(int row, int column, bool readOnly) {
    m_model->table().setCellReadOnly(row, column, readOnly);
}
void CListCtrlEx::setColumnSort(int column, int sortType, int sortFlags) {
    m_model->table().setColumnSort(column, sortType, sortFlags);
}
void CListCtrlEx::setRowCompare(CListTable::RowCompare compare) {
    m_model->table().setRowCompare(std::move(compare));
}

int CListCtrlEx::addEditor(QWidget* editor, BeginEdit begin, EndEdit end) {
    if (!editor)
        return kNoEditor;
    editor->setParent(viewport());
    editor->hide();
    const int id = m_nextEditor++;
    m_editors[id] = Editor{editor, std::move(begin), std::move(end)};
    return id;
}

QWidget* CListCtrlEx::editorWidget(int editor) const {
    auto it = m_editors.find(editor);
    return it == m_editors.end() ? nullptr : it->second.widget.data();
}

void CListCtrlEx::setColumnEditor(int column, int editor) {
    m_model->table().setColumnEditor(column, editor);
}
void CListCtrlEx::setRowEditor(int row, int editor) { m_model->table().setRowEditor(row, editor); }
void CListCtrlEx::setCellEditor(int row, int column, int editor) {
    m_model->table().setCellEditor(row, column, editor);
}

void CListCtrlEx::deleteRow(int row) {
    if (row < 0 || row >= rowCount())
        return;
    if (isEditing()) {
        // An edit on the vanishing row has nowhere to go; any other one is
        // committed, and if that re-sorts, the row to delete is followed to
        // its new place.
        m_lastOrder.clear();
        endEdit(m_edit.row != row);
        if (m_ending)
            return;
        auto it = std::find(m_lastOrder.begin(), m_lastOrder.end(), row);
        if (it != m_lastOrder.end())
            row = static_cast<int>(it - m_lastOrder.begin());
    }
    m_model->removeRow(row);
}

void CListCtrlEx::deleteSelectedRows() {
    if (isEditing())
        endEdit(true); // first, so the selection is read after any re-sort
    QList<int> rows;
    for (const auto& index : selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    for (int r : rows)
        deleteRow(r);
}

void CListCtrlEx::deleteAllRows() {
    if (isEditing())
        endEdit(false);
    m_model->clear();
    m_tabCursor = {};
}

void CListCtrlEx::selectRow(int row, bool select) {
    auto flags = (select ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                 QItemSelectionModel::Rows;
    if (row < 0) {
        if (select)
            selectAll();
        else
            clearSelection();
    } else if (row < rowCount()) {
        selectionModel()->select(m_model->index(row, 0), flags);
    }
}

QWidget* CListCtrlEx::activeEditor() const {
    return isEditing() ? editorWidget(m_edit.editor) : nullptr;
}

QString CListCtrlEx::editorText(const QWidget* editor) {
    if (auto* box = qobject_cast<const QLineEdit*>(editor))
        return box->text();
    if (auto* combo = qobject_cast<const QComboBox*>(editor))
        return combo->currentText();
    if (auto* date = qobject_cast<const QDateTimeEdit*>(editor))
        return date->text();
    return editor ? editor->property("text").toString() : QString();
}

void CListCtrlEx::setEditorText(QWidget* editor, const QString& text) {
    if (auto* box = qobject_cast<QLineEdit*>(editor)) {
        box->setText(text);
        box->selectAll();
    } else if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        if (combo->isEditable())
            combo->setEditText(text);
        else
            combo->setCurrentIndex(combo->findText(text));
    } else if (auto* date = qobject_cast<QDateTimeEdit*>(editor)) {
        QDateTime value = QDateTime::fromString(text, date->displayFormat());
        if (value.isValid())
            date->setDateTime(value);
    } else if (editor) {
        editor->setProperty("text", text);
    }
}

bool CListCtrlEx::editCell(int row, int column) {
    if (isEditing())
        endEdit(true);
    if (m_ending || isEditing())
        return false; // an end callback is still deciding
    const int editor = m_model->table().editorFor(row, column);
    QWidget* widget = editorWidget(editor);
    if (editor == kNoEditor || !widget)
        return false;

    // Scroll first: a scroll during the edit would end it.
    scrollTo(m_model->index(row, column));
    m_edit = {row, column, editor};
    m_tabCursor = {row, column};
    clearSelection();
    placeEditor();
    widget->show();
    widget->raise();
    widget->setFocus(Qt::OtherFocusReason);
    qApp->installEventFilter(&m_hook);

    const Editor& e = m_editors[editor];
    const QString current = text(row, column);
    if (e.begin)
        e.begin(widget, row, column, current, rowUserData(row), *this);
    else
        setEditorText(widget, current);
    return true;
}

void CListCtrlEx::placeEditor() {
    QWidget* widget = activeEditor();
    if (!widget)
        return;
    QRect cell = visualRect(m_model->index(m_edit.row, m_edit.column));
    cell.setWidth(std::min(cell.width(), viewport()->width() - 4));
    widget->setGeometry(cell);
}

void CListCtrlEx::endEdit(bool commit) {
    // One end at a time: an end callback that opens a message box moves the
    // focus, which would end the same edit again.
    if (m_ending || !isEditing())
        return;
    m_ending = true;
    const Edit edit = m_edit;
    m_edit = {};
    qApp->removeEventFilter(&m_hook);

    auto it = m_editors.find(edit.editor);
    QWidget* widget = it == m_editors.end() ? nullptr : it->second.widget.data();
    bool hadFocus = widget && isWithin(QApplication::focusWidget(), widget);
    if (widget)
        widget->hide();
    if (hadFocus)
        setFocus(Qt::OtherFocusReason);

    EditResult result = commit ? EditResult::Accept : EditResult::Reject;
    QString newText = widget ? editorText(widget) : QString();
    if (widget && it->second.end)
        result = toEditResult(it->second.end(widget, edit.row, edit.column, newText,
                                             rowUserData(edit.row), *this, commit));
    else if (!widget)
        result = EditResult::Reject; // the owner destroyed its editor mid-edit

    m_lastEdited = {edit.row, edit.column};
    if (result != EditResult::Reject && m_model->table().hasCell(edit.row, edit.column)) {
        m_model->setText(edit.row, edit.column, newText);
        Q_EMIT cellEdited(edit.row, edit.column);
        if (result == EditResult::AcceptResort)
            m_lastEdited.row = applyResort(edit.column, edit.row);
    }
    m_ending = false;
}

bool CListCtrlEx::appendRow() { return m_appendHandler ? m_appendHandler(*this) : false; }

bool CListCtrlEx::handleTab(bool backwards) {
    ListCell from = m_tabCursor;
    if (isEditing()) {
        // Commit before choosing the next cell: an edit that re-sorts moves
        // its row, and Tab continues from where the row went.
        endEdit(true);
        if (m_ending)
            return true;
        from = m_lastEdited;
    }
    const TabStep step = m_model->table().tabStep(from, backwards, m_appendRows);
    switch (step.kind) {
    case TabStep::Move: editCell(step.cell.row, step.cell.column); return true;
    case TabStep::AppendRow: {
        endEdit(true);
        const int before = rowCount();
        if (appendRow() && rowCount() > before) {
            const ListCell next = m_model->table().firstEditable(rowCount() - 1);
            if (next.row >= 0)
                editCell(next.row, next.column);
        }
        return true; // a declined row swallows the key
    }
    case TabStep::Leave: endEdit(true); return false;
    }
    return false;
}

bool CListCtrlEx::event(QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
        if (tab && !(key->modifiers() & Qt::ControlModifier)) {
            const bool backwards =
                key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier);
            if (handleTab(backwards))
                return true;
            // Leaving the table: the dialog's own focus chain, not the cells'.
            QWidget::focusNextPrevChild(!backwards);
            return true;
        }
    }
    return QTableView::event(event);
}

void CListCtrlEx::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && m_deleteKey && event->modifiers() == Qt::NoModifier) {
        deleteSelectedRows();
        return;
    }
    QTableView::keyPressEvent(event);
}

void CListCtrlEx::mouseDoubleClickEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && editCell(index.row(), index.column()))
        return;
    QTableView::mouseDoubleClickEvent(event);
}

void CListCtrlEx::onHeaderClicked(int column) {
    if (isEditing())
        endEdit(true);
    const int direction = m_model->sortRows(
        [&](std::vector<int>* order) { return m_model->table().headerClick(column, order); });
    auto* header = horizontalHeader();
    if (direction != 0) {
        m_arrowColumn = column;
        m_arrowOrder = direction > 0 ? Qt::AscendingOrder : Qt::DescendingOrder;
    }
    // The header flips its arrow on every click by itself; put it back where
    // the rows really are sorted, and nowhere when they never were.
    header->setSortIndicatorShown(m_arrowColumn >= 0);
    header->setSortIndicator(m_arrowColumn, m_arrowOrder);
}

void CListCtrlEx::updateGeometries() {
    QTableView::updateGeometries();
    placeEditor();
}

int CListCtrlEx::applyResort(int column, int row) {
    m_lastOrder.clear();
    m_model->sortRows([&](std::vector<int>* order) {
        int direction = m_model->table().resort(column, order);
        m_lastOrder = *order;
        return direction;
    });
    auto it = std::find(m_lastOrder.begin(), m_lastOrder.end(), row);
    return it == m_lastOrder.end() ? row : static_cast<int>(it - m_lastOrder.begin());
}

bool CListCtrlEx::insideEditor(const QObject* object) const {
    const QWidget* widget = activeEditor();
    return widget && isWithin(object, widget);
}

bool CListCtrlEx::dropDownOpen() const {
    QWidget* widget = activeEditor();
    if (!widget)
        return false;
    if (auto* combo = qobject_cast<QComboBox*>(widget); combo && combo->view()->isVisible())
        return true;
    if (auto* date = qobject_cast<QDateTimeEdit*>(widget); date && date->calendarPopup() &&
                                                           date->calendarWidget() &&
                                                           date->calendarWidget()->isVisible())
        return true;
    QWidget* popup = QApplication::activePopupWidget();
    return popup && isWithin(popup, widget);
}

bool CListCtrlEx::watchEdit(QObject* watched, QEvent* event) {
    if (!isEditing() || m_ending || !watched->isWidgetType())
        return false;
    const bool inside = insideEditor(watched);
    switch (event->type()) {
    case QEvent::KeyPress:
        if (inside && !dropDownOpen()) {
            auto* key = static_cast<QKeyEvent*>(event);
            switch (key->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter: endEdit(true); return true;
            case Qt::Key_Escape: endEdit(false); return true;
            case Qt::Key_Tab:
            case Qt::Key_Backtab:
                if (!(key->modifiers() & Qt::ControlModifier)) {
                    // The editor's Tab belongs to the list.
                    const bool backwards =
                        key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier);
                    if (!handleTab(backwards))
                        QWidget::focusNextPrevChild(!backwards);
                    return true;
                }
                break;
            default: break;
            }
        }
        break;
    case QEvent::FocusOut:
        if (inside) {
            auto reason = static_cast<QFocusEvent*>(event)->reason();
            QWidget* now = QApplication::focusWidget();
            if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason && now &&
                !insideEditor(now) && !dropDownOpen())
                endEdit(true);
        }
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
        if (!inside && !dropDownOpen())
            endEdit(true);
        break;
    default: break;
    }
    return false;
}

} // namespace velmar
