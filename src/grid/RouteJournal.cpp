#include "grid/RouteJournal.h"

#include "grid/EdgeText.h"
#include "engine/XyBurst.h"

#include <algorithm>

namespace velmar {

namespace {

constexpr std::size_t at(int index) { return static_cast<std::size_t>(index); }

std::string routesText(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " route" : " routes");
}

} // namespace

CRouteJournal::CRouteJournal(const DeviceState& state, IRequestSink& out, ITimerHost& timers,
                             IQuestions& questions)
    : m_state(state), m_out(out), m_timers(timers), m_questions(questions),
      m_pending(kMaxCrosspoints + 1), m_refusedInput(kMaxCrosspoints + 1, -1),
      m_refusalReason(kMaxCrosspoints + 1) {}

bool CRouteJournal::allowed() const {
    return m_state.connected && !m_state.programming && !(m_busy && m_busy());
}

void CRouteJournal::sendRequest(DeviceMessage message) {
    if (message.command != CommandId::scross) {
        m_out.sendRequest(message);
        return;
    }
    const int output = message.i(1);
    const int input = message.i(2);
    if (output < 1 || output > kMaxCrosspoints) {
        m_out.sendRequest(message);
        return;
    }
    std::uint64_t step = 0;
    if (m_inBatch) {
        step = m_batch.id;
        const auto it = std::find_if(m_batch.changes.begin(), m_batch.changes.end(),
                                     [output](const RouteChange& c) { return c.output == output; });
        if (it != m_batch.changes.end()) {
            // The same output twice in one action: its earlier request is
            // answered first and dropped from the step; the last one counts.
            it->after = input;
            it->confirmed = false;
        } else {
            m_batch.changes.push_back({output, m_state.live.crosspoints[at(output)], input, false});
        }
    }
    send(output, input, step);
}

void CRouteJournal::send(int output, int input, std::uint64_t step) {
    m_out.sendRequest(crosspointRequest(output, input));
    m_pending[at(output)].push_back({input, kRouteWaitTicks, step});
    m_refusedInput[at(output)] = -1;
    m_refusalReason[at(output)].clear();
    if (m_pendingCount++ == 0)
        m_timers.startTimer(kTimerRouteWait, kRouteTickMs);
    marksChanged();
}

void CRouteJournal::beginBatch(std::string label) {
    if (m_inBatch)
        return; // nested actions join the outer one
    m_inBatch = true;
    m_batch = {m_nextStep++, std::move(label), {}};
}

void CRouteJournal::endBatch() {
    if (!m_inBatch)
        return;
    m_inBatch = false;
    if (m_batch.changes.empty())
        return;
    // Each change is confirmed or dropped as replies arrive; a step whose
    // replies came back within the batch already holds their outcome.
    m_undo.push_back(std::move(m_batch));
    m_batch = {};
    if (m_undo.size() > kMaxRouteSteps)
        m_undo.erase(m_undo.begin());
    m_redo.clear();
    marksChanged();
}

RouteChange* CRouteJournal::changeOf(std::uint64_t step, int output) {
    if (step == 0)
        return nullptr;
    const auto find = [&](RouteStep& s) -> RouteChange* {
        if (s.id != step)
            return nullptr;
        for (RouteChange& c : s.changes)
            if (c.output == output)
                return &c;
        return nullptr;
    };
    if (m_inBatch)
        if (RouteChange* c = find(m_batch))
            return c;
    for (auto* stack : {&m_undo, &m_redo})
        for (RouteStep& s : *stack)
            if (RouteChange* c = find(s))
                return c;
    return nullptr;
}

void CRouteJournal::dropChange(std::uint64_t step, int output) {
    if (step == 0)
        return;
    const auto drop = [&](RouteStep& s) {
        if (s.id == step)
            std::erase_if(s.changes, [output](const RouteChange& c) { return c.output == output; });
    };
    if (m_inBatch)
        drop(m_batch);
    for (auto* stack : {&m_undo, &m_redo}) {
        for (RouteStep& s : *stack)
            drop(s);
        // A step all of whose routes failed changed nothing: nothing to undo.
        std::erase_if(*stack, [](const RouteStep& s) { return s.changes.empty(); });
    }
}

void CRouteJournal::settle(int output, bool confirmed, std::string reason) {
    std::vector<Pending>& queue = m_pending[at(output)];
    const Pending p = queue.front();
    queue.erase(queue.begin());
    if (--m_pendingCount == 0)
        m_timers.stopTimer(kTimerRouteWait);
    RouteChange* change = changeOf(p.step, output);
    if (confirmed) {
        // An earlier request of the same step for this output is answered
        // first: only the one the step keeps confirms it.
        if (change != nullptr && change->after == p.input)
            change->confirmed = true;
    } else {
        m_refusedInput[at(output)] = p.input;
        m_refusalReason[at(output)] = std::move(reason);
        if (change != nullptr && change->after == p.input)
            dropChange(p.step, output);
    }
    marksChanged();
}

void CRouteJournal::onMessage(const DeviceMessage& message, bool isReply) {
    if (message.command != CommandId::scross)
        return;
    const int output = message.i(1);
    if (output < 1 || output > kMaxCrosspoints)
        return;
    if (!isReply) {
        // Another client routed this output: an old refusal no longer describes it.
        if (m_refusedInput[at(output)] >= 0) {
            m_refusedInput[at(output)] = -1;
            m_refusalReason[at(output)].clear();
            marksChanged();
        }
        return;
    }
    if (m_pending[at(output)].empty())
        return;
    const int asked = m_pending[at(output)].front().input;
    if (message.status != 0) {
        settle(output, false,
               "the frame refused it (status " + std::to_string(message.status) + ")");
        return;
    }
    const int reported = message.i(2);
    if (reported == asked)
        settle(output, true, {});
    else
        settle(output, false,
               "the frame routed " +
                   (reported > 0 ? "INPUT " + edgeText(reported) : std::string("nothing")) +
                   " instead");
}

void CRouteJournal::onTimer(int id) {
    if (id != kTimerRouteWait)
        return;
    std::vector<std::pair<int, int>> expired; // output, input
    for (int output = 1; output <= kMaxCrosspoints; ++output) {
        std::vector<Pending>& queue = m_pending[at(output)];
        for (Pending& p : queue)
            --p.ticksLeft;
        while (!queue.empty() && queue.front().ticksLeft <= 0) {
            const Pending p = queue.front();
            queue.erase(queue.begin());
            --m_pendingCount;
            expired.emplace_back(output, p.input);
            if (RouteChange* c = changeOf(p.step, output); c != nullptr && c->after == p.input)
                dropChange(p.step, output);
        }
    }
    if (m_pendingCount == 0)
        m_timers.stopTimer(kTimerRouteWait);
    if (expired.empty())
        return;
    std::string text = "No answer from the frame for " + routesText(expired.size()) + " (" +
                       routeReadout(expired.front().first, expired.front().second);
    if (expired.size() > 1)
        text += ", ...";
    text += "): the grid shows what the frame last reported";
    status(text);
    marksChanged();
}

void CRouteJournal::clear() {
    for (std::vector<Pending>& queue : m_pending)
        queue.clear();
    if (m_pendingCount != 0)
        m_timers.stopTimer(kTimerRouteWait);
    m_pendingCount = 0;
    std::fill(m_refusedInput.begin(), m_refusedInput.end(), -1);
    for (std::string& r : m_refusalReason)
        r.clear();
    m_undo.clear();
    m_redo.clear();
    m_inBatch = false;
    m_batch = {};
    marksChanged();
}

int CRouteJournal::pendingInput(int output) const {
    if (output < 1 || output > kMaxCrosspoints || m_pending[at(output)].empty())
        return -1;
    return m_pending[at(output)].back().input;
}

int CRouteJournal::refusedInput(int output) const {
    return output >= 1 && output <= kMaxCrosspoints ? m_refusedInput[at(output)] : -1;
}

std::string CRouteJournal::refusalReason(int output) const {
    return output >= 1 && output <= kMaxCrosspoints ? m_refusalReason[at(output)] : std::string();
}

namespace {

bool settled(const RouteStep& step) {
    return std::all_of(step.changes.begin(), step.changes.end(),
                       [](const RouteChange& c) { return c.confirmed; });
}

} // namespace

bool CRouteJournal::canUndo() const { return !m_undo.empty() && settled(m_undo.back()); }

bool CRouteJournal::canRedo() const { return !m_redo.empty() && settled(m_redo.back()); }

std::string CRouteJournal::stepText(std::string_view verb,
                                    const std::vector<RouteStep>& steps) const {
    std::string text(verb);
    if (!steps.empty())
        text += " " + steps.back().label + " (" + routesText(steps.back().changes.size()) + ")";
    return text;
}

std::string CRouteJournal::undoText() const { return stepText(kUndoTitle, m_undo); }

std::string CRouteJournal::redoText() const { return stepText(kRedoTitle, m_redo); }

bool CRouteJournal::undo() { return travel(m_undo, m_redo, kUndoTitle); }

bool CRouteJournal::redo() { return travel(m_redo, m_undo, kRedoTitle); }

bool CRouteJournal::travel(std::vector<RouteStep>& from, std::vector<RouteStep>& to,
                           std::string_view verb) {
    const std::string what(verb);
    if (from.empty()) {
        status("Nothing to " + std::string(verb == kUndoTitle ? "undo" : "redo"));
        return false;
    }
    if (!allowed()) {
        status(what + " not possible now: routes can be sent only while connected, without a "
                      "firmware transfer or burst");
        return false;
    }
    if (!settled(from.back())) {
        status(what + " waits: the frame has not yet answered every route of " + from.back().label);
        return false;
    }
    // Another client may have routed one of these outputs since: undoing
    // would silently overwrite that, so the operator decides.
    std::vector<const RouteChange*> changedElsewhere;
    for (const RouteChange& c : from.back().changes)
        if (m_state.live.crosspoints[at(c.output)] != c.after)
            changedElsewhere.push_back(&c);
    if (!changedElsewhere.empty()) {
        const RouteChange& first = *changedElsewhere.front();
        std::string question =
            std::to_string(changedElsewhere.size()) +
            (changedElsewhere.size() == 1 ? " output was" : " outputs were") +
            " changed by another client since: " +
            routeReadout(first.output, m_state.live.crosspoints[at(first.output)]);
        if (changedElsewhere.size() > 1)
            question += ", ...";
        question += ".\n" + what + " anyway and route " +
                    (changedElsewhere.size() == 1 ? "it" : "them") + " as before?";
        if (!m_questions.askYesNo(what, question) || !allowed()) {
            status(what + " cancelled: nothing was sent");
            return false;
        }
    }
    RouteStep back{m_nextStep++, from.back().label, {}};
    for (const RouteChange& c : from.back().changes)
        back.changes.push_back({c.output, m_state.live.crosspoints[at(c.output)], c.before, false});
    from.pop_back();
    to.push_back(back);
    for (const RouteChange& c : back.changes)
        send(c.output, c.after, back.id);
    status(what + " " + back.label + ": " + routesText(back.changes.size()) + " sent");
    return true;
}

void CRouteJournal::status(std::string_view text) {
    if (m_report != nullptr)
        m_report->routeStatus(text);
}

void CRouteJournal::marksChanged() {
    if (m_report != nullptr)
        m_report->routeMarksChanged();
}

} // namespace velmar
