// SPDX-License-Identifier: MIT
#ifndef GT7LINK_H
#define GT7LINK_H

#include "telemetrypeer.h"

// Gran Turismo 7 (or GT Sport) on a PlayStation: a heartbeat to the
// console every 2 s while the program runs; the console sends its packets
// back to the heartbeat's sender, so the socket listens on the game's
// reply port, on an address the console can reach.
class Gt7Link : public TelemetryPeer
{
public:
    enum Game { GranTurismo7, GranTurismoSport };

    static constexpr int HeartbeatMs = 2000;

    explicit Gt7Link(Game game) : game(game) {}

    // listenAddress: where the console's packets arrive (0: any).
    bool open(quint32 console, quint32 listenAddress, QString *error);

    qintptr descriptor() const override { return socket.descriptor(); }
    QString description() const override;
    void tick(qint64 nowMs) override;
    Read read(qint64 nowMs, TelemetryDecoder::Sample *sample, long long *size) override;

    quint16 heartbeatPort() const { return game == GranTurismo7 ? 33739 : 33339; }
    quint16 replyPort() const { return game == GranTurismo7 ? 33740 : 33340; }

private:
    const Game game;
    UdpSocket socket;
    quint32 console = 0;
    bool beating = false;
    qint64 lastBeat = 0;
};

#endif // GT7LINK_H
