// SPDX-License-Identifier: MIT
#include "telemetrypackets.h"

#include "gt7format.h"

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

namespace {

// The header of an F1 packet; returns where the cars' blocks begin.
int f1Header(QByteArray &p, int year, int id, int player)
{
    TelemetryPackets::putU16(p, 0, year);
    if (year >= 2023) {
        TelemetryPackets::putU8(p, 2, year - 2000);
        TelemetryPackets::putU8(p, 6, id);
        TelemetryPackets::putU8(p, 27, player);
        return 29;
    }
    TelemetryPackets::putU8(p, 5, id);
    TelemetryPackets::putU8(p, 22, player);
    return 24;
}

} // namespace

QByteArray TelemetryPackets::f1Telemetry(int year, int player, int rpm, int revLightsPercent,
                                         int gear)
{
    QByteArray p(year >= 2023 ? 1352 : 1347, '\0');
    const int header = f1Header(p, year, 6, player);
    const int car = header + player * 60;
    putU8(p, car + 15, gear & 0xff);
    putU16(p, car + 16, rpm);
    putU8(p, car + 19, revLightsPercent);
    // Another car revs higher, so that the player's is the one read.
    putU16(p, header + ((player + 1) % 22) * 60 + 16, 15000);
    return p;
}

QByteArray TelemetryPackets::f1Status(int year, int player, int maxRpm, int fiaFlag, bool limiter)
{
    QByteArray p(year >= 2023 ? 1239 : 1058, '\0');
    const int car = f1Header(p, year, 7, player) + player * (year >= 2023 ? 55 : 47);
    putU8(p, car + 4, limiter ? 1 : 0);
    putU16(p, car + 17, maxRpm);
    putU16(p, car + 19, 4000);
    putU8(p, car + 21, 8);
    putU8(p, car + 28, fiaFlag & 0xff);
    return p;
}

QByteArray TelemetryPackets::f1Session(int year, bool paused, bool spectating, int safetyCar)
{
    QByteArray p(year >= 2023 ? 753 : 632, '\0');
    const int header = f1Header(p, year, 1, 0);
    putU8(p, header + 14, paused ? 1 : 0);
    putU8(p, header + 15, spectating ? 1 : 0);
    putU8(p, header + 124, safetyCar);
    return p;
}

QByteArray TelemetryPackets::f1Event(int year, const char *code)
{
    QByteArray p(year >= 2023 ? 45 : 40, '\0');
    const int header = f1Header(p, year, 3, 0);
    p.replace(header, 4, code, 4);
    return p;
}

QByteArray TelemetryPackets::wrc(float rpm, float maxRpm, float shiftFraction, float handbrake,
                                 int gear)
{
    QByteArray p(237, '\0');
    putU32(p, 0, 1234);
    putF32(p, 24, shiftFraction);
    putF32(p, 28, maxRpm * 0.8f);
    putF32(p, 32, maxRpm * 0.9f);
    putU8(p, 36, 1);
    putU8(p, 37, gear);
    putU8(p, 38, 0);  // neutral
    putU8(p, 39, 10); // reverse
    putU8(p, 40, 6);
    putF32(p, 185, maxRpm);
    putF32(p, 189, maxRpm / 8);
    putF32(p, 193, rpm);
    putF32(p, 213, handbrake);
    return p;
}

QByteArray TelemetryPackets::pcars2(int size, int rpm, int maxRpm, int handbrake, int gear)
{
    QByteArray p(size, '\0');
    putU32(p, 0, 77);
    putU8(p, 10, 0); // telemetry
    putU8(p, 11, 2);
    putU16(p, 40, rpm);
    putU16(p, 42, maxRpm);
    putU8(p, 45, 6 << 4 | gear);
    putU8(p, 370, handbrake);
    return p;
}

QByteArray TelemetryPackets::pcars2State(int state)
{
    QByteArray p(24, '\0');
    putU8(p, 10, 4); // game state
    putU16(p, 12, 1300);
    putU8(p, 14, state);
    return p;
}

QByteArray TelemetryPackets::rbr(float rpm, float handbrake, int gear)
{
    QByteArray p(664, '\0');
    putU32(p, 0, 5000);
    putF32(p, 12, 42.0f);
    putF32(p, 36, handbrake);
    putU32(p, 44, quint32(gear));
    putF32(p, 60, 20.0f);
    putF32(p, 136, rpm);
    return p;
}

void TelemetryPackets::putU16(QByteArray &packet, int offset, int value)
{
    putU8(packet, offset, value & 0xff);
    putU8(packet, offset + 1, (value >> 8) & 0xff);
}

QByteArray TelemetryPackets::acHandshake(const char *car)
{
    QByteArray p(408, '\0');
    // Names in UTF-16LE, 50 characters each.
    for (int i = 0; car[i] && i < 49; ++i)
        putU8(p, 2 * i, car[i]);
    putU32(p, 200, 4242);
    putU32(p, 204, 1);
    return p;
}

QByteArray TelemetryPackets::acCarInfo(float rpm, bool limiter, int gear)
{
    QByteArray p(328, '\0');
    putU8(p, 0, 'a');
    putU32(p, 4, 328);
    putF32(p, 8, 120.0f); // speed, km/h
    putU8(p, 25, limiter ? 1 : 0);
    putU32(p, 40, 61000);
    putF32(p, 68, rpm);
    putU32(p, 76, quint32(gear));
    return p;
}

QByteArray TelemetryPackets::gt7(float rpm, int minAlert, int maxAlert, int flags, int gear)
{
    QByteArray plain(296, '\0');
    putU32(plain, 0, 0x47375330); // the magic
    putF32(plain, 0x3C, rpm);
    putF32(plain, 0x4C, 40.0f); // speed, m/s
    putU32(plain, 0x70, 1000);  // packet id
    putU8(plain, 0x88, minAlert & 0xff);
    putU8(plain, 0x89, minAlert >> 8);
    putU8(plain, 0x8A, maxAlert & 0xff);
    putU8(plain, 0x8B, maxAlert >> 8);
    putU8(plain, 0x8E, flags & 0xff);
    putU8(plain, 0x8F, flags >> 8);
    putU8(plain, 0x90, 0x20 | gear);
    // The nonce comes from the ciphertext at 0x40: the plain text there is
    // whatever makes the ciphertext hold it.
    const quint32 iv = 0x1234abcd;
    QByteArray nonceFrom(296, '\0');
    putU32(nonceFrom, 0x40, iv);
    QByteArray stream(296, '\0'), zeros(296, '\0');
    const auto bytes = [](QByteArray &a) { return reinterpret_cast<unsigned char *>(a.data()); };
    Gt7Format::crypt(TelemetryDecoder::GranTurismo7, bytes(zeros), bytes(stream), bytes(nonceFrom));
    QByteArray out(296, '\0');
    for (int i = 0; i < 296; ++i)
        out[i] = char(plain[i] ^ stream[i]);
    putU32(out, 0x40, iv);
    return out;
}
