#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmar {

struct HttpLimits {
    std::size_t maxHeaderBytes = 16 * 1024; // request line + headers, the blank line included
    std::size_t maxHeaders = 64;
    std::size_t maxBodyBytes = 64 * 1024;
};

struct HttpRequest {
    std::string method;   // as sent, e.g. "GET"
    std::string target;   // as sent, e.g. "/api/v1/frames/a%20b/routes?x=1"
    std::string path;     // target up to '?', still percent-encoded
    std::string query;    // after '?', raw ("" if none)
    int versionMinor = 1; // HTTP/1.0 or HTTP/1.1
    std::vector<std::pair<std::string, std::string>> headers; // names lower-cased, values trimmed
    std::string body;

    // The first header of that (lower-case) name, or nullptr.
    const std::string* header(std::string_view lowerName) const;
    // HTTP/1.1 unless "Connection: close"; HTTP/1.0 only with "keep-alive".
    bool keepAlive() const;
    // The first parameter of that name, percent-decoded with '+' as a space;
    // nullopt when absent or badly escaped.
    std::optional<std::string> queryParam(std::string_view name) const;
};

// True when a comma-separated header value (Connection, Upgrade) lists the
// token, in any case.
bool headerListHas(std::string_view value, std::string_view token);

// The path's segments, each percent-decoded ("/api/v1/frames/a%20b" ->
// {"api","v1","frames","a b"}); nullopt for a bad escape, an encoded NUL or
// '/', a "." or ".." segment, or a path not starting with '/'. The empty
// segment a trailing slash leaves is dropped.
std::optional<std::vector<std::string>> splitPath(std::string_view path);

// Reads requests from a connection's bytes as they come, within the limits.
// Every byte is looked at once; nothing beyond the limits is buffered.
class CHttpRequestParser {
public:
    enum class State { NeedMore, Complete, Error };

    explicit CHttpRequestParser(HttpLimits limits = {});

    // Takes bytes and returns how many it took. It stops at the end of a
    // complete request (what follows is the next one) and takes nothing in
    // Complete or Error.
    std::size_t feed(std::string_view bytes);
    State state() const { return m_state; }
    // In Complete: the request; the parser is then ready for the next one.
    HttpRequest takeRequest();
    // In Error: 400 malformed, 413 body too large, 431 headers too large or
    // too many, 501 Transfer-Encoding, 505 not HTTP/1.0 or 1.1.
    int errorStatus() const { return m_errorStatus; }
    const std::string& errorText() const { return m_errorText; }
    // Some bytes of a request have arrived (a slow client rather than an idle one).
    bool inMessage() const { return m_phase != Phase::Idle; }
    // The head is read and the body is still to come: the request's headers
    // so far (a client that sent "Expect: 100-continue" waits for a word).
    const HttpRequest* headWithBodyToCome() const {
        return m_phase == Phase::Body ? &m_request : nullptr;
    }

private:
    enum class Phase { Idle, Head, Body };

    void fail(int status, std::string text);
    void parseHead();
    bool parseRequestLine(std::string_view line);
    bool parseHeaderLine(std::string_view line);

    HttpLimits m_limits;
    State m_state = State::NeedMore;
    Phase m_phase = Phase::Idle;
    std::string m_head;
    std::size_t m_bodyLength = 0;
    HttpRequest m_request;
    int m_errorStatus = 0;
    std::string m_errorText;
};

// The whole response: status line, Content-Type (omitted when empty),
// Content-Length, the extra headers, "Connection: close" when `close`, and the
// body. A header whose name is not a token or whose value holds CR, LF or NUL
// is left out rather than written.
std::string httpResponse(int status, std::string_view contentType, std::string_view body,
                         std::span<const std::pair<std::string, std::string>> extraHeaders = {},
                         bool close = false);

// "OK", "Not Found", ...; "" for a status it does not know.
std::string_view httpReasonPhrase(int status);

} // namespace velmar
