// SPDX-License-Identifier: MIT
#include "tcpsocket.h"

#ifdef Q_OS_WIN
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_WIN
using Handle = SOCKET;
constexpr qintptr kNone = qintptr(INVALID_SOCKET);

bool started()
{
    static const bool ok = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ok;
}
int lastError()
{
    return WSAGetLastError();
}
bool wouldBlock(int code)
{
    return code == WSAEWOULDBLOCK;
}
bool inUseError(int code)
{
    return code == WSAEADDRINUSE || code == WSAEACCES;
}
void setNonBlocking(Handle s)
{
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
}
#else
using Handle = int;
constexpr qintptr kNone = -1;

bool started()
{
    return true;
}
int lastError()
{
    return errno;
}
bool wouldBlock(int code)
{
    return code == EAGAIN || code == EWOULDBLOCK || code == EINTR;
}
bool inUseError(int code)
{
    return code == EADDRINUSE;
}
void setNonBlocking(Handle s)
{
    fcntl(s, F_SETFL, fcntl(s, F_GETFL) | O_NONBLOCK);
}
#endif

sockaddr_in addressOf(quint32 address, quint16 port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(address);
    return a;
}

QString errorText(int code)
{
    if (inUseError(code))
        return QStringLiteral("the port is in use by another program");
#ifdef Q_OS_WIN
    return QStringLiteral("socket error %1").arg(code);
#else
    return QString::fromLocal8Bit(std::strerror(code));
#endif
}

// Small packets go at once: a colour is 32 bytes.
void noDelay(Handle s)
{
    int on = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&on), sizeof on);
}

} // namespace

const qintptr TcpSocket::None = kNone;

QString TcpSocket::addressText(quint32 address)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg((address >> 16) & 0xff)
        .arg((address >> 8) & 0xff)
        .arg(address & 0xff);
}

qintptr TcpSocket::listen(quint32 address, quint16 port, QString *error, bool *inUse)
{
    *inUse = false;
    const QString where = QStringLiteral("%1:%2").arg(addressText(address)).arg(port);
    if (!started()) {
        *error = QStringLiteral("cannot listen on %1: Winsock did not start").arg(where);
        return kNone;
    }
    const Handle s = socket(AF_INET, SOCK_STREAM, 0);
    if (qintptr(s) == kNone) {
        *error = QStringLiteral("cannot listen on %1: %2").arg(where, errorText(lastError()));
        return kNone;
    }
#ifdef Q_OS_WIN
    // Another program's socket on the port must make this one fail.
    BOOL exclusive = TRUE;
    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char *>(&exclusive),
               sizeof exclusive);
#else
    // A restart right after a stop finds the port free.
    int on = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    fcntl(s, F_SETFD, FD_CLOEXEC);
#endif
    const sockaddr_in a = addressOf(address, port);
    if (bind(s, reinterpret_cast<const sockaddr *>(&a), sizeof a) != 0 || ::listen(s, 16) != 0) {
        const int code = lastError();
        *inUse = inUseError(code);
        *error = QStringLiteral("cannot listen on %1: %2").arg(where, errorText(code));
        close(qintptr(s));
        return kNone;
    }
    setNonBlocking(s);
    return qintptr(s);
}

qintptr TcpSocket::accept(qintptr listener, quint32 *fromAddress)
{
    sockaddr_in from{};
#ifdef Q_OS_WIN
    int length = sizeof from;
#else
    socklen_t length = sizeof from;
#endif
    const Handle s = ::accept(Handle(listener), reinterpret_cast<sockaddr *>(&from), &length);
    if (qintptr(s) == kNone)
        return kNone;
#ifndef Q_OS_WIN
    fcntl(s, F_SETFD, FD_CLOEXEC);
#endif
    setNonBlocking(s);
    noDelay(s);
    *fromAddress = ntohl(from.sin_addr.s_addr);
    return qintptr(s);
}

qintptr TcpSocket::connectTo(quint32 address, quint16 port, int timeoutMs)
{
    if (!started())
        return kNone;
    const Handle s = socket(AF_INET, SOCK_STREAM, 0);
    if (qintptr(s) == kNone)
        return kNone;
    setNonBlocking(s);
    noDelay(s);
    const sockaddr_in a = addressOf(address, port);
    if (::connect(s, reinterpret_cast<const sockaddr *>(&a), sizeof a) == 0)
        return qintptr(s);
    const int code = lastError();
#ifdef Q_OS_WIN
    const bool pending = code == WSAEWOULDBLOCK;
#else
    const bool pending = code == EINPROGRESS;
#endif
    if (pending) {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        int soError = 0;
#ifdef Q_OS_WIN
        int length = sizeof soError;
#else
        socklen_t length = sizeof soError;
#endif
        if (select(int(s) + 1, nullptr, &writable, &failed, &wait) == 1 && FD_ISSET(s, &writable) &&
            getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&soError), &length) == 0 &&
            soError == 0)
            return qintptr(s);
    }
    close(qintptr(s));
    return kNone;
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
    return wouldBlock(lastError()) ? 0 : -1;
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
    return wouldBlock(lastError()) ? -1 : -2;
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
    if (socket == kNone)
        return;
#ifdef Q_OS_WIN
    closesocket(Handle(socket));
#else
    ::close(int(socket));
#endif
}
