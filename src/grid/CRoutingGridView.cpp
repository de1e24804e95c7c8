#include "grid/CRoutingGridView.h"

#include "engine/Crosspoints.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <cmath>

namespace velmar {

namespace {

constexpr int kGroupBand = 96;     // row header: group titles
constexpr int kNameBand = 72;      // row header: channel names
constexpr int kGroupBandHigh = 20; // column header: group titles
constexpr int kNameBandHigh = 64;  // column header: channel names, upright
constexpr int kSmallHeader = 24;   // column header when names do not fit

QColor markColour(CellMark mark) {
    switch (mark) {
    case CellMark::Routed: return {20, 110, 200};
    case CellMark::Pending: return {240, 170, 0};
    case CellMark::Refused: return {210, 30, 30};
    case CellMark::PreviewAdded: return {30, 160, 60};
    case CellMark::PreviewReplaced: return {130, 60, 190};
    case CellMark::PreviewRemoved: return {150, 150, 150};
    }
    return Qt::black;
}

QString qs(const std::string& text) { return QString::fromStdString(text); }

} // namespace

CRoutingGridView::CRoutingGridView(CGridModel& model, QWidget* parent)
    : QAbstractScrollArea(parent), m_model(model) {
    setObjectName(QStringLiteral("routingGridView"));
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    updateScrollBars();
}

bool CRoutingGridView::showNames() const { return m_cell >= fontMetrics().height() - 3; }

int CRoutingGridView::rowHeaderWidth() const { return kGroupBand + (showNames() ? kNameBand : 0); }

int CRoutingGridView::columnHeaderHeight() const {
    return showNames() ? kGroupBandHigh + kNameBandHigh : kSmallHeader;
}

void CRoutingGridView::modelChanged() {
    if (m_hover &&
        (m_hover->first >= m_model.rowCount() || m_hover->second >= m_model.columnCount()))
        m_hover.reset();
    updateScrollBars();
    viewport()->update();
}

void CRoutingGridView::setCellSize(double size) {
    const double old = m_cell;
    m_cell = std::clamp(size, kMinCell, kMaxCell);
    updateScrollBars();
    viewport()->update();
    if (m_cell != old)
        Q_EMIT cellSizeChanged(m_cell);
}

void CRoutingGridView::zoomBy(double factor) {
    // Zoom about the view's centre, so what the operator looks at stays put.
    const double cx =
        (horizontalScrollBar()->value() + (viewport()->width() - rowHeaderWidth()) / 2.0) / m_cell;
    const double cy =
        (verticalScrollBar()->value() + (viewport()->height() - columnHeaderHeight()) / 2.0) /
        m_cell;
    setCellSize(m_cell * factor);
    horizontalScrollBar()->setValue(
        static_cast<int>(cx * m_cell - (viewport()->width() - rowHeaderWidth()) / 2.0));
    verticalScrollBar()->setValue(
        static_cast<int>(cy * m_cell - (viewport()->height() - columnHeaderHeight()) / 2.0));
}

void CRoutingGridView::fitAll() {
    const int rows = std::max(1, m_model.rowCount());
    const int columns = std::max(1, m_model.columnCount());
    // Headers shrink when names no longer fit: fit against the small ones.
    const double w = viewport()->width() - kGroupBand;
    const double h = viewport()->height() - kSmallHeader;
    setCellSize(std::min(w / columns, h / rows));
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
}

void CRoutingGridView::fitGroup() {
    const auto span = [](const CGridAxis& axis, int line) {
        const GridLine* l = axis.line(line);
        if (l == nullptr)
            return std::pair{0, axis.lineCount() - 1};
        int first = line;
        int last = line;
        while (first > 0 && axis.lines[static_cast<std::size_t>(first - 1)].group == l->group)
            --first;
        while (last + 1 < axis.lineCount() &&
               axis.lines[static_cast<std::size_t>(last + 1)].group == l->group)
            ++last;
        return std::pair{first, last};
    };
    const int row =
        m_hover ? m_hover->first : static_cast<int>(verticalScrollBar()->value() / m_cell);
    const int column =
        m_hover ? m_hover->second : static_cast<int>(horizontalScrollBar()->value() / m_cell);
    const auto [r0, r1] = span(m_model.rows(), row);
    const auto [c0, c1] = span(m_model.columns(), column);
    const double w = viewport()->width() - kGroupBand - kNameBand;
    const double h = viewport()->height() - kGroupBandHigh - kNameBandHigh;
    setCellSize(std::min(w / (c1 - c0 + 1), h / (r1 - r0 + 1)));
    horizontalScrollBar()->setValue(static_cast<int>(c0 * m_cell));
    verticalScrollBar()->setValue(static_cast<int>(r0 * m_cell));
}

void CRoutingGridView::showCell(int row, int column) {
    const int w = viewport()->width() - rowHeaderWidth();
    const int h = viewport()->height() - columnHeaderHeight();
    const int x = static_cast<int>(column * m_cell);
    const int y = static_cast<int>(row * m_cell);
    if (x < horizontalScrollBar()->value() || x + m_cell > horizontalScrollBar()->value() + w)
        horizontalScrollBar()->setValue(x - w / 2);
    if (y < verticalScrollBar()->value() || y + m_cell > verticalScrollBar()->value() + h)
        verticalScrollBar()->setValue(y - h / 2);
}

void CRoutingGridView::setCursorCell(int row, int column) {
    m_model.setCursor(row, column);
    m_cursorShown = true;
    cursorMoved();
}

void CRoutingGridView::cursorMoved() {
    const auto cell = m_model.cursor();
    if (!cell)
        return;
    showCell(cell->first, cell->second);
    viewport()->update();
    Q_EMIT hoverChanged(qs(m_model.hoverText(cell->first, cell->second)));
}

int CRoutingGridView::pageLines() const {
    return std::max(1,
                    static_cast<int>((viewport()->height() - columnHeaderHeight()) / m_cell) - 1);
}

void CRoutingGridView::setPointerInside(bool inside) {
    // Lines held back while the pointer was inside catch up when it leaves.
    if (!inside && m_questionOpen)
        return;
    if (inside != m_model.layoutHeld() && m_model.setLayoutHeld(inside))
        modelChanged();
}

void CRoutingGridView::updateScrollBars() {
    const int w = viewport()->width() - rowHeaderWidth();
    const int h = viewport()->height() - columnHeaderHeight();
    const int totalW = static_cast<int>(std::ceil(m_model.columnCount() * m_cell));
    const int totalH = static_cast<int>(std::ceil(m_model.rowCount() * m_cell));
    horizontalScrollBar()->setRange(0, std::max(0, totalW - w));
    horizontalScrollBar()->setPageStep(std::max(1, w));
    horizontalScrollBar()->setSingleStep(std::max(1, static_cast<int>(m_cell)));
    verticalScrollBar()->setRange(0, std::max(0, totalH - h));
    verticalScrollBar()->setPageStep(std::max(1, h));
    verticalScrollBar()->setSingleStep(std::max(1, static_cast<int>(m_cell)));
}

void CRoutingGridView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void CRoutingGridView::scrollContentsBy(int, int) { viewport()->update(); }

std::optional<std::pair<int, int>> CRoutingGridView::cellAtPoint(QPoint point) const {
    const int x = point.x() - rowHeaderWidth();
    const int y = point.y() - columnHeaderHeight();
    if (x < 0 || y < 0)
        return std::nullopt;
    const int column = static_cast<int>((x + horizontalScrollBar()->value()) / m_cell);
    const int row = static_cast<int>((y + verticalScrollBar()->value()) / m_cell);
    if (row >= m_model.rowCount() || column >= m_model.columnCount())
        return std::nullopt;
    return std::pair{row, column};
}

QPoint CRoutingGridView::cellCentre(int row, int column) const {
    return {rowHeaderWidth() - horizontalScrollBar()->value() +
                static_cast<int>((column + 0.5) * m_cell),
            columnHeaderHeight() - verticalScrollBar()->value() +
                static_cast<int>((row + 0.5) * m_cell)};
}

template <typename F>
void CRoutingGridView::forEachGroupSpan(const CGridAxis& axis, int first, int last,
                                        F&& visit) const {
    int start = first;
    for (int line = first; line <= last; ++line) {
        const int group = axis.lines[static_cast<std::size_t>(line)].group;
        if (line == last || axis.lines[static_cast<std::size_t>(line + 1)].group != group) {
            visit(group, start, line);
            start = line + 1;
        }
    }
}

void CRoutingGridView::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    const int rh = rowHeaderWidth();
    const int ch = columnHeaderHeight();
    const int w = viewport()->width();
    const int h = viewport()->height();
    const int sx = horizontalScrollBar()->value();
    const int sy = verticalScrollBar()->value();
    const QPalette& pal = palette();
    p.fillRect(viewport()->rect(), pal.base());

    const int rows = m_model.rowCount();
    const int columns = m_model.columnCount();
    if (rows == 0 || columns == 0) {
        p.setPen(pal.color(QPalette::PlaceholderText));
        p.drawText(viewport()->rect().adjusted(12, 12, -12, -12),
                   Qt::AlignCenter | Qt::TextWordWrap, qs(m_model.emptyText()));
        return;
    }
    const int firstRow = std::clamp(static_cast<int>(sy / m_cell), 0, rows - 1);
    const int lastRow = std::clamp(static_cast<int>((sy + h - ch) / m_cell), 0, rows - 1);
    const int firstCol = std::clamp(static_cast<int>(sx / m_cell), 0, columns - 1);
    const int lastCol = std::clamp(static_cast<int>((sx + w - rh) / m_cell), 0, columns - 1);
    const auto xOf = [&](double column) { return rh - sx + column * m_cell; };
    const auto yOf = [&](double row) { return ch - sy + row * m_cell; };

    p.save();
    // Cells end where the lines end; the rest of the view stays blank.
    const double gridRight = std::min<double>(w, xOf(columns));
    const double gridBottom = std::min<double>(h, yOf(rows));
    p.setClipRect(QRectF(rh, ch, gridRight - rh + 1, gridBottom - ch + 1));
    // Crosshair: the hovered row and column (both channels of a pair in Stereo).
    if (m_hover) {
        const QColor hi = pal.color(QPalette::Highlight).lighter(170);
        const auto [r0, r1] = m_model.highlightSpan(m_model.rows(), m_hover->first);
        const auto [c0, c1] = m_model.highlightSpan(m_model.columns(), m_hover->second);
        p.fillRect(QRectF(rh, yOf(r0), gridRight - rh, std::max(1.0, (r1 - r0 + 1) * m_cell)), hi);
        p.fillRect(QRectF(xOf(c0), ch, std::max(1.0, (c1 - c0 + 1) * m_cell), gridBottom - ch), hi);
    }
    // Cell lines only where cells are big enough to tell apart.
    if (m_cell >= 5) {
        p.setPen(pal.color(QPalette::Midlight));
        for (int r = firstRow; r <= lastRow + 1; ++r)
            p.drawLine(QPointF(rh, yOf(r)), QPointF(w, yOf(r)));
        for (int c = firstCol; c <= lastCol + 1; ++c)
            p.drawLine(QPointF(xOf(c), ch), QPointF(xOf(c), h));
    }
    // Group borders, always.
    p.setPen(pal.color(QPalette::Dark));
    forEachGroupSpan(m_model.rows(), firstRow, lastRow, [&](int, int first, int) {
        p.drawLine(QPointF(rh, yOf(first)), QPointF(w, yOf(first)));
    });
    forEachGroupSpan(m_model.columns(), firstCol, lastCol, [&](int, int first, int) {
        p.drawLine(QPointF(xOf(first), ch), QPointF(xOf(first), h));
    });
    // Marks: one per routed output in view, not one per cell.
    p.setRenderHint(QPainter::Antialiasing, m_cell >= 6);
    const bool swapped = m_model.swapped();
    const double inset = m_cell >= 6 ? m_cell * 0.2 : 0.0;
    // Below a pixel a route still shows as a dot of two.
    const double size = std::max(2.0, m_cell - 2 * inset);
    m_model.forEachMark(firstRow, lastRow, firstCol, lastCol, [&](const GridMark& m) {
        const int row = swapped ? m.inputLine : m.outputLine;
        const int column = swapped ? m.outputLine : m.inputLine;
        const QRectF cell(xOf(column) + inset, yOf(row) + inset, size, size);
        const QColor colour = markColour(m.mark);
        if (m_cell < 6) {
            p.fillRect(cell, colour);
            return;
        }
        switch (m.mark) {
        case CellMark::Pending:
            // Hollow: asked for, not yet there.
            p.setPen(QPen(colour, 2));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(cell);
            break;
        case CellMark::Refused:
            p.setPen(QPen(colour, 2));
            p.drawLine(cell.topLeft(), cell.bottomRight());
            p.drawLine(cell.topRight(), cell.bottomLeft());
            break;
        case CellMark::PreviewRemoved:
            p.setPen(QPen(colour, 2));
            p.setBrush(Qt::NoBrush);
            p.drawRect(cell);
            break;
        default:
            p.setPen(Qt::NoPen);
            p.setBrush(colour);
            p.drawEllipse(cell);
            break;
        }
    });
    // A drag shows the run it will route.
    if (m_pressed && m_dragEnd && m_dragEnd != m_pressed) {
        const int n = std::min(std::abs(m_dragEnd->first - m_pressed->first),
                               std::abs(m_dragEnd->second - m_pressed->second));
        const int dr = m_dragEnd->first >= m_pressed->first ? 1 : -1;
        const int dc = m_dragEnd->second >= m_pressed->second ? 1 : -1;
        p.setPen(QPen(markColour(CellMark::Pending), std::max(1.0, m_cell / 4)));
        p.drawLine(
            QPointF(xOf(m_pressed->second + 0.5), yOf(m_pressed->first + 0.5)),
            QPointF(xOf(m_pressed->second + n * dc + 0.5), yOf(m_pressed->first + n * dr + 0.5)));
    }
    // The keyboard's cursor: a frame around the cell, or the pair's cells.
    if (const auto cursor = m_model.cursor(); cursor && m_cursorShown) {
        const auto [r0, r1] = m_model.highlightSpan(m_model.rows(), cursor->first);
        const auto [c0, c1] = m_model.highlightSpan(m_model.columns(), cursor->second);
        QRectF frame(xOf(c0), yOf(r0), (c1 - c0 + 1) * m_cell, (r1 - r0 + 1) * m_cell);
        // Still a visible frame when cells are smaller than a pixel.
        const QPointF centre = frame.center();
        frame.setWidth(std::max(frame.width(), 6.0));
        frame.setHeight(std::max(frame.height(), 6.0));
        frame.moveCenter(centre);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(pal.color(QPalette::Highlight), 2));
        p.drawRect(frame);
    }
    p.restore();

    // Frozen headers, painted over the scrolled cells.
    p.setRenderHint(QPainter::Antialiasing, false);
    const bool names = showNames();
    const QFontMetrics fm = fontMetrics();
    const int lineHigh = fm.height();
    const int minTitle = fm.horizontalAdvance(QStringLiteral("\u25BE MA\u2026"));
    const QColor bands[2] = {pal.color(QPalette::Button), pal.color(QPalette::Window).darker(108)};
    p.fillRect(0, ch, rh, h - ch, pal.window());
    p.fillRect(rh, 0, w - rh, ch, pal.window());
    p.save();
    p.setClipRect(0, ch, rh, h - ch);
    const CGridAxis& rowAxis = m_model.rows();
    forEachGroupSpan(rowAxis, firstRow, lastRow, [&](int group, int first, int last) {
        const QRectF band(0, yOf(first), kGroupBand, (last - first + 1) * m_cell);
        p.fillRect(band, bands[group % 2]);
        p.setPen(pal.color(QPalette::ButtonText));
        const GridGroup& g = rowAxis.groups[static_cast<std::size_t>(group)];
        // The title stays in view while its group scrolls under the header,
        // and only inside its own band: small groups at a far zoom go untitled.
        QRectF text = band.adjusted(3, 0, -2, 0);
        text.setTop(std::max(text.top(), static_cast<qreal>(ch)));
        const QString title =
            (g.folded ? QStringLiteral("\u25B8 ") : QStringLiteral("\u25BE ")) + qs(g.title);
        if (text.height() >= 2 * lineHigh) {
            p.save();
            p.setClipRect(text, Qt::IntersectClip);
            p.drawText(text, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, title);
            p.restore();
        } else if (text.height() >= lineHigh) {
            p.drawText(text, Qt::AlignLeft | Qt::AlignTop,
                       fm.elidedText(title, Qt::ElideRight, static_cast<int>(text.width())));
        }
    });
    if (names) {
        p.setPen(pal.color(QPalette::WindowText));
        for (int r = firstRow; r <= lastRow; ++r)
            p.drawText(QRectF(kGroupBand + 3, yOf(r), kNameBand - 4, m_cell),
                       Qt::AlignVCenter | Qt::AlignLeft, qs(m_model.lineText(rowAxis, r)));
    }
    p.restore();
    p.save();
    p.setClipRect(rh, 0, w - rh, ch);
    const CGridAxis& colAxis = m_model.columns();
    const int groupHigh = names ? kGroupBandHigh : ch;
    forEachGroupSpan(colAxis, firstCol, lastCol, [&](int group, int first, int last) {
        const QRectF band(xOf(first), 0, (last - first + 1) * m_cell, groupHigh);
        p.fillRect(band, bands[group % 2]);
        p.setPen(pal.color(QPalette::ButtonText));
        const GridGroup& g = colAxis.groups[static_cast<std::size_t>(group)];
        QRectF text = band.adjusted(3, 0, -2, 0);
        text.setLeft(std::max(text.left(), static_cast<qreal>(rh + 3)));
        const QString title =
            (g.folded ? QStringLiteral("\u25B8 ") : QStringLiteral("\u25BE ")) + qs(g.title);
        // Cut to its own band, never into the next group's.
        if (text.width() >= minTitle)
            p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                       fm.elidedText(title, Qt::ElideRight, static_cast<int>(text.width())));
    });
    if (names) {
        p.setPen(pal.color(QPalette::WindowText));
        for (int c = firstCol; c <= lastCol; ++c) {
            p.save();
            p.translate(xOf(c), ch - 2);
            p.rotate(-90);
            p.drawText(QRectF(0, 0, kNameBandHigh - 4, m_cell), Qt::AlignVCenter | Qt::AlignLeft,
                       qs(m_model.lineText(colAxis, c)));
            p.restore();
        }
    }
    p.restore();
    // The corner says which axis is which.
    p.fillRect(0, 0, rh, ch, pal.window());
    p.setPen(pal.color(QPalette::WindowText));
    p.drawText(QRect(4, 0, rh - 8, ch), Qt::AlignCenter | Qt::TextWordWrap,
               swapped ? tr("INPUT \u2193  OUTPUT \u2192") : tr("OUTPUT \u2193  INPUT \u2192"));
    p.setPen(pal.color(QPalette::Dark));
    p.drawLine(rh, 0, rh, h);
    p.drawLine(0, ch, w, ch);
}

void CRoutingGridView::setHover(std::optional<std::pair<int, int>> cell) {
    if (cell == m_hover)
        return;
    m_hover = cell;
    viewport()->update();
    Q_EMIT hoverChanged(cell ? qs(m_model.hoverText(cell->first, cell->second)) : QString());
}

void CRoutingGridView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint pos = event->position().toPoint();
    // The group bands fold; so does a click on a folded line's name.
    const int rh = rowHeaderWidth();
    const int ch = columnHeaderHeight();
    if (pos.x() < rh && pos.y() >= ch) {
        const int row = static_cast<int>((pos.y() - ch + verticalScrollBar()->value()) / m_cell);
        if (const GridLine* l = m_model.rows().line(row);
            l != nullptr && (pos.x() < kGroupBand || l->channel == 0))
            Q_EMIT foldRequested(m_model.rows().side, l->group);
        return;
    }
    if (pos.y() < ch && pos.x() >= rh) {
        const int column =
            static_cast<int>((pos.x() - rh + horizontalScrollBar()->value()) / m_cell);
        const int groupHigh = showNames() ? kGroupBandHigh : ch;
        if (const GridLine* l = m_model.columns().line(column);
            l != nullptr && (pos.y() < groupHigh || l->channel == 0))
            Q_EMIT foldRequested(m_model.columns().side, l->group);
        return;
    }
    m_pressed = cellAtPoint(pos);
    m_dragEnd = m_pressed;
    if (m_pressed) {
        m_model.setCursor(m_pressed->first, m_pressed->second);
        m_cursorShown = true;
    }
}

void CRoutingGridView::mouseMoveEvent(QMouseEvent* event) {
    setPointerInside(true);
    const auto cell = cellAtPoint(event->position().toPoint());
    if (m_pressed && cell && cell != m_dragEnd) {
        m_dragEnd = cell;
        viewport()->update();
    }
    setHover(cell);
}

void CRoutingGridView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_pressed)
        return;
    const auto start = *m_pressed;
    const auto end = cellAtPoint(event->position().toPoint()).value_or(m_dragEnd.value_or(start));
    m_pressed.reset();
    m_dragEnd.reset();
    viewport()->update();
    if (m_cell < kMinRoutableCell) {
        m_hover = start;
        fitGroup();
        return;
    }
    if (end == start)
        Q_EMIT cellClicked(start.first, start.second);
    else
        Q_EMIT cellDragged(start.first, start.second, end.first, end.second);
}

void CRoutingGridView::leaveEvent(QEvent* event) {
    QAbstractScrollArea::leaveEvent(event);
    setHover(std::nullopt);
    setPointerInside(false);
}

bool CRoutingGridView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Enter)
        setPointerInside(true);
    else if (event->type() == QEvent::Leave) {
        setHover(std::nullopt);
        setPointerInside(false);
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void CRoutingGridView::keyPressEvent(QKeyEvent* event) {
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    std::optional<CursorMove> move;
    switch (event->key()) {
    case Qt::Key_Up: move = CursorMove::Up; break;
    case Qt::Key_Down: move = CursorMove::Down; break;
    case Qt::Key_Left: move = CursorMove::Left; break;
    case Qt::Key_Right: move = CursorMove::Right; break;
    case Qt::Key_PageUp: move = CursorMove::PageUp; break;
    case Qt::Key_PageDown: move = CursorMove::PageDown; break;
    case Qt::Key_Home: move = ctrl ? CursorMove::First : CursorMove::Home; break;
    case Qt::Key_End: move = ctrl ? CursorMove::Last : CursorMove::End; break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space: {
        const auto cell = m_model.cursor();
        if (!cell)
            break;
        m_cursorShown = true;
        // As with a click: cells too small to tell apart zoom in first.
        if (m_cell < kMinRoutableCell) {
            m_hover = cell;
            fitGroup();
            cursorMoved();
        } else {
            Q_EMIT cellActivated(cell->first, cell->second);
        }
        event->accept();
        return;
    }
    default: break;
    }
    if (!move) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    m_model.moveCursor(*move, pageLines());
    m_cursorShown = true;
    cursorMoved();
    event->accept();
}

void CRoutingGridView::wheelEvent(QWheelEvent* event) {
    if (event->modifiers() & Qt::ControlModifier) {
        zoomBy(event->angleDelta().y() > 0 ? 1.25 : 0.8);
        event->accept();
        return;
    }
    QAbstractScrollArea::wheelEvent(event);
}

} // namespace velmar
