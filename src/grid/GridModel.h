#pragma once

#include "engine/CrosspointFile.h"
#include "engine/DeviceState.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

class CRouteJournal;

// The routing grid shows inputs as columns and outputs as rows (or swapped).
// Its two axes are built from the same type lists the control panel offers:
// one group per entry ("CARD3  - SDI", "AES", "MADI", "SFP 1 - MADI", "IP"),
// holding the channels that entry lists. A folded group takes one line.

struct GridGroup {
    std::string title;
    int type = 0;              // the type chooser's item data
    std::vector<int> channels; // in list order
    bool folded = false;
};

// One visible line of an axis: a channel, or a folded group (channel 0).
struct GridLine {
    int group = 0;
    int channel = 0;
    bool groupStart = false; // the first visible line of its group
};

class CGridAxis {
public:
    int side = 0; // kSideInput or kSideOutput
    std::vector<GridGroup> groups;
    std::vector<GridLine> lines;

    int lineCount() const { return static_cast<int>(lines.size()); }
    // The visible line showing `channel` (its folded group's line), or -1.
    int lineOf(int channel) const;
    const GridLine* line(int index) const;
    // The channel beside `channel` in a stereo pair within its group: the
    // left one of the pair and its partner (0 when the group has none).
    std::pair<int, int> stereoPair(int channel) const;

private:
    friend class CGridModel;
    std::vector<int> m_lineOfChannel; // kMaxCrosspoints + 1 entries
    std::vector<int> m_groupOfChannel;
    std::vector<int> m_indexInGroup;
};

// One crosspoint: output fed by input (0 unroutes).
struct GridRoute {
    int output = 0;
    int input = 0;
    friend bool operator==(const GridRoute&, const GridRoute&) = default;
};

enum class CellMark : std::uint8_t {
    Routed,          // the frame reports this route
    Pending,         // sent, not yet confirmed
    Refused,         // the frame refused it
    PreviewAdded,    // the file routes an unrouted output here
    PreviewReplaced, // the file moves the output to this input
    PreviewRemoved,  // the file's load takes this route away
};

// A mark in visible coordinates of the output and input axes.
struct GridMark {
    int outputLine = 0;
    int inputLine = 0;
    CellMark mark = CellMark::Routed;
};

// What loading a crosspoint file would change, against a given state.
enum class PreviewKind : std::uint8_t { None, Added, Replaced, Removed, Unchanged };

struct PreviewCounts {
    int added = 0;
    int replaced = 0;
    int removed = 0;
    int unchanged = 0;
    int changes() const { return added + replaced + removed; }
    friend bool operator==(const PreviewCounts&, const PreviewCounts&) = default;
};

// A crosspoint file read with the same reader "Load from file ..." uses,
// compared with the frame's routes. Loading sets the outputs the file routes
// and leaves the others; with `clearUnlisted` it restores the file exactly and
// also unroutes the outputs the file does not route.
class CCrosspointPreview {
public:
    CCrosspointPreview(const CrosspointFileContent& content, int crosspointCount,
                       bool clearUnlisted);

    void setClearUnlisted(bool clear) { m_clearUnlisted = clear; }
    bool clearUnlisted() const { return m_clearUnlisted; }
    PreviewKind kindOf(const DeviceState& state, int output) const;
    // The input the file gives `output` (0: none).
    int fileInput(int output) const;
    PreviewCounts counts(const DeviceState& state) const;
    // "12 added, 3 replaced, 2 removed, 40 unchanged".
    std::string summary(const DeviceState& state) const;
    // The routes loading sends now, in output order: only what differs.
    std::vector<GridRoute> routesToSend(const DeviceState& state) const;
    const XptLeftOut& leftOut() const { return m_leftOut; }
    int crosspointCount() const { return m_count; }

private:
    CrosspointLoadTable m_table{};
    XptLeftOut m_leftOut;
    int m_count = 0;
    bool m_clearUnlisted = false;
};

// What a click or a drag asks for.
struct GridPlan {
    bool unroute = false; // a click on a routed cell: the "&Disconnect" question first
    std::vector<GridRoute> routes;
    // Outputs the plan moves away from the input they have now (output, that
    // input): a live route is replaced, so the operator is asked first.
    std::vector<GridRoute> replaced;
};

// The question before a plan replaces live routes (title "Crosspoint control").
std::string replaceQuestion(const std::vector<GridRoute>& replaced);

// Keyboard moves of the grid's cursor cell.
enum class CursorMove : std::uint8_t {
    Up,
    Down,
    Left,
    Right,
    PageUp,
    PageDown,
    Home,
    End,
    First,
    Last
};

// The grid's model: axes, folding, filter, "show routed only", swapped axes,
// hit-testing from visible cells to channel pairs, the marks to paint and the
// routes a click or a drag asks for. No painting, no sending.
class CGridModel {
public:
    CGridModel(const DeviceState& state, const CRouteJournal& journal);

    // The frame's ports or cards changed (or another frame): new groups,
    // keeping which groups the operator folded.
    void rebuild();
    // Routes changed: lines that "show routed only" keeps may change.
    void routesChanged();

    void setSwapped(bool swapped) { m_swapped = swapped; }
    bool swapped() const { return m_swapped; }
    void setFilter(std::string_view text);
    const std::string& filter() const { return m_filter; }
    void setRoutedOnly(bool routedOnly);
    bool routedOnly() const { return m_routedOnly; }
    void setStereo(bool stereo) { m_stereo = stereo; }
    bool stereo() const { return m_stereo; }
    void toggleFold(int side, int group);
    void setAllFolded(bool folded);
    // The titles of the folded groups of a side, kept by title so they survive
    // a rebuild and a restart.
    const std::set<std::string>& foldedTitles(int side) const;
    void setFoldedTitles(int side, std::set<std::string> titles);

    // While held (the pointer is over the cells), "show routed only" does not
    // add or drop lines when routes change, so nothing moves under the
    // pointer; the lines catch up on release. Returns whether they changed.
    bool setLayoutHeld(bool held);
    bool layoutHeld() const { return m_layoutHeld; }
    bool layoutStale() const { return m_layoutStale; }

    // The cursor cell the keyboard moves: kept as its channel pair, so it
    // stays on its channels when lines fold, filter or swap. Empty on an
    // empty grid.
    std::optional<std::pair<int, int>> cursor() const;
    void setCursor(int row, int column);
    // `page` is the number of lines a page holds. In Stereo the cursor steps
    // pair by pair.
    void moveCursor(CursorMove move, int page = 1);
    // The lines a cell's highlight covers on an axis: its pair in Stereo.
    std::pair<int, int> highlightSpan(const CGridAxis& axis, int line) const;
    // What the view says when it shows no cell.
    std::string emptyText() const;

    const CGridAxis& inputs() const { return m_inputs; }
    const CGridAxis& outputs() const { return m_outputs; }
    const CGridAxis& rows() const { return m_swapped ? m_inputs : m_outputs; }
    const CGridAxis& columns() const { return m_swapped ? m_outputs : m_inputs; }
    int rowCount() const { return rows().lineCount(); }
    int columnCount() const { return columns().lineCount(); }

    // The channel pair of a visible cell; empty outside the grid or on a
    // folded line.
    std::optional<GridRoute> cellAt(int row, int column) const;
    // The visible cell of a channel pair, or empty when hidden or folded.
    std::optional<std::pair<int, int>> cellOf(int output, int input) const;
    // A line's edge text: a channel's name, or a folded group's title with its size.
    std::string lineText(const CGridAxis& axis, int line) const;
    // "OUTPUT CARD3 12 ← INPUT MADI 40", with the cell's state.
    std::string hoverText(int row, int column) const;
    std::optional<CellMark> markAt(int output, int input) const;

    // Every mark inside the visible rectangle (rows and columns inclusive),
    // in row-axis order. A folded group's line carries the marks of all its
    // channels. Cost follows the outputs shown, not the cells.
    template <typename F>
    void forEachMark(int firstRow, int lastRow, int firstColumn, int lastColumn, F&& visit) const;

    // A click on a cell: route it, or unroute a routed cell (with its pair in
    // Stereo). Empty outside the grid or on a folded line.
    GridPlan clickPlan(int row, int column) const;
    // A drag from one cell to another: the diagonal run of visible lines from
    // the first cell, one input to one output (pairs in Stereo).
    GridPlan dragPlan(int row0, int column0, int row1, int column1) const;

    void setPreview(std::optional<CCrosspointPreview> preview);
    const CCrosspointPreview* preview() const { return m_preview ? &*m_preview : nullptr; }
    CCrosspointPreview* preview() { return m_preview ? &*m_preview : nullptr; }

private:
    void buildAxis(CGridAxis& axis, int side);
    void layoutAxis(CGridAxis& axis);
    bool lineWanted(const CGridAxis& axis, int channel) const;
    void update(bool force);
    void relayout();
    int stepLine(const CGridAxis& axis, int line, int step) const;
    static int anchorOf(const CGridAxis& axis, int line);
    void replacedBy(GridPlan& plan) const;
    bool routedHere(const CGridAxis& axis, int channel) const;
    void addRoute(GridPlan& plan, int output, int input) const;
    int pendingOf(int output) const; // -1 none
    int refusedOf(int output) const; // -1 none

    const DeviceState& m_state;
    const CRouteJournal& m_journal;
    CGridAxis m_inputs;
    CGridAxis m_outputs;
    bool m_swapped = false;
    bool m_routedOnly = false;
    bool m_stereo = false;
    std::string m_filter;                  // lower case
    std::set<std::string> m_folded[2];     // group titles folded per side
    std::vector<std::uint8_t> m_inputUsed; // inputs feeding an output, for "routed only"
    std::optional<CCrosspointPreview> m_preview;
    bool m_layoutHeld = false;
    bool m_layoutStale = false;
    // The cursor's channels (a folded line's is its group's first), 0: none.
    int m_cursorOutput = 0;
    int m_cursorInput = 0;
    int m_cursorOutputLine = 0;
    int m_cursorInputLine = 0;
    int m_builtCount = 0;
    int m_builtFamily = -1;
};

// ---- inline ----------------------------------------------------------------

template <typename F>
void CGridModel::forEachMark(int firstRow, int lastRow, int firstColumn, int lastColumn,
                             F&& visit) const {
    const CGridAxis& outs = m_outputs;
    const CGridAxis& ins = m_inputs;
    // The output axis is walked over its visible part; the input axis filters.
    const int firstOut = std::max(0, m_swapped ? firstColumn : firstRow);
    const int lastOut = std::min(outs.lineCount() - 1, m_swapped ? lastColumn : lastRow);
    const int firstIn = m_swapped ? firstRow : firstColumn;
    const int lastIn = m_swapped ? lastRow : lastColumn;
    const auto emit = [&](int outLine, int input, CellMark mark) {
        if (input <= 0)
            return;
        const int inLine = ins.lineOf(input);
        if (inLine >= firstIn && inLine <= lastIn)
            visit(GridMark{outLine, inLine, mark});
    };
    const auto channelMarks = [&](int outLine, int output) {
        const int routed = m_state.live.crosspoints[static_cast<std::size_t>(output)];
        if (m_preview) {
            const PreviewKind kind = m_preview->kindOf(m_state, output);
            if (kind == PreviewKind::Added)
                emit(outLine, m_preview->fileInput(output), CellMark::PreviewAdded);
            else if (kind == PreviewKind::Replaced) {
                emit(outLine, routed, CellMark::PreviewRemoved);
                emit(outLine, m_preview->fileInput(output), CellMark::PreviewReplaced);
            } else if (kind == PreviewKind::Removed)
                emit(outLine, routed, CellMark::PreviewRemoved);
            if (kind != PreviewKind::None && kind != PreviewKind::Unchanged)
                return;
        }
        emit(outLine, routed, CellMark::Routed);
        // A pending unroute is shown on the route it takes away.
        if (const int pending = pendingOf(output); pending >= 0 && pending != routed)
            emit(outLine, pending > 0 ? pending : routed, CellMark::Pending);
        if (const int refused = refusedOf(output); refused > 0 && refused != routed)
            emit(outLine, refused, CellMark::Refused);
    };
    for (int line = firstOut; line <= lastOut; ++line) {
        const GridLine& l = outs.lines[static_cast<std::size_t>(line)];
        if (l.channel != 0) {
            channelMarks(line, l.channel);
            continue;
        }
        for (int output : outs.groups[static_cast<std::size_t>(l.group)].channels)
            channelMarks(line, output);
    }
}

} // namespace velmar
