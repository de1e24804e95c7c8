#include "server/ApiTable.h"

#include "protocol/JsonReader.h"
#include "protocol/JsonWriter.h"

#include <algorithm>
#include <set>

namespace velmar {

namespace {

constexpr ApiRoute kRoutes[] = {
    {"GET", "/api/v1/frames", ApiOp::ListFrames, Role::Viewer},
    {"GET", "/api/v1/frames/{id}", ApiOp::GetFrame, Role::Viewer},
    {"GET", "/api/v1/frames/{id}/routes", ApiOp::GetRoutes, Role::Viewer},
    {"POST", "/api/v1/frames/{id}/routes", ApiOp::Salvo, Role::Operator},
    {"PUT", "/api/v1/frames/{id}/routes/{output}", ApiOp::SetRoute, Role::Operator},
    {"DELETE", "/api/v1/frames/{id}/routes/{output}", ApiOp::ClearRoute, Role::Operator},
    {"GET", "/api/v1/frames/{id}/labels", ApiOp::GetLabels, Role::Viewer},
    {"PUT", "/api/v1/frames/{id}/labels", ApiOp::SetLabels, Role::Operator},
    {"GET", "/api/v1/events", ApiOp::Events, Role::Viewer},
    {"GET", "/api/v1/whoami", ApiOp::WhoAmI, Role::Viewer},
    {"GET", "/api/v1/openapi.json", ApiOp::OpenApi, Role::Viewer},
    {"GET", "/metrics", ApiOp::Metrics, Role::Viewer},
    {"GET", "/", ApiOp::Page, Role::Viewer},
    {"GET", "/ui/{file}", ApiOp::Page, Role::Viewer},
};

std::vector<std::string_view> patternSegments(std::string_view path) {
    std::vector<std::string_view> out;
    while (!path.empty()) {
        if (path.front() == '/') {
            path.remove_prefix(1);
            continue;
        }
        const std::size_t end = path.find('/');
        out.push_back(path.substr(0, end));
        path.remove_prefix(end == std::string_view::npos ? path.size() : end);
    }
    return out;
}

// Matches one pattern; fills the parameters when it does.
bool matches(std::string_view pattern, const std::vector<std::string>& segments, ApiMatch& m) {
    const std::vector<std::string_view> parts = patternSegments(pattern);
    if (parts.size() != segments.size())
        return false;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (parts[i] == "{id}")
            m.frameId = segments[i];
        else if (parts[i] == "{output}")
            m.output = segments[i];
        else if (parts[i] == "{file}")
            m.file = segments[i];
        else if (parts[i] != segments[i])
            return false;
    }
    return true;
}

std::optional<int> channelOf(const JsonValue* v, int crosspoints) {
    if (!v)
        return std::nullopt;
    const auto n = v->integer();
    if (!n || *n < 1 || *n > crosspoints)
        return std::nullopt;
    return static_cast<int>(*n);
}

std::string outOfRange(std::string_view what, int crosspoints) {
    std::string s(what);
    s += " must be a channel number from 1 to ";
    s += std::to_string(crosspoints);
    return s;
}

// The body as an object, or why not.
const JsonValue* objectOf(const JsonParseResult& parsed, std::string& error) {
    if (!parsed.value) {
        error = "the body is not JSON: ";
        error += parsed.error;
        return nullptr;
    }
    if (!parsed.value->isObject()) {
        error = "the body must be a JSON object";
        return nullptr;
    }
    return &*parsed.value;
}

bool onlyKeys(const JsonValue& object, std::initializer_list<std::string_view> keys,
              std::string& error) {
    for (const auto& [name, value] : object.members())
        if (std::find(keys.begin(), keys.end(), name) == keys.end()) {
            error = "unknown field \"";
            error += name.substr(0, 64);
            error += "\"";
            return false;
        }
    return true;
}

// Input of a route object: N, or null / 0 for unrouted.
bool routeInput(const JsonValue* v, int crosspoints, int& input, std::string& error) {
    if (!v) {
        error = "\"input\" is missing";
        return false;
    }
    if (v->isNull()) {
        input = 0;
        return true;
    }
    const auto n = channelOf(v, crosspoints);
    if (!n) {
        error = outOfRange("\"input\"", crosspoints) + ", or null to unroute";
        return false;
    }
    input = *n;
    return true;
}

} // namespace

std::span<const ApiRoute> apiRoutes() { return kRoutes; }

ApiMatch matchApiRoute(std::string_view method, const std::vector<std::string>& segments) {
    ApiMatch result;
    for (const ApiRoute& route : kRoutes) {
        ApiMatch m;
        if (!matches(route.path, segments, m))
            continue;
        if (route.method == method) {
            m.route = &route;
            m.status = 200;
            return m;
        }
        result.status = 405;
        if (result.allow.find(route.method) == std::string::npos) {
            if (!result.allow.empty())
                result.allow += ", ";
            result.allow += route.method;
        }
    }
    return result;
}

std::optional<int> parseOutputSegment(std::string_view text, int crosspoints) {
    if (text.empty() || text.size() > 5 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int n = std::stoi(std::string(text));
    if (n < 1 || n > crosspoints)
        return std::nullopt;
    return n;
}

BodyResult<int> parseRouteBody(std::string_view body, int crosspoints) {
    BodyResult<int> r;
    const JsonParseResult parsed = parseJson(body);
    const JsonValue* object = objectOf(parsed, r.error);
    if (!object || !onlyKeys(*object, {"input"}, r.error))
        return r;
    routeInput(object->find("input"), crosspoints, r.value, r.error);
    return r;
}

BodyResult<std::vector<RouteChange>> parseSalvoBody(std::string_view body, int crosspoints) {
    BodyResult<std::vector<RouteChange>> r;
    const JsonParseResult parsed = parseJson(body);
    const JsonValue* object = objectOf(parsed, r.error);
    if (!object || !onlyKeys(*object, {"routes"}, r.error))
        return r;
    const JsonValue* routes = object->find("routes");
    if (!routes || !routes->isArray() || routes->array().empty()) {
        r.error = "\"routes\" must be a list of {\"output\": O, \"input\": I}";
        return r;
    }
    if (routes->array().size() > static_cast<std::size_t>(crosspoints)) {
        r.error = "more routes than the frame has outputs";
        return r;
    }
    std::set<int> seen;
    for (std::size_t i = 0; i < routes->array().size(); ++i) {
        const JsonValue& entry = routes->array()[i];
        const std::string where = "route " + std::to_string(i + 1) + ": ";
        if (!entry.isObject()) {
            r.error = where + "not an object";
            break;
        }
        std::string why;
        RouteChange change;
        const auto output = channelOf(entry.find("output"), crosspoints);
        if (!onlyKeys(entry, {"output", "input"}, why)) {
        } else if (!output) {
            why = outOfRange("\"output\"", crosspoints);
        } else if (routeInput(entry.find("input"), crosspoints, change.input, why)) {
            change.output = *output;
            if (!seen.insert(change.output).second)
                why = "output " + std::to_string(change.output) + " is given twice";
        }
        if (!why.empty()) {
            r.error = where + why;
            break;
        }
        r.value.push_back(change);
    }
    if (!r.ok())
        r.value.clear();
    return r;
}

BodyResult<std::vector<LabelChange>> parseLabelsBody(std::string_view body, int crosspoints) {
    BodyResult<std::vector<LabelChange>> r;
    const JsonParseResult parsed = parseJson(body);
    const JsonValue* object = objectOf(parsed, r.error);
    if (!object || !onlyKeys(*object, {"labels"}, r.error))
        return r;
    const JsonValue* labels = object->find("labels");
    if (!labels || !labels->isArray() || labels->array().empty()) {
        r.error = "\"labels\" must be a list of {\"channel\": N, \"input\": \"text\", "
                  "\"output\": \"text\"}";
        return r;
    }
    if (labels->array().size() > static_cast<std::size_t>(crosspoints)) {
        r.error = "more labels than the frame has channels";
        return r;
    }
    std::set<int> seen;
    for (std::size_t i = 0; i < labels->array().size(); ++i) {
        const JsonValue& entry = labels->array()[i];
        const std::string where = "label " + std::to_string(i + 1) + ": ";
        std::string why;
        LabelChange change;
        if (!entry.isObject()) {
            why = "not an object";
        } else if (onlyKeys(entry, {"channel", "input", "output"}, why)) {
            const auto channel = channelOf(entry.find("channel"), crosspoints);
            if (!channel)
                why = outOfRange("\"channel\"", crosspoints);
            else if (!seen.insert(*channel).second)
                why = "channel " + std::to_string(*channel) + " is given twice";
            else
                change.channel = *channel;
            for (auto [name, target] : {std::pair{"input", &change.input},
                                        std::pair{"output", &change.output}}) {
                const JsonValue* v = entry.find(name);
                if (!v || !why.empty())
                    continue;
                if (!v->isString())
                    why = std::string("\"") + name + "\" must be a text";
                else
                    *target = v->string();
            }
            if (why.empty() && !change.input && !change.output)
                why = "give \"input\", \"output\" or both";
        }
        if (!why.empty()) {
            r.error = where + why;
            r.value.clear();
            return r;
        }
        r.value.push_back(std::move(change));
    }
    return r;
}

std::optional<std::string> parseTokenMessage(std::string_view message) {
    const JsonParseResult parsed = parseJson(message, JsonLimits{4, 16});
    if (!parsed.value || !parsed.value->isObject())
        return std::nullopt;
    const JsonValue* token = parsed.value->find("token");
    if (!token || !token->isString() || parsed.value->members().size() != 1)
        return std::nullopt;
    return token->string();
}

std::string errorJson(std::string_view text, int status) {
    CJsonWriter out;
    out.beginObject().field("error", text).field("status", status).endObject();
    return out.take();
}

} // namespace velmar
