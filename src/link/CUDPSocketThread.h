#pragma once

#include "link/CReplyQueue.h"
#include "link/DiscoveryDatagrams.h"

#include <QMutex>
#include <QThread>
#include <QUdpSocket>
#include <QWaitCondition>
#include <atomic>
#include <optional>

namespace velmar {

class CUDPSocketThread;

// The worker's socket on the discovery reply port: every accepted search
// reply goes into the queue.
class CUDPSocket : public QUdpSocket {
    Q_OBJECT
public:
    explicit CUDPSocket(CUDPSocketThread& owner);

private:
    void onReceive();
    CUDPSocketThread& m_owner;
};

// Receives search replies on UDP port 10004 at low priority and hands them to
// the user-interface thread through a locked queue. replyQueued() fires (on
// the worker thread; connect it queued) whenever the queue stops being empty,
// not for every reply.
class CUDPSocketThread : public QThread {
    Q_OBJECT
public:
    explicit CUDPSocketThread(CReplyQueue& queue, quint16 port = 0, QObject* parent = nullptr);
    ~CUDPSocketThread() override;

    // The worker runs as background work beside a window: low priority, not
    // idle. On Linux an idle thread (SCHED_IDLE) gets no time at all while
    // other programs keep every core busy, so a search on a loaded machine
    // would list nothing for minutes. A caller that does nothing but wait for
    // the replies may raise it (before start()).
    void setWorkerPriority(QThread::Priority priority) { m_priority = priority; }
    // Asks the worker to end and waits for it up to the given time.
    void stop(int waitMs = 100);
    // Blocks until the socket is bound (or failed); for tests and start-up checks.
    bool waitUntilBound(int timeoutMs);
    quint16 port() const { return m_port; }

    // The receive buffer asked of the kernel (before start()); the default
    // holds a burst of more than 1000 search replies.
    void setReceiveBufferSize(int bytes) { m_requestedBuffer = bytes; }
    // What the kernel granted (0 until bound).
    int receiveBufferSize() const { return m_grantedBuffer.load(); }
    // Datagrams the kernel dropped on the reply socket because its buffer was
    // full, counted since the socket was bound; the last count read stays
    // after the worker ended. Nothing where the system does not tell (only
    // Linux does). Any thread may ask.
    std::optional<quint64> droppedDatagrams() const;

Q_SIGNALS:
    void replyQueued();

protected:
    void run() override;

private:
    friend class CUDPSocket;
    void handOver(const QByteArray& datagram, const QHostAddress& sender);

    CReplyQueue& m_queue;
    quint16 m_port;
    QThread::Priority m_priority = QThread::LowPriority;
    QMutex m_boundMutex;
    QWaitCondition m_boundChanged;
    int m_bound = 0; // 0 not yet, 1 bound, -1 failed
    int m_requestedBuffer = kSearchReceiveBufferBytes;
    std::atomic<int> m_grantedBuffer{0};
    std::atomic<quint64> m_socketInode{0}; // 0: not bound or not known
    mutable std::atomic<quint64> m_lastDrops{0};
    mutable std::atomic<bool> m_dropsKnown{false};
};

} // namespace velmar
