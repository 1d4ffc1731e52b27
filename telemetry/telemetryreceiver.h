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
    // The ports the supported games send to unless told otherwise, and who
    // sends there; with no port given, each is listened on.
    struct GamePort
    {
        quint16 port;
        const char *games;
    };
    static constexpr GamePort DefaultPorts[] = {
        {20777, "F1, EA SPORTS WRC, DiRT"},
        {5606, "Automobilista 2, Project CARS 2"},
        {6776, "Richard Burns Rally"},
        {4444, "BeamNG.drive's OutGauge"},
    };

    TelemetryReceiver();
    ~TelemetryReceiver();
    TelemetryReceiver(const TelemetryReceiver &) = delete;
    TelemetryReceiver &operator=(const TelemetryReceiver &) = delete;

    // "[ADDRESS:]PORT" or "ADDRESS" or nothing: an IPv4 address in dotted
    // form or "localhost" (127.0.0.1 when none is given), and a port from 1
    // to 65535, or 0 for every default port when none is given. The address
    // is in host byte order.
    static bool parseEndpoint(const QString &text, quint32 *address, quint16 *port, QString *error);
    // An IPv4 address in dotted form or "localhost".
    static bool parseHost(const QString &text, quint32 *address, QString *error);

    // Binds the socket; on failure says why in error (a port in use, an
    // address this machine does not have). inUse tells the first apart.
    bool open(quint32 address, quint16 port, QString *error, bool *inUse = nullptr);
    bool isOpen() const;
    qintptr descriptor() const { return socket; }
    QString endpoint() const; // as bound, "127.0.0.1:20777"

    // Reads one datagram into buffer. Returns its size, which may be more
    // than capacity for one that did not fit (the bytes beyond are lost), or
    // -1 when none waits. fromAddress and fromPort, where given, tell who
    // sent it (host byte order).
    long long receive(unsigned char *buffer, size_t capacity, quint32 *fromAddress = nullptr,
                      quint16 *fromPort = nullptr);
    // Sends one datagram from this socket, for a game that answers whoever
    // asks; false if it could not go.
    bool sendTo(quint32 address, quint16 port, const unsigned char *data, size_t size);

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
