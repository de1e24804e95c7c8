#include "events/EventLog.h"

#include "protocol/JsonReader.h"

#include "protocol/JsonWriter.h"

#include <charconv>
#include <map>
#include <optional>
#include <variant>

namespace velmar {

std::string eventLogHeaderLine(std::string_view version, std::int64_t timeMs) {
    CJsonWriter json;
    json.beginObject()
        .field("velmar", version)
        .field("log", "events")
        .field("format", kEventLogFormat)
        .field("time", timeMs)
        .endObject();
    return json.take() + '\n';
}

std::string eventLogLine(const Event& event) {
    CJsonWriter json;
    json.beginObject()
        .field("time", event.timeMs)
        .field("at", formatEventTime(event.timeMs))
        .field("severity", severityName(event.severity))
        .field("kind", eventKindName(event.kind))
        .field("address", event.frame.address)
        .field("id", event.frame.id)
        .field("name", event.frame.name)
        .field("serial", event.frame.serial)
        .field("text", event.text)
        .endObject();
    return json.take() + '\n';
}

namespace {

// The flat objects this log holds: string, integer, true/false/null members.
using JsonValue = std::variant<std::monostate, std::string, std::int64_t, bool>;
using JsonObject = std::map<std::string, JsonValue, std::less<>>;

class CFlatJsonReader {
public:
    explicit CFlatJsonReader(std::string_view text) : m_text(text) {}

    std::optional<JsonObject> object() {
        JsonObject out;
        skipSpace();
        if (!take('{'))
            return std::nullopt;
        skipSpace();
        if (take('}'))
            return finish(std::move(out));
        for (;;) {
            skipSpace();
            std::optional<std::string> name = string();
            skipSpace();
            if (!name || !take(':'))
                return std::nullopt;
            skipSpace();
            std::optional<JsonValue> v = value();
            if (!v)
                return std::nullopt;
            out[*name] = std::move(*v);
            skipSpace();
            if (take('}'))
                return finish(std::move(out));
            if (!take(','))
                return std::nullopt;
        }
    }

private:
    std::optional<JsonObject> finish(JsonObject out) {
        skipSpace();
        if (m_at != m_text.size())
            return std::nullopt;
        return out;
    }
    void skipSpace() {
        while (m_at < m_text.size() &&
               (m_text[m_at] == ' ' || m_text[m_at] == '\t' || m_text[m_at] == '\r'))
            ++m_at;
    }
    bool take(char c) {
        if (m_at < m_text.size() && m_text[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }
    bool word(std::string_view w) {
        if (m_text.substr(m_at, w.size()) != w)
            return false;
        m_at += w.size();
        return true;
    }
    std::optional<JsonValue> value() {
        if (m_at >= m_text.size())
            return std::nullopt;
        const char c = m_text[m_at];
        if (c == '"') {
            std::optional<std::string> s = string();
            if (!s)
                return std::nullopt;
            return JsonValue{std::move(*s)};
        }
        if (word("true"))
            return JsonValue{true};
        if (word("false"))
            return JsonValue{false};
        if (word("null"))
            return JsonValue{};
        std::int64_t n = 0;
        const char* first = m_text.data() + m_at;
        const auto [end, ec] = std::from_chars(first, m_text.data() + m_text.size(), n);
        if (ec != std::errc{} || end == first)
            return std::nullopt;
        m_at += static_cast<std::size_t>(end - first);
        return JsonValue{n};
    }
    std::optional<unsigned> hex4() {
        if (m_at + 4 > m_text.size())
            return std::nullopt;
        unsigned v = 0;
        const char* first = m_text.data() + m_at;
        const auto [end, ec] = std::from_chars(first, first + 4, v, 16);
        if (ec != std::errc{} || end != first + 4)
            return std::nullopt;
        m_at += 4;
        return v;
    }
    std::optional<std::string> string() {
        if (!take('"'))
            return std::nullopt;
        std::string out;
        while (m_at < m_text.size()) {
            const char c = m_text[m_at++];
            if (c == '"')
                return out;
            if (static_cast<unsigned char>(c) < 0x20)
                return std::nullopt;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_at >= m_text.size())
                return std::nullopt;
            switch (m_text[m_at++]) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                std::optional<unsigned> cp = hex4();
                if (!cp)
                    return std::nullopt;
                if (*cp >= 0xD800 && *cp < 0xDC00) {
                    std::optional<unsigned> low;
                    if (take('\\') && take('u'))
                        low = hex4();
                    if (!low || *low < 0xDC00 || *low >= 0xE000)
                        return std::nullopt;
                    *cp = 0x10000 + ((*cp - 0xD800) << 10) + (*low - 0xDC00);
                } else if (*cp >= 0xDC00 && *cp < 0xE000) {
                    return std::nullopt;
                }
                appendUtf8(out, *cp);
                break;
            }
            default: return std::nullopt;
            }
        }
        return std::nullopt;
    }

    std::string_view m_text;
    std::size_t m_at = 0;
};

const std::string* textOf(const JsonObject& o, std::string_view key) {
    const auto it = o.find(key);
    return it == o.end() ? nullptr : std::get_if<std::string>(&it->second);
}

const std::int64_t* numberOf(const JsonObject& o, std::string_view key) {
    const auto it = o.find(key);
    return it == o.end() ? nullptr : std::get_if<std::int64_t>(&it->second);
}

std::optional<Event> eventOf(const JsonObject& o) {
    const std::int64_t* time = numberOf(o, "time");
    const std::string* severity = textOf(o, "severity");
    const std::string* kind = textOf(o, "kind");
    const std::string* text = textOf(o, "text");
    if (time == nullptr || severity == nullptr || kind == nullptr || text == nullptr)
        return std::nullopt;
    const std::optional<EventSeverity> sev = severityFromName(*severity);
    const std::optional<EventKind> k = eventKindFromName(*kind);
    if (!sev || !k)
        return std::nullopt;
    Event event;
    event.timeMs = *time;
    event.severity = *sev;
    event.kind = *k;
    event.text = *text;
    if (const std::string* s = textOf(o, "address"))
        event.frame.address = *s;
    if (const std::int64_t* id = numberOf(o, "id"))
        event.frame.id = static_cast<std::int32_t>(*id);
    if (const std::string* s = textOf(o, "name"))
        event.frame.name = *s;
    if (const std::string* s = textOf(o, "serial"))
        event.frame.serial = *s;
    return event;
}

} // namespace

void readEventLog(std::string_view bytes, EventLogContents& into) {
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        if (end == std::string_view::npos) {
            // Cut off while it was written: everything before it is whole.
            into.truncatedTail = true;
            return;
        }
        const std::string_view line = bytes.substr(0, end);
        bytes.remove_prefix(end + 1);
        if (line.empty() || line == "\r")
            continue;
        std::optional<JsonObject> object;
        if (line.size() <= kEventLogMaxLine)
            object = CFlatJsonReader(line).object();
        if (!object) {
            ++into.skippedLines;
            continue;
        }
        if (const std::string* version = textOf(*object, "velmar")) {
            into.versions.push_back(*version);
            continue;
        }
        if (std::optional<Event> event = eventOf(*object))
            into.events.push_back(std::move(*event));
        else
            ++into.skippedLines;
    }
}

namespace {

std::string csvField(std::string_view text) {
    // Quoted always, so commas, quotes and line ends in a frame's name stay
    // in their cell; a leading formula character is defused for spreadsheets.
    std::string out = "\"";
    if (!text.empty() &&
        (text.front() == '=' || text.front() == '+' || text.front() == '-' || text.front() == '@'))
        out += '\'';
    for (const char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

} // namespace

std::string eventCsvHeader() {
    return "Time (UTC),Severity,Frame,Address,ID,Serial,Kind,Event\r\n";
}

std::string eventCsvLine(const Event& event) {
    std::string out;
    out += csvField(formatEventTime(event.timeMs));
    out += ',';
    out += csvField(severityName(event.severity));
    out += ',';
    out += csvField(event.frame.name);
    out += ',';
    out += csvField(event.frame.address);
    out += ',';
    out += std::to_string(event.frame.id);
    out += ',';
    out += csvField(event.frame.serial);
    out += ',';
    out += csvField(eventKindName(event.kind));
    out += ',';
    out += csvField(event.text);
    out += "\r\n";
    return out;
}

} // namespace velmar
