// SPDX-License-Identifier: MIT
#ifndef UDPSOCKET_H
#define UDPSOCKET_H

#include "endpoint.h"

#include <QString>

#include <cstddef>

// A UDP socket bound to an address and port, such as the one a game sends
// its telemetry to. Non-blocking, so that the caller's event loop can watch
// the descriptor and read what waits.
class UdpSocket
{
public:
    UdpSocket();
    ~UdpSocket();
    UdpSocket(const UdpSocket &) = delete;
    UdpSocket &operator=(const UdpSocket &) = delete;

    // Binds the socket (port 0: any free one); on failure says why in error
    // (a port in use, an address this machine does not have). inUse tells
    // the first apart.
    bool open(const Endpoint &at, QString *error, bool *inUse = nullptr);
    bool isOpen() const;
    qintptr descriptor() const { return socket; }
    Endpoint endpoint() const { return bound; } // as asked for

    // Reads one datagram into buffer. Returns its size, which may be more
    // than capacity for one that did not fit (the bytes beyond are lost), or
    // -1 when none waits. from, where given, tells who sent it.
    long long receive(unsigned char *buffer, size_t capacity, Endpoint *from = nullptr);
    // Sends one datagram from this socket, for a peer that answers whoever
    // asks; false if it could not go.
    bool sendTo(const Endpoint &to, const unsigned char *data, size_t size);

private:
    void close();

    qintptr socket;
    Endpoint bound;
};

#endif // UDPSOCKET_H
