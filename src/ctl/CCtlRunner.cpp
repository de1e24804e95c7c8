#include "ctl/CCtlRunner.h"

#include "engine/CrosspointFile.h"
#include "engine/FileAccess.h"
#include "link/CDiscovery.h"
#include "link/CReplyQueue.h"
#include "link/CUDPSocketThread.h"
#include "link/DeviceList.h"
#include "link/Ipv4.h"
#include "link/QtText.h"
#include "protocol/JsonWriter.h"
#include "protocol/TerminalText.h"

#include <algorithm>

namespace velmar {

namespace {

// How long the search for the frame's own row may take before velmarctl
// connects to the address as typed.
constexpr int kLookupMs = 1000;
// How long the search reply port may take to open.
constexpr int kBindMs = 1000;

std::string bareHost(const CtlOptions& o) { return std::string(bareAddress(o.host)); }

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

std::span<const CCtlRunner::RunnerRow> CCtlRunner::runners() {
    // Each family's runners, from that family's file, in one table.
    static const std::vector<RunnerRow> rows = [] {
        std::vector<RunnerRow> all;
        for (const auto family : {statusRunners, crosspointRunners, settingsRunners, flashRunners,
                                  adminRunners, ipRoutingRunners, labelRunners, healthRunners})
            for (const RunnerRow& row : family())
                all.push_back(row);
        return all;
    }();
    return rows;
}

std::vector<CtlVerb> CCtlRunner::runnerVerbs() {
    std::vector<CtlVerb> verbs;
    for (const RunnerRow& row : runners())
        verbs.push_back(row.verb);
    return verbs;
}

int CCtlRunner::runCommand(const CtlOptions& o) {
    if (o.verb == CtlVerb::Help) {
        print(ctlHelpText());
        return kExitOk;
    }
    if (o.verb == CtlVerb::Version) {
        print(ctlVersionText() + "\n");
        return kExitOk;
    }
    for (const RunnerRow& row : runners())
        if (row.verb == o.verb)
            return (this->*row.run)(o);
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

// ---- what several commands share ----

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

} // namespace velmar
