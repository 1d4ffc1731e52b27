// SPDX-License-Identifier: MIT
#ifndef TELEMETRYRECEIVER_H
#define TELEMETRYRECEIVER_H

#include <QString>

#include <cstddef>
#include <cstdint>

// A UDP socket bound to the address and port that a game sends its
// telemetry to. Plain sockets (Winsock on Windows), non-blocking, so that
// the caller's event loop can watch the descriptor and read what waits.
class TelemetryReceiver
{
public:
    static constexpr quint16 DefaultPort = 20777;

    TelemetryReceiver();
    ~TelemetryReceiver();
    TelemetryReceiver(const TelemetryReceiver &) = delete;
    TelemetryReceiver &operator=(const TelemetryReceiver &) = delete;

    // "[[ADDRESS:]PORT]": an IPv4 address in dotted form or "localhost", and
    // a port from 1 to 65535; empty means 127.0.0.1:20777. The address is in
    // host byte order.
    static bool parseEndpoint(const QString &text, quint32 *address, quint16 *port, QString *error);

    // Binds the socket; on failure says why in error (a port in use, an
    // address this machine does not have).
    bool open(const QString &endpoint, QString *error);
    bool isOpen() const;
    qintptr descriptor() const { return socket; }
    QString endpoint() const; // as bound, "127.0.0.1:20777"

    // Reads one datagram into buffer. Returns its size, which may be more
    // than capacity for one that did not fit (the bytes beyond are lost), or
    // -1 when none waits.
    long long receive(unsigned char *buffer, size_t capacity);

private:
    void close();

    qintptr socket;
    quint32 boundAddress = 0;
    quint16 boundPort = 0;
#ifdef Q_OS_WIN
    bool started = false; // Winsock
#endif
};

#endif // TELEMETRYRECEIVER_H
