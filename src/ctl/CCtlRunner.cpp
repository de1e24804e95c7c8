#include "ctl/CCtlRunner.h"

#include "ctl/CardsReport.h"
#include "ctl/JsonWriter.h"
#include "ctl/MessageText.h"
#include "ctl/Reports.h"
#include "ctl/RouteTracker.h"
#include "ctl/SettingsReport.h"
#include "events/EventDeriver.h"
#include "events/EventLogFile.h"
#include "link/CDiscovery.h"
#include "link/CReplyQueue.h"
#include "link/CUDPSocketThread.h"
#include "link/DeviceList.h"
#include "link/Ipv4.h"
#include "link/QtText.h"
#include "main/CrosspointFile.h"
#include "main/Crosspoints.h"
#include "main/FileAccess.h"
#include "main/LoadStatusLogic.h"
#include "panel/InputStatusReport.h"
#include "protocol/CommandTable.h"
#include "protocol/TerminalText.h"
#include "settings/SettingsApply.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsPages.h"

#include <QDir>
#include <algorithm>
#include <array>
#include <charconv>

namespace velmar {

namespace {

// How long the search for the frame's own row may take before velmarctl
// connects to the address as typed.
constexpr int kLookupMs = 1000;
// How long the search reply port may take to open.
constexpr int kBindMs = 1000;

std::string bareHost(const CtlOptions& o) { return std::string(bareAddress(o.host)); }

// A search reply's ID column as a number when it is one.
void writeIdJson(CJsonWriter& out, std::string_view id) {
    int value = 0;
    const auto result = std::from_chars(id.data(), id.data() + id.size(), value);
    if (!id.empty() && result.ec == std::errc() && result.ptr == id.data() + id.size())
        out.value(value);
    else
        out.value(id);
}

std::string padded(std::string_view text, std::size_t width) {
    std::string out(text);
    if (out.size() < width)
        out.append(width - out.size(), ' ');
    return out;
}

} // namespace

CCtlRunner::CCtlRunner(CtlEnvironment environment) : m_env(std::move(environment)) {}

CCtlRunner::~CCtlRunner() = default;

void CCtlRunner::print(std::string_view text) {
    m_printed = true;
    if (m_env.out)
        m_env.out(text);
}

void CCtlRunner::printJson(std::string_view document) {
    print(withVersionStamp(document, kCtlVersion) + "\n");
}

void CCtlRunner::fail(std::string_view text) {
    // Messages quote file names, frame texts and what was typed: none of it
    // may reach the terminal raw.
    m_lastError = text;
    if (m_env.err)
        m_env.err("velmarctl: " + terminalSafe(text) + "\n");
}

void CCtlRunner::printJsonError(int exitStatus) {
    CJsonWriter out;
    out.beginObject()
        .field("error", std::string_view(m_lastError.empty() ? "failed" : m_lastError))
        .field("exit", exitStatus)
        .endObject();
    printJson(out.text());
}

void CCtlRunner::interrupt() {
    m_interrupted = true;
    if (m_session)
        m_session->interrupt();
}

int CCtlRunner::runArguments(std::span<const std::string_view> args) {
    if (args.empty()) {
        if (m_env.err)
            m_env.err(ctlHelpText());
        return kExitUsage;
    }
    const CtlParse parse = parseCtlArguments(args);
    if (!parse.options) {
        fail(parse.error);
        if (m_env.err)
            m_env.err("Try 'velmarctl --help'.\n");
        // The line did not parse, but a script that asked for JSON still
        // gets its document.
        const auto optionsEnd = std::find(args.begin(), args.end(), std::string_view("--"));
        if (std::find(args.begin(), optionsEnd, std::string_view("--json")) != optionsEnd)
            printJsonError(kExitUsage);
        return kExitUsage;
    }
    return run(*parse.options);
}

int CCtlRunner::run(const CtlOptions& o) {
    m_printed = false;
    m_lastError.clear();
    const int status = runCommand(o);
    // With --json, a failure is a document too; a watch's stream of objects
    // ends with it.
    if (o.json && status != kExitOk &&
        (!m_printed || o.verb == CtlVerb::Watch || (o.verb == CtlVerb::Inputs && o.watch)))
        printJsonError(status);
    return status;
}

int CCtlRunner::runCommand(const CtlOptions& o) {
    switch (o.verb) {
    case CtlVerb::Help: print(ctlHelpText()); return kExitOk;
    case CtlVerb::Version: print(ctlVersionText() + "\n"); return kExitOk;
    case CtlVerb::Discover: return discover(o);
    case CtlVerb::Status: return status(o);
    case CtlVerb::Routes: return routes(o);
    case CtlVerb::Route:
    case CtlVerb::Unroute: return route(o);
    case CtlVerb::XptSave: return xptSave(o);
    case CtlVerb::XptLoad: return xptLoad(o);
    case CtlVerb::Watch: return watch(o);
    case CtlVerb::Send: return send(o);
    case CtlVerb::SettingsShow: return settingsShow(o);
    case CtlVerb::SettingsSave: return settingsSave(o);
    case CtlVerb::SettingsApply: return settingsApply(o);
    case CtlVerb::Cards: return cards(o);
    case CtlVerb::Flows:
    case CtlVerb::FlowCreate:
    case CtlVerb::FlowDelete:
    case CtlVerb::DanteRoutes:
    case CtlVerb::DanteRoute:
    case CtlVerb::DanteUnroute:
    case CtlVerb::Ppm:
    case CtlVerb::PpmCreate:
    case CtlVerb::PpmRemove:
    case CtlVerb::PpmAssign: return ipRouting(o);
    case CtlVerb::Flash: return flash(o);
    case CtlVerb::FlashJoin: return flashJoin(o);
    case CtlVerb::SetId: return setId(o);
    case CtlVerb::SetIp: return setIp(o);
    case CtlVerb::Uptime: return uptime(o);
    case CtlVerb::Dump: return dump(o);
    case CtlVerb::Inputs: return inputs(o);
    case CtlVerb::LabelsGet:
    case CtlVerb::LabelsSet:
    case CtlVerb::LabelsImport:
    case CtlVerb::LabelsExport: return labels(o);
    case CtlVerb::Gains: return gains(o);
    case CtlVerb::Levels: return levels(o);
    case CtlVerb::Health: return health(o);
    }
    return kExitUsage;
}

// ---- finding and connecting ----

std::optional<CDeviceList> CCtlRunner::search(int waitMs,
                                              const std::function<bool(const CDeviceList&)>& enough,
                                              std::string& why) {
    CReplyQueue replies;
    CUDPSocketThread worker(replies, m_env.replyPort);
    worker.setWorkerPriority(QThread::NormalPriority); // the replies are all velmarctl waits for
    // A reply posts an event here, which wakes the wait below.
    QObject wakeUp;
    QObject::connect(
        &worker, &CUDPSocketThread::replyQueued, &wakeUp, [] {}, Qt::QueuedConnection);
    worker.start();
    if (!worker.waitUntilBound(kBindMs)) {
        why = "cannot listen for search replies on UDP port " + std::to_string(m_env.replyPort) +
              " (is another program using it?)";
        return std::nullopt;
    }
    if (CDiscovery::search(m_env.framePort) == 0) {
        why = "no network adapter could send the search";
        return std::nullopt;
    }
    CDeviceList list;
    const auto drained = [&] {
        for (const std::string& text : replies.drain())
            list.addRowFromText(text, CDeviceList::Source::SearchReply, std::nullopt);
        return enough && enough(list);
    };
    CCtlSession::pumpUntil(drained, waitMs, m_interrupted);
    worker.stop(kBindMs);
    m_searchDropped =
        static_cast<std::int64_t>(worker.droppedDatagrams().value_or(0) + replies.lost());
    drained(); // what came in while the worker stopped
    return list;
}

CtlTarget CCtlRunner::findTarget(const CtlOptions& o) {
    if (!o.type.empty())
        return {o.host, o.type};
    // A mark typed with the address is the operator's word on the run mode;
    // the search still tells the type, which decides the start requests.
    const bool marked = entryKindOf(o.host) != EntryKind::Application;
    const std::optional<Ipv4Address> address = parseIpv4(bareAddress(o.host));
    std::string why;
    const std::optional<CDeviceList> list =
        address ? search(
                      std::min(kLookupMs, o.timeoutMs),
                      [&address](const CDeviceList& l) { return l.findRow(*address) >= 0; }, why)
                : std::nullopt;
    const int row = list ? list->findRow(*address) : -1;
    if (row < 0)
        return {o.host, ""}; // not found: as a row added by hand
    const KnownDevice& device = list->rows()[static_cast<std::size_t>(row)];
    return {marked ? o.host : device.address, device.type};
}

int CCtlRunner::openSession(const CtlOptions& o, CCtlSession::Observer observer,
                            IStateObserver* events) {
    const CtlTarget target = findTarget(o);
    m_session = std::make_unique<CCtlSession>(m_env.framePort, m_env.timers);
    m_session->setObserver(std::move(observer));
    m_session->engine().setStateObserver(events);
    if (m_interrupted)
        m_session->interrupt();
    if (!m_session->open(target, o.telnet, o.timeoutMs)) {
        const std::string& why = m_session->lastMessage();
        fail(bareHost(o) + ": " + (why.empty() ? std::string("not reachable") : why));
        return kExitUnreachable;
    }
    return kExitOk;
}

int CCtlRunner::connectAndSettle(const CtlOptions& o) {
    if (const int rc = openSession(o, nullptr); rc != kExitOk)
        return rc;
    const CCtlSession::Wait wait = m_session->waitUntilSettled(o.timeoutMs);
    if (wait != CCtlSession::Wait::Done)
        return waitFailure(wait, bareHost(o) +
                                     " did not finish answering the start-up poll within " +
                                     std::to_string(o.timeoutMs) + " ms");
    return kExitOk;
}

int CCtlRunner::waitFailure(CCtlSession::Wait wait, std::string_view timedOut) {
    int code = kExitFrame;
    switch (wait) {
    case CCtlSession::Wait::Done: return kExitOk;
    case CCtlSession::Wait::TimedOut: fail(timedOut); break;
    case CCtlSession::Wait::Interrupted: fail("interrupted"); break;
    case CCtlSession::Wait::LinkLost:
        if (m_session && m_session->linkEnd() == CCtlSession::LinkEnd::Silent) {
            fail("the frame stopped answering; the link was dropped");
        } else {
            fail(std::string(linkLossText(m_session ? m_session->lossCause() : LinkLoss::Closed)) +
                 "; the link was dropped");
            code = kExitUnreachable;
        }
        break;
    }
    disconnect();
    return code;
}

void CCtlRunner::disconnect() {
    if (m_session) {
        m_session->setObserver(nullptr);
        m_session->close();
    }
}

bool CCtlRunner::requireMatrix() {
    const DeviceState& s = m_session->state();
    if (crosspointFilesAvailable(s) && s.runMode == kRunModeApplication && s.family != kFamily465 &&
        s.family != kFamily450)
        return true;
    fail(s.connectedAddress + " has no crosspoint matrix to work with" +
         (s.runMode != kRunModeApplication ? " in this run mode" : ""));
    disconnect();
    return false;
}

bool CCtlRunner::requireCrosspoints() {
    if (!requireMatrix())
        return false;
    const DeviceState& s = m_session->state();
    if (s.crosspointsRead())
        return true;
    const int count = s.crosspointCount();
    const auto reported = s.live.crosspointReported.begin() + 1;
    std::string why = s.connectedAddress;
    why += " did not report its crosspoints (";
    why += std::to_string(std::count(reported, reported + count, true));
    why += " of ";
    why += std::to_string(count);
    why += " outputs answered)";
    fail(why);
    disconnect();
    return false;
}

bool CCtlRunner::requireSettings() {
    if (m_session->engine().settingsEnabled())
        return true;
    fail(m_session->state().connectedAddress + " offers no device settings in this run mode");
    disconnect();
    return false;
}

// ---- commands ----

int CCtlRunner::discover(const CtlOptions& o) {
    std::string why;
    const std::optional<CDeviceList> list = search(o.waitMs, nullptr, why);
    if (!list) {
        fail(why);
        return kExitUnreachable;
    }
    const std::vector<KnownDevice>& rows = list->rows();
    if (o.json) {
        CJsonWriter out;
        out.beginObject().key("frames").beginArray();
        for (const KnownDevice& d : rows) {
            const EntryKind kind = entryKindOf(d.address);
            out.beginObject()
                .field("address", bareAddress(d.address))
                .field("mark",
                       d.address.substr(0, d.address.size() - bareAddress(d.address).size()))
                .field("runMode", runModeName(static_cast<int>(kind))) // entry kinds are run modes
                .key("id");
            writeIdJson(out, d.id);
            out.field("name", d.name).field("type", d.type).field("serial", d.serial).endObject();
        }
        out.endArray().field("dropped", m_searchDropped).endObject();
        printJson(out.text());
    } else if (!rows.empty()) {
        // Every column is the frames' own text: shown escaped, never raw.
        std::vector<std::array<std::string, 5>> cells;
        std::size_t width[4] = {7, 2, 4, 4};
        for (const KnownDevice& d : rows) {
            cells.push_back({terminalSafe(d.address), terminalSafe(d.id), terminalSafe(d.name),
                             terminalSafe(d.type), terminalSafe(d.serial)});
            for (std::size_t k = 0; k < 4; ++k)
                width[k] = std::max(width[k], cells.back()[k].size());
        }
        std::string text = padded("ADDRESS", width[0]) + "  " + padded("ID", width[1]) + "  " +
                           padded("NAME", width[2]) + "  " + padded("TYPE", width[3]) + "  S/N\n";
        for (const auto& c : cells)
            text += padded(c[0], width[0]) + "  " + padded(c[1], width[1]) + "  " +
                    padded(c[2], width[2]) + "  " + padded(c[3], width[3]) + "  " + c[4] + "\n";
        print(text);
    }
    if (const std::string note = CDeviceList::searchNote(
            list->unlistedCount(), static_cast<std::uint64_t>(m_searchDropped));
        !note.empty())
        fail(note);
    if (rows.empty()) {
        fail("no frame answered the search within " + std::to_string(o.waitMs) + " ms");
        return kExitFrame;
    }
    return kExitOk;
}

int CCtlRunner::status(const CtlOptions& o) {
    if (const int rc = connectAndSettle(o); rc != kExitOk)
        return rc;
    const DeviceState& s = m_session->state();
    const StatusFields fields = m_session->engine().statusFields();
    const std::vector<std::string> missing =
        notReportedStatus(s, fields, m_session->engine().settingsEnabled());
    if (o.json) {
        CJsonWriter out;
        writeStatusJson(out, s, fields, missing);
        printJson(out.text());
    } else {
        print(statusText(s, fields));
    }
    disconnect();
    if (!missing.empty()) {
        std::string list;
        for (const std::string& item : missing)
            list += (list.empty() ? "" : ", ") + item;
        fail(bareHost(o) + " did not report: " + list);
        return kExitFrame;
    }
    return kExitOk;
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

int CCtlRunner::saveFromFrame(const CtlOptions& o, bool (CCtlRunner::*require)(),
                              const std::function<std::string(const DeviceState&)>& produce) {
    // The target is looked at first, so a path that cannot be written costs no
    // connection; it replaces the old file only once the text is complete.
    if (const std::string why = checkWriteTarget(qs(o.file)); !why.empty()) {
        fail(why);
        return kExitUsage;
    }
    if (const int rc = connectAndSettle(o); rc != kExitOk)
        return rc;
    if (!(this->*require)())
        return kExitFrame;
    const std::string text = produce(m_session->state());
    disconnect();
    if (const std::string why = writeFileAtomically(qs(o.file), text); !why.empty()) {
        fail(why);
        return kExitUsage;
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

int CCtlRunner::watch(const CtlOptions& o) {
    const bool json = o.json;
    const auto show = [this, json](const DeviceMessage& m, bool isReply,
                                   const CResponseDecoder& decoder) {
        if (isReply)
            return;
        // Channel numbers come with their names, and the card kinds of the
        // frame as it has reported them.
        const DeviceState* state = m_session ? &m_session->state() : nullptr;
        if (json) {
            CJsonWriter out;
            writeMessageJson(out, m, decoder, state);
            printJson(out.text());
        } else {
            std::string line = messageText(m, decoder);
            if (const std::string note = channelNote(m, state); !note.empty())
                line += "  [" + note + "]";
            print(line + "\n");
        }
    };
    // With --log, what happens to the frame also goes to the event log, in
    // the window's format; a log that cannot be written is said once.
    CSystemEventClock clock;
    std::unique_ptr<CEventLogFile> log;
    std::unique_ptr<CEventDeriver> deriver;
    if (!o.logFolder.empty()) {
        log = std::make_unique<CEventLogFile>(qs(o.logFolder), std::string(kCtlVersion), clock);
        log->setErrorHandler([this](const std::string& why) { fail("event log: " + why); });
        deriver = std::make_unique<CEventDeriver>(clock, *log);
    }
    const auto stopLogging = [this] {
        if (m_session)
            m_session->engine().setStateObserver(nullptr);
    };
    if (const int rc = openSession(o, show, deriver.get()); rc != kExitOk) {
        stopLogging();
        return rc;
    }
    const CCtlSession::Wait wait = m_session->waitFor([] { return false; }, -1);
    if (wait == CCtlSession::Wait::Interrupted) {
        disconnect();
        stopLogging();
        return kExitOk; // Ctrl+C is how a watch ends
    }
    const int rc = waitFailure(wait, "");
    stopLogging();
    return rc;
}

int CCtlRunner::send(const CtlOptions& o) {
    const ParsedRequest parsed = parseRequestLine(o.line);
    if (!parsed.message) {
        fail(parsed.error);
        return kExitUsage;
    }
    if (const int rc = connectAndSettle(o); rc != kExitOk)
        return rc;
    DeviceMessage request = *parsed.message;
    if (messageKindOf(request) != MessageKind::Request) {
        // A "%" line: frames take it without a word. The marker's reply shows
        // that the frame has read it.
        m_session->sendRaw(request);
        const CCtlSession::Wait wait = m_session->waitUntilSettled(o.timeoutMs);
        if (wait != CCtlSession::Wait::Done)
            return waitFailure(wait, "the frame did not answer after \"" + o.line + "\" within " +
                                         std::to_string(o.timeoutMs) + " ms");
        disconnect();
        if (o.json)
            printJson("{\"sent\":" + jsonQuoted(o.line) + "}");
        else
            print("sent; frames do not answer \"%\" lines\n");
        return kExitOk;
    }
    const bool ownTag = request.tag == 0;
    if (ownTag)
        request.tag = m_session->nextTag();
    bool answered = false;
    std::int32_t status = 0;
    std::string shown;
    std::string unsolicitedText;
    CJsonWriter unsolicitedJson;
    unsolicitedJson.beginArray();
    const auto unsolicited = [&](const DeviceMessage& m, const CResponseDecoder& decoder) {
        if (!o.verbose)
            return;
        if (o.json)
            writeMessageJson(unsolicitedJson, m, decoder);
        else
            unsolicitedText += "unsolicited: " + messageText(m, decoder) + "\n";
    };
    m_session->setObserver(
        [&](const DeviceMessage& m, bool isReply, const CResponseDecoder& decoder) {
            if (answered)
                return;
            // Its own tag marks the reply. Only a frame that has shown that it
            // drops tags gets its answer taken by order: then nothing else is
            // outstanding once the start-up poll is done.
            const bool ours =
                isReply && (m.tag == request.tag ||
                            (m.tag == 0 && !m_session->tagsEchoed() &&
                             (m.command == request.command || m.command == CommandId::error ||
                              m.command == CommandId::InvalidReply)));
            if (!ours) {
                unsolicited(m, decoder);
                return;
            }
            answered = true;
            status = m.status;
            // The tag velmarctl added is its own business, not the reply's.
            DeviceMessage reply = m;
            if (ownTag && reply.tag == request.tag)
                reply.tag = 0;
            if (o.json) {
                CJsonWriter out;
                writeMessageJson(out, reply, decoder);
                shown = out.take();
                if (o.verbose) {
                    // The lines that were not the answer, inside the one document.
                    shown.pop_back();
                    unsolicitedJson.endArray();
                    shown += ",\"unsolicited\":" + unsolicitedJson.text() + "}";
                }
            } else {
                shown = messageText(reply, decoder);
            }
        });
    m_session->sendRaw(request);
    const CCtlSession::Wait wait = m_session->waitFor([&] { return answered; }, o.timeoutMs);
    if (wait != CCtlSession::Wait::Done)
        return waitFailure(wait, "no reply to \"" + o.line + "\" within " +
                                     std::to_string(o.timeoutMs) + " ms");
    disconnect();
    if (o.json)
        printJson(shown);
    else
        print(unsolicitedText + shown + "\n");
    if (status != 0) {
        fail("the frame answered with status " + std::to_string(status));
        return kExitFrame;
    }
    return kExitOk;
}

// ---- device settings ----

int CCtlRunner::settingsShow(const CtlOptions& o) {
    if (const int rc = connectAndSettle(o); rc != kExitOk)
        return rc;
    if (!requireSettings())
        return kExitFrame;
    const DeviceSettings settings = m_session->state().settings;
    disconnect();
    if (o.json) {
        CJsonWriter out;
        writeSettingsJson(out, settings);
        printJson(out.text());
    } else {
        print(settingsText(settings));
    }
    return kExitOk;
}

int CCtlRunner::settingsSave(const CtlOptions& o) {
    // The settings as the frame reported them: what the dialog's copy holds
    // right after it opens.
    std::size_t bytes = 0;
    const int rc = saveFromFrame(o, &CCtlRunner::requireSettings, [&bytes](const DeviceState& s) {
        std::string text = writeSettingsFile(s.settings);
        bytes = text.size();
        return text;
    });
    if (rc != kExitOk)
        return rc;
    if (o.json) {
        CJsonWriter out;
        out.beginObject()
            .field("file", std::string_view(o.file))
            .field("bytes", static_cast<int>(bytes))
            .endObject();
        printJson(out.text());
    } else {
        print("saved the device settings to " + terminalSafe(o.file) + "\n");
    }
    return kExitOk;
}

namespace {

// A refused file as a document: why, and each line that is wrong.
std::string settingsRefusalJson(std::string_view error, const SettingsFileContent& content) {
    CJsonWriter out;
    out.beginObject().field("error", error).field("exit", kExitUsage);
    out.key("problems").beginArray();
    for (const CfgProblem& p : content.problems)
        out.beginObject()
            .field("line", p.line)
            .field("field", p.field)
            .field("text", std::string_view(p.text))
            .endObject();
    out.endArray().field("problemsNotListed", content.problemsNotListed).endObject();
    return out.take();
}

} // namespace

int CCtlRunner::settingsApply(const CtlOptions& o) {
    // Each line that is wrong, then why nothing was sent.
    const auto refuse = [this, &o](const SettingsFileContent& content) {
        for (const CfgProblem& p : content.problems)
            fail(o.file + ": " + p.text);
        if (content.problemsNotListed > 0)
            fail(o.file + ": and " + std::to_string(content.problemsNotListed) + " more lines");
        fail(o.file + ": " + content.refusal + "; nothing was sent");
        if (o.json)
            printJson(settingsRefusalJson(m_lastError, content));
        return kExitUsage;
    };
    // Everything the file alone decides is settled before connecting: a file
    // the reader refuses whatever the frame holds never costs a connection.
    const FileReadResult file = readFileBounded(qs(o.file), kMaxSettingsFileBytes);
    if (!file.ok()) {
        fail(file.error);
        return kExitUsage;
    }
    if (const SettingsFileContent probe = readSettingsFile(file.bytes, DeviceSettings{});
        !probe.accepted())
        return refuse(probe);
    if (const int rc = connectAndSettle(o); rc != kExitOk)
        return rc;
    if (!requireSettings())
        return kExitFrame;
    const DeviceState& s = m_session->state();
    // Over the frame's own values: one the pages would not take passes only
    // when the frame already holds it.
    const SettingsFileContent content = readSettingsFile(file.bytes, s.settings);
    if (!content.accepted()) {
        disconnect();
        return refuse(content);
    }
    // The file goes through the dialog's pages as "Load from file..." and
    // "Save changes" take it, so both send the same lines.
    CSettingsDialogLogic dialog(s.settings, settingsDialogInputs(s));
    dialog.replaceSettings(content.settings);
    if (const auto refused = dialog.storeAll()) {
        fail(o.file + ": " + CSettingsDialogLogic::pageName(refused->page) +
             " does not take it: " + refused->error.message + " Nothing was sent.");
        disconnect();
        return kExitUsage;
    }
    const SettingsApplyPlan plan =
        planSettingsApply(s.settings, settingsAfterApply(s.settings, s.settings, dialog.settings()),
                          settingsApplyContext(s));
    const std::vector<std::string> lines = requestLines(plan.requests);
    const bool network = plan.result == ApplyResult::NetworkSent;
    // A locked or domain-managed Dante module gets reads instead of its
    // changes: the file's values for it do not reach the frame.
    const auto notSent = static_cast<int>(
        std::count_if(plan.requests.begin(), plan.requests.end(), [](const DeviceMessage& m) {
            return keywordOf(m.command).starts_with('g');
        }));
    if (notSent > 0)
        fail(std::to_string(notSent) + " Dante module setting" +
             (notSent == 1 ? " was" : "s were") +
             " not sent: the module is locked or managed by a Dante domain; its values are read "
             "back instead");

    if (o.dryRun || plan.requests.empty()) {
        disconnect();
        if (o.json) {
            CJsonWriter out;
            out.beginObject().field("file", std::string_view(o.file)).field("dryRun", o.dryRun);
            out.key("requests").beginArray();
            for (const std::string& line : lines)
                out.value(std::string_view(line));
            out.endArray().field("networkChanged", network).field("danteNotSent", notSent);
            out.endObject();
            printJson(out.text());
        } else if (lines.empty()) {
            print("nothing to send: the frame already holds every setting of " +
                  terminalSafe(o.file) + "\n");
        } else {
            std::string text;
            for (const std::string& line : lines)
                text += terminalSafe(line) + "\n";
            text += std::to_string(lines.size()) + " request" + (lines.size() == 1 ? "" : "s") +
                    " would be sent; nothing was sent\n";
            print(text);
        }
        return kExitOk;
    }

    CSettingsReplyTracker tracker;
    for (const DeviceMessage& request : plan.requests)
        tracker.expect(request);
    m_session->setObserver([&tracker](const DeviceMessage& m, bool isReply,
                                      const CResponseDecoder&) { tracker.onMessage(m, isReply); });
    // The window's own step: it sends the same plan, from the same state, in
    // the same order, and takes the edited block as the frame's settings.
    const DeviceSettings opened = s.settings;
    m_session->engine().applySettings(dialog.settings(), opened);
    const auto [wait, unanswered] = awaitReplies(tracker, o.timeoutMs);
    // Only a network change the frame took can move it to another address.
    const bool networkChanged = network && networkChangeConfirmed(tracker);
    if (o.json) {
        CJsonWriter out;
        writeSettingsOutcomeJson(out, tracker);
        std::string document = out.take();
        // The network flag inside the one document.
        CJsonWriter extra;
        extra.beginObject()
            .field("networkChanged", networkChanged)
            .field("danteNotSent", notSent);
        extra.endObject();
        document.pop_back();
        document += "," + extra.text().substr(1);
        printJson(document);
    } else {
        print(settingsOutcomeText(tracker));
    }
    if (networkChanged)
        fail("the frame's network settings changed; it may answer at another address now");
    if (wait != CCtlSession::Wait::Done)
        return waitFailure(wait, std::to_string(unanswered) + " settings request" +
                                     (unanswered == 1 ? " was" : "s were") +
                                     " not answered within " + std::to_string(o.timeoutMs) + " ms");
    disconnect();
    if (!tracker.allConfirmed()) {
        fail("the frame refused " +
             std::to_string(tracker.count(CSettingsReplyTracker::Outcome::Refused)) + " of " +
             std::to_string(tracker.entries().size()) + " settings requests");
        return kExitFrame;
    }
    return notSent > 0 ? kExitFrame : kExitOk;
}

// ---- cards ----

int CCtlRunner::cards(const CtlOptions& o) {
    if (const int rc = connectAndSettle(o); rc != kExitOk)
        return rc;
    if (o.make)
        return changeCards(o, *o.make);
    const DeviceState& s = m_session->state();
    // The card poll runs with the rest of the window's settings reads.
    const bool parametersReported = m_session->engine().settingsEnabled();
    const bool cardsListed = !fittedCardSettings(s).empty();
    if (o.json) {
        CJsonWriter out;
        writeCardsJson(out, s, parametersReported);
        printJson(out.text());
    } else {
        print(cardsText(s, parametersReported));
    }
    disconnect();
    if (cardsListed && !parametersReported) {
        fail(bareHost(o) + " did not report: card settings");
        return kExitFrame;
    }
    return kExitOk;
}

int CCtlRunner::changeCards(const CtlOptions& o, CardMake make) {
    const DeviceState& s = m_session->state();
    if (!cardMakeChangeable(s.family, s.runMode)) {
        fail(s.connectedAddress + " offers no card make change" +
             (s.runMode != kRunModeApplication ? " in this run mode"
                                               : " (its family lists no card slots)"));
        disconnect();
        return kExitFrame;
    }
    // The dialog's own logic on the window's engine: the same plan, the
    // same requests, sent in the same order.
    CHwConfLogic logic(s, m_session->engine(), m_session->questions());
    const CardChangePlan plan = planCardChange(s.settings.hwConf, make);
    for (const std::string& note : cardsLeftAlone(plan, s))
        fail(note);
    const auto finish = [&](int status) {
        return plan.leftAlone.empty() ? status : std::max(status, kExitFrame);
    };

    if (o.dryRun || plan.changes.empty()) {
        disconnect();
        if (o.json) {
            CJsonWriter out;
            writeCardChangeJson(out, plan, make, o.dryRun, nullptr);
            printJson(out.text());
        } else {
            print(cardChangePlanText(plan, make));
        }
        return finish(kExitOk);
    }

    CSettingsReplyTracker tracker;
    for (const CardChange& change : plan.changes)
        tracker.expect(change.request);
    m_session->setObserver([&tracker](const DeviceMessage& m, bool isReply,
                                      const CResponseDecoder&) { tracker.onMessage(m, isReply); });
    for (const DeviceMessage& request : logic.changeCards(make))
        m_session->engine().sendRequest(request);
    const auto [wait, unanswered] = awaitReplies(tracker, o.timeoutMs);
    if (o.json) {
        CJsonWriter out;
        writeCardChangeJson(out, plan, make, false, &tracker);
        printJson(out.text());
    } else {
        print(cardChangeOutcomeText(plan, tracker));
    }
    if (wait != CCtlSession::Wait::Done)
        return waitFailure(wait, std::to_string(unanswered) + " card" +
                                     (unanswered == 1 ? " was" : "s were") +
                                     " not answered within " + std::to_string(o.timeoutMs) + " ms");
    disconnect();
    if (!tracker.allConfirmed()) {
        fail("the frame refused " +
             std::to_string(tracker.count(CSettingsReplyTracker::Outcome::Refused)) + " of " +
             std::to_string(tracker.entries().size()) + " card changes");
        return kExitFrame;
    }
    return finish(kExitOk);
}

} // namespace velmar

namespace velmar {

// ---- inputs ----

int CCtlRunner::inputs(const CtlOptions& o) {
    if (const int rc = connectAndSettle(o); rc != kExitOk)
        return rc;
    const DeviceState& s = m_session->state();
    if (s.family == kFamily465 || s.family == kFamily450) {
        // The window's poll never asks these frames; they only announce a
        // change. Asked once here, so the table shows their word, not "?".
        bool answered = false;
        m_session->setObserver(
            [&answered](const DeviceMessage& m, bool isReply, const CResponseDecoder&) {
                answered = answered || (isReply && m.command == CommandId::lmaininpstatus);
            });
        DeviceMessage request = DeviceMessage::request(CommandId::lmaininpstatus);
        request.setI(1, 1);
        request.setI(2, kMainInputs);
        m_session->engine().sendRequest(request);
        const CCtlSession::Wait wait =
            m_session->waitFor([&answered] { return answered; }, o.timeoutMs);
        m_session->setObserver(nullptr);
        // Unanswered in time: the rows stay "?" and say so below.
        if (wait != CCtlSession::Wait::Done && wait != CCtlSession::Wait::TimedOut)
            return waitFailure(wait, "");
    }
    if (o.json) {
        CJsonWriter out;
        writeInputStatusJson(out, s);
        printJson(out.text());
    } else {
        print(inputStatusText(s));
    }
    const int unreported = unreportedInputs(inputStatusTables(s));
    if (!o.watch) {
        disconnect();
        if (unreported > 0) {
            fail(bareHost(o) + " did not report the status of " + std::to_string(unreported) +
                 (unreported == 1 ? " input" : " inputs"));
            return kExitFrame;
        }
        return kExitOk;
    }

    // Every message the frame sends, its own announcements and the replies
    // to the engine's polls alike, may change a row; each change is a line.
    CInputStatusWatch follow(s);
    const bool json = o.json;
    m_session->setObserver(
        [this, &follow, json](const DeviceMessage&, bool, const CResponseDecoder&) {
            for (const InputStatusChange& change : follow.changes()) {
                if (json) {
                    CJsonWriter out;
                    writeInputStatusChangeJson(out, change);
                    printJson(out.text());
                } else {
                    print(inputStatusChangeText(change) + "\n");
                }
            }
        });
    const CCtlSession::Wait wait = m_session->waitFor([] { return false; }, -1);
    if (wait == CCtlSession::Wait::Interrupted) {
        disconnect();
        return kExitOk; // Ctrl+C is how a watch ends
    }
    return waitFailure(wait, "");
}

} // namespace velmar
