#include "emberplus/Ber.h"

#include "HexBytes.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace velmar::ber {
namespace {

std::string hex(std::string_view bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        out.push_back(digits[(static_cast<unsigned char>(c) >> 4) & 0xF]);
        out.push_back(digits[static_cast<unsigned char>(c) & 0xF]);
    }
    return out;
}

using test::unhex;

// Integers as node-emberplus and libember write them: the fewest octets of
// two's complement.
TEST(Ber, IntegersAreMinimalTwosComplement) {
    const struct {
        std::int64_t value;
        const char* bytes;
    } cases[] = {
        {0, "020100"},
        {127, "02017f"},
        {128, "02020080"},
        {-128, "020180"},
        {-129, "0202ff7f"},
        {256, "02020100"},
        {2147483647, "02047fffffff"},
        {-2147483648LL, "020480000000"},
        {std::numeric_limits<std::int64_t>::max(), "02087fffffffffffffff"},
        {std::numeric_limits<std::int64_t>::min(), "02088000000000000000"},
    };
    for (const auto& c : cases) {
        CBerWriter w;
        w.integer(c.value);
        EXPECT_EQ(hex(w.bytes()), c.bytes) << c.value;
        std::int64_t back = 0;
        ASSERT_TRUE(decodeInteger(w.bytes().substr(2), back));
        EXPECT_EQ(back, c.value);
    }
}

// Reals in libember's form, and node-emberplus' (which keeps trailing zero
// bits in the significand) read back to the same values.
TEST(Ber, RealsAsEmberWritesAndReadsThem) {
    const struct {
        double value;
        const char* ours;
        const char* nodes; // node-emberplus' encoder output, or null
    } cases[] = {
        {1.0, "0903800001", "0909800010000000000000"},
        {1.5, "0903800003", "0909800018000000000000"},
        {-2.0, "0903c00101", "0909c00110000000000000"},
        {0.1, "090980fc0ccccccccccccd", "090980fc1999999999999a"},
        {0.0, "0900", "0900"},
        {std::numeric_limits<double>::infinity(), "090140", "090140"},
        {-std::numeric_limits<double>::infinity(), "090141", "090141"},
        {1e300, "090a8103e405f90f22001d67", nullptr},
        {-3.25e-300, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        CBerWriter w;
        w.real(c.value);
        if (c.ours) {
            EXPECT_EQ(hex(w.bytes()), c.ours) << c.value;
        }
        double back = -1;
        ASSERT_TRUE(decodeReal(w.bytes().substr(2), back)) << c.value;
        EXPECT_EQ(back, c.value);
        if (c.nodes) {
            const std::string theirs = unhex(c.nodes);
            ASSERT_TRUE(decodeReal(theirs.substr(2), back));
            EXPECT_EQ(back, c.value);
        }
    }
    CBerWriter nan;
    nan.real(std::numeric_limits<double>::quiet_NaN());
    double back = 0;
    ASSERT_TRUE(decodeReal(nan.bytes().substr(2), back));
    EXPECT_TRUE(std::isnan(back));
    // Decimal forms and a significand of zero are not reals Ember+ sends.
    for (const char* bad : {"03", "0100", "8000", "8000000000000000000000", "83010203040506"})
        EXPECT_FALSE(decodeReal(unhex(bad), back)) << bad;
}

TEST(Ber, TagsLengthsAndStringsOfEveryForm) {
    CBerWriter w;
    w.begin(application(0));
    w.begin(context(31)); // a tag number in more than one octet
    w.utf8(std::string(200, 'x'));
    w.end();
    w.begin(application(300));
    w.boolean(true);
    w.boolean(false);
    w.null();
    w.octets(std::string("\0\xff", 2));
    w.relativeOid({1, 127, 128, 16384, 4294967295u});
    w.end();
    const std::string bytes = w.take();
    EXPECT_EQ(hex(bytes.substr(0, 2)), "6081"); // a long length, back-patched
    EXPECT_NE(bytes.find(unhex("bf1f81cb0c81c8")), std::string::npos); // tag 31 in two octets
    EXPECT_NE(bytes.find(unhex("7f822c")), std::string::npos);         // application 300
    EXPECT_NE(bytes.find(unhex("0d0c017f8100818000 8fffffff7f")), std::string::npos);

    CBerReader r(bytes);
    Tlv root;
    ASSERT_TRUE(r.next(root));
    EXPECT_EQ(root.tag, application(0));
    EXPECT_TRUE(r.atEnd());
    CBerReader in = r.enter(root);
    Tlv f;
    ASSERT_TRUE(in.next(f));
    EXPECT_EQ(f.tag, context(31));
    Tlv s;
    CBerReader inF = in.enter(f);
    ASSERT_TRUE(inF.next(s));
    EXPECT_EQ(s.content, std::string(200, 'x'));
    ASSERT_TRUE(in.next(f));
    EXPECT_EQ(f.tag, application(300));
    CBerReader values = in.enter(f);
    Tlv v;
    bool b = false;
    ASSERT_TRUE(values.next(v));
    ASSERT_TRUE(decodeBoolean(v.content, b));
    EXPECT_TRUE(b);
    ASSERT_TRUE(values.next(v));
    ASSERT_TRUE(decodeBoolean(v.content, b));
    EXPECT_FALSE(b);
    ASSERT_TRUE(values.next(v));
    EXPECT_EQ(v.tag, universal(kNull));
    ASSERT_TRUE(values.next(v));
    EXPECT_EQ(v.content, std::string("\0\xff", 2));
    ASSERT_TRUE(values.next(v));
    std::vector<std::uint32_t> ids;
    ASSERT_TRUE(decodeRelativeOid(v.content, ids, 16));
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{1, 127, 128, 16384, 4294967295u}));
    EXPECT_FALSE(values.next(v));
    EXPECT_FALSE(values.failed());
}

TEST(Ber, IndefiniteLengthsAreReadWithTheirEndOfContents) {
    // [APP 0] { [0] { INTEGER 5 } [1] indefinite { UTF8 "ab" } } with the outer one indefinite too
    const std::string bytes = unhex("6080"
                                    "a080020105 0000"
                                    "a1800c026162 0000"
                                    "0000");
    CBerReader r(bytes);
    Tlv root;
    ASSERT_TRUE(r.next(root)) << r.error();
    EXPECT_TRUE(r.atEnd());
    CBerReader in = r.enter(root);
    Tlv f, v;
    ASSERT_TRUE(in.next(f));
    ASSERT_TRUE(in.enter(f).next(v));
    std::int64_t i = 0;
    ASSERT_TRUE(decodeInteger(v.content, i));
    EXPECT_EQ(i, 5);
    ASSERT_TRUE(in.next(f));
    EXPECT_EQ(f.tag, context(1));
    ASSERT_TRUE(in.enter(f).next(v));
    EXPECT_EQ(v.content, "ab");
    EXPECT_FALSE(in.next(f));
    EXPECT_FALSE(in.failed());
}

TEST(Ber, HostileEncodingsAreFaultsNotCrashes) {
    std::string deep;
    for (int i = 0; i < 200; ++i)
        deep += "\x30\x80";
    CBerWriter nested;
    for (int i = 0; i < 100; ++i)
        nested.begin(universal(kSequence));
    const struct {
        std::string bytes;
        const char* fault;
    } cases[] = {
        {nested.take(), "too deeply"},             // definite lengths, nested too deep
        {unhex("3005020101"), "past the end"},     // length larger than the data
        {unhex("3084ffffffff00"), "past the end"}, // a huge long-form length
        {unhex("30ff"), "not allowed"},            // reserved length form
        {unhex("3080020101"), "never closed"},     // indefinite, never closed
        {unhex("0280"), "primitive"},              // indefinite primitive
        {unhex("1f"), "cut short"},                // multi-octet tag cut short
        {unhex("1fffffffffff01"), "too large"},    // tag number over 32 bits
        {unhex("0000"), "end-of-contents"},        // stray end-of-contents
        {unhex("30"), "length missing"},
        {deep, "too deeply"},
    };
    for (const auto& c : cases) {
        CBerReader r(c.bytes, 64);
        Tlv v;
        bool ok = r.next(v);
        // A value that reads may still hold the fault one level down.
        for (int level = 0; ok && level < 300; ++level) {
            CBerReader in = r.enter(v);
            r = in;
            ok = r.next(v);
        }
        EXPECT_TRUE(r.failed()) << hex(c.bytes);
        EXPECT_NE(r.error().find(c.fault), std::string::npos) << r.error();
    }
    std::vector<std::uint32_t> ids;
    EXPECT_FALSE(decodeRelativeOid(unhex("0181"), ids, 8));       // last id cut short
    EXPECT_FALSE(decodeRelativeOid(unhex("9080808000"), ids, 8)); // over 32 bits
    EXPECT_FALSE(decodeRelativeOid(unhex("010203"), ids, 2));     // more ids than allowed
    std::int64_t i = 0;
    EXPECT_FALSE(decodeInteger(unhex("010203040506070809"), i)); // over 64 bits
    EXPECT_FALSE(decodeInteger({}, i));
    bool b = false;
    EXPECT_FALSE(decodeBoolean(unhex("0101"), b));
}

} // namespace
} // namespace velmar::ber
