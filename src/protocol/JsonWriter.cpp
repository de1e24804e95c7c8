#include "protocol/JsonWriter.h"

#include <array>
#include <charconv>

namespace velmar {

namespace {

void appendQuoted(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        if (c < 0x80) {
            switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    out += "\\u00";
                    out.push_back(kHex[c >> 4]);
                    out.push_back(kHex[c & 0xF]);
                } else {
                    out.push_back(static_cast<char>(c));
                }
            }
            ++at;
            continue;
        }
        const std::size_t length = utf8SequenceLength(text, at);
        if (isC1Control(text, at)) {
            // Valid JSON raw, but a terminal showing the document may obey it.
            const auto code = static_cast<unsigned char>(text[at + 1]);
            out += "\\u00";
            out.push_back(kHex[code >> 4]);
            out.push_back(kHex[code & 0xF]);
            at += 2;
        } else if (length == 0) {
            out += "\xEF\xBF\xBD"; // U+FFFD for a byte that starts no valid sequence
            ++at;
        } else {
            out.append(text.substr(at, length));
            at += length;
        }
    }
    out.push_back('"');
}

} // namespace

std::string jsonQuoted(std::string_view text) {
    std::string out;
    appendQuoted(out, text);
    return out;
}

void CJsonWriter::separate() {
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (!m_hasMember.empty()) {
        if (m_hasMember.back())
            m_out.push_back(',');
        m_hasMember.back() = true;
    }
}

CJsonWriter& CJsonWriter::beginObject() {
    separate();
    m_out.push_back('{');
    m_hasMember.push_back(false);
    return *this;
}

CJsonWriter& CJsonWriter::endObject() {
    m_out.push_back('}');
    if (!m_hasMember.empty())
        m_hasMember.pop_back();
    return *this;
}

CJsonWriter& CJsonWriter::beginArray() {
    separate();
    m_out.push_back('[');
    m_hasMember.push_back(false);
    return *this;
}

CJsonWriter& CJsonWriter::endArray() {
    m_out.push_back(']');
    if (!m_hasMember.empty())
        m_hasMember.pop_back();
    return *this;
}

CJsonWriter& CJsonWriter::key(std::string_view name) {
    separate();
    appendQuoted(m_out, name);
    m_out.push_back(':');
    m_afterKey = true;
    return *this;
}

CJsonWriter& CJsonWriter::value(std::string_view text) {
    separate();
    appendQuoted(m_out, text);
    return *this;
}

CJsonWriter& CJsonWriter::value(std::int64_t number) {
    separate();
    std::array<char, 24> digits{};
    const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), number);
    m_out.append(digits.data(), result.ptr);
    return *this;
}

CJsonWriter& CJsonWriter::value(bool flag) {
    separate();
    m_out += flag ? "true" : "false";
    return *this;
}

CJsonWriter& CJsonWriter::rawNumber(std::string_view number) {
    separate();
    m_out.append(number);
    return *this;
}

CJsonWriter& CJsonWriter::null() {
    separate();
    m_out += "null";
    return *this;
}

std::string withVersionStamp(std::string_view document, std::string_view version) {
    if (document.empty() || document.front() != '{')
        return std::string(document);
    std::string out = "{\"velmar\":" + jsonQuoted(version);
    const std::string_view rest = document.substr(1);
    if (!rest.empty() && rest.front() != '}')
        out += ',';
    out += rest;
    return out;
}

} // namespace velmar
