// SPDX-License-Identifier: MIT
#ifndef ASSETTOCORSALINK_H
#define ASSETTOCORSALINK_H

#include "telemetrypeer.h"

#include <array>

// Assetto Corsa sends its telemetry only to a program that asks: a
// handshake to port 9996 of the game's machine, then a subscription. This
// asks again every few seconds while nobody answers (the game is not
// running) and after its packets stop, and dismisses on close. Only what
// comes from the game's address and port counts.
class AssettoCorsaLink : public TelemetryPeer
{
public:
    static constexpr quint16 Port = 9996;
    static constexpr int RetryMs = 3000;

    AssettoCorsaLink() = default;
    ~AssettoCorsaLink() override { close(); }
    AssettoCorsaLink(const AssettoCorsaLink &) = delete;
    AssettoCorsaLink &operator=(const AssettoCorsaLink &) = delete;

    // A socket of its own towards the game at host (host byte order), which
    // listens on port.
    bool open(quint32 host, QString *error, quint16 port = Port);

    qintptr descriptor() const override { return socket.descriptor(); }
    QString description() const override;
    void tick(qint64 nowMs) override;
    Read read(qint64 nowMs, TelemetryDecoder::Sample *sample, long long *size) override;
    // Dismisses the subscription, if any.
    void close() override;

private:
    void send(int operation);

    UdpSocket socket;
    quint32 host = 0;
    quint16 port = Port;
    bool subscribed = false;
    qint64 lastRequest = 0;
    bool asked = false;
    qint64 lastPacket = 0;
    TelemetryDecoder::Car car{};
};

#endif // ASSETTOCORSALINK_H
