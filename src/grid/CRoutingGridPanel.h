#pragma once

#include "grid/GridModel.h"

#include <QPointer>
#include <QWidget>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSettings;

namespace velmar {

class CRouteJournal;
class CRoutingGridView;

// The routing grid with its tool row (find, "Show routed only", swap,
// Stereo, zoom, a crosspoint file's preview) above the view. Clicks and drags
// become routes through the journal, as one undo step each.
class CRoutingGridPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr std::string_view kDisconnectTitle = "Crosspoint control";
    static constexpr std::string_view kDisconnectQuestion = "Disconnect";
    // The profile keys of what the grid restores: zoom, folds and axes.
    static constexpr const char* kProfileGroup = "RoutingGrid";

    CRoutingGridPanel(const DeviceState& state, CRouteJournal& journal,
                      std::function<void(const QString&)> status, QWidget* parent = nullptr);

    CGridModel& model() { return m_model; }
    CRoutingGridView* view() { return m_view; }

    // The frame's routes or marks changed; the repaint is coalesced.
    void routesChanged();
    // Ports, cards or the frame changed.
    void rebuild();
    // Reads a crosspoint file and shows what loading it would change; OK sends.
    void previewFile(const QString& path);
    bool previewing() const { return m_model.preview() != nullptr; }
    void applyPreview();
    void cancelPreview();
    // Restores the zoom, the folded groups and the axes from the profile and
    // keeps them there as they change.
    void setProfile(QSettings* profile);
    // In its own window the "Open in own window" button takes it back.
    void setInOwnWindow(bool own);
    // Routes what a click on the visible cell asks for (tests use it too).
    void clickCell(int row, int column);
    void dragCells(int row0, int column0, int row1, int column1);

Q_SIGNALS:
    void ownWindowRequested();

private:
    void send(const GridPlan& plan, const char* label);
    bool askDisconnect();
    bool askReplace(const std::vector<GridRoute>& replaced);
    bool ask(std::string_view text, bool& skip);
    void activateCell(int row, int column);
    void saveChoices();
    void layoutChanged();
    void showPreviewCounts();

    const DeviceState& m_state;
    CRouteJournal& m_journal;
    std::function<void(const QString&)> m_status;
    CGridModel m_model;
    CRoutingGridView* m_view = nullptr;
    QLineEdit* m_find = nullptr;
    QCheckBox* m_routedOnly = nullptr;
    QCheckBox* m_swap = nullptr;
    QCheckBox* m_stereo = nullptr;
    QWidget* m_previewBar = nullptr;
    QLabel* m_previewCounts = nullptr;
    QCheckBox* m_previewClear = nullptr;
    QPushButton* m_own = nullptr;
    QSettings* m_profile = nullptr;
    bool m_repaintQueued = false;
    bool m_skipDisconnectQuestion = false; // "Don't ask again this session"
    bool m_skipReplaceQuestion = false;
    QString m_previewPath;
};

} // namespace velmar
