// SPDX-License-Identifier: MIT
#include "tcpsocket.h"

#include "netsocket.h"

#ifdef Q_OS_WIN
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/select.h>
#include <sys/socket.h>
#endif

namespace {

#ifdef Q_OS_WIN
using Handle = SOCKET;
#else
using Handle = int;
#endif

// Small packets go at once: a colour is 32 bytes.
void noDelay(qintptr s)
{
    int on = 1;
    setsockopt(Handle(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&on), sizeof on);
}

} // namespace

const qintptr TcpSocket::None = NetSocket::None;

qintptr TcpSocket::listen(const Endpoint &at, QString *error, bool *inUse)
{
    *inUse = false;
    QString why;
    const qintptr s = NetSocket::open(NetSocket::Tcp, &why);
    if (s == None) {
        *error = QStringLiteral("cannot listen on %1: %2").arg(at.text(), why);
        return None;
    }
    if (!NetSocket::bind(s, NetSocket::Tcp, at, error, inUse)) {
        NetSocket::close(s);
        return None;
    }
    if (::listen(Handle(s), 16) != 0) {
        const int code = NetSocket::lastError();
        *inUse = NetSocket::inUse(code);
        *error =
            QStringLiteral("cannot listen on %1: %2").arg(at.text(), NetSocket::errorText(code));
        NetSocket::close(s);
        return None;
    }
    return s;
}

qintptr TcpSocket::accept(qintptr listener, Endpoint *from)
{
    sockaddr_in peer{};
#ifdef Q_OS_WIN
    int length = sizeof peer;
#else
    socklen_t length = sizeof peer;
#endif
    const qintptr s =
        qintptr(::accept(Handle(listener), reinterpret_cast<sockaddr *>(&peer), &length));
    if (s == None)
        return None;
    NetSocket::setUp(s);
    noDelay(s);
    *from = Endpoint(ntohl(peer.sin_addr.s_addr), ntohs(peer.sin_port));
    return s;
}

qintptr TcpSocket::connectTo(const Endpoint &to, int timeoutMs)
{
    QString ignored;
    const qintptr s = NetSocket::open(NetSocket::Tcp, &ignored);
    if (s == None)
        return None;
    noDelay(s);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(to.port);
    a.sin_addr.s_addr = htonl(to.address);
    if (::connect(Handle(s), reinterpret_cast<const sockaddr *>(&a), sizeof a) == 0)
        return s;
    const int code = NetSocket::lastError();
#ifdef Q_OS_WIN
    const bool pending = code == WSAEWOULDBLOCK;
#else
    const bool pending = code == EINPROGRESS;
#endif
    if (pending) {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(Handle(s), &writable);
        FD_SET(Handle(s), &failed);
        timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        int soError = 0;
#ifdef Q_OS_WIN
        int length = sizeof soError;
#else
        socklen_t length = sizeof soError;
#endif
        if (select(int(s) + 1, nullptr, &writable, &failed, &wait) == 1 &&
            FD_ISSET(Handle(s), &writable) &&
            getsockopt(Handle(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&soError),
                       &length) == 0 &&
            soError == 0)
            return s;
    }
    NetSocket::close(s);
    return None;
}

long long TcpSocket::send(qintptr socket, const char *data, size_t size)
{
#ifdef Q_OS_WIN
    const int n = ::send(Handle(socket), data, int(size), 0);
#else
    const ssize_t n = ::send(Handle(socket), data, size, MSG_NOSIGNAL);
#endif
    if (n >= 0)
        return n;
    return NetSocket::wouldBlock(NetSocket::lastError()) ? 0 : -1;
}

long long TcpSocket::receive(qintptr socket, char *buffer, size_t capacity)
{
#ifdef Q_OS_WIN
    const int n = recv(Handle(socket), buffer, int(capacity), 0);
#else
    const ssize_t n = recv(Handle(socket), buffer, capacity, 0);
#endif
    if (n >= 0)
        return n;
    return NetSocket::wouldBlock(NetSocket::lastError()) ? -1 : -2;
}

bool TcpSocket::waitReadable(qintptr socket, int timeoutMs)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(Handle(socket), &readable);
    timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return select(int(socket) + 1, &readable, nullptr, nullptr, &wait) == 1;
}

void TcpSocket::close(qintptr socket)
{
    NetSocket::close(socket);
}
