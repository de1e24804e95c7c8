#pragma once

#include "server/ServerConfig.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <string>
#include <string_view>

namespace velmar {

// What the router protocols' listeners (Videohub, Ember+) do alike with a
// client's socket.

// Whether a peer may connect: loopback, or the configured networks.
bool peerAllowed(const std::vector<Ipv4Network>& allow, const QHostAddress& peer);
// Takes a socket from its listener: owned by the caller from now on, with a
// bounded read buffer and no delay on small writes (an answer and the news
// after it are small writes apart).
void adoptClientSocket(QTcpSocket* socket, qint64 readBufferBytes);
// "Videohub client 10.0.0.5:51234": how the log and the event log name it.
std::string clientActor(std::string_view what, const QTcpSocket& socket);
// Ends a client at once; the socket goes once its signals are done.
void discardClientSocket(QTcpSocket* socket, const QObject* listener);

} // namespace velmar
