// Reads arbitrary bytes as a JSON document and checks what must hold: a
// refusal names a byte inside the text, the limits hold for what is accepted,
// and an accepted document written out again reads back to the same values.

#include "FuzzSupport.h"
#include "protocol/JsonReader.h"
#include "protocol/JsonWriter.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

const velmar::JsonLimits kLimits{16, 2000};

std::size_t write(velmar::CJsonWriter& w, const velmar::JsonValue& v, std::size_t depth) {
    FUZZ_CHECK(depth <= kLimits.maxDepth || (!v.isArray() && !v.isObject()));
    std::size_t count = 1;
    switch (v.type()) {
    case velmar::JsonValue::Type::Null: w.null(); break;
    case velmar::JsonValue::Type::Bool: w.value(v.boolean()); break;
    case velmar::JsonValue::Type::String: w.value(v.string()); break;
    case velmar::JsonValue::Type::Number: {
        char buffer[64];
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, v.number()).ptr;
        w.rawNumber(std::string_view(buffer, static_cast<std::size_t>(end - buffer)));
        if (const auto i = v.integer())
            FUZZ_CHECK(static_cast<double>(*i) == v.number());
        break;
    }
    case velmar::JsonValue::Type::Array:
        w.beginArray();
        for (const velmar::JsonValue& e : v.array())
            count += write(w, e, depth + 1);
        w.endArray();
        break;
    case velmar::JsonValue::Type::Object:
        w.beginObject();
        for (const auto& [key, e] : v.members()) {
            w.key(key);
            count += write(w, e, depth + 1);
        }
        w.endObject();
        break;
    }
    return count;
}

bool same(const velmar::JsonValue& a, const velmar::JsonValue& b) {
    if (a.type() != b.type() || a.boolean() != b.boolean() || a.string() != b.string() ||
        a.array().size() != b.array().size() || a.members().size() != b.members().size())
        return false;
    if (a.isNumber() && a.number() != b.number())
        return false;
    for (std::size_t i = 0; i < a.array().size(); ++i)
        if (!same(a.array()[i], b.array()[i]))
            return false;
    for (std::size_t i = 0; i < a.members().size(); ++i)
        if (a.members()[i].first != b.members()[i].first ||
            !same(a.members()[i].second, b.members()[i].second))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const velmar::JsonParseResult read = velmar::parseJson(text, kLimits);
    if (!read.value) {
        FUZZ_CHECK(!read.error.empty() && read.offset <= size);
        return 0;
    }
    FUZZ_CHECK(read.error.empty());
    velmar::CJsonWriter writer;
    const std::size_t elements = write(writer, *read.value, 1);
    FUZZ_CHECK(elements <= kLimits.maxElements);
    const velmar::JsonParseResult again = velmar::parseJson(writer.text(), kLimits);
    FUZZ_CHECK(again.value.has_value());
    FUZZ_CHECK(same(*read.value, *again.value));
    return 0;
}
