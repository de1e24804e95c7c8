// The crosspoint commands: routes, route, unroute, xpt save and xpt load.
#include "ctl/CtlCommands.h"

#include <algorithm>

namespace velmar {

namespace {

using Words = std::span<const std::string_view>;

bool readChannel(CtlOperandReader& r, std::string_view word, std::string_view what, int& into) {
    const auto number = ctlParseBounded(word, 1, kCtlMaxChannel);
    if (!number) {
        std::string message = std::string(what) + " must be a number from 1 to " +
                              std::to_string(kCtlMaxChannel) + ", not " + ctlQuoted(word);
        if (what == "IN" && word == "0")
            message += " (unroute clears a crosspoint)";
        return r.fail(std::move(message));
    }
    into = *number;
    return true;
}

bool addRoute(CtlOperandReader& r, const CtlRoute& route) {
    // Which of two inputs an output ends up with would depend on the order
    // the frame takes them: the operator meant one of them, not both.
    std::vector<CtlRoute>& routes = r.options.routes;
    if (std::any_of(routes.begin(), routes.end(),
                    [&](const CtlRoute& other) { return other.output == route.output; }))
        return r.fail("output " + std::to_string(route.output) +
                      " is named twice; nothing was sent");
    routes.push_back(route);
    return true;
}

// HOST OUT IN [OUT IN ...]
bool readPairs(CtlOperandReader& r, Words rest) {
    return r.readHostThen(rest, [](CtlOperandReader& r, Words rest) {
        if (rest.empty())
            return r.missing("OUT IN");
        if (rest.size() % 2 != 0)
            return r.fail("OUT " + ctlQuoted(rest.back()) + " has no IN: route takes OUT IN pairs");
        for (std::size_t k = 0; k < rest.size(); k += 2) {
            CtlRoute route;
            if (!readChannel(r, rest[k], "OUT", route.output) ||
                !readChannel(r, rest[k + 1], "IN", route.input) || !addRoute(r, route))
                return false;
        }
        return true;
    });
}

// HOST OUT [OUT ...]: each output with input 0.
bool readOutputs(CtlOperandReader& r, Words rest) {
    return r.readHostThen(rest, [](CtlOperandReader& r, Words rest) {
        if (rest.empty())
            return r.missing("OUT");
        for (const std::string_view word : rest) {
            CtlRoute route;
            if (!readChannel(r, word, "OUT", route.output) || !addRoute(r, route))
                return false;
        }
        return true;
    });
}

constexpr CtlCommandSpec kRows[] = {
    {"routes", "", CtlVerb::Routes, ctlHostOnly, "routes HOST", "",
     "List the connected crosspoints. A frame that does not report the\n"
     "route of every output gives exit status 1 (so do xpt save, which then\n"
     "writes no file, and xpt load).\n"
     "velmarctl routes 192.168.1.20"},
    {"route", "", CtlVerb::Route, readPairs, "route HOST OUT IN [OUT IN ...]", "",
     "Connect input IN to output OUT for each pair (both 1 to 1536).\n"
     "velmarctl route 192.168.1.20 5 17 6 18"},
    {"unroute", "", CtlVerb::Unroute, readOutputs, "unroute HOST OUT [OUT ...]", "",
     "Clear the crosspoint of each output OUT.\n"
     "velmarctl unroute 192.168.1.20 5 6"},
    {"xpt", "save", CtlVerb::XptSave, ctlHostFile, "xpt save HOST FILE", "",
     "Save the frame's crosspoints to an .xpt file.\n"
     "velmarctl xpt save 192.168.1.20 show.xpt"},
    {"xpt", "load", CtlVerb::XptLoad, ctlHostFile, "xpt load HOST FILE [--dry-run]", "",
     "Set the crosspoints stored in an .xpt file. With --dry-run, print what\n"
     "would be set and change nothing.\n"
     "velmarctl xpt load 192.168.1.20 show.xpt --dry-run"},
};

} // namespace

std::span<const CtlCommandSpec> ctlCrosspointCommands() { return kRows; }

} // namespace velmar
