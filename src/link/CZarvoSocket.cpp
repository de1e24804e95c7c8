#include "link/CZarvoSocket.h"

#include "protocol/RequestEncoder.h"

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <array>
#include <utility>

namespace velmar {

CZarvoSocket::CZarvoSocket(CLineReceiver::IHandler& handler, QObject* parent)
    : QObject(parent), m_receiver(handler) {
    connect(&m_socket, &QTcpSocket::readyRead, this, &CZarvoSocket::onReadyRead);
    connect(&m_socket, &QTcpSocket::disconnected, this, &CZarvoSocket::onDisconnected);
}

CZarvoSocket::~CZarvoSocket() {
    m_closing = true;
    m_socket.abort();
}

int CZarvoSocket::connectTo(const QString& address, quint16 port, int timeoutMs) {
    m_receiver.reset();
    m_closing = false;
    m_lossPending = false;
    m_cause = LinkLoss::Closed;
    m_peakPending = 0;
    m_socket.setSocketOption(QAbstractSocket::KeepAliveOption, 1);

    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&m_socket, &QTcpSocket::connected, &loop, &QEventLoop::quit);
    connect(&m_socket, &QTcpSocket::errorOccurred, &loop, &QEventLoop::quit);
    connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    m_socket.connectToHost(address, port);
    if (m_socket.state() != QAbstractSocket::ConnectedState &&
        m_socket.state() != QAbstractSocket::UnconnectedState) {
        timeout.start(timeoutMs);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (m_socket.state() == QAbstractSocket::ConnectedState) {
        // Keep-alive can only be set on a real descriptor; set it again now.
        m_socket.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
        return 0;
    }
    const int error = static_cast<int>(m_socket.error()) + 1;
    m_closing = true;
    m_socket.abort();
    return error > 0 ? error : 1;
}

void CZarvoSocket::send(const DeviceMessage& message) {
    std::array<char, kEncodeBufferSize> line{};
    const std::size_t n = encodeMessage(message, line);
    if (n == 0 || m_closing || m_socket.state() != QAbstractSocket::ConnectedState)
        return;
    m_socket.write(line.data(), static_cast<qint64>(n));
    m_peakPending = std::max(m_peakPending, m_socket.bytesToWrite());
    if (m_socket.bytesToWrite() > kMaxPendingWrite)
        dropStalled();
}

void CZarvoSocket::dropStalled() {
    m_cause = LinkLoss::Stalled;
    m_closing = true;
    m_receiver.reset();
    m_socket.abort();
    // Told from the event loop: the sender that overflowed the queue may be
    // deep inside a reply handler.
    m_lossPending = true;
    QTimer::singleShot(0, this, [this] {
        if (std::exchange(m_lossPending, false))
            Q_EMIT peerClosed();
    });
}

void CZarvoSocket::close() {
    m_closing = true;
    m_lossPending = false;
    m_receiver.reset();
    if (m_socket.state() == QAbstractSocket::ConnectedState)
        m_socket.flush();
    m_socket.disconnectFromHost();
    m_socket.abort();
}

bool CZarvoSocket::isOpen() const { return m_socket.state() == QAbstractSocket::ConnectedState; }

void CZarvoSocket::onReadyRead() {
    // Read no more than fits behind the carried bytes, as often as there is
    // something to read: a 1024-byte window per pass.
    std::array<char, CLineReceiver::kBufferSize> chunk{};
    while (!m_closing && m_socket.bytesAvailable() > 0) {
        const qint64 n = m_socket.read(chunk.data(), static_cast<qint64>(m_receiver.room()));
        if (n < 0) {
            m_receiver.onReceiveError();
            return;
        }
        if (n == 0)
            return;
        m_receiver.onReceived({chunk.data(), static_cast<std::size_t>(n)});
    }
}

void CZarvoSocket::onDisconnected() {
    if (m_closing)
        return;
    m_closing = true;
    m_receiver.reset();
    m_cause = m_socket.error() == QAbstractSocket::RemoteHostClosedError ||
                      m_socket.error() == QAbstractSocket::UnknownSocketError
                  ? LinkLoss::Closed
                  : LinkLoss::Broken;
    Q_EMIT peerClosed();
}

} // namespace velmar
