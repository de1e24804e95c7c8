#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// Who may do what. A viewer reads and follows events; an operator also
// changes routes and labels. A server without a token file serves loopback
// only and treats every caller as an operator without a name.
enum class Role { Viewer, Operator };

std::string_view roleName(Role role); // "viewer", "operator"

struct ApiToken {
    std::string name;
    Role role = Role::Viewer;
    std::string secret;
};

struct TokenFileResult {
    std::vector<ApiToken> tokens;
    std::string error; // "tokens:3: unknown role \"admin\"" ...; never quotes a secret
    bool ok() const { return error.empty(); }
};

inline constexpr std::size_t kMinTokenLength = 16;

// Lines "NAME ROLE TOKEN", '#' comments and blank lines. Names and tokens
// must be unique; a token is at least kMinTokenLength printable characters.
TokenFileResult parseTokenFile(std::string_view text, std::string_view fileName);

// Empty when a file with these permission bits may hold tokens, else why not:
// a token file that the group or others can read (or write) is refused.
std::string tokenFileModeProblem(unsigned mode, std::string_view fileName);

// The token `presented` matches, compared in constant time against every
// token so the time taken tells nothing of how much of a secret was right.
const ApiToken* findToken(const std::vector<ApiToken>& tokens, std::string_view presented);

// The token of "Authorization: Bearer TOKEN"; nullopt for any other form.
std::optional<std::string_view> bearerToken(std::string_view authorization);

} // namespace velmar
