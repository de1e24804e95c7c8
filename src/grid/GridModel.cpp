#include "grid/GridModel.h"

#include "grid/EdgeText.h"
#include "grid/RouteJournal.h"
#include "engine/Crosspoints.h"
#include "protocol/ChannelNames.h"

#include <cctype>
#include <cstdlib>

namespace velmar {

namespace {

constexpr std::size_t at(int index) { return static_cast<std::size_t>(index); }

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool validChannel(int channel) { return channel >= 1 && channel <= kMaxCrosspoints; }

} // namespace

// ---- axis -------------------------------------------------------------------

int CGridAxis::lineOf(int channel) const {
    return validChannel(channel) && !m_lineOfChannel.empty() ? m_lineOfChannel[at(channel)] : -1;
}

const GridLine* CGridAxis::line(int index) const {
    return index >= 0 && index < lineCount() ? &lines[at(index)] : nullptr;
}

std::pair<int, int> CGridAxis::stereoPair(int channel) const {
    if (!validChannel(channel) || m_groupOfChannel.empty() || m_groupOfChannel[at(channel)] < 0)
        return {channel, 0};
    const GridGroup& g = groups[at(m_groupOfChannel[at(channel)])];
    const int index = m_indexInGroup[at(channel)];
    const int left = index - index % 2;
    const int right = left + 1;
    return {g.channels[at(left)],
            right < static_cast<int>(g.channels.size()) ? g.channels[at(right)] : 0};
}

// ---- preview ----------------------------------------------------------------

CCrosspointPreview::CCrosspointPreview(const CrosspointFileContent& content, int crosspointCount,
                                       bool clearUnlisted)
    : m_table(content.table), m_leftOut(content.leftOut),
      m_count(std::clamp(crosspointCount, 0, kMaxCrosspoints)), m_clearUnlisted(clearUnlisted) {}

int CCrosspointPreview::fileInput(int output) const {
    return output >= 1 && output <= m_count ? m_table[at(output)] : 0;
}

PreviewKind CCrosspointPreview::kindOf(const DeviceState& state, int output) const {
    if (output < 1 || output > m_count)
        return PreviewKind::None;
    const int file = m_table[at(output)];
    const int now = std::max(0, state.live.crosspoints[at(output)]);
    if (file > 0) {
        if (now == file)
            return PreviewKind::Unchanged;
        return now == 0 ? PreviewKind::Added : PreviewKind::Replaced;
    }
    return m_clearUnlisted && now > 0 ? PreviewKind::Removed : PreviewKind::None;
}

PreviewCounts CCrosspointPreview::counts(const DeviceState& state) const {
    PreviewCounts c;
    for (int output = 1; output <= m_count; ++output) {
        switch (kindOf(state, output)) {
        case PreviewKind::Added: ++c.added; break;
        case PreviewKind::Replaced: ++c.replaced; break;
        case PreviewKind::Removed: ++c.removed; break;
        case PreviewKind::Unchanged: ++c.unchanged; break;
        case PreviewKind::None: break;
        }
    }
    return c;
}

std::string CCrosspointPreview::summary(const DeviceState& state) const {
    const PreviewCounts c = counts(state);
    return std::to_string(c.added) + " added, " + std::to_string(c.replaced) + " replaced, " +
           std::to_string(c.removed) + " removed, " + std::to_string(c.unchanged) + " unchanged";
}

std::vector<GridRoute> CCrosspointPreview::routesToSend(const DeviceState& state) const {
    std::vector<GridRoute> out;
    for (int output = 1; output <= m_count; ++output) {
        switch (kindOf(state, output)) {
        case PreviewKind::Added:
        case PreviewKind::Replaced: out.push_back({output, m_table[at(output)]}); break;
        case PreviewKind::Removed: out.push_back({output, 0}); break;
        default: break;
        }
    }
    return out;
}

// ---- model ------------------------------------------------------------------

CGridModel::CGridModel(const DeviceState& state, const CRouteJournal& journal)
    : m_state(state), m_journal(journal), m_inputUsed(kMaxCrosspoints + 1, 0) {
    m_inputs.side = kSideInput;
    m_outputs.side = kSideOutput;
    rebuild();
}

int CGridModel::pendingOf(int output) const { return m_journal.pendingInput(output); }

int CGridModel::refusedOf(int output) const { return m_journal.refusedInput(output); }

void CGridModel::buildAxis(CGridAxis& axis, int side) {
    axis.groups.clear();
    const int count = m_state.crosspointCount();
    for (const TypeEntry& type : typeListFor(m_state, side)) {
        GridGroup g{type.text, type.type, {}, false};
        for (const ChannelEntry& e : channelListFor(m_state, side, type.type, false))
            if (e.channel >= 1 && e.channel <= count)
                g.channels.push_back(e.channel);
        if (!g.channels.empty())
            axis.groups.push_back(std::move(g));
    }
    axis.m_groupOfChannel.assign(kMaxCrosspoints + 1, -1);
    axis.m_indexInGroup.assign(kMaxCrosspoints + 1, -1);
    for (std::size_t gi = 0; gi < axis.groups.size(); ++gi) {
        GridGroup& g = axis.groups[gi];
        g.folded = m_folded[side == kSideOutput ? 1 : 0].count(g.title) != 0;
        for (std::size_t k = 0; k < g.channels.size(); ++k) {
            axis.m_groupOfChannel[at(g.channels[k])] = static_cast<int>(gi);
            axis.m_indexInGroup[at(g.channels[k])] = static_cast<int>(k);
        }
    }
}

bool CGridModel::routedHere(const CGridAxis& axis, int channel) const {
    if (axis.side == kSideInput)
        return m_inputUsed[at(channel)] != 0;
    if (m_state.live.crosspoints[at(channel)] > 0 || pendingOf(channel) >= 0 ||
        refusedOf(channel) > 0)
        return true;
    return m_preview && m_preview->kindOf(m_state, channel) != PreviewKind::None &&
           m_preview->kindOf(m_state, channel) != PreviewKind::Unchanged;
}

bool CGridModel::lineWanted(const CGridAxis& axis, int channel) const {
    if (m_routedOnly && !routedHere(axis, channel))
        return false;
    if (m_filter.empty())
        return true;
    return lower(edgeText(channel)).find(m_filter) != std::string::npos ||
           lower(channelDisplayName(channel)).find(m_filter) != std::string::npos;
}

void CGridModel::layoutAxis(CGridAxis& axis) {
    axis.lines.clear();
    axis.m_lineOfChannel.assign(kMaxCrosspoints + 1, -1);
    for (std::size_t gi = 0; gi < axis.groups.size(); ++gi) {
        const GridGroup& g = axis.groups[gi];
        // A group whose title matches the filter shows all its channels.
        const bool titleMatches =
            !m_filter.empty() && lower(g.title).find(m_filter) != std::string::npos;
        std::vector<int> shown;
        for (int channel : g.channels) {
            const bool wanted = titleMatches ? (!m_routedOnly || routedHere(axis, channel))
                                             : lineWanted(axis, channel);
            if (wanted)
                shown.push_back(channel);
        }
        if (shown.empty())
            continue;
        const int group = static_cast<int>(gi);
        if (g.folded) {
            // Every channel of a folded group shows on its one line, so its
            // routes stay visible as a mark there.
            for (int channel : g.channels)
                axis.m_lineOfChannel[at(channel)] = axis.lineCount();
            axis.lines.push_back({group, 0, true});
            continue;
        }
        for (std::size_t k = 0; k < shown.size(); ++k) {
            axis.m_lineOfChannel[at(shown[k])] = axis.lineCount();
            axis.lines.push_back({group, shown[k], k == 0});
        }
    }
}

void CGridModel::rebuild() {
    m_builtCount = m_state.crosspointCount();
    m_builtFamily = m_state.family;
    buildAxis(m_inputs, kSideInput);
    buildAxis(m_outputs, kSideOutput);
    update(true);
}

void CGridModel::routesChanged() { update(false); }

void CGridModel::update(bool force) {
    // The first list of routes may come with the frame's real size.
    if (m_state.crosspointCount() != m_builtCount || m_state.family != m_builtFamily) {
        rebuild();
        return;
    }
    std::fill(m_inputUsed.begin(), m_inputUsed.end(), 0);
    const int count = m_state.crosspointCount();
    for (int output = 1; output <= count; ++output) {
        for (int input : {static_cast<int>(m_state.live.crosspoints[at(output)]), pendingOf(output),
                          refusedOf(output), m_preview ? m_preview->fileInput(output) : 0})
            if (validChannel(input))
                m_inputUsed[at(input)] = 1;
    }
    // Only "show routed only" adds and drops lines as routes change.
    if (!force && m_layoutHeld && m_routedOnly) {
        m_layoutStale = true;
        return;
    }
    relayout();
}

void CGridModel::relayout() {
    layoutAxis(m_inputs);
    layoutAxis(m_outputs);
    m_layoutStale = false;
}

bool CGridModel::setLayoutHeld(bool held) {
    m_layoutHeld = held;
    if (held || !m_layoutStale)
        return false;
    relayout();
    return true;
}

void CGridModel::setFilter(std::string_view text) {
    m_filter = lower(text);
    // Blanks around a typed name are not part of it.
    while (!m_filter.empty() && m_filter.back() == ' ')
        m_filter.pop_back();
    while (!m_filter.empty() && m_filter.front() == ' ')
        m_filter.erase(m_filter.begin());
    update(true);
}

void CGridModel::setRoutedOnly(bool routedOnly) {
    m_routedOnly = routedOnly;
    update(true);
}

void CGridModel::toggleFold(int side, int group) {
    CGridAxis& axis = side == kSideOutput ? m_outputs : m_inputs;
    if (group < 0 || group >= static_cast<int>(axis.groups.size()))
        return;
    GridGroup& g = axis.groups[at(group)];
    g.folded = !g.folded;
    auto& folded = m_folded[side == kSideOutput ? 1 : 0];
    if (g.folded)
        folded.insert(g.title);
    else
        folded.erase(g.title);
    relayout();
}

void CGridModel::setAllFolded(bool fold) {
    for (int side : {kSideInput, kSideOutput}) {
        CGridAxis& axis = side == kSideOutput ? m_outputs : m_inputs;
        auto& folded = m_folded[side == kSideOutput ? 1 : 0];
        folded.clear();
        for (GridGroup& g : axis.groups) {
            g.folded = fold;
            if (fold)
                folded.insert(g.title);
        }
    }
    relayout();
}

const std::set<std::string>& CGridModel::foldedTitles(int side) const {
    return m_folded[side == kSideOutput ? 1 : 0];
}

void CGridModel::setFoldedTitles(int side, std::set<std::string> titles) {
    CGridAxis& axis = side == kSideOutput ? m_outputs : m_inputs;
    auto& folded = m_folded[side == kSideOutput ? 1 : 0];
    folded = std::move(titles);
    for (GridGroup& g : axis.groups)
        g.folded = folded.count(g.title) != 0;
    relayout();
}

// ---- cursor -----------------------------------------------------------------

int CGridModel::anchorOf(const CGridAxis& axis, int line) {
    const GridLine* l = axis.line(line);
    if (l == nullptr)
        return 0;
    return l->channel != 0 ? l->channel : axis.groups[at(l->group)].channels.front();
}

std::optional<std::pair<int, int>> CGridModel::cursor() const {
    if (rowCount() == 0 || columnCount() == 0)
        return std::nullopt;
    // A channel filtered away leaves the cursor where its line was.
    const auto lineOf = [](const CGridAxis& axis, int channel, int last) {
        const int line = axis.lineOf(channel);
        return line >= 0 ? line : std::clamp(last, 0, axis.lineCount() - 1);
    };
    const int outLine = lineOf(m_outputs, m_cursorOutput, m_cursorOutputLine);
    const int inLine = lineOf(m_inputs, m_cursorInput, m_cursorInputLine);
    return m_swapped ? std::pair{inLine, outLine} : std::pair{outLine, inLine};
}

void CGridModel::setCursor(int row, int column) {
    if (rows().line(row) == nullptr || columns().line(column) == nullptr)
        return;
    const int outLine = m_swapped ? column : row;
    const int inLine = m_swapped ? row : column;
    m_cursorOutput = anchorOf(m_outputs, outLine);
    m_cursorInput = anchorOf(m_inputs, inLine);
    m_cursorOutputLine = outLine;
    m_cursorInputLine = inLine;
}

std::pair<int, int> CGridModel::highlightSpan(const CGridAxis& axis, int line) const {
    const GridLine* l = axis.line(line);
    if (!m_stereo || l == nullptr || l->channel == 0)
        return {line, line};
    const auto [left, right] = axis.stereoPair(l->channel);
    const int first = axis.lineOf(left);
    const int last = right != 0 ? axis.lineOf(right) : -1;
    return {first >= 0 ? first : line, last >= 0 ? last : line};
}

int CGridModel::stepLine(const CGridAxis& axis, int line, int step) const {
    const int last = axis.lineCount() - 1;
    if (!m_stereo)
        return std::clamp(line + step, 0, last);
    // Stereo steps from pair to pair and lands on a pair's left channel.
    const auto [first, end] = highlightSpan(axis, line);
    int target = line + step;
    if (step == 1)
        target = end + 1;
    else if (step == -1)
        target = first - 1;
    target = std::clamp(target, 0, last);
    return highlightSpan(axis, target).first;
}

void CGridModel::moveCursor(CursorMove move, int page) {
    const std::optional<std::pair<int, int>> now = cursor();
    if (!now)
        return;
    auto [row, column] = *now;
    const int lastRow = rowCount() - 1;
    const int lastColumn = columnCount() - 1;
    page = std::max(1, page);
    switch (move) {
    case CursorMove::Up: row = stepLine(rows(), row, -1); break;
    case CursorMove::Down: row = stepLine(rows(), row, 1); break;
    case CursorMove::Left: column = stepLine(columns(), column, -1); break;
    case CursorMove::Right: column = stepLine(columns(), column, 1); break;
    case CursorMove::PageUp: row = stepLine(rows(), row, -page); break;
    case CursorMove::PageDown: row = stepLine(rows(), row, page); break;
    case CursorMove::Home: column = 0; break;
    case CursorMove::End: column = stepLine(columns(), lastColumn, 0); break;
    case CursorMove::First: row = column = 0; break;
    case CursorMove::Last:
        row = stepLine(rows(), lastRow, 0);
        column = stepLine(columns(), lastColumn, 0);
        break;
    }
    setCursor(row, column);
}

std::string CGridModel::emptyText() const {
    if (!m_state.connected)
        return "Not connected: choose a frame in the device list to see its crosspoints.";
    if (m_state.runMode != kRunModeApplication)
        return "The frame runs in recovery mode: it routes nothing until its firmware runs.";
    if (m_inputs.groups.empty() || m_outputs.groups.empty())
        return "This frame has no routing matrix.";
    std::string text;
    if (!m_filter.empty()) {
        text = "No channel matches \"";
        text += m_filter;
        text += m_routedOnly ? "\" among the routed ones: clear the find box or untick "
                               "\"Show routed only\"."
                             : "\": clear the find box.";
        return text;
    }
    if (m_routedOnly)
        return "Nothing is routed on this frame yet: untick \"Show routed only\" to see every "
               "channel and route.";
    return text;
}

std::optional<GridRoute> CGridModel::cellAt(int row, int column) const {
    const GridLine* r = rows().line(row);
    const GridLine* c = columns().line(column);
    if (r == nullptr || c == nullptr || r->channel == 0 || c->channel == 0)
        return std::nullopt;
    return m_swapped ? GridRoute{c->channel, r->channel} : GridRoute{r->channel, c->channel};
}

std::optional<std::pair<int, int>> CGridModel::cellOf(int output, int input) const {
    const int outLine = m_outputs.lineOf(output);
    const int inLine = m_inputs.lineOf(input);
    if (outLine < 0 || inLine < 0 || m_outputs.lines[at(outLine)].channel != output ||
        m_inputs.lines[at(inLine)].channel != input)
        return std::nullopt;
    return m_swapped ? std::pair{inLine, outLine} : std::pair{outLine, inLine};
}

std::string CGridModel::lineText(const CGridAxis& axis, int line) const {
    const GridLine* l = axis.line(line);
    if (l == nullptr)
        return {};
    if (l->channel != 0)
        return edgeText(l->channel);
    const GridGroup& g = axis.groups[at(l->group)];
    return g.title + " (" + std::to_string(g.channels.size()) + ")";
}

std::optional<CellMark> CGridModel::markAt(int output, int input) const {
    if (!validChannel(output) || input < 1)
        return std::nullopt;
    const int routed = m_state.live.crosspoints[at(output)];
    if (m_preview) {
        const PreviewKind kind = m_preview->kindOf(m_state, output);
        const int file = m_preview->fileInput(output);
        if (kind == PreviewKind::Added && file == input)
            return CellMark::PreviewAdded;
        if (kind == PreviewKind::Replaced && file == input)
            return CellMark::PreviewReplaced;
        if ((kind == PreviewKind::Replaced || kind == PreviewKind::Removed) && routed == input)
            return CellMark::PreviewRemoved;
    }
    const int pending = pendingOf(output);
    if (pending == input || (pending == 0 && routed == input))
        return CellMark::Pending;
    if (refusedOf(output) == input && routed != input)
        return CellMark::Refused;
    if (routed == input)
        return CellMark::Routed;
    return std::nullopt;
}

std::string CGridModel::hoverText(int row, int column) const {
    const GridLine* r = rows().line(row);
    const GridLine* c = columns().line(column);
    if (r == nullptr || c == nullptr)
        return {};
    const GridLine* out = m_swapped ? c : r;
    const GridLine* in = m_swapped ? r : c;
    if (out->channel == 0 || in->channel == 0) {
        const auto part = [](const CGridAxis& axis, const GridLine& l) {
            return l.channel != 0 ? edgeText(l.channel)
                                  : axis.groups[at(l.group)].title + " (folded)";
        };
        return "OUTPUT " + part(m_outputs, *out) + " \u2190 INPUT " + part(m_inputs, *in);
    }
    std::string text = routeReadout(out->channel, in->channel);
    if (m_stereo) {
        // Stereo routes the pairs: name both channels of each.
        const auto [outLeft, outRight] = m_outputs.stereoPair(out->channel);
        const auto [inLeft, inRight] = m_inputs.stereoPair(in->channel);
        if (outRight != 0 && inRight != 0) {
            const auto pairName = [](int left, int right) {
                std::string name = edgeText(left);
                const std::string second = edgeText(right);
                name += '+';
                name += second.substr(second.rfind(' ') + 1);
                return name;
            };
            text = "OUTPUT ";
            text += pairName(outLeft, outRight);
            text += " \u2190 INPUT ";
            text += pairName(inLeft, inRight);
        }
    }
    if (const std::optional<CellMark> mark = markAt(out->channel, in->channel)) {
        switch (*mark) {
        case CellMark::Routed: text += "  (routed)"; break;
        case CellMark::Pending: text += "  (sent, waiting for the frame)"; break;
        case CellMark::Refused:
            text += "  (refused: " + m_journal.refusalReason(out->channel) + ")";
            break;
        case CellMark::PreviewAdded: text += "  (the file adds this route)"; break;
        case CellMark::PreviewReplaced: text += "  (the file moves the output here)"; break;
        case CellMark::PreviewRemoved: text += "  (the file takes this route away)"; break;
        }
    }
    return text;
}

void CGridModel::addRoute(GridPlan& plan, int output, int input) const {
    if (output < 1 || output > m_state.crosspointCount() || input < 0 ||
        input > m_state.crosspointCount())
        return;
    for (const GridRoute& r : plan.routes)
        if (r.output == output)
            return;
    plan.routes.push_back({output, input});
}

GridPlan CGridModel::clickPlan(int row, int column) const {
    GridPlan plan;
    const std::optional<GridRoute> cell = cellAt(row, column);
    if (!cell)
        return plan;
    const bool routed =
        m_state.live.crosspoints[at(cell->output)] == cell->input && pendingOf(cell->output) < 0;
    if (routed) {
        plan.unroute = true;
        if (!m_stereo) {
            addRoute(plan, cell->output, 0);
            return plan;
        }
        const auto [left, right] = m_outputs.stereoPair(cell->output);
        addRoute(plan, left, 0);
        if (right != 0)
            addRoute(plan, right, 0);
        return plan;
    }
    if (!m_stereo) {
        addRoute(plan, cell->output, cell->input);
        replacedBy(plan);
        return plan;
    }
    // A stereo gang routes the pair the cell belongs to, left to left.
    const auto [outLeft, outRight] = m_outputs.stereoPair(cell->output);
    const auto [inLeft, inRight] = m_inputs.stereoPair(cell->input);
    addRoute(plan, outLeft, inLeft);
    if (outRight != 0 && inRight != 0)
        addRoute(plan, outRight, inRight);
    replacedBy(plan);
    return plan;
}

void CGridModel::replacedBy(GridPlan& plan) const {
    // What the output has, or is about to have once the frame answers.
    for (const GridRoute& r : plan.routes) {
        const int pending = pendingOf(r.output);
        const int now =
            pending >= 0 ? pending : std::max(0, int{m_state.live.crosspoints[at(r.output)]});
        if (r.input > 0 && now > 0 && now != r.input)
            plan.replaced.push_back({r.output, now});
    }
}

GridPlan CGridModel::dragPlan(int row0, int column0, int row1, int column1) const {
    GridPlan plan;
    const int dr = row1 >= row0 ? 1 : -1;
    const int dc = column1 >= column0 ? 1 : -1;
    const int n = std::min(std::abs(row1 - row0), std::abs(column1 - column0)) + 1;
    for (int k = 0; k < n; ++k) {
        const std::optional<GridRoute> cell = cellAt(row0 + k * dr, column0 + k * dc);
        if (!cell)
            continue;
        if (!m_stereo) {
            addRoute(plan, cell->output, cell->input);
            continue;
        }
        const auto [outLeft, outRight] = m_outputs.stereoPair(cell->output);
        const auto [inLeft, inRight] = m_inputs.stereoPair(cell->input);
        addRoute(plan, outLeft, inLeft);
        if (outRight != 0 && inRight != 0)
            addRoute(plan, outRight, inRight);
    }
    replacedBy(plan);
    return plan;
}

std::string replaceQuestion(const std::vector<GridRoute>& replaced) {
    constexpr std::size_t kNamed = 5;
    std::string text;
    if (replaced.size() == 1) {
        text = "This replaces the live route ";
        text += routeReadout(replaced.front().output, replaced.front().input);
        text += ".\nReplace it?";
        return text;
    }
    text = "This replaces ";
    text += std::to_string(replaced.size());
    text += " live routes:";
    for (std::size_t k = 0; k < replaced.size() && k < kNamed; ++k) {
        text += '\n';
        text += routeReadout(replaced[k].output, replaced[k].input);
    }
    if (replaced.size() > kNamed) {
        text += "\n... and ";
        text += std::to_string(replaced.size() - kNamed);
        text += " more";
    }
    text += "\nReplace them?";
    return text;
}

void CGridModel::setPreview(std::optional<CCrosspointPreview> preview) {
    m_preview = std::move(preview);
    update(true);
}

} // namespace velmar
