// The window's event log panel against a simulated frame running a scenario:
// the table fills newest first, filters narrow it, an alarm stays in the title
// and status bar until acknowledged, and the export writes what is shown.

#include "IntegrationSupport.h"
#include "WindowSupport.h"
#include "session/CHealthCheck.h"
#include "events/CEventLogPanel.h"
#include "link/CDeviceListModel.h"
#include "window/CZarvoDlg.h"
#include "engine/FileAccess.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTableView>
#include <algorithm>
#include <gmock/gmock.h>

namespace velmar {
namespace {

using test::waitUntil;
using ::testing::HasSubstr;

class EventLogWindow : public test::WindowProfileTest {};

QString cell(CEventLogModel& model, int row, int column) {
    return model.data(model.index(row, column), Qt::DisplayRole).toString();
}

TEST_F(EventLogWindow, ScenarioFillsThePanelAndTheAlarmWaitsForAcknowledgement) {
    auto frame = test::startFrame("460", "127.0.0.2");
    ASSERT_TRUE(frame);
    CZarvoDlg window(StartupOptions{}, *settings);
    CEventLogPanel* panel = window.findChild<CEventLogPanel*>(QStringLiteral("eventLogPanel"));
    ASSERT_NE(panel, nullptr);
    ASSERT_EQ(panel, window.eventLog());
    ASSERT_TRUE(test::connectToFirstRow(window));

    frame->startScenario(*framesim::scenarioByName("psu"), 20, false);
    ASSERT_TRUE(waitUntil([&] { return !frame->scenarioRunning(); }));
    CEventLogModel& model = panel->model();
    ASSERT_TRUE(waitUntil([&] { return model.rowCount() >= 3; })) << model.rowCount();
    // Newest first.
    EXPECT_EQ(cell(model, 0, CEventLogModel::ColText), "PSU 2 recovered");
    EXPECT_EQ(cell(model, 1, CEventLogModel::ColText), "PSU 2 failed");
    EXPECT_EQ(cell(model, 1, CEventLogModel::ColSeverity), "alarm");
    EXPECT_EQ(cell(model, 2, CEventLogModel::ColText), "Connected");
    EXPECT_THAT(cell(model, 1, CEventLogModel::ColFrame).toStdString(), HasSubstr("127.0.0.2"));
    EXPECT_TRUE(model.data(model.index(1, 0), Qt::BackgroundRole).isValid()) << "alarms coloured";

    // The recovery does not end the alarm: the operator has to see it.
    auto* alarm = window.statusBar()->findChild<QLabel*>(QStringLiteral("alarmStatus"));
    ASSERT_NE(alarm, nullptr);
    EXPECT_FALSE(alarm->isHidden());
    EXPECT_THAT(alarm->text().toStdString(), HasSubstr("PSU 2 failed"));
    EXPECT_THAT(window.windowTitle().toStdString(), HasSubstr("ALARM"));
    panel->findChild<QPushButton*>(QStringLiteral("eventAcknowledge"))->click();
    EXPECT_TRUE(alarm->isHidden());
    EXPECT_THAT(window.windowTitle().toStdString(), ::testing::Not(HasSubstr("ALARM")));

    // Filters: alarms only, then a search that matches nothing.
    panel->findChild<QComboBox*>(QStringLiteral("eventSeverityFilter"))->setCurrentIndex(2);
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(cell(model, 0, CEventLogModel::ColText), "PSU 2 failed");
    const QString csvPath = dir.filePath(QStringLiteral("events.csv"));
    ASSERT_EQ(panel->exportCsv(csvPath), "");
    const FileReadResult csv = readFileBounded(csvPath, 1 << 20);
    EXPECT_THAT(csv.bytes, HasSubstr("\"PSU 2 failed\""));
    EXPECT_THAT(csv.bytes, ::testing::Not(HasSubstr("recovered"))) << "only what is shown";
    panel->findChild<QLineEdit*>(QStringLiteral("eventSearch"))->setText(QStringLiteral("fan"));
    EXPECT_EQ(model.rowCount(), 0);
    panel->findChild<QLineEdit*>(QStringLiteral("eventSearch"))->clear();
    panel->findChild<QComboBox*>(QStringLiteral("eventSeverityFilter"))->setCurrentIndex(0);
    EXPECT_EQ(model.rowCount(), 3);
    auto* frames = panel->findChild<QComboBox*>(QStringLiteral("eventFrameFilter"));
    ASSERT_EQ(frames->count(), 2) << "all frames, and the one seen";
    EXPECT_THAT(panel->selectedText().toStdString(), HasSubstr("\tPSU 2 failed\n"));

    // The same events went to the log file (which other runs may share:
    // the order is checked, not the place).
    ASSERT_NE(panel->logFile(), nullptr);
    const EventLogContents file = panel->logFile()->readAll();
    std::vector<std::string> texts;
    for (const Event& e : file.events)
        if (e.frame.address == "127.0.0.2")
            texts.push_back(e.text);
    const auto failed = std::find(texts.rbegin(), texts.rend(), "PSU 2 failed");
    ASSERT_NE(failed, texts.rend());
    EXPECT_NE(std::find(texts.rbegin(), failed, "PSU 2 recovered"), failed)
        << "the recovery follows the failure";
}

TEST_F(EventLogWindow, NewEventsKeepTheSelectionAndTheRowsInSightAndReachTheFile) {
    CEventLogPanel panel(dir.filePath(QStringLiteral("log")));
    panel.resize(600, 300);
    panel.show();
    auto* table = panel.findChild<QTableView*>(QStringLiteral("eventTable"));
    ASSERT_NE(table, nullptr);
    const auto event = [](int n) {
        Event e;
        e.timeMs = 1765218397000 + n;
        e.frame.address = "10.0.1.20";
        e.kind = EventKind::Psu;
        e.text = "event " + std::to_string(n);
        return e;
    };
    for (int n = 0; n < 100; ++n)
        panel.history().onEvent(event(n));
    CEventLogModel& model = panel.model();
    ASSERT_EQ(model.rowCount(), 100);
    table->selectRow(60); // "event 39"
    table->verticalScrollBar()->setValue(50);
    const QString topBefore = table->indexAt({5, 5}).data().toString();

    for (int n = 100; n < 103; ++n)
        panel.history().onEvent(event(n));
    ASSERT_EQ(model.rowCount(), 103);
    const QModelIndexList selected = table->selectionModel()->selectedRows(CEventLogModel::ColText);
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected[0].data().toString(), QStringLiteral("event 39"));
    EXPECT_EQ(table->indexAt({5, 5}).data().toString(), topBefore) << "the rows in sight stay";

    // At the top, the newest event comes into view.
    table->verticalScrollBar()->setValue(0);
    panel.history().onEvent(event(103));
    EXPECT_EQ(table->indexAt({5, 5}).siblingAtColumn(CEventLogModel::ColText).data().toString(),
              QStringLiteral("event 103"));

    // What the deriver makes reaches the file through the writer.
    panel.deriver().connectFailed("10.0.1.21");
    panel.flushLog();
    ASSERT_NE(panel.logFile(), nullptr);
    const EventLogContents written = panel.logFile()->readAll();
    ASSERT_EQ(written.events.size(), 1u);
    EXPECT_EQ(written.events[0].kind, EventKind::ConnectFailed);
}

TEST_F(EventLogWindow, CheckAllFillsTheHealthColumn) {
    auto good = test::startFrame("460", "127.0.0.2");
    auto bad =
        test::startFrame("460", "127.0.0.3", [](framesim::FrameProfile& p) { p.psuStatus[2] = 1; });
    ASSERT_TRUE(good && bad);
    CZarvoDlg window(StartupOptions{}, *settings);
    ASSERT_TRUE(waitUntil([&] { return window.deviceList().rows().size() == 2; }));
    window.findChild<QPushButton*>(QStringLiteral("checkAllButton"))->click();
    auto* view = window.findChild<QTableView*>(QStringLiteral("deviceList"));
    ASSERT_NE(view, nullptr);
    QAbstractItemModel* model = view->model();
    const auto healthOf = [&](const QString& address) {
        for (int r = 0; r < model->rowCount(); ++r)
            if (model->index(r, CDeviceListModel::AddressColumn).data().toString() == address)
                return model->index(r, CDeviceListModel::HealthColumn).data().toString();
        return QString();
    };
    ASSERT_TRUE(waitUntil(
        [&] {
            return !healthOf(QStringLiteral("127.0.0.3")).isEmpty() &&
                   !healthOf(QStringLiteral("127.0.0.2")).isEmpty();
        },
        10000));
    EXPECT_EQ(healthOf(QStringLiteral("127.0.0.2")), QStringLiteral("OK"));
    EXPECT_EQ(healthOf(QStringLiteral("127.0.0.3")), QStringLiteral("Alarm"));
    EXPECT_EQ(model->headerData(CDeviceListModel::HealthColumn, Qt::Horizontal).toString(),
              QStringLiteral("Health"));
    ASSERT_TRUE(waitUntil([&] { return !window.healthCheck()->running(); }));
    EXPECT_THAT(window.statusBar()->currentMessage().toStdString(),
                HasSubstr("1 of 2 frames need attention"));

    // A verdict from before the link was lost no longer holds.
    const auto& rows = window.deviceList().rows();
    const auto it = std::find_if(rows.begin(), rows.end(),
                                 [](const KnownDevice& d) { return d.address == "127.0.0.2"; });
    ASSERT_NE(it, rows.end());
    window.connectToRow(static_cast<int>(it - rows.begin()));
    ASSERT_TRUE(waitUntil([&] { return window.engine().state().connected; }));
    good->dropClients();
    ASSERT_TRUE(waitUntil([&] { return !window.engine().state().connected; }));
    EXPECT_EQ(healthOf(QStringLiteral("127.0.0.2")), QStringLiteral("Offline"));
}

} // namespace
} // namespace velmar
