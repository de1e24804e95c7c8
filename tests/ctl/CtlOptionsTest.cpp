#include "ctl/CtlOptions.h"

#include <gtest/gtest.h>
#include <set>
#include <sstream>

namespace velmar {
namespace {

CtlParse parse(std::initializer_list<std::string_view> words) {
    return parseCtlArguments(std::span<const std::string_view>(words.begin(), words.size()));
}

std::string joined(std::initializer_list<std::string_view> words) {
    std::string out;
    for (const std::string_view w : words)
        out.append(out.empty() ? "" : " ").append("[").append(w).append("]");
    return out;
}

CtlOptions with(CtlVerb verb, std::string host = {}) {
    CtlOptions o;
    o.verb = verb;
    o.host = std::move(host);
    return o;
}

void expectSame(const CtlOptions& got, const CtlOptions& want, const std::string& where) {
    EXPECT_EQ(got.verb, want.verb) << where;
    EXPECT_EQ(got.host, want.host) << where;
    EXPECT_EQ(got.routes, want.routes) << where;
    EXPECT_EQ(got.file, want.file) << where;
    EXPECT_EQ(got.line, want.line) << where;
    EXPECT_EQ(got.json, want.json) << where;
    EXPECT_EQ(got.dryRun, want.dryRun) << where;
    EXPECT_EQ(got.telnet, want.telnet) << where;
    EXPECT_EQ(got.type, want.type) << where;
    EXPECT_EQ(got.timeoutMs, want.timeoutMs) << where;
    EXPECT_EQ(got.waitMs, want.waitMs) << where;
}

struct Good {
    const char* name;
    std::initializer_list<std::string_view> args;
    CtlOptions want;
};

template <typename Edit>
CtlOptions edited(CtlOptions o, Edit edit) {
    edit(o);
    return o;
}

constexpr const char* kHost = "192.168.1.20";

TEST(CtlOptions, AcceptedLines) {
    using V = CtlVerb;
    const auto json = [](CtlOptions& o) { o.json = true; };
    const Good rows[] = {
        {"discover", {"discover"}, with(V::Discover)},
        {"discover wait",
         {"discover", "--wait", "250"},
         edited(with(V::Discover), [](CtlOptions& o) { o.waitMs = 250; })},
        {"status", {"status", kHost}, with(V::Status, kHost)},
        {"routes", {"routes", "127.0.0.2"}, with(V::Routes, "127.0.0.2")},
        {"route pairs",
         {"route", kHost, "5", "17", "6", "18"},
         edited(with(V::Route, kHost),
                [](CtlOptions& o) {
                    o.routes = {{5, 17}, {6, 18}};
                })},
        {"route edges",
         {"route", kHost, "1", "1536", "1536", "1", "007", "9"},
         edited(with(V::Route, kHost),
                [](CtlOptions& o) {
                    o.routes = {{1, 1536}, {1536, 1}, {7, 9}};
                })},
        {"unroute",
         {"unroute", kHost, "5", "1536", "6"},
         edited(with(V::Unroute, kHost),
                [](CtlOptions& o) {
                    o.routes = {{5, 0}, {1536, 0}, {6, 0}};
                })},
        {"xpt save",
         {"xpt", "save", kHost, "show.xpt"},
         edited(with(V::XptSave, kHost), [](CtlOptions& o) { o.file = "show.xpt"; })},
        {"xpt load",
         {"xpt", "load", kHost, "my show.xpt"},
         edited(with(V::XptLoad, kHost), [](CtlOptions& o) { o.file = "my show.xpt"; })},
        {"xpt load dry run",
         {"xpt", "--dry-run", "load", kHost, "show.xpt"},
         edited(with(V::XptLoad, kHost),
                [](CtlOptions& o) {
                    o.file = "show.xpt";
                    o.dryRun = true;
                })},
        {"watch", {"watch", kHost, "--json"}, edited(with(V::Watch, kHost), json)},
        {"send",
         {"send", kHost, "?gcross,5"},
         edited(with(V::Send, kHost), [](CtlOptions& o) { o.line = "?gcross,5"; })},
        {"send line with blanks",
         {"send", kHost, "!slabel,3,Drum left"},
         edited(with(V::Send, kHost), [](CtlOptions& o) { o.line = "!slabel,3,Drum left"; })},
        // Options before, between and after the command words.
        {"json first", {"--json", "status", kHost}, edited(with(V::Status, kHost), json)},
        {"json between", {"status", "--json", kHost}, edited(with(V::Status, kHost), json)},
        {"json last", {"status", kHost, "--json"}, edited(with(V::Status, kHost), json)},
        {"every common option",
         {"--telnet", "route", "--timeout", "250", kHost, "--type", "460", "3", "4"},
         edited(with(V::Route, kHost),
                [](CtlOptions& o) {
                    o.telnet = true;
                    o.timeoutMs = 250;
                    o.type = "460";
                    o.routes = {{3, 4}};
                })},
        {"= form",
         {"--timeout=1", "--type=465", "discover", "--wait=3600000"},
         edited(with(V::Discover),
                [](CtlOptions& o) {
                    o.timeoutMs = 1;
                    o.type = "465";
                    o.waitMs = 3600000;
                })},
        {"= form keeps the rest",
         {"--type=RB16", "status", kHost},
         edited(with(V::Status, kHost), [](CtlOptions& o) { o.type = "RB16"; })},
        {"last value wins",
         {"--timeout", "10", "--timeout", "20", "status", kHost},
         edited(with(V::Status, kHost), [](CtlOptions& o) { o.timeoutMs = 20; })},
        // After "--" every word is an operand, options and help included.
        {"-- before a line like an option",
         {"send", kHost, "--", "--json"},
         edited(with(V::Send, kHost), [](CtlOptions& o) { o.line = "--json"; })},
        {"-- keeps help as a word",
         {"--json", "send", "--", kHost, "--help"},
         edited(with(V::Send, kHost),
                [](CtlOptions& o) {
                    o.line = "--help";
                    o.json = true;
                })},
        {"-- before the command", {"--", "status", kHost}, with(V::Status, kHost)},
        {"a lone - is a word",
         {"xpt", "save", kHost, "-"},
         edited(with(V::XptSave, kHost), [](CtlOptions& o) { o.file = "-"; })},
        // The device list's marks stay on the host.
        {"recovery mark", {"status", "*127.0.0.2"}, with(V::Status, "*127.0.0.2")},
        {"hash mark",
         {"route", "#10.0.0.9", "1", "2"},
         edited(with(V::Route, "#10.0.0.9"),
                [](CtlOptions& o) {
                    o.routes = {{1, 2}};
                })},
        // Help wins wherever it stands, even among mistakes; version next.
        {"no arguments", {}, with(V::Help)},
        {"--help", {"--help"}, with(V::Help)},
        {"-h after a command", {"route", kHost, "5", "-h"}, with(V::Help)},
        {"help among mistakes", {"frobnicate", "--bogus", "--help"}, with(V::Help)},
        {"help beats version", {"--version", "--help"}, with(V::Help)},
        {"--version", {"--version"}, with(V::Version)},
        {"version with a command", {"status", kHost, "--version"}, with(V::Version)},
    };
    for (const Good& row : rows) {
        const CtlParse result = parse(row.args);
        ASSERT_TRUE(result.options.has_value()) << row.name << ": " << result.error;
        EXPECT_EQ(result.error, "") << row.name;
        expectSame(*result.options, row.want, row.name);
    }
}

struct Bad {
    std::initializer_list<std::string_view> args;
    // Pieces the message must hold, the offending word among them.
    std::initializer_list<std::string_view> says;
};

void expectRefused(const std::initializer_list<Bad>& rows) {
    for (const Bad& row : rows) {
        const CtlParse result = parse(row.args);
        const std::string where = joined(row.args);
        EXPECT_FALSE(result.options.has_value()) << where;
        EXPECT_FALSE(result.error.empty()) << where;
        for (const std::string_view piece : row.says)
            EXPECT_NE(result.error.find(piece), std::string::npos)
                << where << " -> \"" << result.error << "\" lacks \"" << piece << "\"";
    }
}

TEST(CtlOptions, CommandWordsAndOperandCounts) {
    expectRefused({
        {{"frobnicate", kHost}, {"'frobnicate'", "discover", "routes", "xpt load", "send"}},
        {{"Status", kHost}, {"'Status'"}},
        {{"--json"}, {"no command", "discover"}},
        {{"--"}, {"no command"}},
        {{"xpt"}, {"save or load"}},
        {{"xpt", "copy", kHost, "a.xpt"}, {"'copy'"}},
        {{"discover", "now"}, {"'now'"}},
        {{"status"}, {"HOST", "status HOST"}},
        {{"routes", kHost, "extra"}, {"'extra'"}},
        {{"watch", kHost, "5"}, {"'5'"}},
        {{"route"}, {"HOST"}},
        {{"route", kHost}, {"OUT IN"}},
        {{"route", kHost, "5"}, {"'5'", "pairs"}},
        {{"route", kHost, "5", "17", "6"}, {"'6'", "pairs"}},
        {{"unroute", kHost}, {"OUT"}},
        {{"xpt", "save", kHost}, {"FILE"}},
        {{"xpt", "load", kHost, "a.xpt", "b.xpt"}, {"'b.xpt'"}},
        {{"xpt", "save", kHost, ""}, {"FILE", "empty"}},
        {{"send", kHost}, {"LINE"}},
        {{"send", kHost, ""}, {"LINE", "empty"}},
        {{"send", kHost, "?gcross", "5"}, {"'5'", "quote"}},
    });
}

TEST(CtlOptions, HostMustBeDottedIpv4) {
    expectRefused({
        {{"status", "localhost"}, {"HOST", "'localhost'"}},
        {{"status", "192.168.1"}, {"'192.168.1'"}},
        {{"status", "192.168.1.256"}, {"'192.168.1.256'"}},
        {{"status", "192.168.1.20:10003"}, {"'192.168.1.20:10003'"}},
        {{"status", " 192.168.1.20"}, {"' 192.168.1.20'"}},
        {{"status", "**192.168.1.20"}, {"'**192.168.1.20'"}},
        {{"status", "*#192.168.1.20"}, {"'*#192.168.1.20'"}},
        {{"status", "192.168.1.20*"}, {"'192.168.1.20*'"}},
        {{"status", "!192.168.1.20"}, {"'!192.168.1.20'"}},
        {{"status", "*"}, {"'*'"}},
        {{"status", ""}, {"HOST", "''"}},
        // The host is checked before the numbers after it.
        {{"route", "frame1", "5", "6"}, {"'frame1'"}},
    });
}

TEST(CtlOptions, ChannelNumbersArePlainDecimalsInRange) {
    expectRefused({
        {{"route", kHost, "0", "1"}, {"OUT", "'0'", "1536"}},
        {{"route", kHost, "1537", "1"}, {"OUT", "'1537'"}},
        {{"route", kHost, "1", "1537"}, {"IN", "'1537'"}},
        {{"route", kHost, "1", "0"}, {"IN", "'0'", "unroute"}},
        {{"route", kHost, "99999999999", "1"}, {"'99999999999'"}},
        {{"route", kHost, "184467440737095516170", "1"}, {"'184467440737095516170'"}},
        {{"route", kHost, "5", "-1"}, {"IN", "'-1'"}},
        {{"route", kHost, "+5", "1"}, {"'+5'"}},
        {{"route", kHost, "5x", "1"}, {"'5x'"}},
        {{"route", kHost, "0x10", "1"}, {"'0x10'"}},
        {{"route", kHost, "5 ", "1"}, {"'5 '"}},
        {{"route", kHost, "", "1"}, {"OUT", "''"}},
        {{"route", kHost, "1", "2", "3", "x"}, {"'x'"}},
        {{"unroute", kHost, "0"}, {"OUT", "'0'"}},
        {{"unroute", kHost, "5", "1537"}, {"'1537'"}},
        {{"unroute", kHost, "-1"}, {"'-1'"}},
    });
}

TEST(CtlOptions, OptionMistakes) {
    expectRefused({
        {{"--bogus", "status", kHost}, {"unknown option", "'--bogus'"}},
        {{"status", kHost, "--bogus=3"}, {"'--bogus'"}},
        {{"status", kHost, "-j"}, {"'-j'"}},
        {{"status", kHost, "--json=yes"}, {"--json", "'yes'"}},
        {{"status", kHost, "--help=me"}, {"--help", "'me'"}},
        {{"status", kHost, "--timeout"}, {"--timeout", "MS"}},
        {{"--timeout", "--json", "status", kHost}, {"--timeout", "value"}},
        {{"--timeout", "0", "status", kHost}, {"--timeout", "'0'", "3600000"}},
        {{"--timeout", "3600001", "status", kHost}, {"'3600001'"}},
        {{"--timeout=", "status", kHost}, {"--timeout", "''"}},
        {{"--timeout=1e3", "status", kHost}, {"'1e3'"}},
        {{"--timeout", "-5", "status", kHost}, {"'-5'"}},
        {{"--timeout", "99999999999", "status", kHost}, {"'99999999999'"}},
        {{"discover", "--wait", "0"}, {"--wait", "'0'"}},
        {{"discover", "--wait=5x"}, {"'5x'"}},
        {{"--type", "", "status", kHost}, {"--type", "empty"}},
        {{"--type=", "status", kHost}, {"--type", "empty"}},
        {{"status", kHost, "--type"}, {"--type", "MODEL"}},
        // Options that belong to one command only.
        {{"status", kHost, "--wait", "100"}, {"--wait only goes with discover"}},
        {{"--wait=100", "route", kHost, "1", "2"}, {"--wait only goes with discover"}},
        {{"xpt", "save", kHost, "a.xpt", "--dry-run"}, {"--dry-run only goes with xpt load"}},
        {{"--dry-run", "route", kHost, "1", "2"}, {"--dry-run only goes with xpt load"}},
        {{"discover", "--dry-run"}, {"--dry-run only goes with xpt load"}},
        // cards: a make it knows, and --dry-run only with a make to try.
        {{"cards", kHost, "--make", "y"}, {"--make must be x", "brix", "'y'"}},
        {{"cards", kHost, "--make=", "--dry-run"}, {"--make must be x", "''"}},
        {{"cards", kHost, "--make"}, {"--make needs a value (MAKE)"}},
        {{"status", kHost, "--make", "x"}, {"--make only goes with cards"}},
        {{"cards", kHost, "--dry-run"}, {"--dry-run only goes with", "cards --make"}},
        {{"cards", kHost, "x"}, {"unexpected 'x'", "cards HOST [--make x|brix [--dry-run]]"}},
    });
}

TEST(CtlOptions, CardsTakesAMakeInAnyCaseAndADryRunWithIt) {
    const CtlParse show = parse({"cards", kHost});
    ASSERT_TRUE(show.options) << show.error;
    EXPECT_EQ(show.options->verb, CtlVerb::Cards);
    EXPECT_FALSE(show.options->make.has_value());

    const CtlParse x = parse({"--make=X", "cards", kHost, "--dry-run"});
    ASSERT_TRUE(x.options) << x.error;
    EXPECT_EQ(x.options->make, CardMake::X);
    EXPECT_TRUE(x.options->dryRun);

    const CtlParse brix = parse({"cards", kHost, "--make", "Brix"});
    ASSERT_TRUE(brix.options) << brix.error;
    EXPECT_EQ(brix.options->make, CardMake::Brix);
    EXPECT_FALSE(brix.options->dryRun);
}

// Splits an example line as a shell would, for the single quotes the help
// text uses.
std::vector<std::string> shellWords(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (const char c : line) {
        if (c == '\'') {
            quoted = !quoted;
            inWord = true;
        } else if (c == ' ' && !quoted) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word.push_back(c);
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

TEST(CtlOptions, LabelCommands) {
    const auto parse = [](std::vector<std::string_view> args) { return parseCtlArguments(args); };
    CtlParse r = parse({"labels", "set", "10.0.0.1", "17", "--input", "Kick", "--output="});
    ASSERT_TRUE(r.options) << r.error;
    EXPECT_EQ(r.options->verb, CtlVerb::LabelsSet);
    EXPECT_EQ(r.options->channel, 17);
    EXPECT_EQ(r.options->inputLabel, "Kick");
    EXPECT_EQ(r.options->outputLabel, "") << "an empty label clears";
    r = parse({"labels", "import", "10.0.0.1", "a.csv", "--skip-invalid", "--dry-run"});
    ASSERT_TRUE(r.options) << r.error;
    EXPECT_TRUE(r.options->skipInvalid && r.options->dryRun);

    const std::vector<std::pair<std::vector<std::string_view>, std::string>> refused{
        {{"labels", "set", "10.0.0.1", "17"},
         "labels set needs --input TEXT, --output TEXT or both"},
        {{"labels", "set", "10.0.0.1", "2049", "--input", "x"},
         "CHANNEL must be a number from 1 to 2048, not '2049'"},
        {{"labels", "set", "10.0.0.1", "1", "--input", "a,b"},
         "--input 'a,b': the label holds a quote, comma or control character"},
        {{"labels", "set", "10.0.0.1", "1", "--output", "SEVENTEEN-CHARS-X"},
         "--output 'SEVENTEEN-CHARS-X': the label is longer than 16 bytes"},
        {{"labels", "get", "10.0.0.1", "--skip-invalid"},
         "--skip-invalid only goes with labels import"},
        {{"labels", "export", "10.0.0.1", "a.csv", "--csv"}, "--csv only goes with labels get"},
        {{"routes", "10.0.0.1", "--input", "x"}, "--input and --output only go with labels set"},
        {{"labels", "show", "10.0.0.1"}, "labels needs get, set, import or export, not 'show'"},
    };
    for (const auto& [args, error] : refused) {
        r = parse(args);
        EXPECT_FALSE(r.options);
        EXPECT_EQ(r.error, error);
    }
}

TEST(CtlHelp, EveryCommandHasAnExampleThatParses) {
    const std::string help = ctlHelpText();
    std::set<CtlVerb> exampled;
    std::istringstream lines(help);
    std::string line;
    while (std::getline(lines, line)) {
        EXPECT_LT(line.size(), 80U) << line;
        const auto start = line.find_first_not_of(' ');
        if (start == std::string::npos || line.compare(start, 10, "velmarctl ") != 0)
            continue;
        const std::vector<std::string> words = shellWords(std::string_view(line).substr(start));
        const std::vector<std::string_view> args(words.begin() + 1, words.end());
        const CtlParse result = parseCtlArguments(args);
        ASSERT_TRUE(result.options.has_value()) << line << ": " << result.error;
        exampled.insert(result.options->verb);
    }
    for (const CtlVerb verb :
         {CtlVerb::Discover, CtlVerb::Status, CtlVerb::Routes, CtlVerb::Route, CtlVerb::Unroute,
          CtlVerb::XptSave, CtlVerb::XptLoad, CtlVerb::Watch, CtlVerb::Send, CtlVerb::Cards,
          CtlVerb::LabelsGet, CtlVerb::LabelsSet, CtlVerb::LabelsImport, CtlVerb::LabelsExport,
          CtlVerb::Gains, CtlVerb::Levels, CtlVerb::Health})
        EXPECT_TRUE(exampled.contains(verb)) << "no example for verb " << static_cast<int>(verb);

    for (const char* usage :
         {"discover [--wait MS]", "status HOST", "routes HOST", "route HOST OUT IN [OUT IN ...]",
          "unroute HOST OUT [OUT ...]", "xpt save HOST FILE", "xpt load HOST FILE [--dry-run]",
          "watch HOST [--log DIR]", "send HOST LINE", "cards HOST [--make x|brix [--dry-run]]",
          "health [--all [--wait MS] | HOST...]"})
        EXPECT_NE(help.find(std::string("\n  ") + usage + "\n"), std::string::npos) << usage;
    for (const char* option :
         {"--json", "--timeout MS", "--telnet", "--type MODEL", "--wait MS", "--dry-run",
          "--make MAKE", "-h, --help", "--version", "--name=value"})
        EXPECT_NE(help.find(option), std::string::npos) << option;

    // The exit statuses as the caller returns them.
    const std::pair<int, const char*> statuses[] = {
        {kExitOk, "success"},
        {kExitFrame, "the frame refused or did not answer"},
        {kExitUsage, "usage error (also a file"},
        {kExitUnreachable, "frame not reachable, or it closed the connection"},
    };
    for (const auto& [code, meaning] : statuses)
        EXPECT_NE(help.find("\n  " + std::to_string(code) + "  " + meaning), std::string::npos)
            << code;

    EXPECT_EQ(ctlVersionText(), "velmarctl " + std::string(kCtlVersion));
}

TEST(CtlOptions, InputsTakesAHostAndWatch) {
    const CtlParse plain = parse({"inputs", kHost});
    ASSERT_TRUE(plain.options) << plain.error;
    EXPECT_EQ(plain.options->verb, CtlVerb::Inputs);
    EXPECT_FALSE(plain.options->watch);
    const CtlParse watched = parse({"--watch", "inputs", kHost, "--json"});
    ASSERT_TRUE(watched.options) << watched.error;
    EXPECT_TRUE(watched.options->watch);
    EXPECT_TRUE(watched.options->json);
    expectRefused({
        {{"inputs"}, {"missing HOST", "inputs HOST [--watch]"}},
        {{"inputs", kHost, "3"}, {"unexpected '3'"}},
        {{"watch", kHost, "--watch"}, {"--watch only goes with inputs"}},
        {{"inputs", kHost, "--watch=yes"}, {"--watch", "'yes'"}},
    });
    EXPECT_NE(ctlHelpText().find("inputs HOST [--watch]"), std::string::npos);
}

} // namespace
} // namespace velmar

namespace velmar {
namespace {

TEST(CtlOptions, HealthTakesHostsOrAllAndWatchALogFolder) {
    const CtlParse named = parse({"health", "10.0.0.2", "*10.0.0.3", "10.0.0.2", "--json"});
    ASSERT_TRUE(named.options) << named.error;
    EXPECT_EQ(named.options->verb, CtlVerb::Health);
    EXPECT_EQ(named.options->hosts, (std::vector<std::string>{"10.0.0.2", "*10.0.0.3"}))
        << "a frame named twice is checked once";
    const CtlParse all = parse({"health", "--all", "--wait", "300"});
    ASSERT_TRUE(all.options) << all.error;
    EXPECT_TRUE(all.options->all);
    EXPECT_EQ(all.options->waitMs, 300);

    EXPECT_FALSE(parse({"health", "10.0.0.2", "--wait", "300"}).options)
        << "--wait only times a search";
    EXPECT_FALSE(parse({"health", "10.0.0.256"}).options);
    EXPECT_FALSE(parse({"health", "--all", "10.0.0.2"}).options);
    EXPECT_FALSE(parse({"watch", "10.0.0.2", "--log", ""}).options);
    const CtlParse log = parse({"watch", "10.0.0.2", "--log", "/tmp/x"});
    ASSERT_TRUE(log.options) << log.error;
    EXPECT_EQ(log.options->logFolder, "/tmp/x");
}

} // namespace
} // namespace velmar
