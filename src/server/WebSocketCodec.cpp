#include "server/WebSocketCodec.h"

#include "protocol/TerminalText.h"
#include "server/Digest.h"

#include <algorithm>

namespace velmar {

namespace {

constexpr std::size_t kMaxControlPayload = 125;

bool isUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        if (static_cast<unsigned char>(text[at]) < 0x80) {
            ++at;
            continue;
        }
        const std::size_t length = utf8SequenceLength(text, at);
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

bool isControlOpcode(std::uint8_t opcode) { return opcode >= 8; }

bool isKnownOpcode(std::uint8_t opcode) { return opcode <= 2 || (opcode >= 8 && opcode <= 10); }

// Codes a peer may send in a Close frame; the others are reserved or only
// for local use.
bool isSendableCloseCode(std::uint16_t code) {
    return (code >= 1000 && code <= 1003) || (code >= 1007 && code <= 1014) ||
           (code >= 3000 && code <= 4999);
}

} // namespace

WebSocketUpgrade checkWebSocketUpgrade(const HttpRequest& request) {
    WebSocketUpgrade result;
    const auto refuse = [&](int status, std::string error) {
        result.status = status;
        result.error = std::move(error);
        return result;
    };
    if (request.method != "GET")
        return refuse(400, "a WebSocket is opened with GET");
    if (request.versionMinor != 1)
        return refuse(400, "a WebSocket needs HTTP/1.1");
    const std::string* connection = request.header("connection");
    if (!connection || !headerListHas(*connection, "upgrade"))
        return refuse(400, "the Connection header does not ask for an upgrade");
    const std::string* upgrade = request.header("upgrade");
    if (!upgrade || !headerListHas(*upgrade, "websocket"))
        return refuse(400, "the Upgrade header does not name websocket");
    const std::string* version = request.header("sec-websocket-version");
    if (!version || *version != "13")
        return refuse(426, "only WebSocket version 13 is served");
    const std::string* key = request.header("sec-websocket-key");
    const auto decoded = key ? base64Decode(*key) : std::nullopt;
    if (!decoded || decoded->size() != 16)
        return refuse(400, "the Sec-WebSocket-Key is not 16 bytes in base64");
    std::string input = *key;
    input += "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
    const auto digest = sha1(input);
    result.ok = true;
    result.status = 101;
    result.accept = base64Encode(digest);
    return result;
}

std::string webSocketHandshakeResponse(std::string_view accept) {
    std::string out = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n"
                      "Connection: Upgrade\r\nSec-WebSocket-Accept: ";
    out += accept;
    out += "\r\n\r\n";
    return out;
}

std::string encodeWebSocketFrame(WsOpcode opcode, std::string_view payload) {
    std::string out;
    out.reserve(payload.size() + 10);
    out += static_cast<char>(0x80 | static_cast<std::uint8_t>(opcode));
    const std::uint64_t size = payload.size();
    if (size < 126) {
        out += static_cast<char>(size);
    } else if (size <= 0xFFFF) {
        out += static_cast<char>(126);
        out += static_cast<char>(size >> 8);
        out += static_cast<char>(size & 0xFF);
    } else {
        out += static_cast<char>(127);
        for (int shift = 56; shift >= 0; shift -= 8)
            out += static_cast<char>((size >> shift) & 0xFF);
    }
    out += payload;
    return out;
}

std::string encodeWebSocketClose(std::uint16_t code, std::string_view reason) {
    std::string payload;
    if (code != 0) {
        payload += static_cast<char>(code >> 8);
        payload += static_cast<char>(code & 0xFF);
        std::size_t keep = std::min(reason.size(), kMaxControlPayload - 2);
        // Back off to the start of a character.
        while (keep > 0 && keep < reason.size() &&
               (static_cast<unsigned char>(reason[keep]) & 0xC0) == 0x80)
            --keep;
        payload += reason.substr(0, keep);
    }
    return encodeWebSocketFrame(WsOpcode::Close, payload);
}

CWebSocketReader::CWebSocketReader(std::size_t maxMessageBytes)
    : m_maxMessageBytes(maxMessageBytes) {}

bool CWebSocketReader::fail(std::uint16_t code, std::string text) {
    m_closeCode = code;
    m_errorText = std::move(text);
    return false;
}

bool CWebSocketReader::feed(std::string_view bytes, std::vector<WsMessage>& out) {
    if (m_closeCode != 0)
        return false;
    std::size_t at = 0;
    while (at < bytes.size() && !m_closed) {
        if (!m_inPayload) {
            m_header += bytes[at++];
            if (m_header.size() == 2 && !checkFirstBytes())
                return false;
            if (m_header.size() < 2)
                continue;
            const auto len7 = static_cast<std::uint8_t>(m_header[1]) & 0x7F;
            const std::size_t needed = 2 + (len7 == 126 ? 2 : len7 == 127 ? 8 : 0) + 4;
            if (m_header.size() < needed)
                continue;
            if (!startPayload())
                return false;
            if (m_length == 0 && !finishFrame(out))
                return false;
            continue;
        }
        const auto n = static_cast<std::size_t>(
            std::min<std::uint64_t>(m_length - m_received, bytes.size() - at));
        std::string& target = isControlOpcode(m_opcode) ? m_control : m_message;
        for (std::size_t i = 0; i < n; ++i)
            target += static_cast<char>(static_cast<std::uint8_t>(bytes[at + i]) ^
                                        m_mask[(m_received + i) % 4]);
        at += n;
        m_received += n;
        if (m_received == m_length && !finishFrame(out))
            return false;
    }
    return true;
}

bool CWebSocketReader::checkFirstBytes() {
    const auto b0 = static_cast<std::uint8_t>(m_header[0]);
    const auto b1 = static_cast<std::uint8_t>(m_header[1]);
    m_fin = (b0 & 0x80) != 0;
    m_opcode = b0 & 0x0F;
    if ((b0 & 0x70) != 0)
        return fail(1002, "a frame with reserved bits set");
    if (!isKnownOpcode(m_opcode))
        return fail(1002, "a frame with an unknown opcode");
    if ((b1 & 0x80) == 0)
        return fail(1002, "an unmasked frame from the client");
    if (isControlOpcode(m_opcode)) {
        if (!m_fin)
            return fail(1002, "a fragmented control frame");
        if ((b1 & 0x7F) > kMaxControlPayload)
            return fail(1002, "a control frame longer than 125 bytes");
    } else if (m_opcode == 0 && m_messageOpcode == 0) {
        return fail(1002, "a continuation frame with no message to continue");
    } else if (m_opcode != 0 && m_messageOpcode != 0) {
        return fail(1002, "a new message before the last one was finished");
    }
    return true;
}

bool CWebSocketReader::startPayload() {
    const auto len7 = static_cast<std::uint8_t>(m_header[1]) & 0x7F;
    std::size_t at = 2;
    std::uint64_t length = len7;
    if (len7 >= 126) {
        const std::size_t count = len7 == 126 ? 2 : 8;
        length = 0;
        for (std::size_t k = 0; k < count; ++k)
            length = (length << 8) | static_cast<std::uint8_t>(m_header[at + k]);
        at += count;
        if (length >> 63)
            return fail(1002, "a frame length with its top bit set");
    }
    for (std::size_t k = 0; k < 4; ++k)
        m_mask[k] = static_cast<std::uint8_t>(m_header[at + k]);
    if (!isControlOpcode(m_opcode) && length > m_maxMessageBytes - m_message.size()) {
        std::string text = "a message longer than ";
        text += std::to_string(m_maxMessageBytes);
        text += " bytes";
        return fail(1009, std::move(text));
    }
    m_length = length;
    m_received = 0;
    m_inPayload = true;
    m_header.clear();
    if (!isControlOpcode(m_opcode) && m_opcode != 0)
        m_messageOpcode = m_opcode;
    return true;
}

bool CWebSocketReader::finishFrame(std::vector<WsMessage>& out) {
    m_inPayload = false;
    if (isControlOpcode(m_opcode)) {
        WsMessage message{WsMessage::Kind::Ping, std::move(m_control), 0};
        m_control.clear();
        if (m_opcode == static_cast<std::uint8_t>(WsOpcode::Pong)) {
            message.kind = WsMessage::Kind::Pong;
        } else if (m_opcode == static_cast<std::uint8_t>(WsOpcode::Close)) {
            message.kind = WsMessage::Kind::Close;
            if (message.payload.size() == 1)
                return fail(1002, "a Close frame of one byte");
            if (message.payload.size() >= 2) {
                const auto code = static_cast<std::uint16_t>(
                    (static_cast<std::uint8_t>(message.payload[0]) << 8) |
                    static_cast<std::uint8_t>(message.payload[1]));
                if (!isSendableCloseCode(code))
                    return fail(1002, "a Close frame with a reserved code");
                message.closeCode = code;
                message.payload.erase(0, 2);
                if (!isUtf8(message.payload))
                    return fail(1007, "a Close reason that is not UTF-8");
            }
            m_closed = true;
        }
        out.push_back(std::move(message));
        return true;
    }
    if (!m_fin)
        return true;
    const bool text = m_messageOpcode == static_cast<std::uint8_t>(WsOpcode::Text);
    if (text && !isUtf8(m_message))
        return fail(1007, "a text message that is not UTF-8");
    out.push_back(
        {text ? WsMessage::Kind::Text : WsMessage::Kind::Binary, std::move(m_message), 0});
    m_message.clear();
    m_messageOpcode = 0;
    return true;
}

} // namespace velmar
