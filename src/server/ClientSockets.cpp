#include "server/ClientSockets.h"

namespace velmar {

bool peerAllowed(const std::vector<Ipv4Network>& allow, const QHostAddress& peer) {
    bool isIpv4 = false;
    const quint32 a = peer.toIPv4Address(&isIpv4);
    return isIpv4 && clientAllowed(allow, a);
}

void adoptClientSocket(QTcpSocket* socket, qint64 readBufferBytes) {
    socket->setParent(nullptr);
    socket->setReadBufferSize(readBufferBytes);
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
}

std::string clientActor(std::string_view what, const QTcpSocket& socket) {
    std::string actor(what);
    actor += ' ';
    actor += socket.peerAddress().toString().toStdString();
    actor += ':';
    actor += std::to_string(socket.peerPort());
    return actor;
}

void discardClientSocket(QTcpSocket* socket, const QObject* listener) {
    socket->disconnect(listener);
    socket->abort();
    socket->deleteLater();
}

} // namespace velmar
