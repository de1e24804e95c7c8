#include "server/HttpMessage.h"

#include "protocol/JsonReader.h"

#include <algorithm>

namespace velmar {

namespace {

bool isTokenChar(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isToken(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), isTokenChar);
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return lower(x) == lower(y); });
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}


std::optional<std::string> percentDecode(std::string_view s, bool plusIsSpace) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%') {
            if (i + 2 >= s.size())
                return std::nullopt;
            const int hi = hexDigitValue(s[i + 1]);
            const int lo = hexDigitValue(s[i + 2]);
            if (hi < 0 || lo < 0)
                return std::nullopt;
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else if (plusIsSpace && s[i] == '+') {
            out += ' ';
        } else {
            out += s[i];
        }
    }
    return out;
}

// A header value may hold tabs, visible ASCII and bytes of other encodings,
// nothing else.
bool isFieldValue(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char ch) {
        const auto b = static_cast<unsigned char>(ch);
        return b == '\t' || (b >= 0x20 && b != 0x7F);
    });
}

} // namespace

const std::string* HttpRequest::header(std::string_view lowerName) const {
    for (const auto& [name, value] : headers)
        if (name == lowerName)
            return &value;
    return nullptr;
}

bool headerListHas(std::string_view value, std::string_view token) {
    while (!value.empty()) {
        const std::size_t comma = value.find(',');
        if (equalsNoCase(trim(value.substr(0, comma)), token))
            return true;
        if (comma == std::string_view::npos)
            break;
        value.remove_prefix(comma + 1);
    }
    return false;
}

bool HttpRequest::keepAlive() const {
    bool close = false;
    bool keep = false;
    for (const auto& [name, value] : headers) {
        if (name != "connection")
            continue;
        close = close || headerListHas(value, "close");
        keep = keep || headerListHas(value, "keep-alive");
    }
    if (close)
        return false;
    return versionMinor >= 1 || keep;
}

std::optional<std::string> HttpRequest::queryParam(std::string_view name) const {
    std::string_view rest = query;
    while (!rest.empty()) {
        const std::size_t amp = rest.find('&');
        const std::string_view pair = rest.substr(0, amp);
        const std::size_t eq = pair.find('=');
        const std::optional<std::string> key = percentDecode(pair.substr(0, eq), true);
        if (key && *key == name)
            return eq == std::string_view::npos ? std::string()
                                                : percentDecode(pair.substr(eq + 1), true);
        if (amp == std::string_view::npos)
            break;
        rest.remove_prefix(amp + 1);
    }
    return std::nullopt;
}

std::optional<std::vector<std::string>> splitPath(std::string_view path) {
    if (path.empty() || path.front() != '/')
        return std::nullopt;
    std::vector<std::string> segments;
    path.remove_prefix(1);
    for (;;) {
        const std::size_t slash = path.find('/');
        const std::string_view raw = path.substr(0, slash);
        std::optional<std::string> segment = percentDecode(raw, false);
        if (!segment || segment->find('\0') != std::string::npos ||
            segment->find('/') != std::string::npos || *segment == "." || *segment == "..")
            return std::nullopt;
        if (slash == std::string_view::npos) {
            if (!segment->empty())
                segments.push_back(std::move(*segment));
            break;
        }
        segments.push_back(std::move(*segment));
        path.remove_prefix(slash + 1);
    }
    return segments;
}

CHttpRequestParser::CHttpRequestParser(HttpLimits limits) : m_limits(limits) {}

void CHttpRequestParser::fail(int status, std::string text) {
    m_state = State::Error;
    m_errorStatus = status;
    m_errorText = std::move(text);
}

std::size_t CHttpRequestParser::feed(std::string_view bytes) {
    std::size_t taken = 0;
    while (taken < bytes.size() && m_state == State::NeedMore) {
        const char c = bytes[taken];
        if (m_phase == Phase::Idle) {
            // Line ends between requests are ignored, as some clients send them.
            if (c == '\r' || c == '\n') {
                ++taken;
                continue;
            }
            m_phase = Phase::Head;
        }
        if (m_phase == Phase::Head) {
            ++taken;
            m_head += c;
            if (m_head.size() > m_limits.maxHeaderBytes) {
                std::string text = "request line and headers longer than ";
                text += std::to_string(m_limits.maxHeaderBytes);
                text += " bytes";
                fail(431, std::move(text));
                break;
            }
            const std::string_view head = m_head;
            if (c == '\n' && (head.ends_with("\n\n") || head.ends_with("\n\r\n")))
                parseHead();
            continue;
        }
        const std::size_t n = std::min(m_bodyLength - m_request.body.size(), bytes.size() - taken);
        m_request.body.append(bytes.substr(taken, n));
        taken += n;
        if (m_request.body.size() == m_bodyLength)
            m_state = State::Complete;
    }
    return taken;
}

HttpRequest CHttpRequestParser::takeRequest() {
    HttpRequest request = std::move(m_request);
    m_request = HttpRequest();
    m_head.clear();
    m_bodyLength = 0;
    m_phase = Phase::Idle;
    if (m_state == State::Complete)
        m_state = State::NeedMore;
    return request;
}

void CHttpRequestParser::parseHead() {
    std::string_view rest = m_head;
    bool first = true;
    std::size_t count = 0;
    while (!rest.empty()) {
        const std::size_t lf = rest.find('\n');
        std::string_view line = rest.substr(0, lf);
        rest.remove_prefix(lf + 1);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (first) {
            if (!parseRequestLine(line))
                return;
            first = false;
            continue;
        }
        if (line.empty())
            break; // the blank line that ends the head
        if (++count > m_limits.maxHeaders) {
            std::string text = "more than ";
            text += std::to_string(m_limits.maxHeaders);
            text += " headers";
            return fail(431, std::move(text));
        }
        if (!parseHeaderLine(line))
            return;
    }

    const auto& headers = m_request.headers;
    const auto has = [&](std::string_view name) {
        return std::count_if(headers.begin(), headers.end(),
                             [&](const auto& h) { return h.first == name; });
    };
    if (has("transfer-encoding") > 0)
        return fail(501, "Transfer-Encoding is not supported; send a Content-Length");
    const auto hosts = has("host");
    if (hosts > 1)
        return fail(400, "more than one Host header");
    if (hosts == 0 && m_request.versionMinor == 1)
        return fail(400, "no Host header");

    std::optional<std::string_view> length;
    for (const auto& [name, value] : headers) {
        if (name != "content-length")
            continue;
        if (value.empty() ||
            !std::all_of(value.begin(), value.end(), [](char d) { return d >= '0' && d <= '9'; }))
            return fail(400, "Content-Length is not a number");
        if (length && *length != value)
            return fail(400, "Content-Length headers that disagree");
        length = value;
    }
    if (length) {
        std::string_view digits = *length;
        while (digits.size() > 1 && digits.front() == '0')
            digits.remove_prefix(1);
        std::size_t n = 0;
        bool tooLarge = digits.size() > 18;
        for (std::size_t i = 0; !tooLarge && i < digits.size(); ++i)
            n = n * 10 + static_cast<std::size_t>(digits[i] - '0');
        if (tooLarge || n > m_limits.maxBodyBytes) {
            std::string text = "request body larger than ";
            text += std::to_string(m_limits.maxBodyBytes);
            text += " bytes";
            return fail(413, std::move(text));
        }
        m_bodyLength = n;
    }
    m_phase = Phase::Body;
    m_request.body.reserve(m_bodyLength);
    if (m_bodyLength == 0)
        m_state = State::Complete;
}

bool CHttpRequestParser::parseRequestLine(std::string_view line) {
    const std::size_t sp1 = line.find(' ');
    const std::size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos) {
        fail(400, "malformed request line");
        return false;
    }
    const std::string_view method = line.substr(0, sp1);
    const std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    const std::string_view version = line.substr(sp2 + 1);
    if (!isToken(method)) {
        fail(400, "malformed request method");
        return false;
    }
    const bool targetOk = !target.empty() && std::all_of(target.begin(), target.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b > 0x20 && b < 0x7F && c != '#';
    });
    if (!targetOk) {
        fail(400, "malformed request target");
        return false;
    }
    const bool versionForm = version.size() == 8 && version.starts_with("HTTP/") &&
                             version[5] >= '0' && version[5] <= '9' && version[6] == '.' &&
                             version[7] >= '0' && version[7] <= '9';
    if (!versionForm) {
        fail(400, "malformed HTTP version");
        return false;
    }
    if (version[5] != '1' || (version[7] != '0' && version[7] != '1')) {
        fail(505, "only HTTP/1.0 and HTTP/1.1 are served");
        return false;
    }
    m_request.method = std::string(method);
    m_request.target = std::string(target);
    const std::size_t question = target.find('?');
    m_request.path = std::string(target.substr(0, question));
    if (question != std::string_view::npos)
        m_request.query = std::string(target.substr(question + 1));
    m_request.versionMinor = version[7] - '0';
    return true;
}

bool CHttpRequestParser::parseHeaderLine(std::string_view line) {
    if (line.front() == ' ' || line.front() == '\t') {
        fail(400, "folded header lines are not accepted");
        return false;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || !isToken(line.substr(0, colon))) {
        fail(400, "malformed header name");
        return false;
    }
    const std::string_view value = trim(line.substr(colon + 1));
    if (!isFieldValue(value)) {
        fail(400, "control character in a header value");
        return false;
    }
    std::string name(line.substr(0, colon));
    std::transform(name.begin(), name.end(), name.begin(), lower);
    m_request.headers.emplace_back(std::move(name), std::string(value));
    return true;
}

std::string httpResponse(int status, std::string_view contentType, std::string_view body,
                         std::span<const std::pair<std::string, std::string>> extraHeaders,
                         bool close) {
    // 1xx, 204 and 304 answers carry no body and no length.
    const bool bodyless = status < 200 || status == 204 || status == 304;
    std::string out = "HTTP/1.1 ";
    out += std::to_string(status);
    out += ' ';
    out += httpReasonPhrase(status);
    out += "\r\n";
    const auto safe = [](std::string_view v) {
        return v.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
    };
    if (!contentType.empty() && !bodyless && safe(contentType)) {
        out += "Content-Type: ";
        out += contentType;
        out += "\r\n";
    }
    if (!bodyless) {
        out += "Content-Length: ";
        out += std::to_string(body.size());
        out += "\r\n";
    }
    for (const auto& [name, value] : extraHeaders) {
        if (!isToken(name) || !safe(value))
            continue;
        out += name;
        out += ": ";
        out += value;
        out += "\r\n";
    }
    if (close)
        out += "Connection: close\r\n";
    out += "\r\n";
    if (!bodyless)
        out += body;
    return out;
}

std::string_view httpReasonPhrase(int status) {
    switch (status) {
    case 100: return "Continue";
    case 101: return "Switching Protocols";
    case 200: return "OK";
    case 201: return "Created";
    case 202: return "Accepted";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 406: return "Not Acceptable";
    case 408: return "Request Timeout";
    case 409: return "Conflict";
    case 411: return "Length Required";
    case 413: return "Content Too Large";
    case 414: return "URI Too Long";
    case 415: return "Unsupported Media Type";
    case 422: return "Unprocessable Content";
    case 426: return "Upgrade Required";
    case 429: return "Too Many Requests";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    case 505: return "HTTP Version Not Supported";
    default: return "";
    }
}

} // namespace velmar
