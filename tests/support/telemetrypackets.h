// SPDX-License-Identifier: MIT
#ifndef TELEMETRYPACKETS_H
#define TELEMETRYPACKETS_H

#include <QByteArray>

// Packets laid out as the games send them, little-endian byte by byte
// whatever the host, with the fields the lights read and plausible values
// elsewhere. For the tests, the benchmarks and the fuzz seeds.
class TelemetryPackets
{
public:
    // Forza Data Out of 232, 311, 324 or 331 bytes. The handbrake and gear
    // go where the dash formats have them, nowhere in the sled.
    static QByteArray forza(int size, bool raceOn, float rpm, float maxRpm, int handbrake = 0,
                            int gear = 3);
    // OutGauge of 92 or 96 bytes.
    static QByteArray outGauge(int size, const char *car, float rpm, bool shiftLight = false,
                               bool handbrake = false, int gear = 3);
    // The Codemasters format with extradata="3", 264 bytes.
    static QByteArray codemasters(float rpm, float maxRpm, float gear = 3);

    static void putU8(QByteArray &packet, int offset, int value);
    static void putU32(QByteArray &packet, int offset, quint32 value);
    static void putF32(QByteArray &packet, int offset, float value);
};

#endif // TELEMETRYPACKETS_H
