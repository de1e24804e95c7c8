#include "IntegrationSupport.h"
#include "WindowSupport.h"
#include "window/CZarvoDlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace velmar {
namespace {

using test::waitUntil;

// Confirms the next modal dialog that opens (message box with Yes, or a
// dialog's OK), and remembers what it was.
class ModalAnswerer : public QObject {
public:
    QStringList seen;
    ModalAnswerer() {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            seen << modal->windowTitle();
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                QAbstractButton* yes = box->button(QMessageBox::Yes);
                (yes ? yes : box->buttons().value(0))->click();
            } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
                dialog->accept();
            }
        });
        m_timer.start(10);
    }

private:
    QTimer m_timer;
};

class CrosspointWindow : public test::WindowProfileTest {
protected:
    void SetUp() override {
        WindowProfileTest::SetUp();
        frame = test::startFrame("461", "127.0.0.2");
        ASSERT_TRUE(frame);
        window = std::make_unique<CZarvoDlg>(StartupOptions{}, *settings);
        ASSERT_TRUE(test::connectToFirstRow(*window));
        inputs = window->findChild<QListView*>(QStringLiteral("inputChannels"));
        outputs = window->findChild<QListView*>(QStringLiteral("outputChannels"));
        list = window->findChild<QTableView*>(QStringLiteral("crosspointList"));
        ASSERT_TRUE(inputs && outputs && list);
    }
    void selectRows(QListView* view, std::initializer_list<int> rows) {
        view->clearSelection();
        for (int row : rows)
            view->selectionModel()->select(view->model()->index(row, 0),
                                           QItemSelectionModel::Select);
    }
    void press(const char* name) {
        auto* button = window->findChild<QPushButton*>(QString::fromLatin1(name));
        ASSERT_TRUE(button);
        ASSERT_TRUE(button->isEnabled()) << name;
        QTest::mouseClick(button, Qt::LeftButton);
    }
    QString cell(int row, int column) const {
        return list->model()->index(row, column).data().toString();
    }

    std::unique_ptr<framesim::CSimulatedFrame> frame;
    std::unique_ptr<CZarvoDlg> window;
    QListView* inputs = nullptr;
    QListView* outputs = nullptr;
    QTableView* list = nullptr;
};

TEST_F(CrosspointWindow, ConnectShowsTheRowsTheFrameConfirms) {
    // Both sides show the AES ports: inputs AES 1 and 2 to outputs AES 5 and 6.
    ASSERT_EQ(inputs->model()->rowCount(), 16);
    selectRows(inputs, {0, 1});
    selectRows(outputs, {4, 5});
    press("crosspointConnect");
    ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(518) == 514; }));
    ASSERT_TRUE(waitUntil([&] { return list->model()->rowCount() == 2; }));
    EXPECT_EQ(cell(0, 1), QStringLiteral("AES  01"));
    EXPECT_EQ(cell(0, 2), QStringLiteral("AES  05"));
    EXPECT_EQ(cell(1, 2), QStringLiteral("AES  06"));
    EXPECT_EQ(frame->model().crosspoint(517), 513);

    // Stereo: one input pair to one output pair.
    window->findChild<QAbstractButton*>(QStringLiteral("stereo"))->click();
    ASSERT_EQ(inputs->model()->rowCount(), 8);
    selectRows(inputs, {2});  // AES 5/6
    selectRows(outputs, {0}); // AES 1/2
    press("crosspointConnect");
    ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(514) == 518; }));
    EXPECT_EQ(frame->model().crosspoint(513), 517);

    // "&Disconnect" asks first; Yes clears the outputs.
    ModalAnswerer answer;
    selectRows(outputs, {0});
    press("crosspointDisconnect");
    ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(514) == 0; }));
    EXPECT_EQ(frame->model().crosspoint(513), 0);
    EXPECT_TRUE(answer.seen.contains(QStringLiteral("Crosspoint control")));
}

TEST_F(CrosspointWindow, SavedSetLoadsBackOntoTheFrame) {
    selectRows(inputs, {0, 1, 2});
    selectRows(outputs, {7, 8, 9});
    press("crosspointConnect");
    ASSERT_TRUE(waitUntil([&] { return list->model()->rowCount() == 3; }));

    const QString path = dir.filePath(QStringLiteral("set.xpt"));
    window->saveCrosspointsTo(path, false);
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), QByteArray("1=520,513\r\n2=521,514\r\n3=522,515\r\n"));
    saved.close();

    // Change the routes, then load the file back and confirm it.
    selectRows(inputs, {15});
    selectRows(outputs, {7, 8, 9});
    press("crosspointConnect");
    ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(522) == 528; }));
    {
        ModalAnswerer answer;
        window->loadCrosspointsFrom(path);
        EXPECT_EQ(
            answer.seen.value(0),
            QStringLiteral("Load crosspoint status  (%1)").arg(QDir::toNativeSeparators(path)));
    }
    ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(522) == 515; }));
    EXPECT_EQ(frame->model().crosspoint(520), 513);
    EXPECT_EQ(frame->model().crosspoint(521), 514);
    ASSERT_TRUE(waitUntil([&] { return cell(2, 1) == QStringLiteral("AES  03"); }));
}

TEST_F(CrosspointWindow, RefusedRouteKeepsTheLiveRowAndSaysSo) {
    auto* status = window->findChild<QStatusBar*>(QStringLiteral("statusBar"));
    ASSERT_TRUE(status);
    QStringList shown;
    QObject::connect(status, &QStatusBar::messageChanged, status,
                     [&shown](const QString& text) { shown << text; });
    selectRows(inputs, {0});
    selectRows(outputs, {4});
    press("crosspointConnect");
    ASSERT_TRUE(waitUntil([&] { return list->model()->rowCount() == 1; }));
    EXPECT_EQ(status->currentMessage(),
              QStringLiteral("Route confirmed: output 517 (AES  05) fed by input 513 (AES  01)"));

    // The frame refuses the next route: output 517 still carries input 513.
    frame->faults().refused[CommandId::scross] = 7;
    selectRows(inputs, {1});
    selectRows(outputs, {4});
    press("crosspointConnect");
    ASSERT_TRUE(waitUntil([&] { return status->currentMessage().startsWith("Frame reports"); }));
    EXPECT_TRUE(shown.contains(QStringLiteral(
        "Route refused (status 7): output 517 (AES  05) from input 514; asking for its route")));
    EXPECT_EQ(status->currentMessage(),
              QStringLiteral("Frame reports output 517 (AES  05) fed by input 513 (AES  01)"));
    EXPECT_EQ(frame->model().crosspoint(517), 513);
    ASSERT_EQ(list->model()->rowCount(), 1) << "the live route stays listed";
    EXPECT_EQ(cell(0, 1), QStringLiteral("AES  01"));
    EXPECT_EQ(cell(0, 2), QStringLiteral("AES  05"));
}

TEST_F(CrosspointWindow, AnotherFrameStartsWithAllRowsAndShowsItsReading) {
    auto* summary = window->findChild<QLabel*>(QStringLiteral("crosspointSummary"));
    auto* status = window->findChild<QStatusBar*>(QStringLiteral("statusBar"));
    ASSERT_TRUE(summary && status);
    EXPECT_TRUE(status->currentMessage().startsWith(QStringLiteral("Connected to Frame 461: ")))
        << status->currentMessage().toStdString();
    selectRows(inputs, {0});
    selectRows(outputs, {4});
    press("crosspointConnect");
    ASSERT_TRUE(waitUntil([&] { return list->model()->rowCount() == 1; }));
    EXPECT_EQ(summary->text(), QStringLiteral("ALL: 1 of 1"));
    auto* header = list->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(10, header->height() / 2));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(10, header->height() / 2));
    ASSERT_EQ(list->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("PHD"));
    EXPECT_EQ(summary->text(), QStringLiteral("PHD: 0 of 1")) << "the hidden row is counted";

    auto other = test::startFrame("461", "127.0.0.3", [](framesim::FrameProfile& p) {
        p.name = "Studio B";
        p.crosspoints[1] = 5;
        p.crosspoints[2] = 6;
    });
    ASSERT_TRUE(other);
    QStringList shown;
    QObject::connect(status, &QStatusBar::messageChanged, status,
                     [&shown](const QString& text) { shown << text; });
    window->refresh();
    const auto rowOfOther = [&] {
        const auto& rows = window->deviceList().rows();
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (rows[i].address == "127.0.0.3")
                return static_cast<int>(i);
        return -1;
    };
    ASSERT_TRUE(waitUntil([&] { return rowOfOther() >= 0; }));
    window->connectToRow(rowOfOther());
    ASSERT_TRUE(waitUntil([&] {
        return status->currentMessage().startsWith(QStringLiteral("Connected to Studio B"));
    }));
    EXPECT_EQ(list->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("ALL"));
    ASSERT_TRUE(waitUntil([&] { return list->model()->rowCount() == 2; }));
    EXPECT_EQ(summary->text(), QStringLiteral("ALL: 2 of 2"));
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_TRUE(shown.first().startsWith(QStringLiteral("Reading Studio B ... 0 of ")))
        << shown.first().toStdString();
}

TEST_F(CrosspointWindow, HeaderClicksFilterAndSort) {
    selectRows(inputs, {3, 0});
    selectRows(outputs, {0, 1});
    press("crosspointConnect");
    ASSERT_TRUE(waitUntil([&] { return list->model()->rowCount() == 2; }));
    auto* header = list->horizontalHeader();
    // "INPUT" once: sorted by input; the row with AES 01 comes first.
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
    EXPECT_EQ(cell(0, 1), QStringLiteral("AES  01"));
    EXPECT_EQ(cell(0, 2), QStringLiteral("AES  01"));
    // The first column walks the ranges: a 461 without card filter goes to "AES".
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(10, header->height() / 2));
    EXPECT_EQ(list->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("AES"));
    EXPECT_EQ(list->model()->rowCount(), 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(10, header->height() / 2));
    EXPECT_EQ(list->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("PHD"));
    EXPECT_EQ(list->model()->rowCount(), 0);
}

} // namespace
} // namespace velmar

#include <QMenu>

namespace velmar {
namespace {

// Picks an entry of the next popup menu by its text, as a click would.
class MenuPicker : public QObject {
public:
    QStringList entries;
    explicit MenuPicker(QString pick) : m_pick(std::move(pick)) {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            m_timer.stop();
            for (QAction* action : menu->actions())
                entries << (action->isSeparator() ? QStringLiteral("-") : action->text());
            for (QAction* action : menu->actions())
                if (action->text() == m_pick && action->isEnabled()) {
                    menu->setActiveAction(action);
                    QTest::keyClick(menu, Qt::Key_Return);
                    return;
                }
            menu->close();
        });
        m_timer.start(10);
    }

private:
    QString m_pick;
    QTimer m_timer;
};

TEST_F(CrosspointWindow, DeviceMenuRestartDropsTheRowAndTheLink) {
    auto* devices = window->findChild<QTableView*>(QStringLiteral("deviceList"));
    ASSERT_TRUE(devices);
    const QPoint onRow = devices->visualRect(devices->model()->index(0, 0)).center();
    QStringList received;
    QObject::connect(frame.get(), &framesim::CSimulatedFrame::lineReceived, frame.get(),
                     [&](const QString& line) { received << line; });
    {
        ModalAnswerer yes;
        MenuPicker pick(QStringLiteral("Restart"));
        Q_EMIT devices->customContextMenuRequested(onRow);
        EXPECT_EQ(pick.entries.value(0), QStringLiteral("Close"));
        EXPECT_TRUE(pick.entries.contains(QStringLiteral("Clear settings")));
        EXPECT_EQ(pick.entries.back(), QStringLiteral("Restart"));
        EXPECT_TRUE(yes.seen.contains(QStringLiteral(" Velmar   ( Online - %1 )")
                                          .arg(QString::fromStdString(frame->profile().name))));
    }
    ASSERT_TRUE(waitUntil([&] { return received.contains(QStringLiteral("&srestart,1")); }));
    EXPECT_FALSE(window->engine().state().connected);
    EXPECT_TRUE(window->deviceList().rows().empty()) << "the frame comes back with the next search";

    // Offline, a click outside any row offers only "Refresh".
    MenuPicker none(QStringLiteral("nothing"));
    Q_EMIT devices->customContextMenuRequested(QPoint(5, devices->viewport()->height() - 5));
    EXPECT_EQ(none.entries, QStringList{QStringLiteral("Refresh")});
}

} // namespace
} // namespace velmar

#include <QElapsedTimer>
#include <QLineEdit>

namespace velmar {
namespace {

TEST_F(CrosspointWindow, XyBurstRunsOnTheWindowsTimer) {
    // The dialog is modal: drive it from a timer while it runs.
    int step = 0;
    QTimer driver;
    QElapsedTimer elapsed;
    elapsed.start();
    QObject::connect(&driver, &QTimer::timeout, &driver, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (elapsed.elapsed() > 5000) { // a burst that never ends fails, it does not hang
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            return;
        }
        if (step == 0 && modal->windowTitle() == QStringLiteral("X-Y crosspoint control")) {
            modal->findChild<QLineEdit*>(QStringLiteral("xyInput"))->setText(QStringLiteral("9"));
            modal->findChild<QLineEdit*>(QStringLiteral("xyOutput"))->setText(QStringLiteral("4"));
            // Queued: the click opens a question box whose loop must not run
            // inside this timer's own handler.
            QMetaObject::invokeMethod(modal->findChild<QPushButton*>(QStringLiteral("xyBurst")),
                                      "click", Qt::QueuedConnection);
            step = 1;
        } else if (step == 1 && qobject_cast<QMessageBox*>(modal)) {
            EXPECT_EQ(qobject_cast<QMessageBox*>(modal)->text(), QStringLiteral("ARE YOU SURE"));
            qobject_cast<QMessageBox*>(modal)->button(QMessageBox::Yes)->click();
            step = 2;
        } else if (step == 2 && frame->model().crosspoint(4) == 4) {
            qobject_cast<QDialog*>(modal)->accept();
            step = 3;
        }
    });
    driver.start(5);
    window->openXyDialog();
    EXPECT_EQ(step, 3);
    for (int o = 1; o <= 4; ++o)
        EXPECT_EQ(frame->model().crosspoint(o), o) << "output " << o;
    EXPECT_EQ(frame->model().crosspoint(5), 0) << "the burst stops at the last output";
    ASSERT_TRUE(waitUntil([&] { return list->model()->rowCount() == 4; }));
    // The window's own crosspoint commands work again once the burst is over.
    selectRows(inputs, {0});
    selectRows(outputs, {0});
    press("crosspointConnect");
    ASSERT_TRUE(waitUntil([&] { return frame->model().crosspoint(513) == 513; }));
}

TEST_F(CrosspointWindow, XyDialogSaysWhyNothingWasSent) {
    QString firstNotice;
    QString secondNotice;
    QString thirdNotice;
    bool done = false;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, &driver, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || done)
            return;
        auto* notice = dialog->findChild<QLabel*>(QStringLiteral("xyNotice"));
        auto* input = dialog->findChild<QLineEdit*>(QStringLiteral("xyInput"));
        auto* output = dialog->findChild<QLineEdit*>(QStringLiteral("xyOutput"));
        auto* send = dialog->findChild<QPushButton*>(QStringLiteral("xyConnect"));
        if (!notice || !input || !output || !send)
            return dialog->reject();
        input->setText(QStringLiteral("9999")); // four digits get past typing
        output->setText(QStringLiteral("5"));
        send->click();
        firstNotice = notice->text();
        input->setText(QStringLiteral("7"));
        output->setText(QStringLiteral("3000"));
        send->click();
        secondNotice = notice->text();
        // Past the frame's own channels: it goes out, and the notice says why
        // nothing will answer for it.
        output->setText(QStringLiteral("1100"));
        send->click();
        thirdNotice = notice->text();
        done = true;
        dialog->accept();
    });
    driver.start(5);
    window->openXyDialog();
    EXPECT_TRUE(done);
    EXPECT_EQ(firstNotice, QStringLiteral("Input 9999 is outside 0..2048: nothing sent"));
    EXPECT_EQ(secondNotice, QStringLiteral("Output 3000 is outside 1..2048: nothing sent"));
    EXPECT_EQ(thirdNotice, QStringLiteral("Output 1100 is beyond this frame's 1024 channels: sent "
                                          "as asked, but the frame has no such output"));
    EXPECT_EQ(frame->model().crosspoint(5), 0);
}

TEST_F(CrosspointWindow, EmptySelectionsAndSavedFilesAreSaidInTheStatusBar) {
    inputs->clearSelection();
    outputs->clearSelection();
    press("crosspointConnect");
    EXPECT_EQ(window->statusBar()->currentMessage(),
              QStringLiteral("Connect: select an input and the outputs it should feed"));
    selectRows(inputs, {0});
    press("crosspointConnect");
    EXPECT_EQ(window->statusBar()->currentMessage(),
              QStringLiteral("Connect: select the outputs the input should feed"));
    press("crosspointDisconnect");
    EXPECT_EQ(window->statusBar()->currentMessage(),
              QStringLiteral("Disconnect: select the outputs to disconnect"));

    ASSERT_TRUE(waitUntil([&] { return window->engine().state().crosspointsRead(); }));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("show.xpt"));
    window->saveCrosspointsTo(path, false);
    ASSERT_TRUE(QFile::exists(path));
    EXPECT_EQ(window->statusBar()->currentMessage(),
              QStringLiteral("Crosspoint status saved to ") + QDir::toNativeSeparators(path));
}

} // namespace
} // namespace velmar
