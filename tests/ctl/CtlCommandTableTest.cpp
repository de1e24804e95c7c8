// The command table against what the user reads about it: --help, the manual
// page and the bash completion name every command, and nothing else.

#include "ctl/CtlCommands.h"

#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace velmar {
namespace {

std::string words(const CtlCommandSpec& row) {
    std::string text(row.first);
    if (!row.second.empty())
        text.append(" ").append(row.second);
    return text;
}

std::set<std::string> tableCommands() {
    std::set<std::string> all;
    for (const CtlCommandSpec& row : ctlCommands())
        all.insert(words(row));
    return all;
}

std::string readSource(const std::string& path) {
    std::ifstream in(std::string(VELMAR_SOURCE_DIR) + "/" + path);
    EXPECT_TRUE(in) << path;
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::set<std::string> splitWords(const std::string& text) {
    std::istringstream in(text);
    std::set<std::string> out;
    for (std::string word; in >> word;)
        out.insert(word);
    return out;
}

TEST(CtlCommandTable, RowsAreDistinctAndListedInOrder) {
    std::set<std::string> seen;
    std::set<CtlVerb> verbs;
    for (const CtlCommandSpec& row : ctlCommands()) {
        EXPECT_TRUE(seen.insert(words(row)).second) << words(row) << " twice";
        EXPECT_TRUE(verbs.insert(row.verb).second) << words(row) << ": its verb twice";
        // Usage messages quote the row's usage: it starts with its words.
        EXPECT_TRUE(row.usage.starts_with(words(row))) << row.usage;
        EXPECT_FALSE(row.help.empty()) << words(row);
        // Its words alone reach it: its verb, or what it still needs.
        std::vector<std::string_view> line = {row.first};
        if (!row.second.empty())
            line.push_back(row.second);
        const CtlParse parsed = parseCtlArguments(line);
        if (parsed.options)
            EXPECT_EQ(parsed.options->verb, row.verb) << words(row);
        else
            EXPECT_TRUE(
                parsed.error.ends_with(std::string("usage is velmarctl ").append(row.usage)) ||
                parsed.error.starts_with(words(row).append(" needs ")))
                << parsed.error;
    }
    for (auto verb = static_cast<int>(CtlVerb::Discover); verb <= static_cast<int>(CtlVerb::Health);
         ++verb)
        EXPECT_TRUE(verbs.contains(static_cast<CtlVerb>(verb))) << "no row for verb " << verb;

    const CtlParse unknown = parseCtlArguments(std::vector<std::string_view>{"frobnicate"});
    EXPECT_EQ(unknown.error, "unknown command 'frobnicate'; the commands are " + ctlCommandList());
    std::string list;
    for (const CtlCommandSpec& row : ctlCommands())
        list.append(list.empty() ? "" : ", ").append(words(row));
    EXPECT_EQ(ctlCommandList(), list);
}

TEST(CtlCommandTable, HelpShowsEveryRowInTableOrder) {
    const std::string help = ctlHelpText();
    std::size_t at = help.find("\nCommands:\n");
    ASSERT_NE(at, std::string::npos);
    for (const CtlCommandSpec& row : ctlCommands()) {
        const std::string synopsis(row.synopsis.empty() ? row.usage : row.synopsis);
        const std::string first = synopsis.substr(0, synopsis.find('\n'));
        const std::size_t found = help.find("\n  " + first + "\n", at);
        ASSERT_NE(found, std::string::npos) << first << " missing or out of order";
        at = found + 1;
    }
    EXPECT_LT(at, help.find("\nOptions:\n"));
}

TEST(CtlCommandTable, ManualPageListsEveryCommand) {
    // The line after each .TP of COMMANDS names a command, in roff.
    const std::string page = readSource("packaging/man/velmarctl.1");
    const std::size_t start = page.find("\n.SH COMMANDS\n");
    ASSERT_NE(start, std::string::npos);
    const std::size_t end = page.find("\n.SH ", start + 1);
    std::istringstream lines(page.substr(start, end - start));
    const std::set<std::string> known = tableCommands();
    std::set<std::string> listed;
    bool nameLine = false;
    for (std::string line; std::getline(lines, line);) {
        if (line == ".TP") {
            nameLine = true;
            continue;
        }
        if (!nameLine)
            continue;
        nameLine = false;
        line = std::regex_replace(line, std::regex(R"(\\f[BIRP]|^\.[BI][BIR]? |")"), "");
        line = std::regex_replace(line, std::regex(R"(\\-)"), "-");
        std::istringstream tokens(line);
        std::string first, second;
        tokens >> first >> second;
        listed.insert(known.contains(first + " " + second) ? first + " " + second : first);
    }
    EXPECT_EQ(listed, known);
}

TEST(CtlCommandTable, CompletionOffersEveryCommandWord) {
    const std::string script = readSource("packaging/completion/velmarctl");
    std::set<std::string> firsts;
    std::map<std::string, std::set<std::string>> seconds;
    for (const CtlCommandSpec& row : ctlCommands()) {
        firsts.insert(std::string(row.first));
        if (!row.second.empty())
            seconds[std::string(row.first)].insert(std::string(row.second));
    }
    // The words offered first, then those after each command word.
    std::smatch match;
    ASSERT_TRUE(std::regex_search(
        script, match, std::regex(R"(0\)\s*\n\s*COMPREPLY=\(\$\(compgen -W '([^']*)')")));
    EXPECT_EQ(splitWords(match[1]), firsts);
    std::map<std::string, std::set<std::string>> offered;
    const std::regex after(
        R"(\[\[ \$\{command\[0\]\} == (\S+) \]\] && COMPREPLY=\(\$\(compgen -W '([^']*)')");
    for (auto it = std::sregex_iterator(script.begin(), script.end(), after);
         it != std::sregex_iterator(); ++it)
        offered[(*it)[1]] = splitWords((*it)[2]);
    EXPECT_EQ(offered, seconds);
}

} // namespace
} // namespace velmar
