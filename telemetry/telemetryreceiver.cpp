// SPDX-License-Identifier: MIT
#include "telemetryreceiver.h"

#include <QStringList>

#include "quotedtext.h"

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

namespace {

#ifdef Q_OS_WIN
constexpr qintptr kNoSocket = qintptr(INVALID_SOCKET);

QString lastSocketError()
{
    const int code = WSAGetLastError();
    if (code == WSAEADDRINUSE)
        return QStringLiteral("the port is in use by another program");
    if (code == WSAEADDRNOTAVAIL)
        return QStringLiteral("this machine has no such address");
    if (code == WSAEACCES)
        return QStringLiteral("permission denied");
    return QStringLiteral("socket error %1").arg(code);
}

bool addressInUse()
{
    return WSAGetLastError() == WSAEADDRINUSE;
}
#else
constexpr qintptr kNoSocket = -1;

QString lastSocketError()
{
    const int code = errno;
    if (code == EADDRINUSE)
        return QStringLiteral("the port is in use by another program");
    if (code == EADDRNOTAVAIL)
        return QStringLiteral("this machine has no such address");
    return QString::fromLocal8Bit(std::strerror(code));
}

bool addressInUse()
{
    return errno == EADDRINUSE;
}
#endif

QString addressText(quint32 address)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg((address >> 16) & 0xff)
        .arg((address >> 8) & 0xff)
        .arg(address & 0xff);
}

bool parseNumber(const QString &text, uint max, uint *value)
{
    // Digits only: no sign, no spaces, no hexadecimal.
    if (text.isEmpty() || text.size() > 5)
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    *value = text.toUInt();
    return *value <= max;
}

bool parseAddress(const QString &text, quint32 *address)
{
    if (text.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
        *address = 0x7f000001;
        return true;
    }
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    quint32 result = 0;
    for (const QString &part : parts) {
        uint byte = 0;
        if (part.size() > 3 || !parseNumber(part, 255, &byte))
            return false;
        result = result << 8 | byte;
    }
    *address = result;
    return true;
}

} // namespace

TelemetryReceiver::TelemetryReceiver() : socket(kNoSocket) {}

TelemetryReceiver::~TelemetryReceiver()
{
    close();
#ifdef Q_OS_WIN
    if (started)
        WSACleanup();
#endif
}

bool TelemetryReceiver::parseEndpoint(const QString &text, quint32 *address, quint16 *port,
                                      QString *error)
{
    *address = 0x7f000001;
    *port = 0;
    if (text.isEmpty())
        return true;
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    // An address alone: every default port on it.
    const bool addressOnly =
        colon < 0 && (text.contains(QLatin1Char('.')) ||
                      text.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0);
    const QString addressPart = colon >= 0 ? text.left(colon) : addressOnly ? text : QString();
    if (!addressPart.isNull() && !parseAddress(addressPart, address)) {
        *error = QStringLiteral("%1 is not an IPv4 address: give one such as 127.0.0.1 or "
                                "0.0.0.0")
                     .arg(QuotedText::quote(addressPart));
        return false;
    }
    if (addressOnly)
        return true;
    const QString portText = colon < 0 ? text : text.mid(colon + 1);
    uint portValue = 0;
    if (!parseNumber(portText, 65535, &portValue) || portValue == 0) {
        *error = QStringLiteral("%1 is not a port: give a number from 1 to 65535, as in 20777 "
                                "or 127.0.0.1:20777")
                     .arg(QuotedText::quote(portText));
        return false;
    }
    *port = quint16(portValue);
    return true;
}

bool TelemetryReceiver::parseHost(const QString &text, quint32 *address, QString *error)
{
    if (parseAddress(text, address))
        return true;
    *error = QStringLiteral("%1 is not an IPv4 address: give one such as 127.0.0.1 or "
                            "192.168.1.20")
                 .arg(QuotedText::quote(text));
    return false;
}

bool TelemetryReceiver::open(quint32 address, quint16 port, QString *error, bool *inUse)
{
    close();
    if (inUse)
        *inUse = false;
#ifdef Q_OS_WIN
    if (!started) {
        WSADATA data;
        if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
            *error = QStringLiteral("Windows sockets could not start");
            return false;
        }
        started = true;
    }
#endif
    const QString where = QStringLiteral("%1:%2").arg(addressText(address)).arg(port);
    socket = qintptr(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (socket == kNoSocket) {
        *error = QStringLiteral("cannot open a UDP socket: %1").arg(lastSocketError());
        return false;
    }
#ifdef Q_OS_WIN
    // Without it Windows lets another program bind the same port more
    // specifically and take the packets.
    BOOL exclusive = TRUE;
    setsockopt(SOCKET(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
               reinterpret_cast<const char *>(&exclusive), sizeof exclusive);
    u_long nonBlocking = 1;
    ioctlsocket(SOCKET(socket), FIONBIO, &nonBlocking);
    // A game that is not running answers a request with "port unreachable",
    // which Windows would hand to the next read as an error.
    BOOL reportReset = FALSE;
    DWORD returned = 0;
    WSAIoctl(SOCKET(socket), _WSAIOW(IOC_VENDOR, 12), &reportReset, sizeof reportReset, nullptr, 0,
             &returned, nullptr, nullptr);
#else
    fcntl(int(socket), F_SETFD, FD_CLOEXEC);
    fcntl(int(socket), F_SETFL, fcntl(int(socket), F_GETFL) | O_NONBLOCK);
#endif
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(address);
#ifdef Q_OS_WIN
    const int bound =
        bind(SOCKET(socket), reinterpret_cast<const sockaddr *>(&local), sizeof local);
#else
    const int bound = bind(int(socket), reinterpret_cast<const sockaddr *>(&local), sizeof local);
#endif
    if (bound != 0) {
        if (inUse)
            *inUse = addressInUse();
        *error = QStringLiteral("cannot listen on %1: %2").arg(where, lastSocketError());
        close();
        return false;
    }
    boundAddress = address;
    boundPort = port;
    return true;
}

bool TelemetryReceiver::isOpen() const
{
    return socket != kNoSocket;
}

QString TelemetryReceiver::endpoint() const
{
    return QStringLiteral("%1:%2").arg(addressText(boundAddress)).arg(boundPort);
}

long long TelemetryReceiver::receive(unsigned char *buffer, size_t capacity, quint32 *fromAddress,
                                     quint16 *fromPort)
{
    if (socket == kNoSocket)
        return -1;
    sockaddr_in from{};
#ifdef Q_OS_WIN
    int fromSize = sizeof from;
    const int n = recvfrom(SOCKET(socket), reinterpret_cast<char *>(buffer), int(capacity), 0,
                           reinterpret_cast<sockaddr *>(&from), &fromSize);
    long long size = n;
    // Too long for the buffer: what arrived is cut, and no format is that long.
    if (n < 0 && WSAGetLastError() == WSAEMSGSIZE)
        size = (long long)capacity + 1;
    else if (n < 0)
        return -1;
#else
    long long size;
    for (;;) {
        socklen_t fromSize = sizeof from;
        // MSG_TRUNC: the datagram's whole size, even when it did not fit.
        const ssize_t n = recvfrom(int(socket), buffer, capacity, MSG_TRUNC,
                                   reinterpret_cast<sockaddr *>(&from), &fromSize);
        if (n >= 0) {
            size = n;
            break;
        }
        if (errno != EINTR)
            return -1;
    }
#endif
    if (fromAddress)
        *fromAddress = ntohl(from.sin_addr.s_addr);
    if (fromPort)
        *fromPort = ntohs(from.sin_port);
    return size;
}

bool TelemetryReceiver::sendTo(quint32 address, quint16 port, const unsigned char *data,
                               size_t size)
{
    if (socket == kNoSocket)
        return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(address);
#ifdef Q_OS_WIN
    return sendto(SOCKET(socket), reinterpret_cast<const char *>(data), int(size), 0,
                  reinterpret_cast<const sockaddr *>(&to), sizeof to) == int(size);
#else
    return sendto(int(socket), data, size, 0, reinterpret_cast<const sockaddr *>(&to), sizeof to) ==
           ssize_t(size);
#endif
}

void TelemetryReceiver::close()
{
    if (socket == kNoSocket)
        return;
#ifdef Q_OS_WIN
    closesocket(SOCKET(socket));
#else
    ::close(int(socket));
#endif
    socket = kNoSocket;
}
