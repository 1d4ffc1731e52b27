// SPDX-License-Identifier: MIT
#include "netsocket.h"

#ifdef Q_OS_WIN
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#ifdef Q_OS_WIN
const qintptr NetSocket::None = qintptr(INVALID_SOCKET);
#else
const qintptr NetSocket::None = -1;
#endif

namespace {

// Once for the process: WSACleanup at exit is the system's.
bool started()
{
#ifdef Q_OS_WIN
    static const bool ok = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ok;
#else
    return true;
#endif
}

} // namespace

qintptr NetSocket::open(Kind kind, QString *error)
{
    if (!started()) {
        *error = QStringLiteral("Windows sockets could not start");
        return None;
    }
    const qintptr s = qintptr(kind == Tcp ? ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)
                                          : ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (s == None) {
        *error = errorText(lastError());
        return None;
    }
    setUp(s);
    return s;
}

void NetSocket::setUp(qintptr socket)
{
#ifdef Q_OS_WIN
    u_long on = 1;
    ioctlsocket(SOCKET(socket), FIONBIO, &on);
#else
    // Not handed to a program started from here (a game, a browser).
    fcntl(int(socket), F_SETFD, FD_CLOEXEC);
    fcntl(int(socket), F_SETFL, fcntl(int(socket), F_GETFL) | O_NONBLOCK);
#endif
}

bool NetSocket::bind(qintptr socket, Kind kind, const Endpoint &at, QString *error, bool *inUse)
{
#ifdef Q_OS_WIN
    // Without it Windows lets another program bind the same port more
    // specifically and take the packets or the connections.
    Q_UNUSED(kind)
    BOOL exclusive = TRUE;
    setsockopt(SOCKET(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
               reinterpret_cast<const char *>(&exclusive), sizeof exclusive);
#else
    // A listener started again right after a stop finds its port free; never
    // on UDP, where it would let two sockets share a port.
    if (kind == Tcp) {
        int on = 1;
        setsockopt(int(socket), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    }
#endif
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(at.port);
    local.sin_addr.s_addr = htonl(at.address);
#ifdef Q_OS_WIN
    const bool bound =
        ::bind(SOCKET(socket), reinterpret_cast<const sockaddr *>(&local), sizeof local) == 0;
#else
    const bool bound =
        ::bind(int(socket), reinterpret_cast<const sockaddr *>(&local), sizeof local) == 0;
#endif
    const int code = bound ? 0 : lastError();
    if (inUse)
        *inUse = !bound && NetSocket::inUse(code);
    if (!bound)
        *error = QStringLiteral("cannot listen on %1: %2").arg(at.text(), errorText(code));
    return bound;
}

void NetSocket::close(qintptr socket)
{
    if (socket == None)
        return;
#ifdef Q_OS_WIN
    closesocket(SOCKET(socket));
#else
    ::close(int(socket));
#endif
}

int NetSocket::lastError()
{
#ifdef Q_OS_WIN
    return WSAGetLastError();
#else
    return errno;
#endif
}

bool NetSocket::wouldBlock(int code)
{
#ifdef Q_OS_WIN
    return code == WSAEWOULDBLOCK;
#else
    return code == EAGAIN || code == EWOULDBLOCK || code == EINTR;
#endif
}

bool NetSocket::inUse(int code)
{
#ifdef Q_OS_WIN
    // An exclusive socket of another program's answers WSAEACCES.
    return code == WSAEADDRINUSE || code == WSAEACCES;
#else
    return code == EADDRINUSE;
#endif
}

QString NetSocket::errorText(int code)
{
    if (inUse(code))
        return QStringLiteral("the port is in use by another program");
#ifdef Q_OS_WIN
    if (code == WSAEADDRNOTAVAIL)
        return QStringLiteral("this machine has no such address");
    return QStringLiteral("socket error %1").arg(code);
#else
    if (code == EADDRNOTAVAIL)
        return QStringLiteral("this machine has no such address");
    return QString::fromLocal8Bit(std::strerror(code));
#endif
}
