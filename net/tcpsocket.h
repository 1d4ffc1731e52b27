// SPDX-License-Identifier: MIT
#ifndef TCPSOCKET_H
#define TCPSOCKET_H

#include "endpoint.h"

#include <QString>

#include <cstddef>

// Plain non-blocking TCP sockets, for the OpenRGB SDK server and its
// clients.
class TcpSocket
{
public:
    static const qintptr None;

    // A listening socket, or None with error (inUse tells a port in use apart).
    static qintptr listen(const Endpoint &at, QString *error, bool *inUse);
    // A waiting connection, or None; from says who it is from.
    static qintptr accept(qintptr listener, Endpoint *from);
    // A connection within timeoutMs, or None.
    static qintptr connectTo(const Endpoint &to, int timeoutMs);
    // Up to size bytes: how many went, 0 when none can go now, -1 when the
    // connection is broken.
    static long long send(qintptr socket, const char *data, size_t size);
    // Up to capacity bytes: how many came, 0 when the peer closed, -1 when
    // none waits, -2 when the connection is broken.
    static long long receive(qintptr socket, char *buffer, size_t capacity);
    // Waits until something can be read, at most timeoutMs: false on time-out.
    static bool waitReadable(qintptr socket, int timeoutMs);
    static void close(qintptr socket);
};

#endif // TCPSOCKET_H
