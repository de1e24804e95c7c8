#include "server/HttpMessage.h"

#include <gtest/gtest.h>
#include <string>

namespace velmar {
namespace {

using State = CHttpRequestParser::State;
using namespace std::string_literals;

const std::string kPut = "PUT /api/v1/frames/a%20b/routes/3?x=1&y=a+b%21 HTTP/1.1\r\n"
                         "Host: localhost:8470\r\n"
                         "Content-Type:application/json \r\n"
                         "Content-Length: 11\r\n"
                         "\r\n"
                         "{\"input\":5}";

// What a parse came to, in one comparable line.
std::string outcome(CHttpRequestParser& parser) {
    if (parser.state() == State::Error) {
        std::string out = "error ";
        out += std::to_string(parser.errorStatus());
        return out;
    }
    if (parser.state() == State::NeedMore)
        return "more";
    const HttpRequest r = parser.takeRequest();
    std::string out = r.method;
    out += ' ';
    out += r.path;
    out += " ? ";
    out += r.query;
    for (const auto& [name, value] : r.headers) {
        out += " | ";
        out += name;
        out += '=';
        out += value;
    }
    out += " | body=";
    out += r.body;
    return out;
}

std::string parseWhole(const std::string& bytes, HttpLimits limits = {}) {
    CHttpRequestParser parser(limits);
    parser.feed(bytes);
    return outcome(parser);
}

TEST(HttpRequestParser, ReadsARequestWithItsBody) {
    CHttpRequestParser parser;
    EXPECT_FALSE(parser.inMessage());
    EXPECT_EQ(parser.feed(kPut), kPut.size());
    ASSERT_EQ(parser.state(), State::Complete);
    const HttpRequest r = parser.takeRequest();
    EXPECT_EQ(r.method, "PUT");
    EXPECT_EQ(r.target, "/api/v1/frames/a%20b/routes/3?x=1&y=a+b%21");
    EXPECT_EQ(r.path, "/api/v1/frames/a%20b/routes/3");
    EXPECT_EQ(r.query, "x=1&y=a+b%21");
    EXPECT_EQ(r.versionMinor, 1);
    ASSERT_NE(r.header("content-type"), nullptr);
    EXPECT_EQ(*r.header("content-type"), "application/json");
    EXPECT_EQ(r.body, "{\"input\":5}");
    EXPECT_EQ(r.queryParam("y"), "a b!");
    EXPECT_EQ(r.queryParam("z"), std::nullopt);
    EXPECT_TRUE(r.keepAlive());
    EXPECT_EQ(parser.state(), State::NeedMore);
    EXPECT_FALSE(parser.inMessage());
    EXPECT_EQ(parser.feed("\r\n"), 2u); // line ends between requests are not a request
    EXPECT_FALSE(parser.inMessage());
}

TEST(HttpRequestParser, GivesTheSameResultHoweverTheBytesAreSplit) {
    const std::string expected = parseWhole(kPut);
    for (std::size_t cut = 0; cut <= kPut.size(); ++cut) {
        CHttpRequestParser parser;
        const std::size_t first = parser.feed(std::string_view(kPut).substr(0, cut));
        EXPECT_EQ(first, cut);
        EXPECT_EQ(parser.inMessage(), cut > 0);
        EXPECT_EQ(parser.feed(std::string_view(kPut).substr(cut)), kPut.size() - cut);
        EXPECT_EQ(outcome(parser), expected) << "cut at " << cut;
    }
    CHttpRequestParser parser;
    for (const char c : kPut)
        parser.feed(std::string_view(&c, 1));
    EXPECT_EQ(outcome(parser), expected);
}

TEST(HttpRequestParser, StopsAtTheEndOfEachPipelinedRequest) {
    const std::string second = "GET /metrics HTTP/1.0\n\n"; // bare line feeds are taken
    const std::string third = "\r\nDELETE /x HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n";
    const std::string all = kPut + second + third;
    CHttpRequestParser parser;
    std::string_view rest = all;
    std::vector<HttpRequest> requests;
    while (!rest.empty()) {
        rest.remove_prefix(parser.feed(rest));
        ASSERT_EQ(parser.state(), State::Complete);
        EXPECT_EQ(parser.feed("GET"), 0u); // nothing more until taken
        requests.push_back(parser.takeRequest());
    }
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].body, "{\"input\":5}");
    EXPECT_EQ(requests[1].path, "/metrics");
    EXPECT_FALSE(requests[1].keepAlive());
    EXPECT_EQ(requests[2].method, "DELETE");
    EXPECT_FALSE(requests[2].keepAlive());
}

TEST(HttpRequestParser, RefusesMalformedRequestsWithTheRightStatus) {
    const struct {
        std::string bytes;
        int status;
    } cases[] = {
        {"GET / HTTP/1.1\r\n\r\n", 400},                       // no Host
        {"GET / HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n", 400}, // two of them
        {"GET /  HTTP/1.1\r\nHost: a\r\n\r\n", 400},           // two spaces
        {"GET / HTTP/1.1 \r\nHost: a\r\n\r\n", 400},
        {"GET /\r\nHost: a\r\n\r\n", 400},
        {"G(T / HTTP/1.1\r\nHost: a\r\n\r\n", 400}, // method not a token
        {"GET /a#b HTTP/1.1\r\nHost: a\r\n\r\n", 400},
        {"GET /\x7f HTTP/1.1\r\nHost: a\r\n\r\n", 400},
        {"GET / HTTX/1.1\r\nHost: a\r\n\r\n", 400},
        {"GET / HTTP/2.0\r\nHost: a\r\n\r\n", 505},
        {"GET / HTTP/1.2\r\nHost: a\r\n\r\n", 505},
        {"GET / HTTP/0.9\r\n\r\n", 505},
        {"GET / HTTP/1.1\r\nHost : a\r\n\r\n", 400}, // space before the colon
        {"GET / HTTP/1.1\r\nHost: a\r\nX-A: 1\r\n  folded\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nHost: a\r\nNo colon\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nHost: a\r\n: empty\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nHost: a\r\nX: a\0b\r\n\r\n"s, 400},
        {"GET / HTTP/1.1\r\nHost: a\r\nX: a\rb\r\n\r\n", 400}, // bare carriage return
        {"GET / HTTP/1.1\r\nHost: a\r\nX: a\x1b[2J\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nHost: a\r\nContent-Length: -1\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nHost: a\r\nContent-Length: 1,1\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nHost: a\r\nContent-Length: 0x1\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nHost: a\r\nContent-Length: \r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nHost: a\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nHost: a\r\nContent-Length: 99999999999999999999999\r\n\r\n", 413},
        {"POST / HTTP/1.1\r\nHost: a\r\nTransfer-Encoding: chunked\r\n\r\n", 501},
        {"POST / HTTP/1.1\r\nHost: a\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n",
         501},
    };
    for (const auto& c : cases) {
        CHttpRequestParser parser;
        parser.feed(c.bytes);
        EXPECT_EQ(parser.state(), State::Error) << c.bytes;
        EXPECT_EQ(parser.errorStatus(), c.status) << c.bytes;
        EXPECT_FALSE(parser.errorText().empty());
        EXPECT_EQ(parser.feed("GET / HTTP/1.1\r\n"), 0u);
    }
    EXPECT_EQ(parseWhole("POST / HTTP/1.1\r\nHost: a\r\nContent-Length: 002\r\n"
                         "content-length: 002\r\n\r\nab"),
              "POST / ?  | host=a | content-length=002 | content-length=002 | body=ab");
}

TEST(HttpRequestParser, LimitsHoldExactlyAtTheirBounds) {
    const HttpLimits limits{100, 3, 10};
    const std::string line = "GET / HTTP/1.1\r\nHost: a\r\n"; // 25 bytes
    const auto padded = [&](std::size_t total) {
        std::string out = line;
        out += "X: ";
        out += std::string(total - line.size() - 7, 'x');
        out += "\r\n\r\n";
        return out;
    };
    ASSERT_EQ(padded(100).size(), 100u);
    EXPECT_NE(parseWhole(padded(100), limits).substr(0, 5), "error");
    EXPECT_EQ(parseWhole(padded(101), limits), "error 431");

    const std::string three = line + "A: 1\r\nB: 2\r\n\r\n";
    const std::string four = line + "A: 1\r\nB: 2\r\nC: 3\r\n\r\n";
    EXPECT_EQ(parseWhole(three, limits), "GET / ?  | host=a | a=1 | b=2 | body=");
    EXPECT_EQ(parseWhole(four, limits), "error 431");

    // The body's size is judged from Content-Length, before any of it comes.
    const std::string post = "POST / HTTP/1.1\r\nHost: a\r\nContent-Length: ";
    EXPECT_EQ(parseWhole(post + "10\r\n\r\n0123456789", limits),
              "POST / ?  | host=a | content-length=10 | body=0123456789");
    CHttpRequestParser parser(limits);
    parser.feed(post + "11\r\n\r\n");
    EXPECT_EQ(parser.state(), State::Error);
    EXPECT_EQ(parser.errorStatus(), 413);
}

TEST(HttpRequest, KeepAliveFollowsVersionAndConnection) {
    const struct {
        int minor;
        std::vector<std::pair<std::string, std::string>> headers;
        bool keep;
    } cases[] = {
        {1, {}, true},
        {1, {{"connection", "close"}}, false},
        {1, {{"connection", "Upgrade, CLOSE"}}, false},
        {1, {{"connection", "closed"}}, true},
        {0, {}, false},
        {0, {{"connection", "Keep-Alive"}}, true},
        {0, {{"connection", "keep-alive"}, {"connection", "close"}}, false},
    };
    for (const auto& c : cases) {
        HttpRequest r;
        r.versionMinor = c.minor;
        r.headers = c.headers;
        EXPECT_EQ(r.keepAlive(), c.keep) << c.minor << " " << c.headers.size();
    }
}

TEST(HttpRequest, QueryParametersAreDecoded) {
    HttpRequest r;
    r.query = "frame=a%2Cb&frame=second&flag&sp=a+b&bad=%zz&k%65y=v";
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"frame", "a,b"},      {"flag", ""}, {"sp", "a b"},
        {"bad", std::nullopt}, {"key", "v"}, {"none", std::nullopt},
    };
    for (const auto& [name, value] : cases)
        EXPECT_EQ(r.queryParam(name), value) << name;
}

TEST(HttpPath, SplitsIntoDecodedSegments) {
    using Segments = std::vector<std::string>;
    const std::pair<const char*, std::optional<Segments>> cases[] = {
        {"/api/v1/frames/a%20b", Segments{"api", "v1", "frames", "a b"}},
        {"/api/v1/frames/", Segments{"api", "v1", "frames"}},
        {"/", Segments{}},
        {"/a//b", Segments{"a", "", "b"}},
        {"/a+b/%41", Segments{"a+b", "A"}},
        {"", std::nullopt},
        {"api/v1", std::nullopt},
        {"/a%2Fb", std::nullopt},
        {"/a%00", std::nullopt},
        {"/a%4", std::nullopt},
        {"/a%g0", std::nullopt},
        {"/a/../b", std::nullopt},
        {"/a/%2e%2e", std::nullopt},
        {"/./a", std::nullopt},
    };
    for (const auto& [path, segments] : cases)
        EXPECT_EQ(splitPath(path), segments) << path;
}

TEST(HttpResponse, WritesTheWholeAnswerAndDropsUnsafeHeaders) {
    const std::vector<std::pair<std::string, std::string>> extra = {
        {"Retry-After", "5"}, {"X-Evil", "a\r\nSet-Cookie: x"}, {"Bad Name", "v"}};
    EXPECT_EQ(httpResponse(404, "application/json", "{}", extra, true),
              "HTTP/1.1 404 Not Found\r\nContent-Type: application/json\r\n"
              "Content-Length: 2\r\nRetry-After: 5\r\nConnection: close\r\n\r\n{}");
    EXPECT_EQ(httpResponse(200, "", ""), "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    EXPECT_EQ(httpResponse(204, "text/plain", "ignored"), "HTTP/1.1 204 No Content\r\n\r\n");
    for (const int status :
         {200, 400, 401, 403, 404, 405, 409, 413, 426, 431, 500, 501, 503, 504, 505})
        EXPECT_FALSE(httpReasonPhrase(status).empty()) << status;
}

} // namespace
} // namespace velmar
