#include "emberplus/S101.h"

#include "HexBytes.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using test::unhex;

std::vector<S101Message> decodeAll(std::string_view bytes, S101Limits limits = {}) {
    CS101Decoder d(limits);
    std::vector<S101Message> out;
    EXPECT_TRUE(d.feed(bytes, out)) << d.error();
    return out;
}

// Frames as node-emberplus writes them: the CRC, its complement and byte
// order, the escaping of payload bytes from 0xF8 up, the header.
TEST(S101, FramesMatchAnIndependentEncoder) {
    EXPECT_EQ(s101KeepAliveRequest(), unhex("fe000e010194e4ff"));
    EXPECT_EQ(s101KeepAliveResponse(), unhex("fe000e0201fddcceff")); // CRC byte escaped
    EXPECT_EQ(s101EncodeEmber(unhex("6003")), unhex("fe000e0001c001021f02 6003 06cf ff"));
    EXPECT_EQ(s101EncodeEmber(unhex("f8fdfeff00")),
              unhex("fe000e0001c001021f02 fdd8fdddfddefddf00 c487 ff"));

    const auto messages = decodeAll(unhex("fe000e0001c001021f02fdd8fdddfddefddf00c487ff"
                                          "fe000e010194e4ff fe000e0201fddcceff"));
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].kind, S101Message::Kind::Ember);
    EXPECT_EQ(messages[0].payload, unhex("f8fdfeff00"));
    EXPECT_EQ(messages[1].kind, S101Message::Kind::KeepAliveRequest);
    EXPECT_EQ(messages[2].kind, S101Message::Kind::KeepAliveResponse);
}

// A large message goes out in packets of at most 1024 payload bytes, marked
// first, middle and last, and comes back whole whatever the read sizes.
TEST(S101, LongMessagesAreSplitAndReassembled) {
    std::string glow;
    for (int i = 0; i < 5000; ++i)
        glow.push_back(static_cast<char>(i * 7 + (i >> 8)));
    const std::string wire = s101EncodeEmber(glow);

    // Walk the frames: each one's unescaped payload and flags.
    std::vector<int> flags;
    std::size_t total = 0;
    std::string frame;
    bool in = false, esc = false;
    for (const char c : wire) {
        const auto b = static_cast<unsigned char>(c);
        if (b == 0xFE) {
            in = true;
            frame.clear();
        } else if (b == 0xFF) {
            in = false;
            const std::size_t payload = frame.size() - 9 - 2;
            EXPECT_LE(payload, kS101MaxPayload);
            total += payload;
            flags.push_back(static_cast<unsigned char>(frame[4]));
        } else if (b == 0xFD) {
            esc = true;
        } else if (in) {
            frame.push_back(static_cast<char>(esc ? b ^ 0x20 : b));
            esc = false;
        }
    }
    EXPECT_EQ(total, glow.size());
    EXPECT_EQ(flags, (std::vector<int>{0x80, 0x00, 0x00, 0x00, 0x40}));

    for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, wire.size()}) {
        CS101Decoder d;
        std::vector<S101Message> out;
        for (std::size_t at = 0; at < wire.size(); at += piece)
            ASSERT_TRUE(d.feed(std::string_view(wire).substr(at, piece), out)) << d.error();
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].payload, glow);
        EXPECT_EQ(d.pendingBytes(), 0u);
    }
    EXPECT_EQ(decodeAll(s101EncodeEmber(glow, 100)).at(0).payload, glow);
}

// Noise between frames is skipped, as are frames of another message type,
// another command or another DTD: the messages around them still arrive.
TEST(S101, ForeignFramesAndNoiseAreSkipped) {
    auto frame = [](std::string body) {
        // Build a frame around `body` the way the encoder does, via a keep-alive's shape.
        std::string out = "\xfe";
        for (const char c : body) {
            if (static_cast<unsigned char>(c) >= 0xF8) {
                out.push_back('\xfd');
                out.push_back(static_cast<char>(c ^ 0x20));
            } else {
                out.push_back(c);
            }
        }
        const auto crc = static_cast<std::uint16_t>(~s101Crc(body));
        for (const auto b : {crc & 0xFF, crc >> 8}) {
            if (b >= 0xF8) {
                out.push_back('\xfd');
                out.push_back(static_cast<char>(b ^ 0x20));
            } else {
                out.push_back(static_cast<char>(b));
            }
        }
        return out + "\xff";
    };
    const std::string stream = "garbage\x01\x02" + frame(unhex("000f0001")) + // another type
                               frame(unhex("000e0701")) +                     // unknown command
                               frame(unhex("000e0001c0020000 6003")) +        // another DTD
                               frame(unhex("000e0001e001021f02")) +           // empty message
                               s101EncodeEmber("ok");
    const auto messages = decodeAll(stream);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].payload, "ok");
}

TEST(S101, BrokenStreamsAreRefusedWithAReason) {
    std::string badCrc = s101EncodeEmber("hello");
    badCrc[12] ^= 1;
    const std::string two = s101EncodeEmber(std::string(2000, 'a'));
    const std::size_t secondFrame = two.find('\xfe', 1);
    const std::string firstOnly = two.substr(0, secondFrame);
    S101Limits small;
    small.maxFrameBytes = 64;
    small.maxMessageBytes = 1500;
    const struct {
        std::string bytes;
        S101Limits limits;
        const char* fault;
    } cases[] = {
        {badCrc, {}, "bad CRC"},
        {firstOnly + firstOnly, {}, "before the previous one ended"},
        {two.substr(secondFrame), {}, "never started"},
        {s101EncodeEmber("x").substr(0, 8) + s101EncodeEmber("y"), {}, "cut short"},
        {s101EncodeEmber(std::string(100, 'a')), small, "frame longer than 64"},
        {s101EncodeEmber(std::string(2000, 'a'), 40), small, "message longer than 1500"},
        {unhex("fe0001ff"), {}, "bad CRC"},
        {unhex("fefdfdff"), {}, "two S101 escape bytes"},
        {unhex("fe00fdff"), {}, "right after an escape"},
    };
    for (const auto& c : cases) {
        CS101Decoder d(c.limits);
        std::vector<S101Message> out;
        EXPECT_FALSE(d.feed(c.bytes, out));
        EXPECT_NE(d.error().find(c.fault), std::string::npos) << d.error();
        // Broken for good: later bytes are not read.
        EXPECT_FALSE(d.feed(s101KeepAliveRequest(), out));
        EXPECT_TRUE(out.empty());
    }
    // A stream that stops inside a frame holds what it has, bounded by the frame limit.
    CS101Decoder d(small);
    std::vector<S101Message> out;
    EXPECT_TRUE(d.feed(firstOnly.substr(0, 40), out));
    EXPECT_GT(d.pendingBytes(), 0u);
}

} // namespace
} // namespace velmar
