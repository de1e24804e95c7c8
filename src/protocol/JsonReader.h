#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmar {

// One value of a parsed JSON document. Accessors for another type give the
// type's empty value, so a caller checks the type once and reads on.
class JsonValue {
public:
    enum class Type { Null, Bool, Number, String, Array, Object };

    JsonValue() = default;
    static JsonValue makeBool(bool flag);
    static JsonValue makeNumber(double number, std::optional<long long> integer);
    static JsonValue makeString(std::string text);
    static JsonValue makeArray();
    static JsonValue makeObject();

    Type type() const { return m_type; }
    bool isNull() const { return m_type == Type::Null; }
    bool isBool() const { return m_type == Type::Bool; }
    bool isNumber() const { return m_type == Type::Number; }
    bool isString() const { return m_type == Type::String; }
    bool isArray() const { return m_type == Type::Array; }
    bool isObject() const { return m_type == Type::Object; }

    bool boolean() const { return m_bool; }
    double number() const { return m_number; }
    // The number as an integer when it is one exactly ("12", "-0", "1.50e2",
    // within long long); nullopt otherwise or when not a number.
    std::optional<long long> integer() const { return m_integer; }
    const std::string& string() const { return m_string; }
    const std::vector<JsonValue>& array() const { return m_array; }
    // Members in document order.
    const std::vector<std::pair<std::string, JsonValue>>& members() const { return m_members; }
    // The member named `key`, or nullptr (also when not an object).
    const JsonValue* find(std::string_view key) const;

    // For the reader while it builds the tree.
    std::vector<JsonValue>& mutableArray() { return m_array; }
    std::vector<std::pair<std::string, JsonValue>>& mutableMembers() { return m_members; }

private:
    Type m_type = Type::Null;
    bool m_bool = false;
    double m_number = 0.0;
    std::optional<long long> m_integer;
    std::string m_string;
    std::vector<JsonValue> m_array;
    std::vector<std::pair<std::string, JsonValue>> m_members;
};

struct JsonLimits {
    std::size_t maxDepth = 32;        // open arrays and objects at once
    std::size_t maxElements = 200000; // values of any kind, the document itself included
};

struct JsonParseResult {
    std::optional<JsonValue> value;
    std::string error;      // plain words, naming the byte where it went wrong
    std::size_t offset = 0; // that byte
};

// A strict reader of one JSON text: UTF-8 checked, \u escapes with surrogate
// pairs (lone surrogates refused), nothing but whitespace after the document,
// duplicate keys in an object refused. Nesting is followed on a stack of its
// own, so a deep document meets the depth limit, never the end of the call
// stack.
JsonParseResult parseJson(std::string_view text, const JsonLimits& limits = {});

// The value of one hexadecimal digit, or -1 (JSON escapes, URL escapes).
int hexDigitValue(char c);

// Appends one code point as UTF-8.
void appendUtf8(std::string& out, std::uint32_t cp);

} // namespace velmar
