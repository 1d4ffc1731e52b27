// SPDX-License-Identifier: MIT
#ifndef TCPSOCKET_H
#define TCPSOCKET_H

#include <QString>

#include <cstddef>

// Plain non-blocking TCP sockets (Winsock on Windows, where the static Qt
// has no Qt Network), for the OpenRGB SDK server and its client in
// brimsel-ctl. Addresses are IPv4 in host byte order.
class TcpSocket
{
public:
    static const qintptr None;

    // A listening socket, or None with error (inUse tells a port in use apart).
    static qintptr listen(quint32 address, quint16 port, QString *error, bool *inUse);
    // A waiting connection, or None; fromAddress says who it is from.
    static qintptr accept(qintptr listener, quint32 *fromAddress);
    // A connection within timeoutMs, or None.
    static qintptr connectTo(quint32 address, quint16 port, int timeoutMs);
    // Up to size bytes: how many went, 0 when none can go now, -1 when the
    // connection is broken.
    static long long send(qintptr socket, const char *data, size_t size);
    // Up to capacity bytes: how many came, 0 when the peer closed, -1 when
    // none waits, -2 when the connection is broken.
    static long long receive(qintptr socket, char *buffer, size_t capacity);
    // Waits until something can be read, at most timeoutMs: false on time-out.
    static bool waitReadable(qintptr socket, int timeoutMs);
    static void close(qintptr socket);
    static QString addressText(quint32 address);
};

#endif // TCPSOCKET_H
