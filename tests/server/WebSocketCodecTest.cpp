#include "server/WebSocketCodec.h"

#include <gtest/gtest.h>
#include <string>

namespace velmar {
namespace {

using Kind = WsMessage::Kind;
using namespace std::string_literals;

const std::string kMask = "\x37\xfa\x21\x3d";

// A frame as a client sends it: masked with kMask.
std::string clientFrame(std::uint8_t first, std::string_view payload) {
    std::string out(1, static_cast<char>(first));
    const std::size_t n = payload.size();
    if (n < 126) {
        out += static_cast<char>(0x80 | n);
    } else if (n <= 0xFFFF) {
        out += '\xFE';
        out += static_cast<char>(n >> 8);
        out += static_cast<char>(n & 0xFF);
    } else {
        out += '\xFF';
        for (int shift = 56; shift >= 0; shift -= 8)
            out += static_cast<char>((static_cast<std::uint64_t>(n) >> shift) & 0xFF);
    }
    out += kMask;
    for (std::size_t i = 0; i < n; ++i)
        out += static_cast<char>(payload[i] ^ kMask[i % 4]);
    return out;
}

HttpRequest upgradeRequest() {
    HttpRequest r;
    r.method = "GET";
    r.target = r.path = "/api/v1/events";
    r.headers = {{"host", "server.example.com"},
                 {"upgrade", "websocket"},
                 {"connection", "keep-alive, Upgrade"},
                 {"sec-websocket-key", "dGhlIHNhbXBsZSBub25jZQ=="},
                 {"sec-websocket-version", "13"}};
    return r;
}

TEST(WebSocketUpgrade, AcceptsTheStandardsHandshake) {
    const WebSocketUpgrade u = checkWebSocketUpgrade(upgradeRequest());
    ASSERT_TRUE(u.ok) << u.error;
    EXPECT_EQ(u.accept, "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
    EXPECT_EQ(webSocketHandshakeResponse(u.accept),
              "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
              "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n\r\n");
}

TEST(WebSocketUpgrade, RefusesWhatIsNotAnUpgrade) {
    const struct {
        std::string header;
        std::string value; // "" removes the header
        int status;
    } cases[] = {
        {"connection", "keep-alive", 400},
        {"connection", "", 400},
        {"upgrade", "h2c", 400},
        {"sec-websocket-version", "8", 426},
        {"sec-websocket-version", "", 426},
        {"sec-websocket-key", "", 400},
        {"sec-websocket-key", "dGhlIHNhbXBsZSBub25jZQ", 400},   // unpadded
        {"sec-websocket-key", "dGhlIHNhbXBsZSBub25jZSE=", 400}, // 17 bytes
    };
    for (const auto& c : cases) {
        HttpRequest r = upgradeRequest();
        std::erase_if(r.headers, [&](const auto& h) { return h.first == c.header; });
        if (!c.value.empty())
            r.headers.emplace_back(c.header, c.value);
        const WebSocketUpgrade u = checkWebSocketUpgrade(r);
        EXPECT_FALSE(u.ok) << c.header << ": " << c.value;
        EXPECT_EQ(u.status, c.status) << c.header << ": " << c.value;
        EXPECT_FALSE(u.error.empty());
    }
    HttpRequest post = upgradeRequest();
    post.method = "POST";
    EXPECT_FALSE(checkWebSocketUpgrade(post).ok);
    HttpRequest old = upgradeRequest();
    old.versionMinor = 0;
    EXPECT_FALSE(checkWebSocketUpgrade(old).ok);
}

TEST(WebSocketFrames, EncodeTheStandardsExamples) {
    EXPECT_EQ(encodeWebSocketFrame(WsOpcode::Text, "Hello"), "\x81\x05Hello"s);
    EXPECT_EQ(encodeWebSocketFrame(WsOpcode::Ping, "Hello"), "\x89\x05Hello"s);
    const std::string b256 = encodeWebSocketFrame(WsOpcode::Binary, std::string(256, 'x'));
    EXPECT_EQ(b256.substr(0, 4), "\x82\x7E\x01\x00"s);
    EXPECT_EQ(b256.size(), 4u + 256u);
    const std::string b64k = encodeWebSocketFrame(WsOpcode::Binary, std::string(65536, 'x'));
    EXPECT_EQ(b64k.substr(0, 10), "\x82\x7F\x00\x00\x00\x00\x00\x01\x00\x00"s);
    EXPECT_EQ(b64k.size(), 10u + 65536u);
    EXPECT_EQ(encodeWebSocketFrame(WsOpcode::Binary, std::string(65535, 'x')).substr(0, 4),
              "\x82\x7E\xFF\xFF"s);
    EXPECT_EQ(encodeWebSocketClose(1000, "bye"), "\x88\x05\x03\xE8"
                                                 "bye"s);
    EXPECT_EQ(encodeWebSocketClose(0, "ignored"), "\x88\x00"s);
    // A reason too long for a control frame is cut at a character boundary.
    const std::string close = encodeWebSocketClose(1001, std::string(122, 'a') + "\xC3\xA9");
    EXPECT_EQ(close.size(), 2u + 2u + 122u);
}

TEST(WebSocketReader, ReadsTheStandardsExamples) {
    const struct {
        std::string bytes;
        Kind kind;
        std::string payload;
    } cases[] = {
        {"\x81\x85\x37\xfa\x21\x3d\x7f\x9f\x4d\x51\x58"s, Kind::Text, "Hello"},
        {clientFrame(0x01, "Hel") + clientFrame(0x80, "lo"), Kind::Text, "Hello"},
        {clientFrame(0x89, "Hello"), Kind::Ping, "Hello"},
        {"\x8a\x85\x37\xfa\x21\x3d\x7f\x9f\x4d\x51\x58"s, Kind::Pong, "Hello"},
        {clientFrame(0x82, std::string(256, '\x5a')), Kind::Binary, std::string(256, '\x5a')},
        {clientFrame(0x82, std::string(65536, '\x01')), Kind::Binary, std::string(65536, '\x01')},
        {clientFrame(0x81, ""), Kind::Text, ""},
        {clientFrame(0x81, "caf\xC3\xA9"), Kind::Text, "caf\xC3\xA9"},
    };
    for (const auto& c : cases) {
        // Whole, and split at every byte boundary.
        for (std::size_t cut = 0; cut <= c.bytes.size(); cut += c.bytes.size() > 300 ? 997 : 1) {
            CWebSocketReader reader(65536);
            std::vector<WsMessage> out;
            ASSERT_TRUE(reader.feed(std::string_view(c.bytes).substr(0, cut), out));
            ASSERT_TRUE(reader.feed(std::string_view(c.bytes).substr(cut), out))
                << reader.errorText();
            ASSERT_EQ(out.size(), 1u) << "cut at " << cut;
            EXPECT_EQ(out[0].kind, c.kind);
            EXPECT_EQ(out[0].payload, c.payload);
        }
    }
}

TEST(WebSocketReader, ControlFramesMayComeBetweenFragments) {
    CWebSocketReader reader;
    std::vector<WsMessage> out;
    const std::string bytes = clientFrame(0x02, "ab") + clientFrame(0x89, "p") +
                              clientFrame(0x00, "cd") + clientFrame(0x80, "e") +
                              clientFrame(0x88, "\x03\xE9going") + clientFrame(0x81, "after");
    ASSERT_TRUE(reader.feed(bytes, out)) << reader.errorText();
    ASSERT_EQ(out.size(), 3u); // what follows the Close is not read
    EXPECT_EQ(out[0].kind, Kind::Ping);
    EXPECT_EQ(out[1].kind, Kind::Binary);
    EXPECT_EQ(out[1].payload, "abcde");
    EXPECT_EQ(out[2].kind, Kind::Close);
    EXPECT_EQ(out[2].closeCode, 1001);
    EXPECT_EQ(out[2].payload, "going");
}

TEST(WebSocketReader, ProtocolErrorsCloseWithTheirCode) {
    const struct {
        std::string bytes;
        std::uint16_t code;
    } cases[] = {
        {"\x81\x05Hello"s, 1002},       // not masked
        {clientFrame(0xC1, "x"), 1002}, // reserved bit
        {clientFrame(0x83, "x"), 1002}, // unknown opcode
        {clientFrame(0x8B, ""), 1002},
        {clientFrame(0x80, "x"), 1002},                          // continuation of nothing
        {clientFrame(0x01, "a") + clientFrame(0x81, "b"), 1002}, // new message mid-way
        {clientFrame(0x09, "p"), 1002},                          // fragmented control
        {clientFrame(0x89, std::string(126, 'p')), 1002},        // control over 125 bytes
        {clientFrame(0x88, "\x03"), 1002},                       // one-byte close
        {clientFrame(0x88, "\x03\xED"), 1002},                   // reserved close code 1005
        {clientFrame(0x88, "\x03\xE8\xFF"), 1007},
        {clientFrame(0x81, "\xC3\x28"), 1007},
        {clientFrame(0x01, "caf\xC3") + clientFrame(0x80, "\xA9!"), 0}, // split character is fine
        {clientFrame(0x81, "\xED\xA0\x80"), 1007},                      // encoded surrogate
        {"\x82\xFF\x80\x00\x00\x00\x00\x00\x00\x00"s + kMask, 1002},    // top length bit
        {clientFrame(0x82, std::string(1024, 'x')), 0},                 // exactly the bound
        {clientFrame(0x02, std::string(1000, 'x')) + clientFrame(0x80, std::string(24, 'x')), 0},
        {clientFrame(0x82, std::string(1025, 'x')), 1009},
        {clientFrame(0x02, std::string(1000, 'x')) + clientFrame(0x80, std::string(25, 'x')), 1009},
    };
    for (const auto& c : cases) {
        CWebSocketReader reader(1024);
        std::vector<WsMessage> out;
        EXPECT_EQ(reader.feed(c.bytes, out), c.code == 0) << reader.errorText();
        EXPECT_EQ(reader.closeCode(), c.code) << reader.errorText();
        if (c.code != 0) {
            EXPECT_FALSE(reader.errorText().empty());
            EXPECT_FALSE(reader.feed(clientFrame(0x89, ""), out)); // takes nothing more
        }
    }
}

TEST(WebSocketReader, RefusesAnOversizedMessageFromItsHeaderAlone) {
    CWebSocketReader reader(65536);
    std::vector<WsMessage> out;
    const std::string header = "\x82\xFF\x00\x00\x00\x00\x00\x01\x00\x01"s + kMask;
    EXPECT_FALSE(reader.feed(header, out));
    EXPECT_EQ(reader.closeCode(), 1009);
    EXPECT_TRUE(out.empty());
}

} // namespace
} // namespace velmar
