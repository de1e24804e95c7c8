#include "controls/CListCtrlEx.h"

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateEdit>
#include <QDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <gtest/gtest.h>
#include <memory>

namespace velmar {
namespace {

// A dialog-like window: an edit box, the list (Source read-only | Priority | Note)
// and a button, so focus and clicks have somewhere else to go.
class ListCtrlWidgetTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        before = new QLineEdit(window.get());
        before->setObjectName(QStringLiteral("before"));
        list = new CListCtrlEx(window.get());
        list->setObjectName(QStringLiteral("list"));
        after = new QPushButton(QStringLiteral("OK"), window.get());
        after->setObjectName(QStringLiteral("after"));
        layout->addWidget(before);
        layout->addWidget(list);
        layout->addWidget(after);
        list->addColumn(QStringLiteral("Source"), 80);
        list->addColumn(QStringLiteral("Priority"), 60);
        list->addColumn(QStringLiteral("Note"), 80);
        list->setColumnReadOnly(0, true);
        for (int r = 0; r < 3; ++r) {
            list->insertRow(r, QStringLiteral("src%1").arg(r));
            list->setText(r, 1, QString::number(r + 1));
            list->setRowUserData(r, 100 + r);
        }
        window->resize(320, 300);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    QPoint cellCentre(int row, int column) {
        return list->visualRect(list->listModel().index(row, column)).center();
    }

    void doubleClick(int row, int column) {
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cellCentre(row, column));
    }

    QLineEdit* box() { return qobject_cast<QLineEdit*>(list->activeEditor()); }

    // The edit box of the edit in progress, replaced by `text`.
    void type(const QString& text) {
        ASSERT_NE(box(), nullptr);
        box()->selectAll();
        QTest::keyClicks(box(), text);
    }

    std::unique_ptr<QWidget> window;
    QLineEdit* before = nullptr;
    CListCtrlEx* list = nullptr;
    QPushButton* after = nullptr;
};

TEST_F(ListCtrlWidgetTest, DoubleClickEditsTabMovesEscapeCancelsEnterCommits) {
    doubleClick(0, 1);
    ASSERT_TRUE(list->isEditing());
    ASSERT_NE(box(), nullptr);
    EXPECT_EQ(box()->objectName(), QStringLiteral("listEditBox"));
    EXPECT_EQ(box()->text(), QStringLiteral("1"));
    EXPECT_TRUE(box()->isVisible());

    type(QStringLiteral("7"));
    QTest::keyClick(box(), Qt::Key_Tab);
    EXPECT_EQ(list->text(0, 1), QStringLiteral("7"));
    EXPECT_EQ(list->editedCell(), (ListCell{0, 2}));

    type(QStringLiteral("scrap"));
    QTest::keyClick(box(), Qt::Key_Escape);
    EXPECT_FALSE(list->isEditing());
    EXPECT_EQ(list->text(0, 2), QString());

    doubleClick(1, 2);
    type(QStringLiteral("kept"));
    QTest::keyClick(box(), Qt::Key_Return);
    EXPECT_FALSE(list->isEditing());
    EXPECT_EQ(list->text(1, 2), QStringLiteral("kept"));
    EXPECT_TRUE(list->hasFocus()); // the keyboard stays with the list
}

TEST_F(ListCtrlWidgetTest, ShiftTabGoesBackOverReadOnlyCells) {
    list->editCell(1, 1);
    QTest::keyClick(box(), Qt::Key_Backtab);
    EXPECT_EQ(list->editedCell(), (ListCell{0, 2}));
    list->setCellReadOnly(0, 2, true);
    list->editCell(1, 1);
    QTest::keyClick(box(), Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(list->editedCell(), (ListCell{0, 1}));
}

TEST_F(ListCtrlWidgetTest, ReadOnlyColumnDoesNotEditEvenWithARowEditor) {
    auto* rowBox = new QLineEdit;
    list->setRowEditor(0, list->addEditor(rowBox));
    doubleClick(0, 0);
    EXPECT_FALSE(list->isEditing());
    doubleClick(0, 2);
    EXPECT_EQ(list->activeEditor(), rowBox);
}

TEST_F(ListCtrlWidgetTest, EndCallbackDecidesTheText) {
    QList<qint64> seenUserData;
    // Like a priority cell: empty is refused, out of range becomes "0".
    int id = list->addEditor(
        new QLineEdit, {},
        [&](QWidget*, int row, int, QString& text, qint64 userData, CListCtrlEx& l, bool commit) {
            seenUserData.append(userData);
            EXPECT_EQ(userData, l.rowUserData(row));
            if (!commit || text.isEmpty())
                return 0;
            bool ok = false;
            int v = text.toInt(&ok);
            if (!ok || v < 0 || v > 31)
                text = QStringLiteral("0");
            return 1;
        });
    list->setColumnEditor(1, id);

    list->editCell(2, 1);
    type(QString());
    QTest::keyClick(box(), Qt::Key_Return);
    EXPECT_EQ(list->text(2, 1), QStringLiteral("3")); // refused: the old text stays

    list->editCell(2, 1);
    type(QStringLiteral("32"));
    QTest::keyClick(box(), Qt::Key_Return);
    EXPECT_EQ(list->text(2, 1), QStringLiteral("0"));
    EXPECT_EQ(seenUserData, (QList<qint64>{102, 102}));
}

TEST_F(ListCtrlWidgetTest, ClickElsewhereCommits) {
    list->editCell(0, 1);
    type(QStringLiteral("9"));
    QTest::mouseClick(after, Qt::LeftButton);
    EXPECT_FALSE(list->isEditing());
    EXPECT_EQ(list->text(0, 1), QStringLiteral("9"));
    EXPECT_FALSE(box());

    // A click ends the edit even where it takes no focus, with any button.
    after->setFocusPolicy(Qt::NoFocus);
    list->editCell(1, 1);
    type(QStringLiteral("8"));
    QTest::mouseClick(after, Qt::RightButton);
    EXPECT_FALSE(list->isEditing());
    EXPECT_EQ(list->text(1, 1), QStringLiteral("8"));

    // So do a wheel turn and a context menu elsewhere.
    list->editCell(2, 1);
    type(QStringLiteral("6"));
    QWheelEvent wheel(QPointF(5, 5), after->mapToGlobal(QPointF(5, 5)), {}, QPoint(0, -120),
                      Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(after, &wheel);
    EXPECT_FALSE(list->isEditing());
    EXPECT_EQ(list->text(2, 1), QStringLiteral("6"));
    list->editCell(2, 1);
    type(QStringLiteral("4"));
    QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(5, 5),
                           after->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(after, &menu);
    EXPECT_FALSE(list->isEditing());
    EXPECT_EQ(list->text(2, 1), QStringLiteral("4"));

    // A click on another cell of the same list ends the edit as well.
    list->editCell(0, 2);
    type(QStringLiteral("n"));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cellCentre(2, 0));
    EXPECT_FALSE(list->isEditing());
    EXPECT_EQ(list->text(0, 2), QStringLiteral("n"));
}

TEST_F(ListCtrlWidgetTest, FocusLeavingTheEditorCommits) {
    list->editCell(1, 2);
    type(QStringLiteral("moved"));
    before->setFocus(Qt::MouseFocusReason);
    EXPECT_FALSE(list->isEditing());
    EXPECT_EQ(list->text(1, 2), QStringLiteral("moved"));
}

TEST_F(ListCtrlWidgetTest, ScrollingCommits) {
    for (int r = 3; r < 60; ++r)
        list->insertRow(-1, QStringLiteral("src%1").arg(r));
    list->editCell(0, 2);
    type(QStringLiteral("top"));
    ASSERT_GT(list->verticalScrollBar()->maximum(), 0);
    list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum());
    EXPECT_FALSE(list->isEditing());
    EXPECT_EQ(list->text(0, 2), QStringLiteral("top"));
}

TEST_F(ListCtrlWidgetTest, TabPastTheLastCellLeavesTheListWithoutAppending) {
    list->editCell(2, 2);
    type(QStringLiteral("last"));
    QTest::keyClick(box(), Qt::Key_Tab);
    EXPECT_FALSE(list->isEditing());
    EXPECT_EQ(list->text(2, 2), QStringLiteral("last"));
    EXPECT_EQ(list->rowCount(), 3);
    EXPECT_TRUE(after->hasFocus());
}

TEST_F(ListCtrlWidgetTest, TabPastTheLastCellAppendsWhenTheOwnerAgrees) {
    list->setTabAppendsRows(true);
    bool agree = true;
    list->setAppendRowHandler([&](CListCtrlEx& l) {
        if (!agree)
            return false;
        l.insertRow(-1, QStringLiteral("new"));
        return true;
    });
    list->editCell(2, 2);
    type(QStringLiteral("x"));
    QTest::keyClick(box(), Qt::Key_Tab);
    EXPECT_EQ(list->text(2, 2), QStringLiteral("x"));
    ASSERT_EQ(list->rowCount(), 4);
    EXPECT_EQ(list->editedCell(), (ListCell{3, 1})); // first editable cell of the new row

    agree = false;
    list->editCell(3, 2);
    QTest::keyClick(box(), Qt::Key_Tab);
    EXPECT_EQ(list->rowCount(), 4);
    EXPECT_FALSE(list->isEditing());
    EXPECT_TRUE(list->hasFocus()); // the key was swallowed, the focus stays
}

TEST_F(ListCtrlWidgetTest, TabOnAnEmptyListAsksForTheFirstRow) {
    list->deleteAllRows();
    list->setTabAppendsRows(true);
    list->setAppendRowHandler([](CListCtrlEx& l) {
        l.insertRow(-1, QStringLiteral("first"));
        return true;
    });
    list->setFocus(Qt::TabFocusReason);
    QTest::keyClick(list, Qt::Key_Tab);
    ASSERT_EQ(list->rowCount(), 1);
    EXPECT_EQ(list->editedCell(), (ListCell{0, 1}));
}

TEST_F(ListCtrlWidgetTest, HeaderClicksSortAndTheArrowFollows) {
    list->setText(0, 2, QStringLiteral("b"));
    list->setText(1, 2, QStringLiteral("c"));
    list->setText(2, 2, QStringLiteral("a"));
    list->setColumnSort(2, static_cast<int>(SortType::Text), kSortToggles);
    auto* header = list->horizontalHeader();
    const QPoint noteHeader(header->sectionViewportPosition(2) + 10, header->height() / 2);

    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, noteHeader);
    EXPECT_EQ(list->text(0, 2), QStringLiteral("a"));
    EXPECT_EQ(list->text(2, 2), QStringLiteral("c"));
    EXPECT_EQ(list->rowUserData(0), 102); // user data moved with its row
    EXPECT_EQ(header->sortIndicatorSection(), 2);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);

    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, noteHeader);
    EXPECT_EQ(list->text(0, 2), QStringLiteral("c"));
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
}

TEST_F(ListCtrlWidgetTest, SelectionFollowsItsRowThroughASort) {
    list->setColumnSort(1, static_cast<int>(SortType::Integer), kSortDescending);
    list->selectRow(0, true); // "src0", priority 1
    auto* header = list->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(1) + 10, header->height() / 2));
    const auto rows = list->selectionModel()->selectedRows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows.front().row(), 2);
    EXPECT_EQ(list->text(2, 0), QStringLiteral("src0"));
}

TEST_F(ListCtrlWidgetTest, ComboEditorWithResortResult) {
    auto* combo = new QComboBox;
    combo->addItems({QStringLiteral("1"), QStringLiteral("5"), QStringLiteral("9")});
    int id = list->addEditor(
        combo,
        [](QWidget* e, int, int, const QString& text, qint64, CListCtrlEx&) {
            auto* c = static_cast<QComboBox*>(e);
            c->setCurrentIndex(c->findText(text));
        },
        [](QWidget*, int, int, QString&, qint64, CListCtrlEx&, bool commit) {
            return commit ? -1 : 0;
        });
    list->setColumnEditor(1, id);
    list->setColumnSort(1, static_cast<int>(SortType::Integer), kSortAscending);

    list->editCell(0, 1);
    ASSERT_EQ(list->activeEditor(), combo);
    EXPECT_EQ(combo->currentText(), QStringLiteral("1"));
    combo->setCurrentIndex(2);
    QTest::keyClick(combo, Qt::Key_Return);
    // "src0" now has 9 and sorted to the end.
    EXPECT_EQ(list->text(2, 0), QStringLiteral("src0"));
    EXPECT_EQ(list->text(2, 1), QStringLiteral("9"));
}

TEST_F(ListCtrlWidgetTest, TabAfterAResortContinuesOnTheEditedRow) {
    list->setColumnEditor(1, list->addEditor(new QLineEdit, {},
                                             [](QWidget*, int, int, QString&, qint64, CListCtrlEx&,
                                                bool commit) { return commit ? -1 : 0; }));
    list->setColumnSort(1, static_cast<int>(SortType::Integer), kSortAscending);
    list->editCell(0, 1);
    type(QStringLiteral("9"));
    QTest::keyClick(box(), Qt::Key_Tab);
    ASSERT_EQ(list->text(2, 0), QStringLiteral("src0"));
    EXPECT_EQ(list->editedCell(), (ListCell{2, 2}));
}

TEST_F(ListCtrlWidgetTest, DeletingAnotherRowDuringAnEditThatResortsDeletesThatRow) {
    list->setColumnEditor(1, list->addEditor(new QLineEdit, {},
                                             [](QWidget*, int, int, QString&, qint64, CListCtrlEx&,
                                                bool commit) { return commit ? -1 : 0; }));
    list->setColumnSort(1, static_cast<int>(SortType::Integer), kSortAscending);
    list->editCell(0, 1);
    type(QStringLiteral("9")); // src0 will sort to the end
    list->deleteRow(1);        // src1
    ASSERT_EQ(list->rowCount(), 2);
    EXPECT_EQ(list->text(0, 0), QStringLiteral("src2"));
    EXPECT_EQ(list->text(1, 0), QStringLiteral("src0"));
    EXPECT_EQ(list->text(1, 1), QStringLiteral("9"));
}

TEST_F(ListCtrlWidgetTest, DeleteKeyRemovesSelectedRowsOnlyWhenSwitchedOn) {
    list->setFocus();
    list->selectRow(1, true);
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(list->rowCount(), 3);
    list->setDeleteKeyRemovesRows(true);
    QTest::keyClick(list, Qt::Key_Delete);
    ASSERT_EQ(list->rowCount(), 2);
    EXPECT_EQ(list->text(1, 0), QStringLiteral("src2"));
    EXPECT_EQ(list->rowUserData(1), 102);
}

TEST_F(ListCtrlWidgetTest, DeletingTheEditedRowCancelsItsEdit) {
    list->editCell(1, 2);
    type(QStringLiteral("gone"));
    list->deleteRow(1);
    EXPECT_FALSE(list->isEditing());
    EXPECT_EQ(list->text(1, 2), QString()); // the row that moved up got nothing
    list->editCell(0, 2);
    type(QStringLiteral("stays"));
    list->deleteRow(1);
    EXPECT_EQ(list->text(0, 2), QStringLiteral("stays"));
}

TEST_F(ListCtrlWidgetTest, SetRowsFillsALongListAndCancelsTheEdit) {
    list->editCell(0, 2);
    type(QStringLiteral("lost"));
    QList<QStringList> rows;
    for (int r = 0; r < 2048; ++r)
        rows.append({QStringLiteral("ch%1").arg(r + 1), QString::number(r % 32)});
    list->setRows(rows);
    EXPECT_FALSE(list->isEditing());
    ASSERT_EQ(list->rowCount(), 2048);
    EXPECT_EQ(list->text(2047, 0), QStringLiteral("ch2048"));
    EXPECT_EQ(list->text(0, 2), QString());
    EXPECT_EQ(list->listModel().rowCount(), 2048);
    EXPECT_TRUE(list->editCell(2047, 1));
}

TEST_F(ListCtrlWidgetTest, ColoursReachTheView) {
    list->setColumnColours(1, Qt::blue, QColor());
    list->setRowColours(0, QColor(), Qt::yellow);
    list->setCellColours(0, 1, Qt::red, QColor());
    auto& model = list->listModel();
    EXPECT_EQ(model.data(model.index(0, 1), Qt::ForegroundRole).value<QColor>(), QColor(Qt::red));
    EXPECT_EQ(model.data(model.index(0, 1), Qt::BackgroundRole).value<QColor>(),
              QColor(Qt::yellow));
    EXPECT_EQ(model.data(model.index(1, 1), Qt::ForegroundRole).value<QColor>(), QColor(Qt::blue));
    EXPECT_EQ(model.data(model.index(1, 2), Qt::BackgroundRole).value<QColor>(),
              list->palette().color(QPalette::Base));
}

TEST_F(ListCtrlWidgetTest, EditorWiderThanTheListIsCutToIt) {
    list->setColumnWidth(2, 2000);
    list->editCell(0, 2);
    ASSERT_NE(box(), nullptr);
    EXPECT_LE(box()->width(), list->viewport()->width() - 4);
}

} // namespace
} // namespace velmar

namespace velmar {
namespace {

TEST_F(ListCtrlWidgetTest, ClickOnAColumnThatDoesNotSortKeepsOrderAndArrow) {
    list->setText(0, 2, QStringLiteral("b"));
    list->setText(1, 2, QStringLiteral("a"));
    list->setText(2, 2, QStringLiteral("c"));
    list->setColumnSort(2, static_cast<int>(SortType::Text), kSortAscending);
    auto* header = list->horizontalHeader();
    auto clickHeader = [&](int section) {
        QTest::mouseClick(
            header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(section) + 10, header->height() / 2));
    };
    clickHeader(0); // Source has no sort flags
    EXPECT_FALSE(header->isSortIndicatorShown());
    EXPECT_EQ(list->text(0, 0), QStringLiteral("src0"));

    clickHeader(2);
    EXPECT_EQ(list->text(0, 2), QStringLiteral("a"));
    clickHeader(2); // a fixed direction stays ascending
    EXPECT_EQ(list->text(0, 2), QStringLiteral("a"));
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);

    clickHeader(0);
    EXPECT_EQ(header->sortIndicatorSection(), 2);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
}

// Enter and Escape in the editor belong to the edit, not to the dialog's
// default and cancel buttons.
TEST(ListCtrlInDialogTest, EnterAndEscapeDoNotCloseTheDialog) {
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* list = new CListCtrlEx(&dialog);
    auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    layout->addWidget(list);
    layout->addWidget(ok);
    list->addColumn(QStringLiteral("Priority"));
    list->insertRow(0, QStringLiteral("1"));
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));

    ASSERT_TRUE(list->editCell(0, 0));
    auto* box = qobject_cast<QLineEdit*>(list->activeEditor());
    ASSERT_NE(box, nullptr);
    box->setText(QStringLiteral("4"));
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(list->text(0, 0), QStringLiteral("4"));

    ASSERT_TRUE(list->editCell(0, 0));
    QTest::keyClick(list->activeEditor(), Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(list->isEditing());
}

TEST_F(ListCtrlWidgetTest, DatePickerEditorAndLocaleDateSort) {
    auto* picker = new QDateEdit;
    picker->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
    list->setColumnEditor(2, list->addEditor(picker)); // no callbacks: the text travels
    const QDate dates[] = {QDate(2026, 3, 1), QDate(2025, 12, 31), QDate(2026, 1, 5)};
    for (int r = 0; r < 3; ++r)
        list->setText(r, 2, picker->locale().toString(dates[r], picker->displayFormat()));

    list->editCell(0, 2);
    ASSERT_EQ(list->activeEditor(), picker);
    EXPECT_EQ(picker->date(), dates[0]);
    picker->setDate(QDate(2026, 2, 1));
    QTest::keyClick(picker, Qt::Key_Return);
    EXPECT_EQ(list->text(0, 2), picker->text());

    list->setColumnSort(2, static_cast<int>(SortType::Date), kSortAscending);
    auto* header = list->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(2) + 10, header->height() / 2));
    EXPECT_EQ(list->text(0, 0), QStringLiteral("src1")); // 2025-12-31
    EXPECT_EQ(list->text(1, 0), QStringLiteral("src2")); // 2026-01-05
    EXPECT_EQ(list->text(2, 0), QStringLiteral("src0")); // 2026-02-01
}

TEST_F(ListCtrlWidgetTest, EditorFollowsItsCellWhenAColumnIsResized) {
    list->editCell(0, 2);
    list->setColumnWidth(1, 120);
    EXPECT_EQ(box()->geometry().left(), list->visualRect(list->listModel().index(0, 2)).left());
}

} // namespace
} // namespace velmar
