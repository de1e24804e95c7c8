#include "grid/GridModel.h"

#include "grid/EdgeText.h"
#include "grid/RouteJournal.h"
#include "main/Crosspoints.h"
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
    routesChanged();
}

void CGridModel::routesChanged() {
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
    layoutAxis(m_inputs);
    layoutAxis(m_outputs);
}

void CGridModel::setFilter(std::string_view text) {
    m_filter = lower(text);
    // Blanks around a typed name are not part of it.
    while (!m_filter.empty() && m_filter.back() == ' ')
        m_filter.pop_back();
    while (!m_filter.empty() && m_filter.front() == ' ')
        m_filter.erase(m_filter.begin());
    routesChanged();
}

void CGridModel::setRoutedOnly(bool routedOnly) {
    m_routedOnly = routedOnly;
    routesChanged();
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
    layoutAxis(axis);
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
        layoutAxis(axis);
    }
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
        return plan;
    }
    // A stereo gang routes the pair the cell belongs to, left to left.
    const auto [outLeft, outRight] = m_outputs.stereoPair(cell->output);
    const auto [inLeft, inRight] = m_inputs.stereoPair(cell->input);
    addRoute(plan, outLeft, inLeft);
    if (outRight != 0 && inRight != 0)
        addRoute(plan, outRight, inRight);
    return plan;
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
    return plan;
}

void CGridModel::setPreview(std::optional<CCrosspointPreview> preview) {
    m_preview = std::move(preview);
    routesChanged();
}

} // namespace velmar
