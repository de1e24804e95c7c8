#include "server/Tokens.h"

#include "server/ServerConfig.h"

#include <algorithm>
#include <set>

namespace velmar {

namespace {

bool printableWord(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
        return static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7F;
    });
}

// Always walks the whole of the longer text.
bool constantTimeEqual(std::string_view a, std::string_view b) {
    const std::size_t n = std::max(a.size(), b.size());
    unsigned diff = a.size() == b.size() ? 0U : 1U;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
        const unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
        diff |= static_cast<unsigned>(x ^ y);
    }
    return diff == 0;
}

} // namespace

std::string_view roleName(Role role) { return role == Role::Operator ? "operator" : "viewer"; }

TokenFileResult parseTokenFile(std::string_view text, std::string_view fileName) {
    TokenFileResult result;
    std::set<std::string> names;
    std::set<std::string> secrets;
    int lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        std::string_view line = takeLine(text);
        std::vector<std::string_view> words;
        std::size_t i = 0;
        while (i < line.size()) {
            while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
                ++i;
            const std::size_t start = i;
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
                ++i;
            if (i > start)
                words.push_back(line.substr(start, i - start));
        }
        if (words.empty() || words.front().front() == '#')
            continue;
        const auto fail = [&](const std::string& why) {
            result.error = std::string(fileName) + ":" + std::to_string(lineNumber) + ": " + why;
            result.tokens.clear();
            return result;
        };
        if (words.size() != 3)
            return fail("not \"NAME ROLE TOKEN\"");
        if (!printableWord(words[0]) || words[0].size() > 64)
            return fail("a name is 1 to 64 printable characters");
        ApiToken token;
        token.name = words[0];
        if (words[1] == "viewer")
            token.role = Role::Viewer;
        else if (words[1] == "operator")
            token.role = Role::Operator;
        else
            return fail(std::string("unknown role \"").append(words[1].substr(0, 32)) +
                        "\" (viewer or operator)");
        if (!printableWord(words[2]) || words[2].size() < kMinTokenLength)
            return fail("the token of \"" + token.name + "\" is shorter than " +
                        std::to_string(kMinTokenLength) + " characters");
        token.secret = words[2];
        if (!names.insert(token.name).second)
            return fail("the name \"" + token.name + "\" is given twice");
        if (!secrets.insert(token.secret).second)
            return fail("the token of \"" + token.name + "\" is another name's token too");
        result.tokens.push_back(std::move(token));
    }
    if (result.tokens.empty())
        result.error = std::string(fileName) + ": no tokens";
    return result;
}

std::string tokenFileModeProblem(unsigned mode, std::string_view fileName) {
    if ((mode & 077U) == 0)
        return {};
    return std::string(fileName) +
           " can be read or written by others than its owner; make it private "
           "(chmod 600) so the tokens stay secret";
}

const ApiToken* findToken(const std::vector<ApiToken>& tokens, std::string_view presented) {
    const ApiToken* found = nullptr;
    for (const ApiToken& token : tokens)
        if (constantTimeEqual(token.secret, presented) && !found)
            found = &token;
    return found;
}

std::optional<std::string_view> bearerToken(std::string_view authorization) {
    constexpr std::string_view kScheme = "bearer ";
    if (authorization.size() <= kScheme.size())
        return std::nullopt;
    for (std::size_t i = 0; i < kScheme.size(); ++i)
        if (static_cast<char>(authorization[i] | 0x20) != kScheme[i])
            return std::nullopt;
    std::string_view token = authorization.substr(kScheme.size());
    while (!token.empty() && token.front() == ' ')
        token.remove_prefix(1);
    if (token.empty())
        return std::nullopt;
    return token;
}

} // namespace velmar
