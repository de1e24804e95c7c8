#include "link/CUDPSocketThread.h"

#include "link/DiscoveryDatagrams.h"

#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QNetworkDatagram>
#include <QVariant>
#include <fstream>
#include <iterator>

#ifdef Q_OS_LINUX
#include <sys/stat.h>
#endif

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
    if (ok) {
        // The kernel may grant less than asked (its limit for ordinary
        // programs); what it kept is what counts.
        socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, m_requestedBuffer);
        m_grantedBuffer =
            socket.socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toInt();
#ifdef Q_OS_LINUX
        struct stat info {};
        if (fstat(static_cast<int>(socket.socketDescriptor()), &info) == 0)
            m_socketInode = static_cast<quint64>(info.st_ino);
#endif
    }
    {
        const QMutexLocker lock(&m_boundMutex);
        m_bound = ok ? 1 : -1;
        m_boundChanged.wakeAll();
    }
    if (!ok)
        return; // no replies then; the rest of the program works on
    exec();
    (void)droppedDatagrams(); // keep the final count for those who ask later
    m_socketInode = 0;
    socket.close();
}

std::optional<quint64> CUDPSocketThread::droppedDatagrams() const {
    if (const quint64 inode = m_socketInode.load(); inode != 0) {
        std::ifstream file("/proc/net/udp");
        const std::string table((std::istreambuf_iterator<char>(file)),
                                std::istreambuf_iterator<char>());
        if (const auto drops = udpDropsOfSocket(table, inode)) {
            m_lastDrops = *drops;
            m_dropsKnown = true;
        }
    }
    if (!m_dropsKnown)
        return std::nullopt;
    return m_lastDrops.load();
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
    // One wake-up per batch: a taker armed by the first reply drains them all,
    // and a flood cannot keep postponing the drain.
    if (m_queue.push(*text) == CReplyQueue::Push::First)
        Q_EMIT replyQueued();
}

} // namespace velmar
