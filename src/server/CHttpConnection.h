#pragma once

#include "server/HttpMessage.h"
#include "server/WebSocketCodec.h"

#include <QObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <memory>
#include <string>

namespace velmar {

// The bounds and time-outs every client connection is held to.
struct ConnectionLimits {
    HttpLimits http;
    int requestTimeoutMs = 10'000; // from a request's first byte to its last
    int idleTimeoutMs = 60'000;    // a kept-alive connection with nothing asked
    int writeStallMs = 30'000;     // unsent data that does not move
    qint64 maxUnsentBytes = 1 << 20; // a WebSocket client further behind is dropped
    int pingIntervalMs = 30'000;   // WebSocket: a ping when nothing came for this long
    int webSocketAuthTimeoutMs = 10'000; // the token message must come within this
    std::size_t maxWebSocketMessage = 64 * 1024;
    int socketSendBuffer = 0; // the kernel's send buffer per client; 0: the system's
};

// One client's connection: HTTP/1.1 requests, one at a time, until it is
// upgraded to a WebSocket. Every byte goes through our own bounded parsers;
// a malformed request gets its error answer and the connection closes. The
// server answers each request (now or once the frame has answered).
class CHttpConnection final : public QObject {
    Q_OBJECT
public:
    CHttpConnection(QTcpSocket* socket, const ConnectionLimits& limits, QObject* parent);
    ~CHttpConnection() override;

    QString peerAddress() const { return m_peer; }
    bool isWebSocket() const { return m_webSocket; }
    bool awaitingAnswer() const { return m_awaiting; }

    // The answer to the request last handed out by requestReady.
    void respond(int status, std::string_view contentType, std::string_view body,
                 std::span<const std::pair<std::string, std::string>> headers = {});
    void respondJson(int status, std::string_view json,
                     std::span<const std::pair<std::string, std::string>> headers = {}) {
        respond(status, "application/json", json, headers);
    }
    // Answers the upgrade and speaks WebSocket from now on.
    void acceptWebSocket(const std::string& accept);
    // A text message; false (and the client is dropped) when it is too far behind.
    bool sendText(std::string_view text);
    // A clean close with a code and reason, then the socket ends.
    void closeWebSocket(std::uint16_t code, std::string_view reason);
    void abort();

    // Where a WebSocket client stands with its token (set by the server).
    bool authenticated = false;
    std::string tokenName;
    int role = 0;                     // the Role, as int
    std::vector<std::string> frames;  // frame IDs it follows; empty: all

Q_SIGNALS:
    void requestReady(velmar::CHttpConnection* connection, const velmar::HttpRequest& request);
    void webSocketMessage(velmar::CHttpConnection* connection, const std::string& text);
    void webSocketTimedOut(velmar::CHttpConnection* connection); // token message not in time
    void closed(velmar::CHttpConnection* connection, bool dropped);

private:
    void onReadyRead();
    void parseHttp();
    void onWebSocketBytes(const QByteArray& bytes);
    void fail(int status, const std::string& why);
    void write(std::string_view bytes);
    void finishClosing();
    void armIdle();

    QPointer<QTcpSocket> m_socket;
    const ConnectionLimits m_limits;
    QString m_peer;
    CHttpRequestParser m_parser;
    std::unique_ptr<CWebSocketReader> m_wsReader;
    std::string m_pending; // bytes read but not yet taken by the parser
    QTimer m_requestTimer; // a request that takes too long to arrive
    QTimer m_idleTimer;    // a connection that says nothing
    QTimer m_stallTimer;   // output the client does not read
    QTimer m_pingTimer;
    QTimer m_authTimer;
    bool m_awaiting = false; // a request is being answered
    bool m_closeAfter = false;
    bool m_webSocket = false;
    bool m_closing = false;
    bool m_dropped = false;
    bool m_pingOut = false;
    bool m_continueSent = false; // "100 Continue" told for the request being read
};

} // namespace velmar
