#pragma once

#include "grid/GridModel.h"

#include <QPointer>
#include <QWidget>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

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
    // Routes what a click on the visible cell asks for (tests use it too).
    void clickCell(int row, int column);
    void dragCells(int row0, int column0, int row1, int column1);

Q_SIGNALS:
    void ownWindowRequested();

private:
    void send(const GridPlan& plan, const char* label);
    bool askDisconnect();
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
    bool m_repaintQueued = false;
    bool m_skipDisconnectQuestion = false; // "Don't ask again this session"
    QString m_previewPath;
};

} // namespace velmar
