#include "emberplus/S101.h"

#include <array>

namespace velmar {

namespace {

constexpr unsigned char kBof = 0xFE;
constexpr unsigned char kEof = 0xFF;
constexpr unsigned char kEscape = 0xFD;
constexpr unsigned char kEscapeXor = 0x20;
constexpr unsigned char kFirstToEscape = 0xF8;

constexpr unsigned char kSlot = 0x00;
constexpr unsigned char kMessageEmber = 0x0E;
constexpr unsigned char kCommandEmber = 0x00;
constexpr unsigned char kCommandKeepAliveRequest = 0x01;
constexpr unsigned char kCommandKeepAliveResponse = 0x02;
constexpr unsigned char kVersion = 0x01;
constexpr unsigned char kFlagFirst = 0x80;
constexpr unsigned char kFlagLast = 0x40;
constexpr unsigned char kFlagEmpty = 0x20;
constexpr unsigned char kDtdGlow = 0x01;
// The Glow DTD version whose fields this program reads and writes: 2.31,
// sent minor first as providers do.
constexpr unsigned char kGlowVersionMinor = 0x1F;
constexpr unsigned char kGlowVersionMajor = 0x02;
// What the CRC of a frame's bytes followed by its own CRC always comes to.
constexpr std::uint16_t kCrcResidue = 0xF0B8;

constexpr std::array<std::uint16_t, 256> makeCrcTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t crc = static_cast<std::uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408)
                            : static_cast<std::uint16_t>(crc >> 1);
        table[i] = crc;
    }
    return table;
}
constexpr std::array<std::uint16_t, 256> kCrcTable = makeCrcTable();

void appendEscaped(std::string& out, unsigned char b) {
    if (b >= kFirstToEscape) {
        out.push_back(static_cast<char>(kEscape));
        out.push_back(static_cast<char>(b ^ kEscapeXor));
    } else {
        out.push_back(static_cast<char>(b));
    }
}

// BOF, the bytes and their CRC escaped, EOF.
void appendFrame(std::string& out, std::string_view body) {
    out.push_back(static_cast<char>(kBof));
    for (const char c : body)
        appendEscaped(out, static_cast<unsigned char>(c));
    const auto crc = static_cast<std::uint16_t>(~s101Crc(body));
    appendEscaped(out, static_cast<unsigned char>(crc & 0xFF));
    appendEscaped(out, static_cast<unsigned char>(crc >> 8));
    out.push_back(static_cast<char>(kEof));
}

std::string keepAlive(unsigned char command) {
    const char body[] = {static_cast<char>(kSlot), static_cast<char>(kMessageEmber),
                         static_cast<char>(command), static_cast<char>(kVersion)};
    std::string out;
    appendFrame(out, std::string_view(body, sizeof body));
    return out;
}

} // namespace

std::uint16_t s101Crc(std::string_view bytes, std::uint16_t crc) {
    for (const char c : bytes)
        crc = static_cast<std::uint16_t>((crc >> 8) ^
                                         kCrcTable[(crc ^ static_cast<unsigned char>(c)) & 0xFF]);
    return crc;
}

std::string s101EncodeEmber(std::string_view glow, std::size_t maxPayload) {
    if (maxPayload == 0)
        maxPayload = kS101MaxPayload;
    std::string out;
    // The header and CRC of each packet, and room for a little escaping.
    out.reserve(glow.size() + glow.size() / 16 + (glow.size() / maxPayload + 1) * 16);
    std::string body;
    std::size_t at = 0;
    do {
        const std::string_view piece = glow.substr(at, maxPayload);
        unsigned char flags = 0;
        if (at == 0)
            flags |= kFlagFirst;
        if (at + piece.size() >= glow.size())
            flags |= kFlagLast;
        if (glow.empty())
            flags |= kFlagEmpty;
        body.assign({static_cast<char>(kSlot), static_cast<char>(kMessageEmber),
                     static_cast<char>(kCommandEmber), static_cast<char>(kVersion),
                     static_cast<char>(flags), static_cast<char>(kDtdGlow), '\x02',
                     static_cast<char>(kGlowVersionMinor), static_cast<char>(kGlowVersionMajor)});
        body.append(piece);
        appendFrame(out, body);
        at += piece.size();
    } while (at < glow.size());
    return out;
}

std::string s101KeepAliveRequest() { return keepAlive(kCommandKeepAliveRequest); }
std::string s101KeepAliveResponse() { return keepAlive(kCommandKeepAliveResponse); }

CS101Decoder::CS101Decoder(S101Limits limits) : m_limits(limits) {}

bool CS101Decoder::fail(std::string what) {
    if (m_error.empty())
        m_error = std::move(what);
    m_frame.clear();
    m_message.clear();
    m_inFrame = false;
    m_inMessage = false;
    return false;
}

bool CS101Decoder::feed(std::string_view bytes, std::vector<S101Message>& out) {
    if (!m_error.empty())
        return false;
    for (const char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        if (!m_inFrame) {
            if (b == kBof) {
                m_inFrame = true;
                m_escape = false;
                m_frame.clear();
            }
            continue; // anything between frames is skipped
        }
        if (b == kBof)
            return fail("an S101 frame was cut short by the start of another");
        if (b == kEof) {
            if (m_escape)
                return fail("an S101 frame ended right after an escape byte");
            m_inFrame = false;
            if (!frameEnded(out))
                return false;
            m_frame.clear();
            continue;
        }
        if (b == kEscape) {
            if (m_escape)
                return fail("two S101 escape bytes in a row");
            m_escape = true;
            continue;
        }
        if (m_escape) {
            b ^= kEscapeXor;
            m_escape = false;
        }
        if (m_frame.size() >= m_limits.maxFrameBytes) {
            std::string what = "an S101 frame longer than ";
            what += std::to_string(m_limits.maxFrameBytes);
            what += " bytes";
            return fail(std::move(what));
        }
        m_frame.push_back(static_cast<char>(b));
    }
    return true;
}

bool CS101Decoder::frameEnded(std::vector<S101Message>& out) {
    if (m_frame.size() < 2 || s101Crc(m_frame) != kCrcResidue)
        return fail("an S101 frame with a bad CRC");
    const std::string_view body = std::string_view(m_frame).substr(0, m_frame.size() - 2);
    if (body.size() < 3)
        return fail("an S101 frame too short for its header");
    const auto messageType = static_cast<unsigned char>(body[1]);
    const auto command = static_cast<unsigned char>(body[2]);
    if (messageType != kMessageEmber)
        return true; // another protocol's frame: not ours
    if (command == kCommandKeepAliveRequest || command == kCommandKeepAliveResponse) {
        out.push_back({command == kCommandKeepAliveRequest ? S101Message::Kind::KeepAliveRequest
                                                           : S101Message::Kind::KeepAliveResponse,
                       {}});
        return true;
    }
    if (command != kCommandEmber)
        return true; // a command this program does not know: skipped
    // slot, type, command, version, flags, DTD, application byte count
    if (body.size() < 7)
        return fail("an S101 Ember packet too short for its header");
    const auto flags = static_cast<unsigned char>(body[4]);
    const auto dtd = static_cast<unsigned char>(body[5]);
    const auto appBytes = static_cast<unsigned char>(body[6]);
    if (body.size() < 7u + appBytes)
        return fail("an S101 Ember packet too short for its application bytes");
    if (dtd != kDtdGlow)
        return true; // another DTD's data: not ours
    const std::string_view payload = body.substr(7u + appBytes);

    if (flags & kFlagFirst) {
        if (m_inMessage)
            return fail("an S101 message started before the previous one ended");
        m_inMessage = true;
        m_message.clear();
    } else if (!m_inMessage) {
        if (flags & kFlagEmpty)
            return true; // an empty packet between messages carries nothing
        return fail("an S101 packet continues a message that never started");
    }
    if (!(flags & kFlagEmpty)) {
        if (payload.size() > m_limits.maxMessageBytes - m_message.size()) {
            std::string what = "an S101 message longer than ";
            what += std::to_string(m_limits.maxMessageBytes);
            what += " bytes";
            return fail(std::move(what));
        }
        m_message.append(payload);
    }
    if (flags & kFlagLast) {
        m_inMessage = false;
        if (!m_message.empty())
            out.push_back({S101Message::Kind::Ember, std::move(m_message)});
        m_message.clear();
    }
    return true;
}

} // namespace velmar
