#include "protocol/JsonWriter.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <limits>

namespace velmar {
namespace {

using namespace std::string_view_literals;

TEST(JsonWriter, CommasOnlyBetweenMembersAtEveryDepth) {
    CJsonWriter w;
    w.beginObject()
        .field("a", 1)
        .key("b")
        .beginArray()
        .value(1)
        .value("x")
        .value(true)
        .null()
        .beginObject()
        .endObject()
        .beginArray()
        .endArray()
        .endArray()
        .key("c")
        .beginObject()
        .key("d")
        .beginArray()
        .beginObject()
        .field("e", false)
        .endObject()
        .beginObject()
        .field("f", "g")
        .endObject()
        .endArray()
        .endObject()
        .field("h", "")
        .endObject();
    EXPECT_EQ(w.text(),
              R"({"a":1,"b":[1,"x",true,null,{},[]],"c":{"d":[{"e":false},{"f":"g"}]},"h":""})");
}

TEST(JsonWriter, TopLevelArrayAndTake) {
    CJsonWriter w;
    w.beginArray();
    for (int k = 0; k < 3; ++k)
        w.beginObject().field("k", k).endObject();
    w.endArray();
    const std::string out = w.take();
    EXPECT_EQ(out, R"([{"k":0},{"k":1},{"k":2}])");
}

TEST(JsonWriter, ValuesKeepTheirKinds) {
    // A string literal must not decay to the bool overload.
    CJsonWriter w;
    w.beginArray()
        .value("true")
        .value(std::string("s"))
        .value(std::string_view("v"))
        .value(false)
        .rawNumber("-0.75")
        .endArray();
    EXPECT_EQ(w.text(), R"(["true","s","v",false,-0.75])");
}

TEST(JsonWriter, NumbersAtTheirLimits) {
    CJsonWriter w;
    w.beginArray()
        .value(std::numeric_limits<std::int64_t>::min())
        .value(std::numeric_limits<std::int64_t>::max())
        .value(std::numeric_limits<int>::min())
        .value(std::numeric_limits<std::uint32_t>::max())
        .value(0)
        .value(-1)
        .endArray();
    EXPECT_EQ(w.text(), "[-9223372036854775808,9223372036854775807,-2147483648,4294967295,0,-1]");
}

TEST(JsonQuoted, EscapesWhatJsonForbidsRaw) {
    const std::pair<std::string_view, std::string_view> rows[] = {
        {"", R"("")"},
        {"plain text", R"("plain text")"},
        {R"(say "hi")", R"("say \"hi\"")"},
        {R"(C:\show\a.xpt)", R"("C:\\show\\a.xpt")"},
        {"a\nb\rc\td\be\ff", R"("a\nb\rc\td\be\ff")"},
        {"\x01\x1f"sv, R"("\u0001\u001f")"},
        {"nul\0here"sv, R"("nul\u0000here")"},
        {"\x7f", R"("\u007f")"},
        {"/ and ' stay", R"("/ and ' stay")"},
        // C1 controls are valid JSON raw, but a terminal showing the document
        // may obey them (CSI clears the screen as ESC [ does).
        {"a\xC2\x9B"
         "2Jb",
         R"("a\u009b2Jb")"},
        {"\xC2\x80\xC2\x9F\xC2\xA0", "\"\\u0080\\u009f\xC2\xA0\""},
    };
    for (const auto& [text, want] : rows)
        EXPECT_EQ(jsonQuoted(text), want) << want;

    // Keys go through the same escaping.
    CJsonWriter w;
    w.beginObject().field("a\"b\\c\n", 1).endObject();
    EXPECT_EQ(w.text(), R"({"a\"b\\c\n":1})");
}

TEST(JsonQuoted, ValidUtf8KeptInvalidBytesReplaced) {
    const std::string_view fffd = "\xEF\xBF\xBD";
    const auto q = [](std::string_view inner) { return "\"" + std::string(inner) + "\""; };
    const auto r = [&](int count) {
        std::string out;
        for (int k = 0; k < count; ++k)
            out.append(fffd);
        return out;
    };
    const std::pair<std::string_view, std::string> rows[] = {
        // Valid sequences of every length and at the edges of the ranges.
        {"\xC2\xA0", q("\xC2\xA0")},
        {"Gr\xC3\xBC\xC3\x9F", q("Gr\xC3\xBC\xC3\x9F")},
        {"\xE2\x82\xAC", q("\xE2\x82\xAC")},
        {"\xE0\xA0\x80", q("\xE0\xA0\x80")},
        {"\xED\x9F\xBF", q("\xED\x9F\xBF")},
        {"\xEF\xBF\xBF", q("\xEF\xBF\xBF")},
        {"\xF0\x9D\x84\x9E", q("\xF0\x9D\x84\x9E")},
        {"\xF4\x8F\xBF\xBF", q("\xF4\x8F\xBF\xBF")},
        // Each byte that starts no valid sequence becomes U+FFFD on its own,
        // and what follows it is read afresh.
        {"a\x80z", q("a" + r(1) + "z")},
        {"\xFF\xFE", q(r(2))},
        {"\xC0\xAF", q(r(2))},                  // over-long '/'
        {"\xC1\xBF", q(r(2))},                  // over-long
        {"\xE0\x80\xAF", q(r(3))},              // over-long three bytes
        {"\xED\xA0\x80", q(r(3))},              // surrogate
        {"\xF0\x80\x80\xAF", q(r(4))},          // over-long four bytes
        {"\xF4\x90\x80\x80", q(r(4))},          // above U+10FFFF
        {"\xF5\x80\x80\x80", q(r(4))},          // no such lead byte
        {"end\xE2\x82", q("end" + r(2))},       // cut short by the end
        {"\xF0\x9D\x84", q(r(3))},              // cut short by the end
        {"\xE2\x82z", q(r(2) + "z")},           // cut short by ASCII
        {"\xC3\xC3\xA9", q(r(1) + "\xC3\xA9")}, // a stray lead before a valid one
        {"\xE2\x82\xF0\x9D\x84\x9E", q(r(2) + "\xF0\x9D\x84\x9E")},
        {"\xE2\x82\"", q(r(2) + "\\\"")}, // the quote after it is still escaped
    };
    for (const auto& [text, want] : rows)
        EXPECT_EQ(jsonQuoted(text), want) << testing::PrintToString(std::string(text));
}

TEST(JsonWriter, DocumentsNameTheVersionThatWroteThem) {
    EXPECT_EQ(withVersionStamp("{\"a\":1}", "2.0.0.0"), "{\"velmar\":\"2.0.0.0\",\"a\":1}");
    EXPECT_EQ(withVersionStamp("{}", "2.0.0.0"), "{\"velmar\":\"2.0.0.0\"}");
    EXPECT_EQ(withVersionStamp("[1]", "2.0.0.0"), "[1]") << "only an object takes a member";
    EXPECT_EQ(withVersionStamp("", "2.0.0.0"), "");
}

} // namespace
} // namespace velmar
