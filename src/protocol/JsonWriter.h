#pragma once

#include "protocol/TerminalText.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// Writes one compact JSON document into a string, in the order the calls come.
// Commas and key quoting are the writer's business; the caller opens and closes
// objects and arrays in pairs. Strings are escaped as RFC 8259 asks (the C1
// controls U+0080..U+009F too, for terminals that obey them), and bytes
// that are not valid UTF-8 are written as U+FFFD, so the output always parses.
class CJsonWriter {
public:
    CJsonWriter& beginObject();
    CJsonWriter& endObject();
    CJsonWriter& beginArray();
    CJsonWriter& endArray();
    // The key of the next value inside an object.
    CJsonWriter& key(std::string_view name);

    CJsonWriter& value(std::string_view text);
    CJsonWriter& value(const char* text) { return value(std::string_view(text)); }
    CJsonWriter& value(std::int64_t number);
    CJsonWriter& value(int number) { return value(static_cast<std::int64_t>(number)); }
    CJsonWriter& value(std::uint32_t number) { return value(static_cast<std::int64_t>(number)); }
    CJsonWriter& value(bool flag);
    // A number written as given ("-0.75"); the caller vouches for its form.
    CJsonWriter& rawNumber(std::string_view number);
    CJsonWriter& null();

    // key(name).value(v) in one call.
    template <typename T>
    CJsonWriter& field(std::string_view name, const T& v) {
        key(name);
        return value(v);
    }

    const std::string& text() const { return m_out; }
    std::string take() { return std::move(m_out); }

private:
    void separate();

    std::string m_out;
    // One entry per open object or array: true once it holds a member.
    std::vector<bool> m_hasMember;
    bool m_afterKey = false;
};

// The text as a JSON string literal, quotes included.
std::string jsonQuoted(std::string_view text);

// A document (one JSON object) with a first member naming the program version
// that wrote it: {"velmar":"2.0.0.0",...}. Anything but an object is returned
// as it is.
std::string withVersionStamp(std::string_view document, std::string_view version);

} // namespace velmar
