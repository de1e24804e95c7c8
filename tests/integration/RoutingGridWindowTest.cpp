#include "IntegrationSupport.h"
#include "WindowSupport.h"
#include "grid/CRoutingGridPanel.h"
#include "grid/CRoutingGridView.h"
#include "window/CZarvoDlg.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <set>
#include <string>

namespace velmar {
namespace {

using test::waitUntil;

// Answers the grid's "Disconnect" question with Yes, ticking "Don't ask
// again this session" when told to, and counts the questions.
class DisconnectAnswerer : public QObject {
public:
    int asked = 0;
    bool dontAskAgain = false;
    QStringList titles;
    DisconnectAnswerer() {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            // Any visible box: the active modal widget is not always set offscreen.
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (box == nullptr || !box->isVisible())
                    continue;
                ++asked;
                titles << box->windowTitle() + QStringLiteral("|") + box->text();
                if (dontAskAgain && box->checkBox() != nullptr)
                    box->checkBox()->setChecked(true);
                box->button(QMessageBox::Yes)->click();
            }
        });
        m_timer.start(10);
    }

private:
    QTimer m_timer;
};

// The 461's grid: rows and columns start with AES 01..16 (513..528), then PHD.
class RoutingGridWindow : public test::WindowProfileTest {
protected:
    virtual const char* preset() const { return "461"; }
    void SetUp() override {
        WindowProfileTest::SetUp();
        frame = test::startFrame(preset(), "127.0.0.2");
        ASSERT_TRUE(frame);
        window = std::make_unique<CZarvoDlg>(StartupOptions{}, *settings);
        window->resize(1200, 800);
        window->show();
        ASSERT_TRUE(test::connectToFirstRow(*window));
        tabs = window->findChild<QTabWidget*>(QStringLiteral("crosspointViews"));
        panel = window->findChild<CRoutingGridPanel*>(QStringLiteral("routingGrid"));
        ASSERT_TRUE(tabs && panel);
        tabs->setCurrentWidget(panel);
        view = panel->view();
        status = window->findChild<QStatusBar*>(QStringLiteral("statusBar"));
        ASSERT_TRUE(waitUntil([&] { return panel->model().rowCount() > 16; }));
    }
    void click(int row, int column) {
        view->showCell(row, column);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->cellCentre(row, column));
    }
    std::optional<CellMark> mark(int output, int input) const {
        return panel->model().markAt(output, input);
    }
    void trigger(const char* action) {
        auto* a = window->findChild<QAction*>(QLatin1String(action));
        ASSERT_TRUE(a);
        ASSERT_TRUE(waitUntil([&] { return a->isEnabled(); })) << action;
        a->trigger();
    }

    std::unique_ptr<framesim::CSimulatedFrame> frame;
    std::unique_ptr<CZarvoDlg> window;
    QTabWidget* tabs = nullptr;
    CRoutingGridPanel* panel = nullptr;
    CRoutingGridView* view = nullptr;
    QStatusBar* status = nullptr;
};

TEST_F(RoutingGridWindow, ClickRoutesAndUnroutesOnTheFrame) {
    click(4, 0); // OUTPUT AES 05 <- INPUT AES 01
    ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(517) == 513; }));
    ASSERT_TRUE(waitUntil([&] { return mark(517, 513) == CellMark::Routed; }));
    EXPECT_EQ(panel->model().hoverText(4, 0), "OUTPUT AES 05 \u2190 INPUT AES 01  (routed)");

    // A click on the routed cell asks as "&Disconnect" asks, until told not to.
    DisconnectAnswerer answer;
    answer.dontAskAgain = true;
    click(4, 0);
    ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(517) == 0; }));
    EXPECT_EQ(answer.asked, 1);
    EXPECT_EQ(answer.titles.value(0), QStringLiteral("Crosspoint control|Disconnect"));
    click(4, 0);
    ASSERT_TRUE(waitUntil([&] { return mark(517, 513) == CellMark::Routed; }));
    click(4, 0);
    ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(517) == 0; }));
    EXPECT_EQ(answer.asked, 1) << "not asked again this session";

    // A diagonal drag routes a run one to one; Stereo routes pairs.
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, view->cellCentre(0, 2));
    QTest::mouseMove(view->viewport(), view->cellCentre(1, 3));
    QTest::mouseMove(view->viewport(), view->cellCentre(2, 4));
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, view->cellCentre(2, 4));
    ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(515) == 517; }));
    EXPECT_EQ(frame->model().crosspoint(513), 515);
    EXPECT_EQ(frame->model().crosspoint(514), 516);
    window->findChild<QCheckBox*>(QStringLiteral("gridStereo"))->setChecked(true);
    click(7, 9); // the pair AES 07/08 <- AES 09/10
    ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(520) == 522; }));
    EXPECT_EQ(frame->model().crosspoint(519), 521);
}

TEST_F(RoutingGridWindow, RefusedRouteShowsItsMarkAndReason) {
    frame->faults().refused[CommandId::scross] = 7;
    click(5, 1);
    ASSERT_TRUE(waitUntil([&] { return mark(518, 514) == CellMark::Refused; }));
    EXPECT_EQ(frame->model().crosspoint(518), 0);
    EXPECT_EQ(panel->model().hoverText(5, 1),
              "OUTPUT AES 06 \u2190 INPUT AES 02  (refused: the frame refused it (status 7))");
    EXPECT_EQ(window->findChild<QAction*>(QStringLiteral("undoAction"))->isEnabled(), false)
        << "a refused route changed nothing to undo";
}

TEST_F(RoutingGridWindow, UnansweredRouteIsPendingThenGivenUpAndSaysSo) {
    frame->faults().unanswered.insert(CommandId::scross);
    click(6, 2);
    ASSERT_TRUE(waitUntil([&] { return mark(519, 515) == CellMark::Pending; }));
    EXPECT_EQ(panel->model().hoverText(6, 2),
              "OUTPUT AES 07 \u2190 INPUT AES 03  (sent, waiting for the frame)");
    // The journal's own timer gives it up after 5 seconds.
    ASSERT_TRUE(waitUntil([&] { return !mark(519, 515).has_value(); }, 10000));
    EXPECT_EQ(status->currentMessage(),
              QStringLiteral("No answer from the frame for 1 route (OUTPUT AES 07 \u2190 INPUT "
                             "AES 03): the grid shows what the frame last reported"));
    EXPECT_FALSE(window->findChild<QAction*>(QStringLiteral("undoAction"))->isEnabled());
}

TEST_F(RoutingGridWindow, AnotherClientsRouteAppearsAtOnce) {
    QTcpSocket other;
    other.connectToHost(QStringLiteral("127.0.0.2"), 10003);
    ASSERT_TRUE(other.waitForConnected(3000));
    other.write("&scross,520,515,0,0\r");
    ASSERT_TRUE(waitUntil([&] { return mark(520, 515) == CellMark::Routed; }));
    // "Show routed only" keeps just that row and column.
    window->findChild<QCheckBox*>(QStringLiteral("gridRoutedOnly"))->setChecked(true);
    EXPECT_EQ(panel->model().rowCount(), 1);
    EXPECT_EQ(panel->model().columnCount(), 1);
    EXPECT_EQ(panel->model().cellAt(0, 0), (GridRoute{520, 515}));
}

TEST_F(RoutingGridWindow, UndoAndRedoRestoreTheFramesRoutes) {
    click(4, 0);
    ASSERT_TRUE(waitUntil([&] { return mark(517, 513) == CellMark::Routed; }));
    {
        // Moving the routed output to another input replaces a live route: asked first.
        DisconnectAnswerer answer;
        click(4, 1);
        ASSERT_TRUE(waitUntil([&] { return mark(517, 514) == CellMark::Routed; }));
        EXPECT_EQ(answer.titles,
                  QStringList{QStringLiteral("Crosspoint control|This replaces the live route "
                                             "OUTPUT AES 05 \u2190 INPUT AES 01.\nReplace it?")});
    }
    trigger("undoAction");
    ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(517) == 513; }));
    trigger("redoAction");
    ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(517) == 514; }));
    // "&Connect" of the lists is one undo step as well, and undone the same way.
    tabs->setCurrentIndex(0);
    auto* inputs = window->findChild<QListView*>(QStringLiteral("inputChannels"));
    auto* outputs = window->findChild<QListView*>(QStringLiteral("outputChannels"));
    inputs->selectionModel()->select(inputs->model()->index(15, 0), QItemSelectionModel::Select);
    for (int row : {4, 5})
        outputs->selectionModel()->select(outputs->model()->index(row, 0),
                                          QItemSelectionModel::Select);
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("crosspointConnect")),
                      Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(518) == 528; }));
    EXPECT_EQ(frame->model().crosspoint(517), 528);
    ASSERT_TRUE(waitUntil([&] {
        return window->findChild<QAction*>(QStringLiteral("undoAction"))->text() ==
               QStringLiteral("&Undo Connect (2 routes)");
    }));
    trigger("undoAction");
    ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(518) == 0; }));
    EXPECT_EQ(frame->model().crosspoint(517), 514);
    tabs->setCurrentWidget(panel);
    trigger("undoAction");
    ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(517) == 513; }));
    trigger("undoAction");
    ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(517) == 0; }));

    // Another client changes the output meanwhile: undo asks, and No keeps it.
    click(4, 2);
    ASSERT_TRUE(waitUntil([&] { return mark(517, 515) == CellMark::Routed; }));
    QTcpSocket other;
    other.connectToHost(QStringLiteral("127.0.0.2"), 10003);
    ASSERT_TRUE(other.waitForConnected(3000));
    other.write("&scross,517,528,0,0\r");
    ASSERT_TRUE(waitUntil([&] { return mark(517, 528) == CellMark::Routed; }));
    test::MessageBoxAnswerer answer;
    answer.setAnswer(QMessageBox::No);
    trigger("undoAction");
    ASSERT_TRUE(waitUntil([&] { return !answer.texts.isEmpty(); }));
    EXPECT_TRUE(answer.texts[0].startsWith(
        QStringLiteral("1 output was changed by another client since: OUTPUT AES 05 \u2190 "
                       "INPUT AES 16")))
        << answer.texts[0].toStdString();
    EXPECT_EQ(status->currentMessage(), QStringLiteral("Undo cancelled: nothing was sent"));
    EXPECT_EQ(frame->model().crosspoint(517), 528);
}

TEST_F(RoutingGridWindow, FilePreviewMarksCountsAndApplies) {
    click(0, 0); // 513 <- 513: the file moves it
    click(1, 1); // 514 <- 514: the file keeps it
    click(2, 2); // 515 <- 515: not in the file
    ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(515) == 515; }));
    const QString path = dir.filePath(QStringLiteral("preview.xpt"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("1=513,520\r\n2=514,514\r\n3=516,517\r\n");
    file.close();
    panel->previewFile(path);
    auto* counts = window->findChild<QLabel*>(QStringLiteral("gridPreviewCounts"));
    ASSERT_TRUE(counts && counts->isVisible());
    EXPECT_TRUE(
        counts->text().endsWith(QStringLiteral("1 added, 1 replaced, 0 removed, 1 unchanged")))
        << counts->text().toStdString();
    EXPECT_EQ(mark(513, 520), CellMark::PreviewReplaced);
    EXPECT_EQ(mark(516, 517), CellMark::PreviewAdded);
    window->findChild<QCheckBox*>(QStringLiteral("gridPreviewClear"))->setChecked(true);
    EXPECT_TRUE(
        counts->text().endsWith(QStringLiteral("1 added, 1 replaced, 1 removed, 1 unchanged")));
    EXPECT_EQ(mark(515, 515), CellMark::PreviewRemoved);
    EXPECT_EQ(frame->model().crosspoint(513), 513) << "nothing is sent before OK";

    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("gridPreviewOk")),
                      Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(516) == 517; }));
    EXPECT_EQ(frame->model().crosspoint(513), 520);
    EXPECT_EQ(frame->model().crosspoint(514), 514);
    EXPECT_EQ(frame->model().crosspoint(515), 0);
    EXPECT_FALSE(counts->isVisible());
    // The whole load is one undo step.
    trigger("undoAction");
    ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(516) == 0; }));
    EXPECT_EQ(frame->model().crosspoint(513), 513);
    EXPECT_EQ(frame->model().crosspoint(515), 515);
}

TEST_F(RoutingGridWindow, ListFileLoadIsOneUndoStep) {
    click(0, 0); // 513 <- 513
    ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(513) == 513; }));
    const QString path = dir.filePath(QStringLiteral("load.xpt"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("1=513,520\r\n2=600,521\r\n");
    file.close();
    // "Load crosspoint status" is confirmed with OK as soon as it shows.
    QTimer accept;
    QObject::connect(&accept, &QTimer::timeout, &accept, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            dialog->accept();
    });
    accept.start(10);
    window->loadCrosspointsFrom(path);
    accept.stop();
    ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(600) == 521; }));
    ASSERT_TRUE(waitUntil([&] {
        return window->findChild<QAction*>(QStringLiteral("undoAction"))->text() ==
               QStringLiteral("&Undo file load (2 routes)");
    }));
    trigger("undoAction");
    ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(600) == 0; }));
    EXPECT_EQ(frame->model().crosspoint(513), 513);
}

TEST_F(RoutingGridWindow, KeyboardMovesTheCursorAndEnterRoutesWithTheQuestion) {
    view->setCellSize(20);
    view->setFocus();
    for (int k = 0; k < 4; ++k)
        QTest::keyClick(view, Qt::Key_Down);
    EXPECT_EQ(panel->model().cursor(), (std::pair{4, 0}));
    EXPECT_EQ(status->currentMessage(), QStringLiteral("OUTPUT AES 05 \u2190 INPUT AES 01"));
    QTest::keyClick(view, Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(517) == 513; }));

    // Enter on another input of the routed row asks; No sends nothing.
    QTest::keyClick(view, Qt::Key_Right);
    {
        test::MessageBoxAnswerer no;
        no.setAnswer(QMessageBox::No);
        QTest::keyClick(view, Qt::Key_Enter);
        ASSERT_TRUE(waitUntil([&] { return !no.texts.isEmpty(); }));
        EXPECT_TRUE(no.texts[0].startsWith(QStringLiteral("This replaces the live route")));
    }
    EXPECT_EQ(status->currentMessage(), QStringLiteral("Nothing was sent: the live routes stay"));
    EXPECT_EQ(frame->model().crosspoint(517), 513);
    {
        // Yes, and not again this session.
        DisconnectAnswerer yes;
        yes.dontAskAgain = true;
        QTest::keyClick(view, Qt::Key_Return);
        ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(517) == 514; }));
        QTest::keyClick(view, Qt::Key_Right);
        QTest::keyClick(view, Qt::Key_Return);
        ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(517) == 515; }));
        EXPECT_EQ(yes.asked, 1);
        // The routed cell under the cursor unroutes, with its own question.
        QTest::keyClick(view, Qt::Key_Return);
        ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(517) == 0; }));
        EXPECT_EQ(yes.titles.value(1), QStringLiteral("Crosspoint control|Disconnect"));
    }

    // Stereo: the cursor steps by pairs and Enter routes the pair.
    window->findChild<QCheckBox*>(QStringLiteral("gridStereo"))->setChecked(true);
    QTest::keyClick(view, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_Down);
    QTest::keyClick(view, Qt::Key_Right);
    EXPECT_EQ(panel->model().cursor(), (std::pair{2, 2}));
    EXPECT_EQ(panel->model().highlightSpan(panel->model().rows(), 2), (std::pair{2, 3}));
    QTest::keyClick(view, Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(516) == 516; }));
    EXPECT_EQ(frame->model().crosspoint(515), 515);
}

TEST_F(RoutingGridWindow, RoutedOnlyNeverReflowsUnderThePointer) {
    click(0, 2); // AES 01 <- AES 03
    click(1, 3); // AES 02 <- AES 04
    ASSERT_TRUE(waitUntil([&] { return mark(514, 516) == CellMark::Routed; }));
    window->findChild<QCheckBox*>(QStringLiteral("gridRoutedOnly"))->setChecked(true);
    ASSERT_EQ(panel->model().columnCount(), 2);
    view->setCellSize(20);
    // The pointer is over the cells: AES 01 moves to AES 04 and AES 03's
    // column, now unused, stays until the pointer leaves.
    QTest::mouseMove(view->viewport(), view->cellCentre(0, 1));
    DisconnectAnswerer yes;
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->cellCentre(0, 1));
    ASSERT_TRUE(waitUntil([&] { return mark(513, 516) == CellMark::Routed; }));
    EXPECT_EQ(yes.asked, 1);
    QTest::qWait(20); // any coalesced repaint has run
    EXPECT_EQ(panel->model().columnCount(), 2);
    EXPECT_EQ(panel->model().cellAt(0, 1), (GridRoute{513, 516}));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(view->viewport(), &leave);
    EXPECT_EQ(panel->model().columnCount(), 1);
}

TEST_F(RoutingGridWindow, FilePreviewFitsTheWindowAndLeavesItsSize) {
    window->resize(1000, 700);
    QApplication::processEvents();
    const int width = window->width();
    const int minimum = window->minimumSizeHint().width();
    QDir(dir.path())
        .mkpath(QStringLiteral("a-folder-with-a-rather-long-name-for-show-files/"
                               "and-another-one-below-it-for-the-evening-news"));
    const QString path = dir.filePath(
        QStringLiteral("a-folder-with-a-rather-long-name-for-show-files/"
                       "and-another-one-below-it-for-the-evening-news/"
                       "crosspoints-of-studio-a-before-the-evening-news-with-guests.xpt"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    for (int k = 1; k <= 40; ++k)
        file.write(QStringLiteral("%1=%2,9999\r\n").arg(k).arg(512 + k).toUtf8());
    file.write("41=513,514\r\n");
    file.close();
    panel->previewFile(path);
    auto* counts = window->findChild<QLabel*>(QStringLiteral("gridPreviewCounts"));
    ASSERT_TRUE(counts && counts->isVisible());
    QApplication::processEvents();
    EXPECT_EQ(window->width(), width);
    EXPECT_LE(window->minimumSizeHint().width(), minimum);
    EXPECT_EQ(counts->toolTip(), QDir::toNativeSeparators(path));
    auto* ok = window->findChild<QPushButton*>(QStringLiteral("gridPreviewOk"));
    const QPoint okRight = ok->mapTo(window.get(), QPoint(ok->width(), 0));
    EXPECT_LE(okRight.x(), window->width()) << "OK is inside the window";
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("gridPreviewCancel")),
                      Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(window->width(), width);
}

TEST_F(RoutingGridWindow, ZoomFoldsAndAxesComeBackWithTheWindow) {
    window->findChild<QCheckBox*>(QStringLiteral("gridSwap"))->setChecked(true);
    Q_EMIT view->foldRequested(kSideOutput, 1); // PHD
    view->setCellSize(23.5);
    window.reset();
    window = std::make_unique<CZarvoDlg>(StartupOptions{}, *settings);
    panel = window->findChild<CRoutingGridPanel*>(QStringLiteral("routingGrid"));
    ASSERT_TRUE(panel);
    EXPECT_TRUE(panel->model().swapped());
    EXPECT_TRUE(window->findChild<QCheckBox*>(QStringLiteral("gridSwap"))->isChecked());
    EXPECT_EQ(panel->model().foldedTitles(kSideOutput), std::set<std::string>{"PHD"});
    EXPECT_EQ(panel->view()->cellSize(), 23.5);
}

TEST_F(RoutingGridWindow, OwnWindowTakesTheGridAndGivesItBack) {
    auto* own = window->findChild<QPushButton*>(QStringLiteral("gridOwnWindow"));
    QTest::mouseClick(own, Qt::LeftButton);
    QWidget* ownWindow = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        ownWindow = window->findChild<QWidget*>(QStringLiteral("routingGridWindow"));
        return ownWindow != nullptr && ownWindow->isVisible();
    }));
    EXPECT_EQ(panel->window(), ownWindow);
    // It still routes from there, and its button takes it back.
    click(3, 3);
    ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(516) == 516; }));
    EXPECT_EQ(own->text(), QStringLiteral("Back to the main window"));
    QTest::mouseClick(own, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return panel->window() == window.get(); }));
    EXPECT_EQ(own->text(), QStringLiteral("Open in own window"));
    // Closing its window gives it back as well.
    QTest::mouseClick(own, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return panel->window() != window.get(); }));
    panel->window()->close();
    ASSERT_TRUE(waitUntil([&] { return panel->window() == window.get(); }));
}

// A 1536-output 460 with seven cards: the grid reaches the second bank.
class RoutingGridWindow1536 : public RoutingGridWindow {
protected:
    const char* preset() const override { return "460"; }
};

TEST_F(RoutingGridWindow1536, SecondBankChannelsRouteFromTheGridAtAnyZoom) {
    EXPECT_GE(panel->model().outputs().lineOf(1409), 0);
    EXPECT_GE(panel->model().inputs().lineOf(1472), 0); // CARD7 128
    // Every line in view: cells are too small to tell apart, so a click zooms
    // to the groups under it and routes nothing.
    view->fitAll();
    const int rows = panel->model().rowCount();
    EXPECT_LE(view->cellSize() * rows, view->viewport()->height());
    ASSERT_LT(view->cellSize(), CRoutingGridView::kMinRoutableCell);
    const int before = frame->model().crosspoint(1);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->cellCentre(0, 0));
    EXPECT_GE(view->cellSize(), CRoutingGridView::kMinRoutableCell);
    // At a routable zoom every cell in view answers for the pair it shows.
    for (int row = 0; row < 20; row += 3)
        for (int column = 0; column < 20; column += 7)
            EXPECT_EQ(view->cellAtPoint(view->cellCentre(row, column)), (std::pair{row, column}));
    EXPECT_EQ(frame->model().crosspoint(1), before);

    // The EQ card in slot 7 has a second block from 1409 on ("CARD7 65").
    auto* find = window->findChild<QLineEdit*>(QStringLiteral("gridFind"));
    ASSERT_TRUE(find);
    find->setText(QStringLiteral("card7 65"));
    ASSERT_EQ(panel->model().rowCount(), 1);
    ASSERT_EQ(panel->model().columnCount(), 1);
    view->setCellSize(20);
    click(0, 0);
    ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(1409) == 1409; }));
    ASSERT_TRUE(waitUntil([&] { return mark(1409, 1409) == CellMark::Routed; }));
    EXPECT_EQ(panel->model().hoverText(0, 0), "OUTPUT CARD7 65 ← INPUT CARD7 65  (routed)");
    trigger("undoAction");
    ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(1409) == 0; }));
}

} // namespace
} // namespace velmar
