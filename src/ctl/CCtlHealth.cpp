// velmarctl health: every frame checked at the same time, one verdict each.

#include "ctl/CCtlRunner.h"
#include "ctl/JsonWriter.h"
#include "events/Health.h"
#include "link/Ipv4.h"

#include <QThread>
#include <algorithm>
#include <memory>
#include <vector>

namespace velmar {

namespace {

// How long a search may take to find the named frames' rows (as for one frame).
constexpr int kHealthLookupMs = 1000;

// One frame's check, run on a thread of its own with its own session and
// event loop, so a slow or silent frame holds up nobody else.
HealthReport checkFrame(const CtlTarget& target, const CtlOptions& o, quint16 framePort) {
    const std::string address(bareAddress(target.addressColumn));
    CCtlSession session(framePort);
    if (!session.open(target, o.telnet, o.timeoutMs)) {
        const std::string& why = session.lastMessage();
        return unreachableHealth(address, why.empty() ? "not reachable" : why);
    }
    const CCtlSession::Wait wait = session.waitUntilSettled(o.timeoutMs);
    if (wait == CCtlSession::Wait::LinkLost) {
        const std::string why(linkLossText(session.lossCause()));
        session.close();
        return unreachableHealth(address, why + " during the check");
    }
    HealthReport report = assessHealth(session.state());
    report.frame.address = address;
    if (wait != CCtlSession::Wait::Done) {
        // What did arrive is judged; that the rest did not is a warning.
        if (report.verdict == HealthVerdict::Healthy)
            report.verdict = HealthVerdict::Warning;
        report.problems.push_back("did not finish answering within " + std::to_string(o.timeoutMs) +
                                  " ms");
    }
    session.close();
    return report;
}

void writeHealthJson(CJsonWriter& out, const HealthReport& r) {
    const auto list = [&out](std::string_view name, const std::vector<std::string>& items) {
        out.key(name).beginArray();
        for (const std::string& item : items)
            out.value(item);
        out.endArray();
    };
    out.beginObject()
        .field("address", r.frame.address)
        .field("verdict", healthVerdictName(r.verdict));
    if (r.verdict != HealthVerdict::Unreachable) {
        out.field("id", r.frame.id)
            .field("name", r.frame.name)
            .field("serial", r.frame.serial)
            .field("model", r.model)
            .key("sync")
            .beginObject();
        if (r.syncSource.empty())
            out.key("source").null();
        else
            out.field("source", r.syncSource).field("locked", r.syncLocked);
        out.endObject().key("sampleRate");
        if (r.sampleRate.empty())
            out.null();
        else
            out.value(r.sampleRate);
        list("psus", r.psus);
        list("fans", r.fans);
        list("inputs", r.inputs);
    }
    list("problems", r.problems);
    out.endObject();
}

} // namespace

int CCtlRunner::health(const CtlOptions& o) {
    std::vector<CtlTarget> targets;
    if (!o.type.empty()) {
        for (const std::string& host : o.hosts)
            targets.push_back({host, o.type});
    } else {
        // One search for every frame, as the window's device list makes it;
        // the rows give each frame's type, which decides its start requests.
        std::vector<Ipv4Address> wanted;
        for (const std::string& host : o.hosts)
            wanted.push_back(parseIpv4(bareAddress(host)).value_or(0));
        const auto enough = [&wanted, &o](const CDeviceList& list) {
            return !o.all && std::all_of(wanted.begin(), wanted.end(),
                                         [&list](Ipv4Address a) { return list.findRow(a) >= 0; });
        };
        std::string why;
        const std::optional<CDeviceList> list =
            search(o.all ? o.waitMs : std::min(kHealthLookupMs, o.timeoutMs), enough, why);
        if (o.all) {
            if (!list) {
                fail(why);
                return kExitUnreachable;
            }
            for (const KnownDevice& d : list->rows())
                targets.push_back({d.address, d.type});
            if (targets.empty()) {
                fail("no frame answered the search within " + std::to_string(o.waitMs) + " ms");
                return kExitUnreachable;
            }
        } else {
            for (std::size_t k = 0; k < o.hosts.size(); ++k) {
                const int row = list ? list->findRow(wanted[k]) : -1;
                const bool marked = entryKindOf(o.hosts[k]) != EntryKind::Application;
                if (row < 0) {
                    targets.push_back({o.hosts[k], ""}); // as a row added by hand
                } else {
                    const KnownDevice& d = list->rows()[static_cast<std::size_t>(row)];
                    targets.push_back({marked ? o.hosts[k] : d.address, d.type});
                }
            }
        }
    }

    std::vector<HealthReport> reports(targets.size());
    std::vector<std::unique_ptr<QThread>> threads;
    for (std::size_t k = 0; k < targets.size(); ++k) {
        threads.emplace_back(QThread::create([&reports, &targets, &o, k, port = m_env.framePort] {
            reports[k] = checkFrame(targets[k], o, port);
        }));
        threads.back()->start();
    }
    // This thread's loop keeps running meanwhile: whatever else lives on it
    // (a frame simulated in the same process) goes on answering. Each
    // finished check posts an event here, which wakes the wait.
    QObject wakeUp;
    for (const std::unique_ptr<QThread>& thread : threads)
        QObject::connect(
            thread.get(), &QThread::finished, &wakeUp, [] {}, Qt::QueuedConnection);
    const auto allDone = [&threads] {
        return std::all_of(threads.begin(), threads.end(),
                           [](const std::unique_ptr<QThread>& t) { return t->isFinished(); });
    };
    CCtlSession::pumpUntil(allDone, -1, m_interrupted);
    // Each check ends by its own time-out at the latest.
    for (const std::unique_ptr<QThread>& thread : threads)
        thread->wait();

    const HealthVerdict worst = worstVerdict(reports);
    if (o.json) {
        CJsonWriter out;
        out.beginObject().key("frames").beginArray();
        for (const HealthReport& r : reports)
            writeHealthJson(out, r);
        out.endArray().field("verdict", healthVerdictName(worst)).endObject();
        printJson(out.text());
    } else {
        std::string text;
        for (const HealthReport& r : reports)
            text += healthLine(r) + "\n";
        print(text);
    }
    switch (worst) {
    case HealthVerdict::Healthy: return kExitOk;
    case HealthVerdict::Warning:
    case HealthVerdict::Alarm: return kExitFrame;
    case HealthVerdict::Unreachable: return kExitUnreachable;
    }
    return kExitFrame;
}

} // namespace velmar
