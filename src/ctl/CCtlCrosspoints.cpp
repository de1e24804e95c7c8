// velmarctl's crosspoint commands: routes, route, unroute, xpt save and
// xpt load.

#include "ctl/CCtlRunner.h"
#include "session/Reports.h"
#include "session/RouteTracker.h"
#include "engine/CrosspointFile.h"
#include "engine/Crosspoints.h"
#include "engine/FileAccess.h"
#include "engine/LoadStatusLogic.h"
#include "link/DeviceList.h"
#include "link/QtText.h"
#include "protocol/JsonWriter.h"
#include "protocol/TerminalText.h"

#include <QDir>

namespace velmar {

namespace {

std::string bareHost(const CtlOptions& o) { return std::string(bareAddress(o.host)); }

} // namespace

std::span<const CCtlRunner::RunnerRow> CCtlRunner::crosspointRunners() {
    static constexpr RunnerRow kRows[] = {
        {CtlVerb::Routes, &CCtlRunner::routes},   {CtlVerb::Route, &CCtlRunner::route},
        {CtlVerb::Unroute, &CCtlRunner::route},   {CtlVerb::XptSave, &CCtlRunner::xptSave},
        {CtlVerb::XptLoad, &CCtlRunner::xptLoad},
    };
    return kRows;
}

int CCtlRunner::routes(const CtlOptions& o) {
    if (const int rc = connectAndSettle(o); rc != kExitOk)
        return rc;
    if (!requireCrosspoints())
        return kExitFrame;
    // The labels stand beside the channel names, as in the window's list.
    if (!readLabelsQuietly(o))
        fail(bareHost(o) + " did not report its labels; the routes are shown without them");
    if (o.json) {
        CJsonWriter out;
        writeRoutesJson(out, m_session->state());
        printJson(out.text());
    } else {
        print(routesText(m_session->state()));
    }
    disconnect();
    return kExitOk;
}

int CCtlRunner::route(const CtlOptions& o) {
    if (const int rc = connectAndSettle(o); rc != kExitOk)
        return rc;
    // Each route is judged by its own reply, not by the routes read at start.
    if (!requireMatrix())
        return kExitFrame;
    // Every pair is checked before anything is sent: half a batch is worse
    // than none on a live frame.
    const int count = m_session->state().crosspointCount();
    for (const CtlRoute& r : o.routes) {
        if (r.output > count || r.input > count) {
            fail((r.output > count ? "output " + std::to_string(r.output)
                                   : "input " + std::to_string(r.input)) +
                 " is beyond this frame's " + std::to_string(count) +
                 " crosspoints; nothing was sent");
            disconnect();
            return kExitUsage;
        }
    }
    CRouteTracker tracker;
    m_session->setObserver([&tracker](const DeviceMessage& m, bool isReply,
                                      const CResponseDecoder&) { tracker.onMessage(m, isReply); });
    for (const CtlRoute& r : o.routes) {
        tracker.expect(r.output, r.input);
        m_session->engine().sendRequest(crosspointRequest(r.output, r.input));
    }
    return finishRoutes(o, tracker);
}

int CCtlRunner::finishRoutes(const CtlOptions& o, CRouteTracker& tracker) {
    const auto [wait, unanswered] = awaitReplies(tracker, o.timeoutMs);
    if (o.json) {
        CJsonWriter out;
        writeRouteOutcomeJson(out, tracker);
        printJson(out.text());
    } else {
        print(routeOutcomeText(tracker));
    }
    if (wait != CCtlSession::Wait::Done)
        return waitFailure(wait, std::to_string(unanswered) + " crosspoint" +
                                     (unanswered == 1 ? " was" : "s were") +
                                     " not answered within " + std::to_string(o.timeoutMs) + " ms");
    disconnect();
    if (!tracker.allConfirmed()) {
        fail("the frame refused " + std::to_string(tracker.count(CRouteTracker::Outcome::Refused)) +
             " of " + std::to_string(tracker.entries().size()) + " crosspoints");
        return kExitFrame;
    }
    return kExitOk;
}

int CCtlRunner::xptSave(const CtlOptions& o) {
    int saved = 0;
    const int rc = saveFromFrame(o, &CCtlRunner::requireCrosspoints, [&](const DeviceState& s) {
        CCrosspointList list(s, m_session->engine(), m_session->questions(), m_session->burst());
        for (int output = 1; output <= s.crosspointCount(); ++output)
            saved += s.live.crosspoints[static_cast<std::size_t>(output)] > 0 ? 1 : 0;
        return writeCrosspointStatus(s, list);
    });
    if (rc != kExitOk)
        return rc;
    if (o.json) {
        CJsonWriter out;
        out.beginObject().field("file", o.file).field("saved", saved).endObject();
        printJson(out.text());
    } else {
        print("saved " + std::to_string(saved) + " crosspoints to " + terminalSafe(o.file) + "\n");
    }
    return kExitOk;
}

int CCtlRunner::xptLoad(const CtlOptions& o) {
    // Everything the file alone decides is settled before connecting.
    const FileReadResult file = readFileBounded(qs(o.file), kMaxCrosspointFileBytes);
    if (!file.ok()) {
        fail(file.error);
        return kExitUsage;
    }
    if (const std::string why = crosspointFileRefusal(file.bytes); !why.empty()) {
        fail(o.file + " " + why + "; nothing was sent");
        return kExitUsage;
    }
    if (const std::string why = crosspointFileStrictRefusal(file.bytes); !why.empty()) {
        fail(o.file + " " + why + "; nothing was sent");
        return kExitUsage;
    }
    if (const int rc = connectAndSettle(o); rc != kExitOk)
        return rc;
    if (!requireCrosspoints())
        return kExitFrame;
    const DeviceState& s = m_session->state();
    const CLoadStatusLogic logic(QDir::toNativeSeparators(qs(o.file)).toStdString(), file.bytes,
                                 s.crosspointCount());
    const std::string leftOut = leftOutSummary(logic.leftOut());
    if (logic.rowCount() == 0) {
        fail(o.file + " holds no crosspoints for this frame (outputs and inputs 1.." +
             std::to_string(s.crosspointCount()) + ")" + (leftOut.empty() ? "" : "; " + leftOut) +
             "; nothing was sent");
        disconnect();
        return kExitUsage;
    }
    if (o.dryRun) {
        const LoadPlan plan = planCrosspointLoad(s, logic.table(), logic.leftOut());
        if (o.json) {
            CJsonWriter out;
            writeLoadPlanJson(out, plan);
            printJson(out.text());
        } else {
            print(loadPlanText(plan));
        }
        disconnect();
        return kExitOk;
    }
    if (!leftOut.empty())
        fail(o.file + ": " + leftOut); // a note; the rest of the file still goes out
    CRouteTracker tracker;
    for (int row = 0; row < logic.rowCount(); ++row)
        tracker.expect(logic.outputAt(row), logic.inputAt(row));
    m_session->setObserver([&tracker](const DeviceMessage& m, bool isReply,
                                      const CResponseDecoder&) { tracker.onMessage(m, isReply); });
    if (logic.confirm(s, m_session->burst(), m_session->engine()) != logic.rowCount()) {
        // The same checks as the window's "OK": they hold here, so this is a fault.
        fail("the crosspoints could not be sent");
        disconnect();
        return kExitFrame;
    }
    return finishRoutes(o, tracker);
}

} // namespace velmar
