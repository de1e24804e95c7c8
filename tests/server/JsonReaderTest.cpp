#include "protocol/JsonReader.h"

#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace velmar {
namespace {

TEST(JsonReader, ReadsTheStandardsExamples) {
    const JsonParseResult image = parseJson(R"({
      "Image": {
          "Width":  800,
          "Height": 600,
          "Title":  "View from 15th Floor",
          "Thumbnail": {
              "Url":    "http://www.example.com/image/481989943",
              "Height": 125,
              "Width":  100
          },
          "Animated" : false,
          "IDs": [116, 943, 234, 38793]
        }
    })");
    ASSERT_TRUE(image.value) << image.error;
    const JsonValue* root = image.value->find("Image");
    ASSERT_TRUE(root && root->isObject());
    EXPECT_EQ(root->find("Width")->integer(), 800);
    EXPECT_EQ(root->find("Title")->string(), "View from 15th Floor");
    EXPECT_EQ(root->find("Thumbnail")->find("Url")->string(),
              "http://www.example.com/image/481989943");
    EXPECT_TRUE(root->find("Animated")->isBool());
    EXPECT_FALSE(root->find("Animated")->boolean());
    ASSERT_EQ(root->find("IDs")->array().size(), 4u);
    EXPECT_EQ(root->find("IDs")->array()[3].integer(), 38793);
    EXPECT_EQ(image.value->members()[0].second.members()[2].first, "Title"); // document order
    EXPECT_EQ(root->find("Nope"), nullptr);

    const JsonParseResult places = parseJson(R"([
        {"precision": "zip", "Latitude": 37.7668, "Longitude": -122.3959,
         "Address": "", "City": "SAN FRANCISCO", "State": "CA", "Zip": "94107",
         "Country": "US"},
        {"precision": "zip", "Latitude": 37.371991, "Longitude": -122.026020,
         "Address": "", "City": "SUNNYVALE", "State": "CA", "Zip": "94085", "Country": "US"}
    ])");
    ASSERT_TRUE(places.value) << places.error;
    ASSERT_EQ(places.value->array().size(), 2u);
    EXPECT_DOUBLE_EQ(places.value->array()[1].find("Longitude")->number(), -122.02602);
    EXPECT_FALSE(places.value->array()[1].find("Longitude")->integer());

    for (const char* scalar : {"\"Hello world!\"", "42", "true", " null "})
        EXPECT_TRUE(parseJson(scalar).value) << scalar;
}

TEST(JsonReader, IntegersOnlyWhenExact) {
    const struct {
        const char* text;
        std::optional<long long> integer;
    } cases[] = {
        {"12", 12},
        {"-0", 0},
        {"1.50e2", 150},
        {"1E+2", 100},
        {"2500e-2", 25},
        {"1.5", std::nullopt},
        {"1e-2", std::nullopt},
        {"9223372036854775807", std::numeric_limits<long long>::max()},
        {"-9223372036854775808", std::numeric_limits<long long>::min()},
        {"9223372036854775808", std::nullopt},
        {"1e19", std::nullopt},
        {"1e-400", std::nullopt}, // zero as a double, yet not an integer as written
    };
    for (const auto& c : cases) {
        const JsonParseResult r = parseJson(c.text);
        ASSERT_TRUE(r.value && r.value->isNumber()) << c.text << ": " << r.error;
        EXPECT_EQ(r.value->integer(), c.integer) << c.text;
    }
    EXPECT_FALSE(parseJson("\"12\"").value->integer());
}

TEST(JsonReader, RefusesInvalidDocumentsSayingWhereAndWhy) {
    const struct {
        std::string text;
        const char* error;
        std::size_t offset;
    } cases[] = {
        {"", "unexpected end of the document at byte 0", 0},
        {"[1,]", "unexpected character ']' at byte 3", 3},
        {"{\"a\":1,}", "unexpected character '}' at byte 7", 7},
        {"{\"a\" 1}", "unexpected character '1' at byte 5", 5},
        {"{a:1}", "unexpected character 'a' at byte 1", 1},
        {"[1 2]", "unexpected character '2' at byte 3", 3},
        {"01", "more after the end of the document at byte 1", 1},
        {"{} x", "more after the end of the document at byte 3", 3},
        {"[1.]", "unexpected character ']' at byte 3", 3},
        {"-", "unexpected end of the document at byte 1", 1},
        {"+1", "unexpected character '+' at byte 0", 0},
        {"1e400", "number out of range at byte 0", 0},
        {"tru", "unexpected end of the document at byte 3", 3},
        {"nul1", "unexpected character '1' at byte 3", 3},
        {"NaN", "unexpected character 'N' at byte 0", 0},
        {"\"abc", "unterminated string at byte 4", 4},
        {"\"a\tb\"", "control character in a string at byte 2", 2},
        {"\"\\x\"", "unknown escape in a string at byte 1", 1},
        {"\"\\u12G4\"", "malformed \\u escape at byte 1", 1},
        {"\"\\ud834\"", "lone surrogate in a \\u escape at byte 1", 1},
        {"\"\\ud834\\u0041\"", "lone surrogate in a \\u escape at byte 1", 1},
        {"\"\\udd1e\"", "lone surrogate in a \\u escape at byte 1", 1},
        {"\"\xC3\x28\"", "bytes that are not UTF-8 at byte 1", 1},
        {"\"\xC0\xAF\"", "bytes that are not UTF-8 at byte 1", 1},     // over-long '/'
        {"\"\xED\xA0\x80\"", "bytes that are not UTF-8 at byte 1", 1}, // encoded surrogate
        {"\xEF\xBB\xBF{}", "unexpected byte 0xEF at byte 0", 0},       // no byte-order mark
        {"{\"a\":1,\"b\":2,\"a\":3}", "duplicate key \"a\" at byte 13", 13},
        {"[\"a\" \"b\"]", "unexpected character '\"' at byte 5", 5},
    };
    for (const auto& c : cases) {
        const JsonParseResult r = parseJson(c.text);
        EXPECT_FALSE(r.value) << c.text;
        EXPECT_EQ(r.error, c.error) << c.text;
        EXPECT_EQ(r.offset, c.offset) << c.text;
    }
}

TEST(JsonReader, DecodesEscapesAndSurrogatePairs) {
    const JsonParseResult r = parseJson(R"(["\ud834\udd1e", "\u00e9\"\\\/\b\f\n\r\t", "\u0000"])");
    ASSERT_TRUE(r.value) << r.error;
    EXPECT_EQ(r.value->array()[0].string(), "\xF0\x9D\x84\x9E");
    EXPECT_EQ(r.value->array()[1].string(), "\xC3\xA9\"\\/\b\f\n\r\t");
    EXPECT_EQ(r.value->array()[2].string(), std::string(1, '\0'));
    EXPECT_EQ(parseJson("\"\xF0\x9D\x84\x9E\"").value->string(), "\xF0\x9D\x84\x9E");
}

TEST(JsonReader, DepthIsBoundedWithoutRecursion) {
    const auto nest = [](std::size_t depth) {
        return std::string(depth, '[') + std::string(depth, ']');
    };
    const JsonLimits limits;
    EXPECT_TRUE(parseJson(nest(limits.maxDepth)).value);
    const JsonParseResult over = parseJson(nest(limits.maxDepth + 1));
    EXPECT_EQ(over.error, "nesting deeper than 32 levels at byte 32");
    EXPECT_EQ(over.offset, limits.maxDepth);
    EXPECT_TRUE(parseJson("{\"a\":{\"b\":[{}]}}", {4, 100}).value);
    EXPECT_FALSE(parseJson("{\"a\":{\"b\":[{}]}}", {3, 100}).value);

    // A megabyte of openers meets the limit, not the end of the stack.
    const JsonParseResult deep = parseJson(std::string(1 << 20, '['));
    EXPECT_FALSE(deep.value);
    EXPECT_EQ(deep.offset, limits.maxDepth);
    // Even with the limit lifted the reader itself does not recurse.
    EXPECT_EQ(parseJson(std::string(200000, '['), {300000, 300000}).error,
              "unexpected end of the document at byte 200000");
}

TEST(JsonReader, ElementCountIsBounded) {
    EXPECT_TRUE(parseJson("[1,2,3]", {32, 4}).value);
    const JsonParseResult r = parseJson("[1,2,3,4]", {32, 4});
    EXPECT_EQ(r.error, "more than 4 values at byte 7");
}

TEST(JsonReader, DuplicateKeysRefusedInLargeObjectsToo) {
    std::string doc = "{";
    for (int i = 0; i < 40; ++i) {
        doc += "\"k";
        doc += std::to_string(i);
        doc += "\":0,";
    }
    std::string ok = doc;
    ok += "\"last\":{\"k1\":1}}"; // the same key at another level
    const JsonParseResult r = parseJson(ok);
    ASSERT_TRUE(r.value) << r.error;
    EXPECT_EQ(r.value->members().size(), 41u);
    EXPECT_EQ(r.value->find("last")->find("k1")->integer(), 1);
    std::string dup = doc;
    dup += "\"k3\":0}";
    EXPECT_EQ(parseJson(dup).offset, doc.size());
    EXPECT_EQ(parseJson(dup).error.substr(0, 18), "duplicate key \"k3\"");
}

} // namespace
} // namespace velmar
