// The API's table: matching, roles, its OpenAPI document, and the request
// bodies the server parses itself.

#include "protocol/JsonReader.h"
#include "server/ApiTable.h"

#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>

namespace velmar {
namespace {

std::vector<std::string> segments(std::string_view path) {
    std::vector<std::string> out;
    std::string s(path);
    std::stringstream in(s);
    std::string part;
    while (std::getline(in, part, '/'))
        if (!part.empty())
            out.push_back(part);
    return out;
}

TEST(ApiTable, RequestsMatchTheirRowWithParametersOr404Or405) {
    struct Case {
        const char* method;
        const char* path;
        int status;
        ApiOp op;
        const char* frame;
        const char* output;
        const char* allow;
    };
    const Case cases[] = {
        {"GET", "/api/v1/frames", 200, ApiOp::ListFrames, "", "", ""},
        {"GET", "/api/v1/frames/studio-a", 200, ApiOp::GetFrame, "studio-a", "", ""},
        {"PUT", "/api/v1/frames/a/routes/17", 200, ApiOp::SetRoute, "a", "17", ""},
        {"DELETE", "/api/v1/frames/a/routes/17", 200, ApiOp::ClearRoute, "a", "17", ""},
        {"POST", "/api/v1/frames/a/routes", 200, ApiOp::Salvo, "a", "", ""},
        {"PUT", "/api/v1/frames/a/labels", 200, ApiOp::SetLabels, "a", "", ""},
        {"GET", "/metrics", 200, ApiOp::Metrics, "", "", ""},
        {"GET", "/api/v1/frames/a/routes/17", 405, ApiOp::ListFrames, "", "", "PUT, DELETE"},
        {"DELETE", "/api/v1/frames", 405, ApiOp::ListFrames, "", "", "GET"},
        {"GET", "/api/v2/frames", 404, ApiOp::ListFrames, "", "", ""},
        {"GET", "/api/v1/frames/a/routes/17/x", 404, ApiOp::ListFrames, "", "", ""},
        {"GET", "/", 200, ApiOp::Page, "", "", ""},
        {"GET", "/ui/app.js", 200, ApiOp::Page, "", "", ""},
        {"GET", "/ui", 404, ApiOp::ListFrames, "", "", ""},
    };
    for (const Case& c : cases) {
        const ApiMatch m = matchApiRoute(c.method, segments(c.path));
        EXPECT_EQ(m.status, c.status) << c.method << " " << c.path;
        if (c.status == 200) {
            ASSERT_NE(m.route, nullptr) << c.path;
            EXPECT_EQ(m.route->op, c.op) << c.path;
            EXPECT_EQ(m.frameId, c.frame) << c.path;
            EXPECT_EQ(m.output, c.output) << c.path;
        } else {
            EXPECT_EQ(m.route, nullptr);
            EXPECT_EQ(m.allow, c.allow) << c.path;
        }
    }
    // Every change needs an operator; every read a viewer.
    for (const ApiRoute& r : apiRoutes())
        EXPECT_EQ(r.role, r.method == "GET" ? Role::Viewer : Role::Operator) << r.path;
}

TEST(ApiTable, OpenApiDocumentDescribesExactlyTheTable) {
    std::ifstream file(std::string(VELMAR_SOURCE_DIR) + "/src/server/openapi.json");
    ASSERT_TRUE(file) << "openapi.json not found";
    const std::string text((std::istreambuf_iterator<char>(file)), {});
    const JsonParseResult doc = parseJson(text);
    ASSERT_TRUE(doc.value) << doc.error;
    ASSERT_NE(doc.value->find("openapi"), nullptr);
    EXPECT_EQ(doc.value->find("openapi")->string().substr(0, 2), "3.");
    const JsonValue* paths = doc.value->find("paths");
    ASSERT_TRUE(paths && paths->isObject());

    std::set<std::string> documented;
    for (const auto& [path, item] : paths->members())
        for (const auto& [method, operation] : item.members()) {
            if (method == "parameters")
                continue;
            std::string upper;
            for (char ch : method)
                upper += static_cast<char>(ch - 'a' + 'A');
            documented.insert(upper + " " + path);
            EXPECT_NE(operation.find("responses"), nullptr) << upper << " " << path;
            // Every answer the server can give a change is documented.
            if (upper != "GET") {
                for (const char* code : {"401", "403", "404", "409", "503", "504"})
                    EXPECT_NE(operation.find("responses")->find(code), nullptr)
                        << upper << " " << path << " lacks " << code;
            }
        }
    std::set<std::string> served;
    for (const ApiRoute& r : apiRoutes())
        if (r.op != ApiOp::Page) // the page's files are no part of the API
            served.insert(std::string(r.method) + " " + std::string(r.path));
    EXPECT_EQ(documented, served);
}

TEST(ApiTable, RouteAndSalvoBodies) {
    struct Case {
        const char* body;
        const char* error; // prefix; nullptr: accepted
        int input;
    };
    const Case routes[] = {
        {R"({"input": 17})", nullptr, 17},
        {R"({"input": null})", nullptr, 0},
        {R"({"input": 1536})", nullptr, 1536},
        {R"({"input": 1537})", "\"input\" must be a channel number from 1 to 1536", 0},
        {R"({"input": 0})", "\"input\" must be", 0},
        {R"({"input": 1.5})", "\"input\" must be", 0},
        {R"({"input": "17"})", "\"input\" must be", 0},
        {R"({})", "\"input\" is missing", 0},
        {R"({"input": 1, "x": 2})", "unknown field \"x\"", 0},
        {R"([17])", "the body must be a JSON object", 0},
        {R"({"input": )", "the body is not JSON", 0},
        {"", "the body is not JSON", 0},
    };
    for (const Case& c : routes) {
        const auto r = parseRouteBody(c.body, 1536);
        if (!c.error) {
            EXPECT_TRUE(r.ok()) << c.body << ": " << r.error;
            EXPECT_EQ(r.value, c.input) << c.body;
        } else {
            EXPECT_EQ(r.error.rfind(c.error, 0), 0U) << c.body << ": " << r.error;
        }
    }

    const auto salvo = parseSalvoBody(
        R"({"routes":[{"output":1,"input":5},{"output":2,"input":null},{"input":7,"output":1536}]})",
        1536);
    ASSERT_TRUE(salvo.ok()) << salvo.error;
    ASSERT_EQ(salvo.value.size(), 3U);
    EXPECT_EQ(salvo.value[1].input, 0);
    EXPECT_EQ(salvo.value[2].output, 1536);
    const std::pair<const char*, const char*> badSalvos[] = {
        {R"({"routes":[]})", "\"routes\" must be a list"},
        {R"({"routes":{}})", "\"routes\" must be a list"},
        {R"({"routes":[{"output":1,"input":2},{"output":1,"input":3}]})",
         "route 2: output 1 is given twice"},
        {R"({"routes":[{"output":1025,"input":2}]})", "route 1: \"output\" must be a channel number from 1 to 1024"},
        {R"({"routes":[{"output":1}]})", "route 1: \"input\" is missing"},
        {R"({"routes":[5]})", "route 1: not an object"},
    };
    for (const auto& [body, error] : badSalvos) {
        const auto r = parseSalvoBody(body, 1024);
        EXPECT_EQ(r.error.rfind(error, 0), 0U) << body << ": " << r.error;
        EXPECT_TRUE(r.value.empty()) << "half a salvo kept for " << body;
    }
    // More routes than outputs is refused before each is looked at.
    std::string many = R"({"routes":[)";
    for (int i = 1; i <= 5; ++i)
        many += std::string(i > 1 ? "," : "") + R"({"output":1,"input":1})";
    many += "]}";
    EXPECT_EQ(parseSalvoBody(many, 4).error, "more routes than the frame has outputs");

    for (const auto& [text, n] : std::vector<std::pair<const char*, int>>{
             {"1", 1}, {"1536", 1536}, {"0", -1}, {"1537", -1}, {"01x", -1}, {"", -1},
             {"99999999999", -1}, {"-1", -1}})
        EXPECT_EQ(parseOutputSegment(text, 1536).value_or(-1), n) << text;
}

TEST(ApiTable, LabelBodiesAndTheWebSocketTokenMessage) {
    const auto ok = parseLabelsBody(
        R"({"labels":[{"channel":1,"input":"MIC 1"},{"channel":2,"output":"PA L","input":""}]})", 64);
    ASSERT_TRUE(ok.ok()) << ok.error;
    ASSERT_EQ(ok.value.size(), 2U);
    EXPECT_EQ(ok.value[0].input, "MIC 1");
    EXPECT_FALSE(ok.value[0].output);
    EXPECT_EQ(ok.value[1].input, "");
    const std::pair<const char*, const char*> bad[] = {
        {R"({"labels":[{"channel":1}]})", "label 1: give \"input\", \"output\" or both"},
        {R"({"labels":[{"channel":65,"input":"x"}]})", "label 1: \"channel\" must be a channel number from 1 to 64"},
        {R"({"labels":[{"channel":1,"input":5}]})", "label 1: \"input\" must be a text"},
        {R"({"labels":[{"channel":1,"input":"a"},{"channel":1,"output":"b"}]})",
         "label 2: channel 1 is given twice"},
    };
    for (const auto& [body, error] : bad)
        EXPECT_EQ(parseLabelsBody(body, 64).error, error) << body;

    EXPECT_EQ(parseTokenMessage(R"({"token":"abc"})"), "abc");
    for (const char* wrong : {R"({"token":5})", R"({"token":"a","x":1})", "abc", R"(["abc"])"})
        EXPECT_FALSE(parseTokenMessage(wrong)) << wrong;
}

} // namespace
} // namespace velmar
