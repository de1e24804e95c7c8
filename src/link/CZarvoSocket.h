#pragma once

#include "link/CLineReceiver.h"
#include "link/LinkLoss.h"
#include "protocol/DeviceMessage.h"

#include <QObject>
#include <QString>
#include <QTcpSocket>

namespace velmar {

// The one TCP link to a frame. Lines go out through the encoder in one write
// each; received bytes go through the line receiver, which hands decoded
// messages to its handler. Lives on the user-interface thread.
class CZarvoSocket : public QObject {
    Q_OBJECT
public:
    // Give up on a frame that neither accepts nor refuses within this time.
    static constexpr int kConnectTimeoutMs = 5000;
    // What may wait to be written. A full crosspoint load is about 30 KB; a
    // frame that leaves more than this unread has stopped reading, and its
    // link is dropped rather than queued without end.
    static constexpr qint64 kMaxPendingWrite = 256 * 1024;

    CZarvoSocket(CLineReceiver::IHandler& handler, QObject* parent = nullptr);
    ~CZarvoSocket() override;

    // Connects with keep-alive on. The window stays responsive while waiting
    // (a local event loop runs), and the wait is bounded. 0 on success, else
    // the socket's error code + 1.
    int connectTo(const QString& address, quint16 port, int timeoutMs = kConnectTimeoutMs);

    // Encodes and writes one line. Nothing is sent without a link.
    void send(const DeviceMessage& message);
    // Shuts the sending direction, closes; no peerClosed() follows.
    void close();
    bool isOpen() const;

    const CLineReceiver& receiver() const { return m_receiver; }
    // Why peerClosed() came.
    LinkLoss lossCause() const { return m_cause; }
    // The most that ever waited to be written on this link.
    qint64 peakPendingWrite() const { return m_peakPending; }

Q_SIGNALS:
    // The frame closed the link, it broke, or the frame stopped reading
    // (lossCause() says which).
    void peerClosed();

private:
    void onReadyRead();
    void onDisconnected();
    void dropStalled();

    QTcpSocket m_socket;
    CLineReceiver m_receiver;
    bool m_closing = false;
    bool m_lossPending = false;
    LinkLoss m_cause = LinkLoss::Closed;
    qint64 m_peakPending = 0;
};

} // namespace velmar
