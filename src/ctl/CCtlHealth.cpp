// velmarctl health: every frame checked at the same time, one verdict each.

#include "ctl/CCtlRunner.h"
#include "session/CHealthCheck.h"
#include "protocol/JsonWriter.h"
#include "engine/Health.h"
#include "link/Ipv4.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace velmar {

namespace {

// How long a search may take to find the named frames' rows (as for one frame).
constexpr int kHealthLookupMs = 1000;

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

std::span<const CCtlRunner::RunnerRow> CCtlRunner::healthRunners() {
    static constexpr RunnerRow kRows[] = {
        {CtlVerb::Health, &CCtlRunner::health},
    };
    return kRows;
}

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

    // This thread's loop keeps running meanwhile: whatever else lives on it
    // (a frame simulated in the same process) goes on answering.
    CHealthCheck check;
    CHealthCheck::Options options;
    options.telnet = o.telnet;
    options.timeoutMs = o.timeoutMs;
    options.framePort = m_env.framePort;
    bool done = false;
    QObject::connect(&check, &CHealthCheck::finished, &check, [&done] { done = true; });
    check.start(std::move(targets), options);
    if (!CCtlSession::pumpUntil([&done] { return done; }, -1, m_interrupted)) {
        fail("interrupted before every frame was checked");
        return kExitFrame;
    }
    const std::vector<HealthReport> reports = check.reports();
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
