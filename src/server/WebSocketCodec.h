#pragma once

#include "server/HttpMessage.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// Whether a request may become a WebSocket, and the accept key to answer it.
struct WebSocketUpgrade {
    bool ok = false;
    int status = 400; // when not ok: 400, or 426 for a protocol version other than 13
    std::string error;
    std::string accept;
};

// GET, HTTP/1.1, Connection listing "upgrade", Upgrade listing "websocket",
// Sec-WebSocket-Version 13 and a key of 16 bytes in base64.
WebSocketUpgrade checkWebSocketUpgrade(const HttpRequest& request);
// The whole 101 answer that switches the connection over.
std::string webSocketHandshakeResponse(std::string_view accept);

enum class WsOpcode : std::uint8_t {
    Continuation = 0,
    Text = 1,
    Binary = 2,
    Close = 8,
    Ping = 9,
    Pong = 10
};

// One unmasked frame with FIN set, as a server sends it.
std::string encodeWebSocketFrame(WsOpcode opcode, std::string_view payload);
// A Close frame; code 0 sends none (and no reason). The reason is cut to fit a
// control frame, at a character boundary.
std::string encodeWebSocketClose(std::uint16_t code, std::string_view reason);

struct WsMessage {
    enum class Kind { Text, Binary, Ping, Pong, Close } kind;
    std::string payload;         // for Close: the reason
    std::uint16_t closeCode = 0; // for Close: 0 when the client gave none
};

// Reads a client's frames and joins fragments into messages.
class CWebSocketReader {
public:
    explicit CWebSocketReader(std::size_t maxMessageBytes = 64 * 1024);

    // Appends each complete message to `out`. False on a protocol error, after
    // which it takes nothing more. After a Close message the rest is ignored.
    bool feed(std::string_view bytes, std::vector<WsMessage>& out);
    // After an error: 1002 protocol, 1007 text not UTF-8, 1009 message too big.
    std::uint16_t closeCode() const { return m_closeCode; }
    const std::string& errorText() const { return m_errorText; }

private:
    bool fail(std::uint16_t code, std::string text);
    bool checkFirstBytes();
    bool startPayload();
    bool finishFrame(std::vector<WsMessage>& out);

    std::size_t m_maxMessageBytes;
    bool m_inPayload = false;
    std::string m_header;
    bool m_fin = false;
    std::uint8_t m_opcode = 0;
    std::array<std::uint8_t, 4> m_mask{};
    std::uint64_t m_length = 0;
    std::uint64_t m_received = 0;
    std::uint8_t m_messageOpcode = 0; // of a fragmented message in progress, or 0
    std::string m_message;
    std::string m_control;
    bool m_closed = false;
    std::uint16_t m_closeCode = 0;
    std::string m_errorText;
};

} // namespace velmar
