#pragma once

#include "engine/DeviceState.h"
#include "engine/EngineInterfaces.h"
#include "engine/Questions.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// The grid keeps its own timer host; this id never reaches the window's.
inline constexpr int kTimerRouteWait = 1;
inline constexpr int kRouteTickMs = 250;
// A route the frame has not answered after this many ticks (5 s) is given up.
inline constexpr int kRouteWaitTicks = 20;
// Steps kept for undo; older ones fall off.
inline constexpr std::size_t kMaxRouteSteps = 200;

// What the journal tells the window: a line for the status bar, and that
// marks or the undo state changed so the views repaint.
class IRouteReport {
public:
    virtual ~IRouteReport() = default;
    virtual void routeStatus(std::string_view text) = 0;
    virtual void routeMarksChanged() = 0;
};

// One output changed by a step: from the input it had to the one asked for.
struct RouteChange {
    int output = 0;
    int before = 0;
    int after = 0;
    bool confirmed = false;
};

// One operator action (a click, a drag, "&Connect", a file load, an undo):
// the routes it asked for, as one undo step.
struct RouteStep {
    std::uint64_t id = 0;
    std::string label;
    std::vector<RouteChange> changes;
};

// Every route the program sends goes through here, on its way to the engine.
// The journal tracks each one until the frame answers: pending while sent and
// unanswered, refused when the frame says no (with the reason), and given up
// after a time-out on its timer. Routes sent inside a batch form one undo
// step; undo sends the earlier inputs of the changed outputs as one batch,
// and asks first when another client changed one of them meanwhile. Only
// confirmed changes are undone: a refused route changed nothing.
class CRouteJournal final : public IRequestSink {
public:
    static constexpr std::string_view kUndoTitle = "Undo";
    static constexpr std::string_view kRedoTitle = "Redo";

    CRouteJournal(const DeviceState& state, IRequestSink& out, ITimerHost& timers,
                  IQuestions& questions);

    void setReport(IRouteReport* report) { m_report = report; }
    // Something outside that forbids routes now (the X-Y burst).
    void setBusy(std::function<bool()> busy) { m_busy = std::move(busy); }
    // Routes go out only while connected, without a firmware transfer or burst.
    bool allowed() const;

    // IRequestSink: every request is forwarded; routes are tracked, and inside
    // a batch recorded for undo.
    void sendRequest(DeviceMessage message) override;
    void beginBatch(std::string label);
    void endBatch();

    // A message from the frame (replies to "scross" settle pending routes).
    void onMessage(const DeviceMessage& message, bool isReply);
    void onTimer(int id);
    // Connect and disconnect: nothing pending, nothing to undo.
    void clear();

    // The input last asked for on `output` while unanswered, or -1.
    int pendingInput(int output) const;
    int pendingCount() const { return m_pendingCount; }
    // The refused input of `output` (-1 none) and why.
    int refusedInput(int output) const;
    std::string refusalReason(int output) const;

    bool canUndo() const;
    bool canRedo() const;
    // "Undo Connect (2 routes)".
    std::string undoText() const;
    std::string redoText() const;
    bool undo();
    bool redo();
    std::size_t undoDepth() const { return m_undo.size(); }
    std::size_t redoDepth() const { return m_redo.size(); }
    const std::vector<RouteStep>& undoSteps() const { return m_undo; }

private:
    struct Pending {
        int input = 0;
        int ticksLeft = 0;
        std::uint64_t step = 0; // 0: not part of an undo step
    };
    bool travel(std::vector<RouteStep>& from, std::vector<RouteStep>& to, std::string_view verb);
    void send(int output, int input, std::uint64_t step);
    void settle(int output, bool confirmed, std::string reason);
    RouteChange* changeOf(std::uint64_t step, int output);
    void dropChange(std::uint64_t step, int output);
    void status(std::string_view text);
    void marksChanged();
    std::string stepText(std::string_view verb, const std::vector<RouteStep>& steps) const;

    const DeviceState& m_state;
    IRequestSink& m_out;
    ITimerHost& m_timers;
    IQuestions& m_questions;
    IRouteReport* m_report = nullptr;
    std::function<bool()> m_busy;
    // Oldest first per output: the frame answers in the order it was asked.
    std::vector<std::vector<Pending>> m_pending;
    int m_pendingCount = 0;
    std::vector<int> m_refusedInput;
    std::vector<std::string> m_refusalReason;
    std::vector<RouteStep> m_undo;
    std::vector<RouteStep> m_redo;
    bool m_inBatch = false;
    RouteStep m_batch;
    std::uint64_t m_nextStep = 1;
};

} // namespace velmar
