#include "protocol/JsonReader.h"

#include "protocol/TerminalText.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <system_error>
#include <unordered_set>

namespace velmar {

JsonValue JsonValue::makeBool(bool flag) {
    JsonValue v;
    v.m_type = Type::Bool;
    v.m_bool = flag;
    return v;
}

JsonValue JsonValue::makeNumber(double number, std::optional<long long> integer) {
    JsonValue v;
    v.m_type = Type::Number;
    v.m_number = number;
    v.m_integer = integer;
    return v;
}

JsonValue JsonValue::makeString(std::string text) {
    JsonValue v;
    v.m_type = Type::String;
    v.m_string = std::move(text);
    return v;
}

JsonValue JsonValue::makeArray() {
    JsonValue v;
    v.m_type = Type::Array;
    return v;
}

JsonValue JsonValue::makeObject() {
    JsonValue v;
    v.m_type = Type::Object;
    return v;
}

const JsonValue* JsonValue::find(std::string_view key) const {
    for (const auto& [name, value] : m_members)
        if (name == key)
            return &value;
    return nullptr;
}

namespace {

// Past this many members an object's keys are also kept in a set, so that
// checking for duplicates stays linear in a large object.
constexpr std::size_t kLinearKeyScan = 16;

bool isWhitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }


// The exact integer a number's digits make, when they make one in range.
// `digits` holds the significant digits (integer and fraction parts together)
// and `exponent` the power of ten that applies to the last of them.
std::optional<long long> exactInteger(std::string_view digits, long long exponent, bool negative) {
    while (!digits.empty() && digits.front() == '0')
        digits.remove_prefix(1);
    while (!digits.empty() && digits.back() == '0') {
        digits.remove_suffix(1);
        ++exponent;
    }
    if (digits.empty())
        return 0;
    if (exponent < 0 || static_cast<long long>(digits.size()) + exponent > 19)
        return std::nullopt;
    const unsigned long long limit = negative ? 9223372036854775808ULL : 9223372036854775807ULL;
    unsigned long long v = 0;
    const auto push = [&](unsigned digit) {
        if (v > (limit - digit) / 10)
            return false;
        v = v * 10 + digit;
        return true;
    };
    for (const char c : digits)
        if (!push(static_cast<unsigned>(c - '0')))
            return std::nullopt;
    for (long long k = 0; k < exponent; ++k)
        if (!push(0))
            return std::nullopt;
    if (negative)
        return v == 9223372036854775808ULL ? std::numeric_limits<long long>::min()
                                           : -static_cast<long long>(v);
    return static_cast<long long>(v);
}

class CParser {
public:
    CParser(std::string_view text, const JsonLimits& limits) : m_text(text), m_limits(limits) {}

    JsonParseResult run() {
        JsonParseResult result;
        if (parse())
            result.value = std::move(m_root);
        else {
            result.error = std::move(m_error);
            result.offset = m_errorAt;
        }
        return result;
    }

private:
    struct Frame {
        JsonValue container;
        std::string key; // an object's key waiting for its value
        std::unordered_set<std::string> keys;
    };

    bool fail(std::string what, std::size_t at) {
        m_error = std::move(what);
        m_error += " at byte ";
        m_error += std::to_string(at);
        m_errorAt = at;
        return false;
    }

    bool unexpected() {
        if (m_pos >= m_text.size())
            return fail("unexpected end of the document", m_text.size());
        const auto c = static_cast<unsigned char>(m_text[m_pos]);
        std::string what;
        if (c >= 0x20 && c < 0x7F) {
            what = "unexpected character '";
            what += static_cast<char>(c);
            what += '\'';
        } else {
            static constexpr char kHex[] = "0123456789ABCDEF";
            what = "unexpected byte 0x";
            what += kHex[c >> 4];
            what += kHex[c & 0xF];
        }
        return fail(std::move(what), m_pos);
    }

    void skipWhitespace() {
        while (m_pos < m_text.size() && isWhitespace(m_text[m_pos]))
            ++m_pos;
    }

    bool peekIs(char c) const { return m_pos < m_text.size() && m_text[m_pos] == c; }

    bool countElement() {
        if (++m_elements > m_limits.maxElements) {
            std::string what = "more than ";
            what += std::to_string(m_limits.maxElements);
            what += " values";
            return fail(std::move(what), m_pos);
        }
        return true;
    }

    bool parse() {
        skipWhitespace();
        for (;;) {
            // A value starts here.
            if (!countElement())
                return false;
            if (peekIs('[') || peekIs('{')) {
                if (m_stack.size() >= m_limits.maxDepth) {
                    std::string what = "nesting deeper than ";
                    what += std::to_string(m_limits.maxDepth);
                    what += " levels";
                    return fail(std::move(what), m_pos);
                }
                const bool object = m_text[m_pos] == '{';
                ++m_pos;
                m_stack.push_back(
                    {object ? JsonValue::makeObject() : JsonValue::makeArray(), {}, {}});
                skipWhitespace();
                if (peekIs(object ? '}' : ']')) {
                    ++m_pos;
                    if (!closeContainer())
                        return false;
                } else if (object) {
                    if (!memberKey())
                        return false;
                    continue;
                } else {
                    continue;
                }
            } else {
                JsonValue scalar;
                if (!parseScalar(scalar))
                    return false;
                if (!complete(std::move(scalar)))
                    return false;
            }
            // After a value: a separator, a close, or the end of the document.
            for (;;) {
                if (m_stack.empty()) {
                    skipWhitespace();
                    if (m_pos != m_text.size()) {
                        fail("more after the end of the document", m_pos);
                        return false;
                    }
                    return true;
                }
                skipWhitespace();
                const bool object = m_stack.back().container.isObject();
                if (peekIs(',')) {
                    ++m_pos;
                    skipWhitespace();
                    if (object && !memberKey())
                        return false;
                    break; // the next value
                }
                if (peekIs(object ? '}' : ']')) {
                    ++m_pos;
                    if (!closeContainer())
                        return false;
                    continue;
                }
                return unexpected();
            }
        }
    }

    // A container just closed: it becomes a value of the one around it.
    bool closeContainer() {
        JsonValue done = std::move(m_stack.back().container);
        m_stack.pop_back();
        return complete(std::move(done));
    }

    bool complete(JsonValue value) {
        if (m_stack.empty()) {
            m_root = std::move(value);
            return true;
        }
        Frame& top = m_stack.back();
        if (top.container.isArray())
            top.container.mutableArray().push_back(std::move(value));
        else
            top.container.mutableMembers().emplace_back(std::move(top.key), std::move(value));
        return true;
    }

    // An object's key and its colon; the value follows.
    bool memberKey() {
        if (!peekIs('"'))
            return unexpected();
        const std::size_t at = m_pos;
        std::string key;
        if (!parseString(key))
            return false;
        Frame& top = m_stack.back();
        auto& members = top.container.mutableMembers();
        bool duplicate = false;
        if (members.size() < kLinearKeyScan) {
            for (const auto& member : members)
                duplicate = duplicate || member.first == key;
        } else {
            if (top.keys.empty())
                for (const auto& member : members)
                    top.keys.insert(member.first);
            duplicate = !top.keys.insert(key).second;
        }
        if (duplicate) {
            std::string what = "duplicate key ";
            what += jsonShort(key);
            return fail(std::move(what), at);
        }
        skipWhitespace();
        if (!peekIs(':'))
            return unexpected();
        ++m_pos;
        skipWhitespace();
        top.key = std::move(key);
        return true;
    }

    static std::string jsonShort(const std::string& key) {
        std::string out = "\"";
        out.append(key, 0, 40);
        if (key.size() > 40)
            out += "...";
        out += '"';
        return out;
    }

    bool parseScalar(JsonValue& out) {
        if (m_pos >= m_text.size())
            return unexpected();
        const char c = m_text[m_pos];
        if (c == '"') {
            std::string text;
            if (!parseString(text))
                return false;
            out = JsonValue::makeString(std::move(text));
            return true;
        }
        if (c == '-' || isDigit(c))
            return parseNumber(out);
        for (const auto& [word, value] :
             {std::pair<std::string_view, int>{"true", 1}, {"false", 0}, {"null", -1}}) {
            if (c != word.front())
                continue;
            for (std::size_t k = 0; k < word.size(); ++k, ++m_pos)
                if (!peekIs(word[k]))
                    return unexpected();
            out = value < 0 ? JsonValue() : JsonValue::makeBool(value == 1);
            return true;
        }
        return unexpected();
    }

    bool parseNumber(JsonValue& out) {
        const std::size_t start = m_pos;
        const bool negative = peekIs('-');
        if (negative)
            ++m_pos;
        std::string digits;
        if (peekIs('0')) {
            ++m_pos;
        } else if (m_pos < m_text.size() && isDigit(m_text[m_pos])) {
            while (m_pos < m_text.size() && isDigit(m_text[m_pos]))
                digits += m_text[m_pos++];
        } else {
            return unexpected();
        }
        long long exponent = 0;
        if (peekIs('.')) {
            ++m_pos;
            if (m_pos >= m_text.size() || !isDigit(m_text[m_pos]))
                return unexpected();
            while (m_pos < m_text.size() && isDigit(m_text[m_pos])) {
                digits += m_text[m_pos++];
                --exponent;
            }
        }
        if (peekIs('e') || peekIs('E')) {
            ++m_pos;
            bool negativeExponent = false;
            if (peekIs('+') || peekIs('-'))
                negativeExponent = m_text[m_pos++] == '-';
            if (m_pos >= m_text.size() || !isDigit(m_text[m_pos]))
                return unexpected();
            long long e = 0;
            while (m_pos < m_text.size() && isDigit(m_text[m_pos])) {
                if (e < 1'000'000'000)
                    e = e * 10 + (m_text[m_pos] - '0');
                ++m_pos;
            }
            exponent += negativeExponent ? -e : e;
        }
        double number = 0.0;
        const char* first = m_text.data() + start;
        const char* last = m_text.data() + m_pos;
        const auto [end, ec] = std::from_chars(first, last, number);
        if (ec == std::errc::result_out_of_range) {
            // Too small to tell from zero is zero; too large is refused.
            std::size_t significant = 0;
            while (significant < digits.size() && digits[significant] == '0')
                ++significant;
            const long long magnitude =
                static_cast<long long>(digits.size() - significant) + exponent;
            if (magnitude > 0)
                return fail("number out of range", start);
            number = negative ? -0.0 : 0.0;
        } else if (ec != std::errc() || end != last) {
            return fail("malformed number", start);
        }
        out = JsonValue::makeNumber(number, exactInteger(digits, exponent, negative));
        return true;
    }

    bool parseString(std::string& out) {
        ++m_pos; // the opening quote
        for (;;) {
            if (m_pos >= m_text.size())
                return fail("unterminated string", m_text.size());
            const auto c = static_cast<unsigned char>(m_text[m_pos]);
            if (c == '"') {
                ++m_pos;
                return true;
            }
            if (c < 0x20)
                return fail("control character in a string", m_pos);
            if (c == '\\') {
                if (!parseEscape(out))
                    return false;
                continue;
            }
            if (c < 0x80) {
                out += static_cast<char>(c);
                ++m_pos;
                continue;
            }
            const std::size_t length = utf8SequenceLength(m_text, m_pos);
            if (length == 0)
                return fail("bytes that are not UTF-8", m_pos);
            out.append(m_text.substr(m_pos, length));
            m_pos += length;
        }
    }

    // Four hex digits at `at`, or -1.
    long hex4(std::size_t at) const {
        if (at + 4 > m_text.size())
            return -1;
        long v = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const int h = hexDigitValue(m_text[at + k]);
            if (h < 0)
                return -1;
            v = v * 16 + h;
        }
        return v;
    }

    bool parseEscape(std::string& out) {
        const std::size_t at = m_pos;
        ++m_pos;
        if (m_pos >= m_text.size())
            return fail("unterminated string", m_text.size());
        const char e = m_text[m_pos];
        static constexpr std::string_view kFrom = "\"\\/bfnrt";
        static constexpr std::string_view kTo = "\"\\/\b\f\n\r\t";
        if (const std::size_t k = kFrom.find(e); k != std::string_view::npos) {
            out += kTo[k];
            ++m_pos;
            return true;
        }
        if (e != 'u')
            return fail("unknown escape in a string", at);
        const long unit = hex4(m_pos + 1);
        if (unit < 0)
            return fail("malformed \\u escape", at);
        m_pos += 5;
        auto cp = static_cast<std::uint32_t>(unit);
        if (cp >= 0xDC00 && cp <= 0xDFFF)
            return fail("lone surrogate in a \\u escape", at);
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            const long low =
                m_pos + 6 <= m_text.size() && m_text[m_pos] == '\\' && m_text[m_pos + 1] == 'u'
                    ? hex4(m_pos + 2)
                    : -1;
            if (low < 0xDC00 || low > 0xDFFF)
                return fail("lone surrogate in a \\u escape", at);
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<std::uint32_t>(low) - 0xDC00);
            m_pos += 6;
        }
        appendUtf8(out, cp);
        return true;
    }

    std::string_view m_text;
    JsonLimits m_limits;
    std::size_t m_pos = 0;
    std::size_t m_elements = 0;
    std::vector<Frame> m_stack;
    JsonValue m_root;
    std::string m_error;
    std::size_t m_errorAt = 0;
};

} // namespace

JsonParseResult parseJson(std::string_view text, const JsonLimits& limits) {
    return CParser(text, limits).run();
}

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace velmar
