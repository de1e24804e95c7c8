#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// S101: the framing Ember+ runs over TCP. A frame is BOF (0xFE), the escaped
// bytes (slot, message type, command, version, then for Ember data: flags,
// DTD, application bytes and a piece of the Glow message), the CRC-CCITT of
// those bytes (reflected, complemented, little-endian, escaped) and EOF
// (0xFF). A byte of 0xF8 or more inside a frame is sent as 0xFD, byte ^ 0x20.
// A Glow message longer than one packet goes out in several, marked first
// and last.

struct S101Limits {
    std::size_t maxFrameBytes = 8 * 1024;          // unescaped, header and CRC included
    std::size_t maxMessageBytes = 4 * 1024 * 1024; // a reassembled Glow message
};

struct S101Message {
    enum class Kind { Ember, KeepAliveRequest, KeepAliveResponse };
    Kind kind = Kind::Ember;
    std::string payload; // Ember: a whole reassembled Glow message
};

// Cuts a byte stream into messages. Bytes before a BOF are skipped, as are
// whole frames of another message type, another command or another DTD
// (S101 carries more than Ember+ data; such frames are not ours to answer, and
// the stream stays in step). A fault that leaves the stream out of step (bad
// CRC, a frame or message over its limit, a header too short, packets out of
// order, a frame cut short by the start of another) breaks the stream for good.
class CS101Decoder {
public:
    explicit CS101Decoder(S101Limits limits = {});
    // Appends every message completed by `bytes` to `out`; false once the
    // stream is broken, and error() says why in plain words.
    bool feed(std::string_view bytes, std::vector<S101Message>& out);
    const std::string& error() const { return m_error; }
    // Bytes held for a frame or message not yet complete (a stream that ends
    // with some held ended in the middle of a message).
    std::size_t pendingBytes() const { return m_frame.size() + m_message.size(); }

private:
    bool frameEnded(std::vector<S101Message>& out);
    bool fail(std::string what);

    S101Limits m_limits;
    bool m_inFrame = false;
    bool m_escape = false;
    bool m_inMessage = false;
    std::string m_frame;   // the unescaped bytes of the current frame
    std::string m_message; // the Glow message being reassembled
    std::string m_error;
};

inline constexpr std::size_t kS101MaxPayload = 1024;

// CRC-CCITT as S101 computes it (reflected polynomial 0x8408, start 0xFFFF,
// not complemented here).
std::uint16_t s101Crc(std::string_view bytes, std::uint16_t crc = 0xFFFF);

// One Glow message as packets, none carrying more than maxPayload bytes of it.
std::string s101EncodeEmber(std::string_view glow, std::size_t maxPayload = kS101MaxPayload);
std::string s101KeepAliveRequest();
std::string s101KeepAliveResponse();

} // namespace velmar
