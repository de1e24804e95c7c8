#include "link/CDiscovery.h"

#include <QEventLoop>
#include <QNetworkInterface>
#include <QTimer>
#include <QUdpSocket>

namespace velmar {

QList<QHostAddress> CDiscovery::adapterAddresses() {
    QList<QHostAddress> out;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& nic : interfaces) {
        if (!(nic.flags() & QNetworkInterface::IsUp))
            continue;
        const auto entries = nic.addressEntries();
        for (const QNetworkAddressEntry& e : entries) {
            if (e.ip().protocol() == QAbstractSocket::IPv4Protocol) {
                out.append(e.ip());
                break;
            }
        }
    }
    return out;
}

int CDiscovery::broadcast(const QByteArray& datagram, bool skipUnset, quint16 framePort) {
    int sent = 0;
    const auto addresses = adapterAddresses();
    for (const QHostAddress& local : addresses) {
        if (skipUnset && local == QHostAddress(QHostAddress::AnyIPv4))
            continue;
        QUdpSocket socket;
        if (!socket.bind(local, 0))
            continue;
        if (socket.writeDatagram(datagram, QHostAddress(QHostAddress::Broadcast), framePort) ==
            datagram.size())
            ++sent;
    }
    return sent;
}

int CDiscovery::search(quint16 framePort) {
    return broadcast(
        QByteArray(kSearchRequest.data(), static_cast<qsizetype>(kSearchRequest.size())), true,
        framePort);
}

int CDiscovery::sendSetAddress(const SetAddressRequest& request, quint16 framePort) {
    const std::string line = setAddressLine(request);
    return broadcast(QByteArray(line.data(), static_cast<qsizetype>(line.size())), false,
                     framePort);
}

bool CDiscovery::echoProbe(const QString& address, int timeoutMs, quint16 framePort) {
    const QHostAddress target(address);
    if (target.isNull())
        return false;
    QUdpSocket socket;
    if (!socket.bind(QHostAddress(QHostAddress::AnyIPv4), 0))
        return false;
    const auto packet = echoProbePacket();
    if (socket.writeDatagram(packet.data(), static_cast<qint64>(packet.size()), target,
                             framePort) != static_cast<qint64>(packet.size()))
        return false;
    // Look every 50 ms until the tries are used up. The wait runs a local
    // event loop so the window keeps painting; operator input waits.
    int tries = echoProbeTries(timeoutMs);
    if (!socket.hasPendingDatagrams()) {
        QEventLoop loop;
        QTimer tick;
        QObject::connect(&socket, &QUdpSocket::readyRead, &loop, &QEventLoop::quit);
        QObject::connect(&tick, &QTimer::timeout, &loop, [&tries, &loop] {
            if (--tries <= 0)
                loop.quit();
        });
        tick.start(kEchoPollMs);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (socket.hasPendingDatagrams()) {
        std::array<char, kMaxEchoAnswer> answer{};
        const qint64 n = socket.readDatagram(answer.data(), static_cast<qint64>(answer.size()));
        return n > 0 &&
               isEchoAnswer(std::span<const char>(answer.data(), static_cast<std::size_t>(n)));
    }
    return false;
}

} // namespace velmar
