#include "link/CUDPSocketThread.h"

#include "link/DiscoveryDatagrams.h"

#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QNetworkDatagram>

namespace velmar {

CUDPSocket::CUDPSocket(CUDPSocketThread& owner) : m_owner(owner) {
    connect(this, &QUdpSocket::readyRead, this, &CUDPSocket::onReceive);
}

void CUDPSocket::onReceive() {
    while (hasPendingDatagrams()) {
        // One more byte than a reply may have, so an over-long one shows as such.
        const QNetworkDatagram d = receiveDatagram(static_cast<qint64>(kMaxSearchReply) + 1);
        if (d.isValid())
            m_owner.handOver(d.data(), d.senderAddress());
    }
}

CUDPSocketThread::CUDPSocketThread(CReplyQueue& queue, quint16 port, QObject* parent)
    : QThread(parent), m_queue(queue), m_port(port == 0 ? kDiscoveryReplyPort : port) {}

CUDPSocketThread::~CUDPSocketThread() { stop(1000); }

void CUDPSocketThread::run() {
    setPriority(m_priority);
    CUDPSocket socket(*this);
    const bool ok = socket.bind(QHostAddress::AnyIPv4, m_port,
                                QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint);
    {
        const QMutexLocker lock(&m_boundMutex);
        m_bound = ok ? 1 : -1;
        m_boundChanged.wakeAll();
    }
    if (!ok)
        return; // no replies then; the rest of the program works on
    exec();
    socket.close();
}

void CUDPSocketThread::stop(int waitMs) {
    if (!isRunning())
        return;
    quit();
    wait(QDeadlineTimer(waitMs));
}

bool CUDPSocketThread::waitUntilBound(int timeoutMs) {
    QMutexLocker lock(&m_boundMutex);
    if (m_bound == 0)
        m_boundChanged.wait(&m_boundMutex, QDeadlineTimer(timeoutMs));
    return m_bound == 1;
}

void CUDPSocketThread::handOver(const QByteArray& datagram, const QHostAddress& sender) {
    QHostAddress v4 = sender;
    bool isV4 = false;
    const quint32 raw = v4.toIPv4Address(&isV4);
    const QString address = isV4 ? QHostAddress(raw).toString() : sender.toString();
    const std::optional<std::string> text = queuedSearchReply(
        address.toStdString(),
        std::span<const char>(datagram.constData(), static_cast<std::size_t>(datagram.size())));
    if (!text)
        return;
    m_queue.push(*text);
    Q_EMIT replyQueued(); // every reply re-arms the drain timer
}

} // namespace velmar
