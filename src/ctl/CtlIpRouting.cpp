#include "ctl/CtlIpRouting.h"

#include "iprouting/IpRouting.h"
#include "link/Ipv4.h"
#include "protocol/TerminalText.h"

namespace velmar {

namespace {

std::optional<int> number(const std::string& text, int lo, int hi) {
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < lo || value > hi)
        return std::nullopt;
    return value;
}

std::string quoted(const std::string& word) { return "'" + word + "'"; }

std::optional<std::string> needNumber(const std::string& word, std::string_view what, int lo,
                                      int hi) {
    if (number(word, lo, hi))
        return std::nullopt;
    return std::string(what) + " must be " + std::to_string(lo) + " to " + std::to_string(hi) +
           ", not " + quoted(word);
}

std::optional<std::string> needAddress(const std::string& word) {
    const auto address = parseIpv4(word);
    if (address && *address != 0 && *address != 0xFFFFFFFFU)
        return std::nullopt;
    return "ADDRESS must be a dotted IPv4 address, not " + quoted(word);
}

std::optional<std::string> countProblem(const std::vector<std::string>& words, std::size_t lo,
                                        std::size_t hi) {
    if (words.size() < lo)
        return std::string("missing operands");
    if (words.size() > hi)
        return "unexpected " + quoted(words[hi]);
    return std::nullopt;
}

template <typename... Checks>
std::optional<std::string> firstProblem(Checks... checks) {
    std::optional<std::string> found;
    ((found = found ? found : checks()), ...);
    return found;
}

std::optional<std::string> flowProblem(CtlVerb verb, const std::vector<std::string>& w) {
    if (w.empty())
        return std::string("missing tx or rx");
    if (w[0] != "tx" && w[0] != "rx")
        return "the direction is tx or rx, not " + quoted(w[0]);
    const bool tx = w[0] == "tx";
    if (verb == CtlVerb::FlowDelete) {
        if (auto p = countProblem(w, 2, 2))
            return p;
        return w[1] == "all" ? std::nullopt : needNumber(w[1], "ID", 1, kFlowCount);
    }
    if (auto p = countProblem(w, 5, 5))
        return p;
    return firstProblem([&] { return needNumber(w[1], "ID", 1, kFlowCount); },
                        [&] { return needNumber(w[2], "SLOTS", 1, kFlowSlots); },
                        [&] {
                            return tx ? needAddress(w[3])
                                      : needNumber(w[3], "PORT", kFlowPortFirst, kFlowPortLast);
                        },
                        [&] {
                            return tx ? needNumber(w[4], "PORT", kFlowPortFirst, kFlowPortLast)
                                      : needNumber(w[4], "LATENCY", 0, kFlowLatencyMax);
                        });
}

std::optional<std::string> danteProblem(CtlVerb verb, const std::vector<std::string>& w) {
    if (verb == CtlVerb::DanteUnroute) {
        if (auto p = countProblem(w, 1, 1))
            return p;
        return needNumber(w[0], "X", 1, kRouteChannels);
    }
    if (auto p = countProblem(w, 3, 3))
        return p;
    return firstProblem([&] { return needNumber(w[0], "X", 1, kRouteChannels); },
                        [&]() -> std::optional<std::string> {
                            if (w[1].empty())
                                return std::string("SOURCE-HOST must not be empty");
                            return hostNameProblem(w[1]);
                        },
                        [&] { return needNumber(w[2], "Y", 1, kRouteChannels); });
}

std::optional<std::string> ppmProblem(CtlVerb verb, const std::vector<std::string>& w) {
    const auto id = [&] { return needNumber(w[0], "ID", 1, 65535); };
    if (verb == CtlVerb::PpmRemove) {
        if (auto p = countProblem(w, 1, 1))
            return p;
        return id();
    }
    if (verb == CtlVerb::PpmAssign) {
        if (auto p = countProblem(w, 2, 2))
            return p;
        return firstProblem(id, [&] { return needNumber(w[1], "FIRST", 0, kPpmFirstChannelMax); });
    }
    if (auto p = countProblem(w, 3, 5))
        return p;
    return firstProblem(
        id, [&] { return needAddress(w[1]); },
        [&] { return needNumber(w[2], "PORT", 1000, 65535); },
        [&]() -> std::optional<std::string> {
            return w.size() > 3 ? needNumber(w[3], "CHANNELS", 2, kPpmSlots) : std::nullopt;
        },
        [&]() -> std::optional<std::string> {
            return w.size() > 4 ? needNumber(w[4], "RATE", 10, 60000) : std::nullopt;
        });
}

int numberOf(const std::string& word) { return number(word, 0, 999999999).value_or(0); }

} // namespace

std::optional<std::string> ipRoutingOperandProblem(CtlVerb verb,
                                                   const std::vector<std::string>& words) {
    switch (verb) {
    case CtlVerb::FlowCreate:
    case CtlVerb::FlowDelete: return flowProblem(verb, words);
    case CtlVerb::DanteRoute:
    case CtlVerb::DanteUnroute: return danteProblem(verb, words);
    case CtlVerb::PpmCreate:
    case CtlVerb::PpmRemove:
    case CtlVerb::PpmAssign: return ppmProblem(verb, words);
    default: return std::nullopt;
    }
}

CtlFlowArgs flowArgsOf(CtlVerb verb, const std::vector<std::string>& w) {
    CtlFlowArgs s;
    s.direction = w.at(0) == "tx" ? FlowDirection::Tx : FlowDirection::Rx;
    if (verb == CtlVerb::FlowDelete) {
        s.all = w.at(1) == "all";
        s.id = s.all ? 0 : numberOf(w[1]);
        return s;
    }
    s.id = numberOf(w.at(1));
    s.slots = numberOf(w.at(2));
    if (s.direction == FlowDirection::Tx) {
        s.address = w.at(3);
        s.port = numberOf(w.at(4));
    } else {
        s.port = numberOf(w.at(3));
        s.latency = numberOf(w.at(4));
    }
    return s;
}

CtlDanteArgs danteArgsOf(CtlVerb verb, const std::vector<std::string>& w) {
    CtlDanteArgs s;
    s.x = numberOf(w.at(0));
    if (verb == CtlVerb::DanteRoute) {
        s.sourceHost = w.at(1);
        s.y = numberOf(w.at(2));
    }
    return s;
}

CtlPpmArgs ppmArgsOf(CtlVerb verb, const std::vector<std::string>& w) {
    CtlPpmArgs s;
    s.id = static_cast<std::uint32_t>(numberOf(w.at(0)));
    if (verb == CtlVerb::PpmAssign)
        s.firstChannel = numberOf(w.at(1));
    if (verb == CtlVerb::PpmCreate) {
        s.create.id = s.id;
        s.create.address = w.at(1);
        s.create.port = numberOf(w.at(2));
        if (w.size() > 3)
            s.create.channels = numberOf(w[3]);
        if (w.size() > 4)
            s.create.rate = numberOf(w[4]);
    }
    return s;
}

std::string flowsText(const CFlowLogic& flows) {
    std::string out;
    for (const FlowDirection d : {FlowDirection::Tx, FlowDirection::Rx}) {
        const bool tx = d == FlowDirection::Tx;
        out += tx ? "Tx flows\n" : "Rx flows\n";
        if (flows.rows(d).empty())
            out += "  none\n";
        for (const FlowRow& r : flows.rows(d))
            out += "  " + std::to_string(r.id) + ": " + r.slots + " slots, port " + r.port +
                   (tx ? ", to " + terminalSafe(r.addressOrLatency)
                       : ", latency " + r.addressOrLatency + " us") +
                   ", channels " + (r.channels.empty() ? "-" : r.channels) + "\n";
    }
    return out;
}

void writeFlowsJson(CJsonWriter& out, const CFlowLogic& flows) {
    out.beginObject();
    for (const FlowDirection d : {FlowDirection::Tx, FlowDirection::Rx}) {
        const bool tx = d == FlowDirection::Tx;
        out.key(tx ? "tx" : "rx").beginArray();
        for (const FlowRow& row : flows.rows(d)) {
            const FlowRecord& r = flows.record(d, row.id);
            out.beginObject().field("id", r.id).field("slots", r.slots).field("port", r.port);
            if (tx)
                out.field("address", std::string_view(r.destination));
            else
                out.field("latency", r.latency);
            out.key("channels").beginArray();
            for (int j = 0; j < r.slots; ++j)
                out.value(r.channels[static_cast<std::size_t>(j)]);
            out.endArray().endObject();
        }
        out.endArray();
    }
    out.endObject();
}

std::string danteRoutesText(const CAutoRoutingLogic& routes) {
    std::string out =
        std::string("Automatic routing ") + (routes.autoRouting() ? "on" : "off") + "\n";
    if (routes.rows().empty())
        out += "  no routes\n";
    for (const RouteRow& r : routes.rows())
        out += "  " + r.destinationChannel + " on " + terminalSafe(r.destinationDevice) + " <- " +
               terminalSafe(r.sourceChannel) + " on " + terminalSafe(r.sourceDevice) + "\n";
    return out;
}

void writeDanteRoutesJson(CJsonWriter& out, const CAutoRoutingLogic& routes) {
    out.beginObject().field("autoRouting", routes.autoRouting()).key("routes").beginArray();
    for (const RouteRow& r : routes.rows()) {
        const RouteRecord& rec = routes.route(r.channel);
        out.beginObject()
            .field("destination", r.channel)
            .field("destinationDevice", std::string_view(rec.destinationDevice))
            .field("source", sourceChannelNumber(rec.sourceChannel))
            .field("sourceDevice", std::string_view(rec.sourceDevice))
            .endObject();
    }
    out.endArray().endObject();
}

std::string ppmText(const CPpmLogic& streams) {
    std::string out;
    if (streams.rows().empty())
        out += "no PPM streams\n";
    for (const PpmRow& r : streams.rows()) {
        const PpmStream* s = streams.stream(r.id);
        out += "stream " + r.streamId + ": to " + terminalSafe(r.address) + ":" + r.port + ", " +
               r.channels + " channels, every " + r.time + " ms, phase " + r.phase + ", " +
               (r.enable == "1" ? "enabled" : "disabled") + "\n";
        if (s == nullptr)
            continue;
        std::string channels;
        for (int k = 1; k <= s->channels; ++k) {
            if (k > 1)
                channels += ',';
            channels += std::to_string(s->slots[static_cast<std::size_t>(k)]);
        }
        out += "  channels " + channels + "\n";
    }
    return out;
}

void writePpmJson(CJsonWriter& out, const CPpmLogic& streams) {
    out.beginObject().key("streams").beginArray();
    for (const PpmRow& r : streams.rows()) {
        const PpmStream* s = streams.stream(r.id);
        if (s == nullptr)
            continue;
        out.beginObject()
            .field("id", s->id)
            .field("address", std::string_view(s->address))
            .field("port", s->port)
            .field("channels", s->channels)
            .field("rateMs", s->rate)
            .field("phase", s->phase)
            .field("enabled", s->enable != 0)
            .key("slots")
            .beginArray();
        for (int k = 1; k <= s->channels; ++k)
            out.value(s->slots[static_cast<std::size_t>(k)]);
        out.endArray().endObject();
    }
    out.endArray().endObject();
}

} // namespace velmar
