#pragma once

#include "grid/CRoutingGridPanel.h"
#include "grid/RouteJournal.h"
#include "engine/CQtTimerHost.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <string>

class QAction;
class QMenuBar;
class QSettings;
class QTabWidget;
class QWidget;

namespace velmar {

class CXyBurst;

// The main window's routing grid: the journal every route of the window goes
// through (pending, refused, undo), its timer, the Edit menu's Undo and Redo,
// and the grid panel, shown as a tab or in a window of its own.
class CRoutingGrid final : public QObject, private IRouteReport {
    Q_OBJECT
public:
    CRoutingGrid(const DeviceState& state, IRequestSink& engine, IQuestions& questions,
                 const CXyBurst& burst, std::function<void(const QString&)> status);
    ~CRoutingGrid() override;

    CRouteJournal& journal() { return m_journal; }
    CRoutingGridPanel* panel() { return m_panel; }

    // Adds "&Edit" with Undo (Ctrl+Z) and Redo (Ctrl+Shift+Z).
    void addEditMenu(QMenuBar* bar);
    // Adds the grid as a tab; "Open in own window" moves it out and closing
    // that window brings it back. The grid keeps its zoom, folds and axes in
    // `profile` when given.
    void addTab(QTabWidget* tabs, QSettings* profile = nullptr);
    QWidget* ownWindow() const { return m_ownWindow; }

    // Everything the frame sends (after the dispatch has stored it).
    void onMessage(const DeviceMessage& message, bool isReply);
    void crosspointChanged();
    void typesChanged();
    void cleared();
    // Runs `send` as one undo step named `label` (list, panel and file loads).
    void batch(const std::string& label, const std::function<void()>& send);

private:
    void routeStatus(std::string_view text) override;
    void routeMarksChanged() override;
    void refreshEditActions();
    void openOwnWindow();
    void bringBack();

    const DeviceState& m_state;
    std::function<void(const QString&)> m_status;
    CQtTimerHost m_timers;
    CRouteJournal m_journal;
    QPointer<CRoutingGridPanel> m_panel;
    QPointer<QTabWidget> m_tabs;
    QPointer<QWidget> m_ownWindow;
    QPointer<QAction> m_undo;
    QPointer<QAction> m_redo;
    bool m_editQueued = false;
};

} // namespace velmar
