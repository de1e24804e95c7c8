#include "server/Digest.h"

#include <gtest/gtest.h>
#include <string>

namespace velmar {
namespace {

std::string hex(const std::array<std::uint8_t, 20>& digest) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (const std::uint8_t b : digest) {
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    return out;
}

TEST(Digest, Sha1MatchesPublishedVectors) {
    const struct {
        std::string input;
        const char* digest;
    } cases[] = {
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        // lengths either side of where the padding spills into a second block
        {std::string(55, 'a'), "c1c8bbdc22796e28c0e15163d20899b65621d65a"},
        {std::string(56, 'a'), "c2db330f6083854c99d4b5bfb6e8f29f201be699"},
        {std::string(63, 'a'), "03f09f5b158a7a8cdad920bddc29b81c18a551f5"},
        {std::string(64, 'a'), "0098ba824b5c16427bd7a1122a5a442a25ec644d"},
        {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hex(sha1(c.input)), c.digest) << c.input.size() << " bytes";
}

TEST(Digest, Base64EncodesAndDecodesTheStandardVectors) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\0\xff\xfe", 3), "AP/+"},
    };
    for (const auto& [plain, encoded] : cases) {
        const std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
        EXPECT_EQ(base64Encode(bytes), encoded);
        EXPECT_EQ(base64Decode(encoded), std::optional(bytes)) << encoded;
    }
}

TEST(Digest, Base64DecodeIsStrict) {
    for (const char* bad : {"Zg=", "Zg", "Zh==", "Zm9=", "Z===", "====", "Zm9v\n", "Zm=v",
                            "Zg==Zg==", "Zm9-", " Zm9v", "Zm9v===="})
        EXPECT_FALSE(base64Decode(bad).has_value()) << bad;
}

} // namespace
} // namespace velmar
