#pragma once

#include "link/DiscoveryDatagrams.h"

#include <QHostAddress>
#include <QList>
#include <QString>

namespace velmar {

// The datagrams the program sends itself: the search broadcast, the echo
// probe and the set-address request. Failures are silent by design: an
// adapter that cannot send is skipped, a probe without answer is just that.
class CDiscovery {
public:
    // The first IPv4 address of every adapter that is up, loopback included
    // (simulated frames and local test set-ups live there).
    static QList<QHostAddress> adapterAddresses();

    // One "?edev" broadcast from each adapter address (0.0.0.0 skipped).
    // Returns the number of datagrams sent.
    static int search(quint16 framePort = kFrameUdpPort);

    // Sends the echo packet to the frame and looks for the answer every 50 ms
    // until the time-out. True only for a correct answer; any other datagram
    // ends the probe.
    static bool echoProbe(const QString& address, int timeoutMs, quint16 framePort = kFrameUdpPort);

    // The set-address request, broadcast from every adapter address.
    static int sendSetAddress(const SetAddressRequest& request, quint16 framePort = kFrameUdpPort);

private:
    static int broadcast(const QByteArray& datagram, bool skipUnset, quint16 framePort);
};

} // namespace velmar
