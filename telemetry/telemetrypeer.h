// SPDX-License-Identifier: MIT
#ifndef TELEMETRYPEER_H
#define TELEMETRYPEER_H

#include "telemetrydecoder.h"
#include "udpsocket.h"

#include <QString>

// A game that sends its telemetry only to a program that keeps asking
// (Assetto Corsa's subscription, Gran Turismo's heartbeat): a socket of its
// own towards the game's machine, a request when one is due, and only what
// comes from the game counts.
class TelemetryPeer
{
public:
    enum Read { Nothing, Readable, Unreadable };

    virtual ~TelemetryPeer() = default;

    virtual qintptr descriptor() const = 0;
    // As standard error names it: who is asked, where.
    virtual QString description() const = 0;
    // The request, when one is due; called about once a second.
    virtual void tick(qint64 nowMs) = 0;
    // One datagram that waits: Nothing when none does (or it was a reply
    // that carries no telemetry), else whether it was readable telemetry,
    // filled into sample; size says how long it was.
    virtual Read read(qint64 nowMs, TelemetryDecoder::Sample *sample, long long *size) = 0;
    // Tells the game to stop, where it can be told, before the socket goes.
    virtual void close() {}
};

#endif // TELEMETRYPEER_H
