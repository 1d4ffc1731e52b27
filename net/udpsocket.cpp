// SPDX-License-Identifier: MIT
#include "udpsocket.h"

#include "netsocket.h"

#ifdef Q_OS_WIN
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace {

sockaddr_in addressOf(const Endpoint &at)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(at.port);
    a.sin_addr.s_addr = htonl(at.address);
    return a;
}

} // namespace

UdpSocket::UdpSocket() : socket(NetSocket::None) {}

UdpSocket::~UdpSocket()
{
    close();
}

bool UdpSocket::open(const Endpoint &at, QString *error, bool *inUse)
{
    close();
    if (inUse)
        *inUse = false;
    QString why;
    socket = NetSocket::open(NetSocket::Udp, &why);
    if (socket == NetSocket::None) {
        *error = QStringLiteral("cannot open a UDP socket: %1").arg(why);
        return false;
    }
#ifdef Q_OS_WIN
    // A game that is not running answers a request with "port unreachable",
    // which Windows would hand to the next read as an error.
    BOOL reportReset = FALSE;
    DWORD returned = 0;
    WSAIoctl(SOCKET(socket), _WSAIOW(IOC_VENDOR, 12), &reportReset, sizeof reportReset, nullptr, 0,
             &returned, nullptr, nullptr);
#endif
    if (!NetSocket::bind(socket, NetSocket::Udp, at, error, inUse)) {
        close();
        return false;
    }
    bound = at;
    return true;
}

bool UdpSocket::isOpen() const
{
    return socket != NetSocket::None;
}

long long UdpSocket::receive(unsigned char *buffer, size_t capacity, Endpoint *from)
{
    if (socket == NetSocket::None)
        return -1;
    sockaddr_in peer{};
#ifdef Q_OS_WIN
    int peerSize = sizeof peer;
    const int n = recvfrom(SOCKET(socket), reinterpret_cast<char *>(buffer), int(capacity), 0,
                           reinterpret_cast<sockaddr *>(&peer), &peerSize);
    long long size = n;
    // Too long for the buffer: what arrived is cut, and no format is that long.
    if (n < 0 && WSAGetLastError() == WSAEMSGSIZE)
        size = (long long)capacity + 1;
    else if (n < 0)
        return -1;
#else
    long long size;
    for (;;) {
        socklen_t peerSize = sizeof peer;
        // MSG_TRUNC: the datagram's whole size, even when it did not fit.
        const ssize_t n = recvfrom(int(socket), buffer, capacity, MSG_TRUNC,
                                   reinterpret_cast<sockaddr *>(&peer), &peerSize);
        if (n >= 0) {
            size = n;
            break;
        }
        if (errno != EINTR)
            return -1;
    }
#endif
    if (from)
        *from = Endpoint(ntohl(peer.sin_addr.s_addr), ntohs(peer.sin_port));
    return size;
}

bool UdpSocket::sendTo(const Endpoint &to, const unsigned char *data, size_t size)
{
    if (socket == NetSocket::None)
        return false;
    const sockaddr_in a = addressOf(to);
#ifdef Q_OS_WIN
    return sendto(SOCKET(socket), reinterpret_cast<const char *>(data), int(size), 0,
                  reinterpret_cast<const sockaddr *>(&a), sizeof a) == int(size);
#else
    return sendto(int(socket), data, size, 0, reinterpret_cast<const sockaddr *>(&a), sizeof a) ==
           ssize_t(size);
#endif
}

void UdpSocket::close()
{
    NetSocket::close(socket);
    socket = NetSocket::None;
}
