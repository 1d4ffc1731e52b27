// SPDX-License-Identifier: MIT
#ifndef ENDPOINT_H
#define ENDPOINT_H

#include <QString>

// An IPv4 address and a port, in host byte order, as the options carry them
// once parsed: the text a user gives is read here and nowhere else.
class Endpoint
{
public:
    static constexpr quint32 Loopback = 0x7f000001;
    static constexpr quint32 Any = 0;

    Endpoint() = default;
    Endpoint(quint32 address, quint16 port) : address(address), port(port) {}

    // "[ADDRESS:]PORT", "ADDRESS" or nothing: an IPv4 address in dotted form
    // or "localhost" (127.0.0.1 when none is given), and a port from 1 to
    // 65535, or 0 when none is given (the caller's default).
    static bool parse(const QString &text, Endpoint *endpoint, QString *error);
    // An IPv4 address in dotted form or "localhost".
    static bool parseHost(const QString &text, quint32 *address, QString *error);
    // "a.b.c.d"
    static QString addressText(quint32 address);

    // "a.b.c.d:port"
    QString text() const;
    bool operator==(const Endpoint &other) const
    {
        return address == other.address && port == other.port;
    }
    bool operator!=(const Endpoint &other) const { return !(*this == other); }

    quint32 address = Loopback;
    quint16 port = 0;
};

#endif // ENDPOINT_H
