// velmarctl's flow, dante and ppm commands: the IP routing dialogs' own
// logic on the window's engine, with every change confirmed by the frame's
// reply or reported refused.

#include "ctl/CCtlRunner.h"
#include "ctl/CtlIpRouting.h"
#include "ctl/SettingsReport.h"

#include <limits>
#include <map>
#include <set>
#include <tuple>

namespace velmar {

namespace {

// The command line is the operator's answer: what it asks for is wanted.
class CCommandLineQuestions final : public IQuestions {
public:
    bool askYesNo(std::string_view, std::string_view) override { return true; }
};

// The reads a listing is made of, and what one reads, in words.
std::string readWhat(CommandId id, std::uint32_t first, std::int32_t second) {
    const std::string n = std::to_string(first);
    const std::string slot = "slot " + std::to_string(second) + " of ";
    switch (id) {
    case CommandId::gcrtxflow: return "Tx flow " + n;
    case CommandId::gcrrxflow: return "Rx flow " + n;
    case CommandId::gtxflowslot: return slot + "Tx flow " + n;
    case CommandId::grxflowslot: return slot + "Rx flow " + n;
    case CommandId::gcrossip: return "the route of channel " + n;
    case CommandId::lppmid: return "the PPM stream list";
    case CommandId::gppminfo: return "PPM stream " + n;
    case CommandId::gppmchn:
    case CommandId::gppmextchn: return slot + "PPM stream " + n;
    default: return {};
    }
}

bool isListRead(CommandId id) { return !readWhat(id, 0, 0).empty(); }

// Forwards the core's requests to the frame, counts those the frame has not
// answered yet, and files the changes with the tracker once it is set. The
// answers to the reads of a listing are checked: a refusal, an answer for
// another ID than asked, or a negative count makes the listing wrong, not
// empty, and failure() says so.
class CAnsweredSink final : public IRequestSink {
public:
    explicit CAnsweredSink(IRequestSink& engine) : m_engine(engine) {}

    CSettingsReplyTracker* tracker = nullptr;
    bool checkReads = true; // off while a change is made: its outcome is the tracker's

    void sendRequest(DeviceMessage message) override {
        ++m_pending[message.command];
        ++m_total;
        if (isListRead(message.command))
            m_reads.insert(readKey(message));
        if (tracker != nullptr && message.command != CommandId::InvalidReply &&
            (message.flags & FlagRequest) != 0 && isChange(message.command))
            tracker->expect(message);
        m_engine.sendRequest(message);
    }

    void onMessage(const DeviceMessage& m, bool isReply, const CResponseDecoder& decoder) {
        if (!isReply)
            return;
        // The window's dispatch asks for each stream an id list names.
        checkRead(m);
        if (m.command == CommandId::lppmid && m.status == 0)
            for (const std::uint32_t id : decoder.ppmIdList())
                if (id != 0) {
                    ++m_pending[CommandId::gppminfo];
                    ++m_total;
                    m_reads.insert({CommandId::gppminfo, id, 0});
                }
        const auto it = m_pending.find(m.command);
        if (it != m_pending.end() && it->second > 0) {
            --it->second;
            --m_total;
        }
    }

    bool allAnswered() const { return m_total == 0; }
    const std::string& failure() const { return m_failure; }

private:
    using ReadKey = std::tuple<CommandId, std::uint32_t, std::int32_t>;

    static ReadKey readKey(const DeviceMessage& m) {
        switch (m.command) {
        case CommandId::lppmid: return {m.command, 0, 0};
        case CommandId::gtxflowslot:
        case CommandId::grxflowslot:
        case CommandId::gppmchn:
        case CommandId::gppmextchn: return {m.command, m.u(1), m.i(2)};
        default: return {m.command, m.u(1), 0};
        }
    }

    void checkRead(const DeviceMessage& m) {
        if (!checkReads || !isListRead(m.command) || !m_failure.empty())
            return;
        const ReadKey key = readKey(m);
        const std::string what = readWhat(m.command, std::get<1>(key), std::get<2>(key));
        const auto it = m_reads.find(key);
        if (it == m_reads.end()) {
            // An answer while reads of its kind wait, but to none of them.
            const auto same =
                m_reads.lower_bound({m.command, 0, std::numeric_limits<std::int32_t>::min()});
            if (same != m_reads.end() && std::get<0>(*same) == m.command)
                m_failure = "the frame answered for " + what + ", which was not asked for";
            return;
        }
        m_reads.erase(it);
        if (m.status != 0) {
            m_failure = "the frame refused to report " + what + " (status " +
                        std::to_string(m.status) + ")";
            return;
        }
        const bool counted = m.command == CommandId::gcrtxflow ||
                             m.command == CommandId::gcrrxflow || m.command == CommandId::gppminfo;
        if (counted && m.i(2) < 0)
            m_failure = "the frame reported " + std::to_string(m.i(2)) + " " +
                        (m.command == CommandId::gppminfo ? "channels" : "slots") + " for " + what;
    }

    static bool isChange(CommandId id) {
        switch (id) {
        case CommandId::scrtxflow:
        case CommandId::scrrxflow:
        case CommandId::stxflowslot:
        case CommandId::srxflowslot:
        case CommandId::scrossip:
        case CommandId::sppmcreate:
        case CommandId::sppmdelete:
        case CommandId::sppmchn:
        case CommandId::sppmextchn:
        case CommandId::sppmenable: return true;
        default: return false;
        }
    }

    IRequestSink& m_engine;
    std::map<CommandId, int> m_pending;
    int m_total = 0;
    std::multiset<ReadKey> m_reads;
    std::string m_failure;
};

int rowOf(const std::vector<PpmRow>& rows, std::uint32_t id) {
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].id == id)
            return static_cast<int>(i);
    return -1;
}

} // namespace

std::span<const CCtlRunner::RunnerRow> CCtlRunner::ipRoutingRunners() {
    static constexpr RunnerRow kRows[] = {
        {CtlVerb::Flows, &CCtlRunner::ipRouting},
        {CtlVerb::FlowCreate, &CCtlRunner::ipRouting},
        {CtlVerb::FlowDelete, &CCtlRunner::ipRouting},
        {CtlVerb::DanteRoutes, &CCtlRunner::ipRouting},
        {CtlVerb::DanteRoute, &CCtlRunner::ipRouting},
        {CtlVerb::DanteUnroute, &CCtlRunner::ipRouting},
        {CtlVerb::Ppm, &CCtlRunner::ipRouting},
        {CtlVerb::PpmCreate, &CCtlRunner::ipRouting},
        {CtlVerb::PpmRemove, &CCtlRunner::ipRouting},
        {CtlVerb::PpmAssign, &CCtlRunner::ipRouting},
    };
    return kRows;
}

int CCtlRunner::ipRouting(const CtlOptions& o) {
    if (const int rc = connectAndSettle(o); rc != kExitOk)
        return rc;
    const DeviceState& s = m_session->state();
    if (!s.ipModulePresent()) {
        fail(s.connectedAddress + " has no IP audio module");
        disconnect();
        return kExitFrame;
    }
    CCommandLineQuestions questions;
    CAnsweredSink sink(m_session->engine());
    CSettingsReplyTracker tracker;
    IDialogSink* logicSink = nullptr;
    m_session->setObserver(
        [&](const DeviceMessage& m, bool isReply, const CResponseDecoder& decoder) {
            sink.onMessage(m, isReply, decoder);
            if (logicSink != nullptr)
                logicSink->onDeviceMessage(m, isReply, decoder);
            tracker.onMessage(m, isReply);
        });
    // Waits for every request sent so far; kExitOk or the failure's status.
    const auto settle = [&]() -> int {
        const CCtlSession::Wait wait = m_session->waitFor(
            [&sink] { return sink.allAnswered() || !sink.failure().empty(); }, o.timeoutMs);
        if (!sink.failure().empty()) {
            // What was read is not the frame's list: show none of it, change nothing.
            tracker.giveUp();
            fail(std::string(bareAddress(o.host)) + ": " + sink.failure());
            disconnect();
            return kExitFrame;
        }
        if (wait == CCtlSession::Wait::Done)
            return kExitOk;
        tracker.giveUp();
        return waitFailure(wait, std::string(bareAddress(o.host)) + " did not answer within " +
                                     std::to_string(o.timeoutMs) + " ms");
    };
    // Refused before anything was sent.
    const auto refused = [&](const std::string& why) {
        fail(why);
        disconnect();
        return kExitFrame;
    };
    // Sends what `change` asks for and reports each request's outcome.
    const auto changeAndReport = [&](const std::function<std::string()>& change) -> int {
        sink.tracker = &tracker;
        sink.checkReads = false;
        if (const std::string why = change(); !why.empty())
            return refused(why);
        sink.tracker = nullptr;
        const int rc = settle();
        if (o.json) {
            CJsonWriter out;
            writeSettingsOutcomeJson(out, tracker);
            printJson(out.text());
        } else {
            print(settingsOutcomeText(tracker));
        }
        if (rc != kExitOk)
            return rc;
        disconnect();
        if (!tracker.allConfirmed()) {
            fail("the frame refused " +
                 std::to_string(tracker.count(CSettingsReplyTracker::Outcome::Refused)) + " of " +
                 std::to_string(tracker.entries().size()) + " requests");
            return kExitFrame;
        }
        return kExitOk;
    };
    const auto listed = [&](const std::string& text,
                            const std::function<void(CJsonWriter&)>& json) {
        if (o.json) {
            CJsonWriter out;
            json(out);
            printJson(out.text());
        } else {
            print(text);
        }
        disconnect();
        return kExitOk;
    };

    switch (o.verb) {
    case CtlVerb::Flows:
    case CtlVerb::FlowCreate:
    case CtlVerb::FlowDelete: {
        CFlowLogic logic(s, sink, questions);
        logicSink = &logic;
        logic.opened();
        if (const int rc = settle(); rc != kExitOk)
            return rc;
        if (o.verb == CtlVerb::Flows)
            return listed(flowsText(logic), [&](CJsonWriter& out) { writeFlowsJson(out, logic); });
        const CtlFlowArgs args = flowArgsOf(o.verb, o.words);
        const bool tx = args.direction == FlowDirection::Tx;
        if (o.verb == CtlVerb::FlowCreate) {
            FlowFields& f = logic.fields();
            (tx ? f.txId : f.rxId) = args.id;
            (tx ? f.txSlots : f.rxSlots) = args.slots;
            (tx ? f.txPort : f.rxPort) = args.port;
            f.txDestination = args.address;
            f.rxLatency = args.latency;
            return changeAndReport(
                [&] { return (tx ? logic.createTx() : logic.createRx()).message; });
        }
        std::vector<int> ids;
        for (const FlowRow& r : logic.rows(args.direction))
            if (args.all || r.id == args.id)
                ids.push_back(r.id);
        if (ids.empty() && !args.all)
            return refused("there is no " + std::string(tx ? "Tx" : "Rx") + " flow " +
                           std::to_string(args.id));
        return changeAndReport([&]() -> std::string {
            for (const int id : ids) {
                const auto& rows = logic.rows(args.direction);
                for (std::size_t i = 0; i < rows.size(); ++i)
                    if (rows[i].id == id) {
                        const int row = static_cast<int>(i);
                        logic.deleteFlow(tx ? row : -1, tx ? -1 : row);
                    }
            }
            return {};
        });
    }
    case CtlVerb::DanteRoutes:
    case CtlVerb::DanteRoute:
    case CtlVerb::DanteUnroute: {
        CAutoRoutingLogic logic(s, sink, questions);
        logicSink = &logic;
        if (o.verb == CtlVerb::DanteRoute) {
            const CtlDanteArgs args = danteArgsOf(o.verb, o.words);
            return changeAndReport(
                [&] { return logic.connect(args.y, args.sourceHost, args.x, "").message; });
        }
        logic.opened();
        if (const int rc = settle(); rc != kExitOk)
            return rc;
        if (o.verb == CtlVerb::DanteRoutes)
            return listed(danteRoutesText(logic),
                          [&](CJsonWriter& out) { writeDanteRoutesJson(out, logic); });
        const CtlDanteArgs args = danteArgsOf(o.verb, o.words);
        int row = -1;
        for (std::size_t i = 0; i < logic.rows().size(); ++i)
            if (logic.rows()[i].channel == args.x)
                row = static_cast<int>(i);
        if (row < 0)
            return refused("destination channel " + std::to_string(args.x) + " is not routed");
        return changeAndReport([&] { return logic.deleteRoutes({row}).message; });
    }
    case CtlVerb::Ppm:
    case CtlVerb::PpmCreate:
    case CtlVerb::PpmRemove:
    case CtlVerb::PpmAssign: {
        CPpmLogic logic(s, sink, questions);
        logicSink = &logic;
        if (o.verb == CtlVerb::PpmCreate) {
            const CtlPpmArgs args = ppmArgsOf(o.verb, o.words);
            return changeAndReport([&] { return logic.createWith(args.create).message; });
        }
        logic.opened();
        if (const int rc = settle(); rc != kExitOk)
            return rc;
        if (o.verb == CtlVerb::Ppm) {
            for (const PpmRow& r : std::vector<PpmRow>(logic.rows()))
                logic.showAssignment(r.id);
            if (const int rc = settle(); rc != kExitOk)
                return rc;
            return listed(ppmText(logic), [&](CJsonWriter& out) { writePpmJson(out, logic); });
        }
        const CtlPpmArgs args = ppmArgsOf(o.verb, o.words);
        const int row = rowOf(logic.rows(), args.id);
        if (row < 0)
            return refused("there is no PPM stream " + std::to_string(args.id));
        if (o.verb == CtlVerb::PpmRemove)
            return changeAndReport([&] { return logic.removeSelected({row}).message; });
        logic.quick().firstChannel = args.firstChannel;
        logic.quick().channels = kPpmSlots; // every slot of the stream
        return changeAndReport([&] {
            return (args.firstChannel == 0 ? logic.deassignChannels({row})
                                           : logic.assignChannels({row}))
                .message;
        });
    }
    default: break;
    }
    disconnect();
    return kExitUsage;
}

} // namespace velmar
