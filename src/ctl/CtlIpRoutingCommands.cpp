// The IP audio routing commands: flows, dante routes and PPM streams.
#include "ctl/CtlCommands.h"
#include "ctl/CtlIpRouting.h"

namespace velmar {

namespace {

using Words = std::span<const std::string_view>;

// HOST, then the words ipRoutingOperandProblem checks for the verb.
bool readWords(CtlOperandReader& r, Words rest) {
    return r.readHostThen(rest, [](CtlOperandReader& r, Words rest) {
        for (const std::string_view word : rest)
            r.options.words.emplace_back(word);
        if (auto problem = ipRoutingOperandProblem(r.command.verb, r.options.words))
            return r.fail(*problem + ": " + r.usage());
        return true;
    });
}

constexpr CtlCommandSpec kRows[] = {
    {"flows", "", CtlVerb::Flows, ctlHostOnly, "flows HOST", "",
     "List the Tx and Rx flows of the frame's Dante module with their slot\n"
     "channels, as \"Manual IP routing control\" lists them.\n"
     "velmarctl flows 192.168.1.20 --json"},
    {"flow", "create", CtlVerb::FlowCreate, readWords,
     "flow create HOST tx ID SLOTS ADDRESS PORT | rx ID SLOTS PORT LATENCY",
     "flow create HOST tx ID SLOTS ADDRESS PORT\n"
     "flow create HOST rx ID SLOTS PORT LATENCY",
     "Create a flow (ID 1..32, 1..8 slots, port 14528..14591, latency in\n"
     "us), checked and sent as the dialog's \"Create\" does; even slot counts\n"
     "get their channels at once. Each reply is reported as confirmed,\n"
     "refused or unanswered.\n"
     "velmarctl flow create 192.168.1.20 tx 3 8 192.168.1.50 14530"},
    {"flow", "delete", CtlVerb::FlowDelete, readWords, "flow delete HOST tx|rx ID|all", "",
     "Delete one flow, or every flow of that direction.\n"
     "velmarctl flow delete 192.168.1.20 rx all"},
    {"dante", "routes", CtlVerb::DanteRoutes, ctlHostOnly, "dante routes HOST", "",
     "List the automatic routes of the 64 destination channels.", true},
    {"dante", "route", CtlVerb::DanteRoute, readWords, "dante route HOST X SOURCE-HOST Y", "",
     "Route destination channel X (1..64) to channel Y (1..64) of the Dante\n"
     "device SOURCE-HOST; automatic routing must be on.",
     true},
    {"dante", "unroute", CtlVerb::DanteUnroute, readWords, "dante unroute HOST X", "",
     "Remove the route of destination channel X.\n"
     "velmarctl dante route 192.168.1.20 3 studio-b 5"},
    {"ppm", "", CtlVerb::Ppm, ctlHostOnly, "ppm HOST", "",
     "List the PPM streams with their slot channels.", true},
    {"ppm", "create", CtlVerb::PpmCreate, readWords,
     "ppm create HOST ID ADDRESS PORT [CHANNELS [RATE]]", "",
     "Create a stream (ID 1..65535, port 1000..65535, 2..255 channels,\n"
     "default 64, rate 10..60000 ms, default 50).",
     true},
    {"ppm", "remove", CtlVerb::PpmRemove, readWords, "ppm remove HOST ID", "", "Remove a stream.",
     true},
    {"ppm", "assign", CtlVerb::PpmAssign, readWords, "ppm assign HOST ID FIRST", "",
     "Put channels FIRST, FIRST+1 ... on the stream's slots; FIRST 0\n"
     "clears them.\n"
     "velmarctl ppm assign 192.168.1.20 7 33"},
};

} // namespace

std::span<const CtlCommandSpec> ctlIpRoutingCommands() { return kRows; }

} // namespace velmar
