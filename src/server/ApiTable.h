#pragma once

#include "server/Tokens.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// Everything velmar-server answers, as one table: the method, the path with
// its parameters in braces, what it does and the least role it needs. The
// listener matches requests against it, the OpenAPI document is tested
// against it, and roles are checked in one place from it.
enum class ApiOp {
    ListFrames,
    GetFrame,
    GetRoutes,
    SetRoute,
    ClearRoute,
    Salvo,
    GetLabels,
    SetLabels,
    Events,
    WhoAmI,
    OpenApi,
    Metrics,
    Page, // the browser page's files: served to anyone, it signs in itself
};

struct ApiRoute {
    std::string_view method;
    std::string_view path; // "/api/v1/frames/{id}/routes/{output}"
    ApiOp op;
    Role role; // the least role that may call it
};

std::span<const ApiRoute> apiRoutes();

struct ApiMatch {
    const ApiRoute* route = nullptr; // nullptr: `status` says why (404, 405)
    int status = 404;
    std::string allow;               // for 405: the methods the path takes, "GET, PUT"
    std::string frameId;             // {id}
    std::string output;              // {output}, as sent
    std::string file;                // {file}, one decoded segment
};

// Matches decoded path segments against the table.
ApiMatch matchApiRoute(std::string_view method, const std::vector<std::string>& segments);

// A route change as a client asked it: input 0 unroutes.
struct RouteChange {
    int output = 0;
    int input = 0;
};

// A label change: a text for either side, or both.
struct LabelChange {
    int channel = 0;
    std::optional<std::string> input;
    std::optional<std::string> output;
};

// What a request body asked for, or why it cannot be done (plain words, for a
// 400 answer). `crosspoints` bounds every channel number.
template <typename T>
struct BodyResult {
    T value{};
    std::string error;
    bool ok() const { return error.empty(); }
};

// "{output}" of a path: 1..crosspoints, digits only.
std::optional<int> parseOutputSegment(std::string_view text, int crosspoints);
// {"input": N} (N 1..crosspoints, or null to unroute).
BodyResult<int> parseRouteBody(std::string_view body, int crosspoints);
// {"routes": [{"output": O, "input": I}, ...]}: at least one, each output once.
BodyResult<std::vector<RouteChange>> parseSalvoBody(std::string_view body, int crosspoints);
// {"labels": [{"channel": N, "input": "text", "output": "text"}, ...]}: each
// channel once, at least one of input and output per entry.
BodyResult<std::vector<LabelChange>> parseLabelsBody(std::string_view body, int crosspoints);
// {"token": "..."}: the first message of a WebSocket client that could not
// send the header.
std::optional<std::string> parseTokenMessage(std::string_view message);

// {"error": "...", "status": N}
std::string errorJson(std::string_view text, int status);

} // namespace velmar
