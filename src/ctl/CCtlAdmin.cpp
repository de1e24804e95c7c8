// velmarctl set-id, set-ip, uptime and dump: the administration dialogs and
// the module dump on the window's engine, without the windows.

#include "ctl/CCtlRunner.h"
#include "protocol/JsonWriter.h"
#include "ctl/SettingsReport.h"
#include "link/CDiscovery.h"
#include "link/QtText.h"
#include "engine/FileAccess.h"
#include "maintenance/AdminDialogs.h"
#include "maintenance/ModuleDump.h"
#include "protocol/TerminalText.h"

#include <QDeadlineTimer>
#include <algorithm>
#include <ctime>

namespace velmar {

namespace {

std::string hostOf(const CtlOptions& o) { return std::string(bareAddress(o.host)); }

// How long one search listens before the next one goes out while velmarctl
// waits for a readdressed frame: a frame may take a moment to move.
constexpr int kReaddressSearchMs = 500;

std::array<std::string, 3> typedAddresses(const CtlOptions& o) {
    std::array<std::string, 3> fields{"0.0.0.0", "0.0.0.0", "0.0.0.0"};
    for (std::size_t k = 0; k < fields.size() && k < o.addresses.size(); ++k)
        fields[k] = o.addresses[k];
    return fields;
}

} // namespace

std::span<const CCtlRunner::RunnerRow> CCtlRunner::adminRunners() {
    static constexpr RunnerRow kRows[] = {
        {CtlVerb::SetId, &CCtlRunner::setId},
        {CtlVerb::SetIp, &CCtlRunner::setIp},
        {CtlVerb::Uptime, &CCtlRunner::uptime},
        {CtlVerb::Dump, &CCtlRunner::dump},
    };
    return kRows;
}

int CCtlRunner::finishAdminRequests(const CtlOptions& o, CSettingsReplyTracker& tracker,
                                    std::string_view what) {
    const auto [wait, unanswered] = awaitReplies(tracker, o.timeoutMs);
    if (o.json) {
        CJsonWriter out;
        writeSettingsOutcomeJson(out, tracker);
        printJson(out.text());
    } else {
        print(settingsOutcomeText(tracker));
    }
    if (wait != CCtlSession::Wait::Done)
        return waitFailure(wait, std::string(what) + " was not answered within " +
                                     std::to_string(o.timeoutMs) + " ms");
    disconnect();
    if (!tracker.allConfirmed()) {
        fail("the frame refused " + std::string(what));
        return kExitFrame;
    }
    return kExitOk;
}

int CCtlRunner::sendAdminRequests(const CtlOptions& o, const std::vector<DeviceMessage>& requests,
                                  std::string_view what) {
    CSettingsReplyTracker tracker;
    for (const DeviceMessage& m : requests)
        tracker.expect(m);
    m_session->setObserver([&tracker](const DeviceMessage& m, bool isReply,
                                      const CResponseDecoder&) { tracker.onMessage(m, isReply); });
    for (const DeviceMessage& m : requests)
        m_session->engine().sendRequest(m);
    return finishAdminRequests(o, tracker, what);
}

void CCtlRunner::printUnchanged(const CtlOptions& o, std::string_view text) {
    if (o.json) {
        CJsonWriter out;
        out.beginObject()
            .key("requests")
            .beginArray()
            .endArray()
            .field("confirmed", 0)
            .field("refused", 0)
            .field("unanswered", 0)
            .endObject();
        printJson(out.text());
    } else {
        print(std::string(text) + "\n");
    }
}

int CCtlRunner::setId(const CtlOptions& o) {
    if (const int rc = connectAndSettle(o); rc != kExitOk)
        return rc;
    const DeviceState& s = m_session->state();
    // The dialog's own check and request.
    const CDeviceIdLogic logic(s.settings.deviceId, s.settings.deviceName.view());
    const CDeviceIdLogic::Outcome out = logic.accept(std::to_string(o.deviceId), o.deviceName);
    if (!out.problem.empty()) {
        fail(out.problem + " Nothing was sent.");
        disconnect();
        return kExitUsage;
    }
    if (!out.request) {
        disconnect();
        printUnchanged(o, "the frame already has this ID and name; nothing was sent");
        return kExitOk;
    }
    return sendAdminRequests(o, {*out.request}, "the ID and name");
}

int CCtlRunner::setIp(const CtlOptions& o) {
    if (!o.serial.empty())
        return setIpBySerial(o);
    if (const int rc = connectAndSettle(o); rc != kExitOk)
        return rc;
    const DeviceState& s = m_session->state();
    const std::optional<NetworkTarget> target = networkTargetFor(s, nullptr, -1);
    if (!target) {
        fail(hostOf(o) + " reported no network address to change");
        disconnect();
        return kExitFrame;
    }
    const CNetworkSettingsLogic logic(*target, s.settings.networkSettings);
    const CNetworkSettingsLogic::Outcome out = logic.accept(!o.dhcp, typedAddresses(o));
    using Kind = CNetworkSettingsLogic::Outcome::Kind;
    if (out.kind == Kind::Invalid || out.kind == Kind::Cancelled) {
        fail(out.problem);
        disconnect();
        return kExitUsage;
    }
    if (out.kind == Kind::Unchanged) {
        disconnect();
        printUnchanged(o, "the frame already has these network settings; nothing was sent");
        return kExitOk;
    }
    const int rc = sendAdminRequests(o, {CNetworkSettingsLogic::sipRequest(out.record)},
                                     "the network settings");
    if (rc == kExitOk)
        fail("the frame's network settings changed; it may answer at another address now");
    return rc;
}

int CCtlRunner::setIpBySerial(const CtlOptions& o) {
    NetworkTarget target;
    target.kind = NetworkTarget::Kind::Discovered;
    target.serialNumber = o.serial;
    const CNetworkSettingsLogic logic(target, NetworkSettings{});
    const CNetworkSettingsLogic::Outcome out = logic.accept(!o.dhcp, typedAddresses(o));
    if (out.kind != CNetworkSettingsLogic::Outcome::Kind::Send) {
        fail(out.problem);
        return kExitUsage;
    }
    const SetAddressRequest request =
        CNetworkSettingsLogic::setAddressRequest(o.serial, out.record);
    if (CDiscovery::sendSetAddress(request, m_env.framePort) == 0) {
        fail("no network adapter could send the set-address request");
        return kExitUnreachable;
    }
    // The request has no answer: the frame is looked for where it should be
    // now, with a search repeated until it answers there or the time is up.
    const bool automatic = out.record.mode == 1;
    const std::optional<Ipv4Address> wanted = parseIpv4(out.record.ipAddress.view());
    const auto found = [&](const CDeviceList& list) -> const KnownDevice* {
        for (const KnownDevice& d : list.rows())
            if (d.serial == o.serial && (automatic || d.addressValue == wanted))
                return &d;
        return nullptr;
    };
    std::string answeredAt;
    std::string why;
    const QDeadlineTimer deadline(o.timeoutMs);
    while (answeredAt.empty() && !m_interrupted && !deadline.hasExpired()) {
        const int listen =
            static_cast<int>(std::min<qint64>(kReaddressSearchMs, deadline.remainingTime()));
        const std::optional<CDeviceList> list = search(
            std::max(listen, 1), [&](const CDeviceList& l) { return found(l) != nullptr; }, why);
        if (!list) {
            fail(why);
            return kExitUnreachable;
        }
        if (const KnownDevice* d = found(*list))
            answeredAt = bareAddress(d->address);
    }
    if (o.json) {
        CJsonWriter json;
        json.beginObject()
            .field("serial", std::string_view(o.serial))
            .field("mode", std::string_view(automatic ? "automatic" : "fixed"))
            .field("address", out.record.ipAddress.view())
            .field("subnetMask", out.record.subnetMask.view())
            .field("gateway", out.record.gateway.view())
            .field("answered", !answeredAt.empty())
            .field("answeredAt", std::string_view(answeredAt))
            .endObject();
        printJson(json.text());
    } else if (!answeredAt.empty()) {
        print("the frame with S/N " + terminalSafe(o.serial) + " answers at " + answeredAt + "\n");
    }
    if (answeredAt.empty()) {
        fail("no frame with S/N " + o.serial + " answered " +
             (automatic ? std::string("a search")
                        : "at " + std::string(out.record.ipAddress.view())) +
             " within " + std::to_string(o.timeoutMs) + " ms");
        return kExitFrame;
    }
    return kExitOk;
}

int CCtlRunner::uptime(const CtlOptions& o) {
    if (const int rc = connectAndSettle(o); rc != kExitOk)
        return rc;
    COperatingTimeLogic logic;
    std::map<CommandId, std::array<std::int32_t, 3>> values;
    CSettingsReplyTracker tracker;
    const std::vector<DeviceMessage> requests = COperatingTimeLogic::requests();
    for (const DeviceMessage& m : requests)
        tracker.expect(m);
    m_session->setObserver([&](const DeviceMessage& m, bool isReply, const CResponseDecoder&) {
        if (!tracker.onMessage(m, isReply))
            return;
        logic.onReply(m, std::time(nullptr));
        // A negative time is no time: not reported, as the dialog says.
        if (m.status == 0 && m.i(1) >= 0 && m.i(2) >= 0 && m.i(3) >= 0)
            values[m.command] = {m.i(1), m.i(2), m.i(3)};
    });
    for (const DeviceMessage& m : requests)
        m_session->engine().sendRequest(m);
    const auto [wait, unanswered] = awaitReplies(tracker, o.timeoutMs);
    if (wait != CCtlSession::Wait::Done)
        return waitFailure(wait, "the operating times were not answered within " +
                                     std::to_string(o.timeoutMs) + " ms");
    disconnect();
    if (o.json) {
        CJsonWriter out;
        out.beginObject();
        const auto entry = [&](std::string_view key, CommandId id, std::string_view below) {
            out.key(key);
            const auto it = values.find(id);
            if (it == values.end()) {
                out.null();
                return;
            }
            out.beginObject()
                .field("hours", it->second[0])
                .field("minutes", it->second[1])
                .field("seconds", it->second[2])
                .field(id == CommandId::gcuropertime ? "restartedAt" : "days", below)
                .endObject();
        };
        entry("sinceRestart", CommandId::gcuropertime, logic.restartInstant());
        entry("total", CommandId::gtotopertime, logic.totalDays());
        out.endObject();
        printJson(out.text());
    } else {
        print("Time since last restart : " + logic.sinceRestart() + " " + logic.restartInstant() +
              "\nTotal time in operation : " + logic.totalTime() + " " + logic.totalDays() + "\n");
    }
    if (values.size() != requests.size()) {
        fail(hostOf(o) + " did not report: " +
             (values.count(CommandId::gcuropertime) == 0 ? std::string("the time since restart")
                                                         : std::string("the total time")));
        return kExitFrame;
    }
    return kExitOk;
}

int CCtlRunner::dump(const CtlOptions& o) {
    DumpChoice choice{o.dumpCards, o.dumpMini, o.dumpDante};
    if (!choice.any())
        choice = {true, true, true};
    if (const std::string why = checkWriteTarget(qs(o.file)); !why.empty()) {
        fail(why);
        return kExitUsage;
    }
    if (const int rc = connectAndSettle(o); rc != kExitOk)
        return rc;
    if (const std::string why = CCardsLogic::unavailableReason(m_session->state()); !why.empty()) {
        fail(hostOf(o) + ": " + why);
        disconnect();
        return kExitFrame;
    }
    // The same text the window's dialog writes.
    const std::string text = moduleDumpText(m_session->state().settings, choice);
    disconnect();
    if (const std::string why = writeFileAtomically(qs(o.file), text); !why.empty()) {
        fail(why);
        return kExitUsage;
    }
    const int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    if (o.json) {
        CJsonWriter out;
        out.beginObject()
            .field("file", std::string_view(o.file))
            .field("cards", choice.cards)
            .field("mini", choice.mini)
            .field("dante", choice.dante)
            .field("lines", lines)
            .endObject();
        printJson(out.text());
    } else {
        print("wrote the module HW/SW dump (" + std::to_string(lines) + " lines) to " +
              terminalSafe(o.file) + "\n");
    }
    return kExitOk;
}

} // namespace velmar
