#pragma once

#include "grid/GridModel.h"

#include <QAbstractScrollArea>
#include <optional>

namespace velmar {

// Paints the grid of a CGridModel: frozen headers (group band and channel
// names) on the top and left, the cells beside them, only what is visible.
// It forwards clicks, diagonal drags and fold requests; it routes nothing.
class CRoutingGridView : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr double kMinCell = 0.2;
    static constexpr double kMaxCell = 48.0;
    // Below this a pixel may cover more than one cell: a click there zooms to
    // the groups under it instead of routing a cell nobody can tell apart.
    static constexpr double kMinRoutableCell = 4.0;

    explicit CRoutingGridView(CGridModel& model, QWidget* parent = nullptr);

    // The model's lines changed: new scroll ranges, repaint.
    void modelChanged();
    double cellSize() const { return m_cell; }
    void setCellSize(double size);
    void zoomBy(double factor);
    // Every line in view.
    void fitAll();
    // The groups under the hovered cell (or the first ones in view) fill the view.
    void fitGroup();
    // Scrolls so the cell is in view.
    void showCell(int row, int column);
    // Moves the keyboard's cursor cell there and into view.
    void setCursorCell(int row, int column);
    // Whether the pointer is over the view, so its lines must not move.
    void setPointerInside(bool inside);
    // A question box over the grid sends a leave that is not the pointer's.
    void setQuestionOpen(bool open) { m_questionOpen = open; }

    // The visible cell at a viewport point, or empty over the headers.
    std::optional<std::pair<int, int>> cellAtPoint(QPoint point) const;
    // The centre of a cell in viewport coordinates (for tests and the demo).
    QPoint cellCentre(int row, int column) const;
    int rowHeaderWidth() const;
    int columnHeaderHeight() const;

Q_SIGNALS:
    void cellClicked(int row, int column);
    void cellDragged(int row0, int column0, int row1, int column1);
    // Enter or Space on the cursor cell.
    void cellActivated(int row, int column);
    void cellSizeChanged(double size);
    // A group band or a folded line was clicked.
    void foldRequested(int side, int group);
    void hoverChanged(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    bool showNames() const;
    void updateScrollBars();
    // Group spans of an axis within lines [first, last].
    template <typename F>
    void forEachGroupSpan(const CGridAxis& axis, int first, int last, F&& visit) const;
    void setHover(std::optional<std::pair<int, int>> cell);
    void cursorMoved();
    int pageLines() const;

    CGridModel& m_model;
    double m_cell = 14.0;
    std::optional<std::pair<int, int>> m_hover;
    std::optional<std::pair<int, int>> m_pressed;
    std::optional<std::pair<int, int>> m_dragEnd;
    bool m_cursorShown = false; // once the keyboard or a click placed it
    bool m_questionOpen = false;
};

} // namespace velmar
