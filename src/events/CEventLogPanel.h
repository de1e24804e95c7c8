#pragma once

#include "events/EventDeriver.h"
#include "events/EventHistory.h"
#include "events/EventLogFile.h"
#include "events/EventLogWriter.h"

#include <QAbstractTableModel>
#include <QDockWidget>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace velmar {

// The shown events as a table: Time, Severity, Frame, Event, newest first.
class CEventLogModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CEventLogModel(const CEventHistory& history, QObject* parent = nullptr)
        : QAbstractTableModel(parent), m_history(history) {}

    enum Column { ColTime, ColSeverity, ColFrame, ColText, ColCount };

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // The history changed. New events are inserted at the top and the oldest
    // removed at the bottom, so the view keeps its selection; a new filter
    // shows the rows anew. Returns how many rows came at the top.
    int refresh();

private:
    // While rows are announced, the rows the view knows are the history's
    // rows from m_offset on.
    std::size_t m_offset = 0;
    std::size_t m_rows = 0;     // rows the view knows
    std::size_t m_topSeq = 0;   // the event number of the first of them
    std::size_t m_rebuilds = 0; // the history's, when the view last learnt all rows
    const CEventHistory& m_history;
};

class CPanelFlapTimer;

// The "Event log" panel: a dock the main window carries. It owns the whole
// chain from the engine's observer to the screen and the file: the deriver,
// the history the table shows and the log file in the user's data folder.
// An alarm stays announced (alarmChanged) until the operator acknowledges it.
class CEventLogPanel final : public QDockWidget {
    Q_OBJECT
public:
    // `logFolder` empty: no file is written (the panel still shows events).
    CEventLogPanel(const QString& logFolder, QWidget* parent = nullptr);
    ~CEventLogPanel() override;

    // Hand this to the engine (CPollingEngine::setStateObserver).
    CEventDeriver& deriver() { return *m_deriver; }
    CEventHistory& history() { return m_history; }
    CEventLogModel& model() { return *m_model; }
    const CEventLogFile* logFile() const { return m_writer ? &m_writer->file() : nullptr; }
    // Waits until every event so far is in the log file (tests, closing).
    void flushLog() {
        if (m_writer)
            m_writer->flush();
    }

    // Plain text of the pending alarm ("ALARM: Studio A (10.0.1.20): PSU 2
    // failed"), empty when none waits.
    QString alarmText() const;
    void acknowledge();
    // The selected rows (all shown rows when none is selected) as text.
    QString selectedText() const;
    void copySelection() const;
    // Writes the shown rows as CSV; empty on success, else why not.
    std::string exportCsv(const QString& path) const;

Q_SIGNALS:
    void alarmChanged(const QString& text);
    // A log file problem, in plain words, for the status bar.
    void logProblem(const QString& text);

private:
    void onHistoryChanged();
    void applyFilter();
    void refillFrames();

    CSystemEventClock m_clock;
    CEventHistory m_history;
    std::unique_ptr<CEventLogWriter> m_writer;
    CEventFanOut m_fanOut;
    std::unique_ptr<CPanelFlapTimer> m_flapTimer;
    std::unique_ptr<CEventDeriver> m_deriver;
    CEventLogModel* m_model = nullptr;
    QTableView* m_table = nullptr;
    QComboBox* m_severity = nullptr;
    QComboBox* m_frame = nullptr;
    QLineEdit* m_search = nullptr;
    QPushButton* m_acknowledge = nullptr;
    QLabel* m_alarmLabel = nullptr;
    QString m_shownAlarm;
    std::size_t m_framesListed = 0;
};

} // namespace velmar
