// The commands that look at frames without changing them: discover, status,
// watch, send, inputs and health.
#include "ctl/CtlCommands.h"

#include <algorithm>

namespace velmar {

namespace {

using Words = std::span<const std::string_view>;

// HOST LINE
bool readLine(CtlOperandReader& r, Words rest) {
    return r.readHostThen(rest, [](CtlOperandReader& r, Words rest) {
        if (rest.empty())
            return r.missing("LINE");
        if (rest.size() > 1)
            return r.fail("unexpected " + ctlQuoted(rest[1]) + ": " + r.usage() +
                          " (quote a LINE that holds blanks)");
        if (rest[0].empty())
            return r.fail("LINE must not be empty");
        r.options.line = std::string(rest[0]);
        return true;
    });
}

// --all, or HOST...
bool readHosts(CtlOperandReader& r, Words rest) {
    CtlOptions& o = r.options;
    if (o.all && !rest.empty())
        return r.fail("--all searches for every frame: name no HOST with it");
    if (!o.all && rest.empty())
        return r.fail("health needs --all or at least one HOST: " + r.usage());
    for (const std::string_view word : rest) {
        if (!r.readHost(word))
            return false;
        // Checking one frame twice would only cost a second connection.
        if (std::find(o.hosts.begin(), o.hosts.end(), o.host) == o.hosts.end())
            o.hosts.push_back(o.host);
    }
    o.host.clear();
    return true;
}

constexpr CtlCommandSpec kSearchRows[] = {
    {"discover", "", CtlVerb::Discover, ctlNoOperands, "discover [--wait MS]", "",
     "Search the network; print one line per frame that answers.\n"
     "velmarctl discover\n"
     "velmarctl discover --wait 3000"},
    {"status", "", CtlVerb::Status, ctlHostOnly, "status HOST", "",
     "Show identity, model, family, versions, modules, cards, sync, sample\n"
     "rate, power supplies and fans. What the frame did not report is shown\n"
     "as \"not reported\" and named on standard error (exit status 1).\n"
     "velmarctl status 192.168.1.20\n"
     "velmarctl --json status 192.168.1.20"},
};

constexpr CtlCommandSpec kMessageRows[] = {
    {"watch", "", CtlVerb::Watch, ctlHostOnly, "watch HOST [--log DIR]", "",
     "Print every message the frame sends on its own until interrupted\n"
     "(Ctrl+C), with the names of the channels it names. With --log, also\n"
     "append what happened (link, sync, rate, PSUs, fans, inputs, routes)\n"
     "to the event log in DIR, in the window's format (events.jsonl).\n"
     "velmarctl watch 192.168.1.20 --json\n"
     "velmarctl watch 192.168.1.20 --log ~/velmar-log"},
    {"send", "", CtlVerb::Send, readLine, "send HOST LINE", "",
     "Send one request line and print the decoded reply (the line that\n"
     "carries the request's tag; --verbose shows the others too).\n"
     "velmarctl send 192.168.1.20 '?gcross,5'"},
};

constexpr CtlCommandSpec kInputRows[] = {
    {"inputs", "", CtlVerb::Inputs, ctlHostOnly, "inputs HOST [--watch]", "",
     "Show the signal status of every main-board input and, on a 460, of\n"
     "the inputs of its SDI, AD, AES and MADI cards, as the Signal input\n"
     "status dialog shows it; \"?\" marks an input the frame did not report\n"
     "(exit status 1). With --watch, then print one line per input whose\n"
     "status changes until interrupted (Ctrl+C ends it with status 0).\n"
     "velmarctl inputs 192.168.1.20 --json\n"
     "velmarctl inputs 192.168.1.20 --watch"},
};

constexpr CtlCommandSpec kHealthRows[] = {
    {"health", "", CtlVerb::Health, readHosts, "health [--all [--wait MS] | HOST...]", "",
     "Check frames before a show: connect to all of them at once, read\n"
     "identity, sync, sample rate, PSUs, fans and input status and print\n"
     "one line per frame with its verdict (OK, Warning, Alarm or\n"
     "Unreachable). --all checks every frame that answers a search.\n"
     "Exit status 0 when all are OK, 1 when any has a warning or alarm\n"
     "(a value it did not report is a warning), 3 when any is unreachable.\n"
     "velmarctl health --all\n"
     "velmarctl health 192.168.1.20 192.168.1.21 --json"},
};

} // namespace

std::span<const CtlCommandSpec> ctlSearchCommands() { return kSearchRows; }
std::span<const CtlCommandSpec> ctlMessageCommands() { return kMessageRows; }
std::span<const CtlCommandSpec> ctlInputCommands() { return kInputRows; }
std::span<const CtlCommandSpec> ctlHealthCommands() { return kHealthRows; }

} // namespace velmar
