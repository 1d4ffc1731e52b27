// SPDX-License-Identifier: MIT
#include "telemetrypackets.h"

#include <cstring>

QByteArray TelemetryPackets::forza(int size, bool raceOn, float rpm, float maxRpm, int handbrake,
                                   int gear)
{
    QByteArray p(size, '\0');
    putU32(p, 0, raceOn ? 1 : 0);
    putU32(p, 4, 123456);
    putF32(p, 8, maxRpm);
    putF32(p, 12, maxRpm / 8);
    putF32(p, 16, rpm);
    putU32(p, 212, 2352);
    putU32(p, 228, 6);
    if (size != 232) {
        const int dash = size == 324 ? 244 : 232;
        putF32(p, dash + 12, 41.5f); // speed
        putU8(p, dash + 70, 4);      // race position
        putU8(p, dash + 71, 200);    // accelerator
        putU8(p, dash + 74, handbrake);
        putU8(p, dash + 75, gear);
    }
    return p;
}

QByteArray TelemetryPackets::outGauge(int size, const char *car, float rpm, bool shiftLight,
                                      bool handbrake, int gear)
{
    QByteArray p(size, '\0');
    putU32(p, 0, 98765);
    std::memcpy(p.data() + 4, car, qMin<size_t>(4, std::strlen(car)));
    putU8(p, 10, gear);
    putU8(p, 11, 1);
    putF32(p, 12, 30.0f);
    putF32(p, 16, rpm);
    putU32(p, 40, 0x7ff);
    putU32(p, 44, (shiftLight ? 1u : 0u) | (handbrake ? 4u : 0u));
    putF32(p, 48, 0.8f);
    std::memcpy(p.data() + 60, "Fuel 42%", 8);
    if (size == 96)
        putU32(p, 92, 7);
    return p;
}

QByteArray TelemetryPackets::codemasters(float rpm, float maxRpm, float gear)
{
    QByteArray p(264, '\0');
    putF32(p, 0, 61.25f);    // total time
    putF32(p, 4 * 7, 25.0f); // speed
    putF32(p, 4 * 29, 0.9f); // throttle
    putF32(p, 4 * 33, gear);
    putF32(p, 4 * 37, rpm);
    putF32(p, 4 * 63, maxRpm);
    putF32(p, 4 * 64, maxRpm / 8);
    putF32(p, 4 * 65, 6);
    return p;
}

void TelemetryPackets::putU8(QByteArray &packet, int offset, int value)
{
    packet[offset] = char(value & 0xff);
}

void TelemetryPackets::putU32(QByteArray &packet, int offset, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        packet[offset + i] = char((value >> (8 * i)) & 0xff);
}

void TelemetryPackets::putF32(QByteArray &packet, int offset, float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    putU32(packet, offset, bits);
}
