#include "server/CHttpConnection.h"

#include "server/ApiTable.h"

namespace velmar {

namespace {

constexpr qint64 kReadChunk = 16 * 1024;

void singleShot(QTimer& timer, int ms) {
    timer.setSingleShot(true);
    timer.setInterval(ms);
}

} // namespace

CHttpConnection::CHttpConnection(QTcpSocket* socket, const ConnectionLimits& limits,
                                 QObject* parent)
    : QObject(parent), m_socket(socket), m_limits(limits), m_parser(limits.http) {
    socket->setParent(this);
    m_peer = socket->peerAddress().toString();
    // Qt reads ahead no further than one whole request: a client that sends
    // faster than it is answered waits in its own socket buffer.
    socket->setReadBufferSize(
        static_cast<qint64>(limits.http.maxHeaderBytes + limits.http.maxBodyBytes));
    if (limits.socketSendBuffer > 0)
        socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption,
                                limits.socketSendBuffer);
    singleShot(m_requestTimer, limits.requestTimeoutMs);
    singleShot(m_idleTimer, limits.idleTimeoutMs);
    singleShot(m_stallTimer, limits.writeStallMs);
    singleShot(m_pingTimer, limits.pingIntervalMs);
    singleShot(m_authTimer, limits.webSocketAuthTimeoutMs);
    connect(socket, &QTcpSocket::readyRead, this, &CHttpConnection::onReadyRead);
    connect(socket, &QTcpSocket::disconnected, this, &CHttpConnection::finishClosing);
    connect(socket, &QTcpSocket::bytesWritten, this, [this] {
        if (m_socket && m_socket->bytesToWrite() == 0)
            m_stallTimer.stop();
        else
            m_stallTimer.start(); // it moved: the client reads
        if (!m_webSocket && !m_awaiting) { // requests held back while the answers drained
            parseHttp();
            onReadyRead();
        }
    });
    connect(&m_requestTimer, &QTimer::timeout, this,
            [this] { fail(408, "the request did not arrive in time"); });
    connect(&m_idleTimer, &QTimer::timeout, this, [this] {
        if (!m_awaiting)
            abort();
    });
    connect(&m_stallTimer, &QTimer::timeout, this, [this] {
        m_dropped = true;
        abort();
    });
    connect(&m_pingTimer, &QTimer::timeout, this, [this] {
        if (m_pingOut) { // nothing came back since the last ping: a half-open link
            abort();
            return;
        }
        m_pingOut = true;
        write(encodeWebSocketFrame(WsOpcode::Ping, {}));
        m_pingTimer.start();
    });
    connect(&m_authTimer, &QTimer::timeout, this, [this] {
        if (!authenticated)
            Q_EMIT webSocketTimedOut(this);
    });
    armIdle();
}

CHttpConnection::~CHttpConnection() = default;

void CHttpConnection::armIdle() {
    if (!m_webSocket)
        m_idleTimer.start();
}

void CHttpConnection::onReadyRead() {
    if (!m_socket || m_closing)
        return;
    // A client that asks faster than it reads the answers is not read until
    // they drain (and dropped if they never do).
    while (m_socket && !m_closing && !m_awaiting && m_socket->bytesAvailable() > 0 &&
           (m_webSocket || m_socket->bytesToWrite() < m_limits.maxUnsentBytes)) {
        const QByteArray bytes = m_socket->read(kReadChunk);
        if (m_webSocket) {
            onWebSocketBytes(bytes);
            continue;
        }
        m_pending.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        parseHttp();
    }
}

void CHttpConnection::parseHttp() {
    while (!m_pending.empty() && !m_awaiting && !m_closing && !m_webSocket) {
        if (m_socket && m_socket->bytesToWrite() >= m_limits.maxUnsentBytes)
            return; // taken up again as the answers drain
        const std::size_t taken = m_parser.feed(m_pending);
        m_pending.erase(0, taken);
        if (m_parser.inMessage()) {
            m_idleTimer.stop();
            if (!m_requestTimer.isActive())
                m_requestTimer.start();
        }
        switch (m_parser.state()) {
        case CHttpRequestParser::State::NeedMore:
            // curl and others hold a body back until told to send it.
            if (const HttpRequest* head = m_parser.headWithBodyToCome(); head && !m_continueSent) {
                const std::string* expect = head->header("expect");
                if (expect && headerListHas(*expect, "100-continue")) {
                    m_continueSent = true;
                    write("HTTP/1.1 100 Continue\r\n\r\n");
                }
            }
            if (taken == 0)
                return;
            break;
        case CHttpRequestParser::State::Error:
            fail(m_parser.errorStatus(), m_parser.errorText());
            return;
        case CHttpRequestParser::State::Complete: {
            m_continueSent = false;
            m_requestTimer.stop();
            m_idleTimer.stop();
            m_awaiting = true;
            const HttpRequest request = m_parser.takeRequest();
            m_closeAfter = !request.keepAlive();
            Q_EMIT requestReady(this, request);
            break;
        }
        }
    }
}

void CHttpConnection::respond(int status, std::string_view contentType, std::string_view body,
                              std::span<const std::pair<std::string, std::string>> headers) {
    if (!m_socket || m_closing || m_webSocket)
        return;
    m_awaiting = false;
    write(httpResponse(status, contentType, body, headers, m_closeAfter));
    if (m_closeAfter) {
        m_closing = true;
        m_socket->disconnectFromHost();
        return;
    }
    armIdle();
    // What the client sent behind this request is read once this call has
    // returned, never from inside the answer.
    QMetaObject::invokeMethod(
        this,
        [this] {
            parseHttp();
            onReadyRead();
        },
        Qt::QueuedConnection);
}

void CHttpConnection::fail(int status, const std::string& why) {
    m_closeAfter = true;
    m_awaiting = true;
    respond(status, "application/json", errorJson(why, status));
}

void CHttpConnection::write(std::string_view bytes) {
    if (!m_socket)
        return;
    m_socket->write(bytes.data(), static_cast<qint64>(bytes.size()));
    if (m_socket && m_socket->bytesToWrite() > 0 && !m_stallTimer.isActive())
        m_stallTimer.start();
}

void CHttpConnection::acceptWebSocket(const std::string& accept) {
    if (!m_socket || m_closing)
        return;
    write(webSocketHandshakeResponse(accept));
    m_awaiting = false;
    m_webSocket = true;
    m_idleTimer.stop();
    m_wsReader = std::make_unique<CWebSocketReader>(m_limits.maxWebSocketMessage);
    m_pingTimer.start();
    if (!authenticated)
        m_authTimer.start();
    if (!m_pending.empty()) {
        const QByteArray rest(m_pending.data(), static_cast<qsizetype>(m_pending.size()));
        m_pending.clear();
        onWebSocketBytes(rest);
    }
    QMetaObject::invokeMethod(this, &CHttpConnection::onReadyRead, Qt::QueuedConnection);
}

void CHttpConnection::onWebSocketBytes(const QByteArray& bytes) {
    if (!m_wsReader || m_closing)
        return;
    m_pingOut = false;
    m_pingTimer.start();
    std::vector<WsMessage> messages;
    const bool ok = m_wsReader->feed(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), messages);
    for (const WsMessage& m : messages) {
        if (m_closing)
            return;
        switch (m.kind) {
        case WsMessage::Kind::Text: Q_EMIT webSocketMessage(this, m.payload); break;
        case WsMessage::Kind::Binary:
            closeWebSocket(1003, "binary messages are not taken");
            return;
        case WsMessage::Kind::Ping: write(encodeWebSocketFrame(WsOpcode::Pong, m.payload)); break;
        case WsMessage::Kind::Pong: break;
        case WsMessage::Kind::Close: closeWebSocket(1000, {}); return;
        }
    }
    if (!ok)
        closeWebSocket(m_wsReader->closeCode(), m_wsReader->errorText());
}

bool CHttpConnection::sendText(std::string_view text) {
    if (!m_socket || m_closing || !m_webSocket)
        return false;
    // Behind means what the kernel would not take: a burst (a whole salvo
    // and its events) is first offered to the network before it counts.
    if (m_socket->bytesToWrite() + static_cast<qint64>(text.size()) > m_limits.maxUnsentBytes)
        m_socket->flush();
    if (m_socket->bytesToWrite() + static_cast<qint64>(text.size()) > m_limits.maxUnsentBytes) {
        m_dropped = true;
        abort();
        return false;
    }
    write(encodeWebSocketFrame(WsOpcode::Text, text));
    return true;
}

void CHttpConnection::closeWebSocket(std::uint16_t code, std::string_view reason) {
    if (!m_socket || m_closing)
        return;
    write(encodeWebSocketClose(code, reason.substr(0, 120)));
    m_closing = true;
    m_pingTimer.stop();
    m_authTimer.stop();
    m_socket->disconnectFromHost();
}

void CHttpConnection::abort() {
    if (m_socket) {
        m_closing = true;
        m_socket->abort();
    }
    finishClosing();
}

void CHttpConnection::finishClosing() {
    if (!m_socket)
        return;
    m_requestTimer.stop();
    m_idleTimer.stop();
    m_stallTimer.stop();
    m_pingTimer.stop();
    m_authTimer.stop();
    QTcpSocket* socket = m_socket;
    m_socket = nullptr;
    socket->disconnect(this);
    socket->deleteLater();
    Q_EMIT closed(this, m_dropped);
    deleteLater();
}

} // namespace velmar
