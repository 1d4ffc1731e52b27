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

    // EA's F1 of the given UDP format (2021 to 2025): Car Telemetry and Car
    // Status of the player's car (index player), and a Session packet.
    static QByteArray f1Telemetry(int year, int player, int rpm, int revLightsPercent,
                                  int gear = 4);
    // fiaFlag as the game's: 0 none, 1 green, 2 blue, 3 yellow, 4 red.
    static QByteArray f1Status(int year, int player, int maxRpm, int fiaFlag = 0,
                               bool limiter = false);
    // safetyCar: 0 none, 1 full, 2 virtual, 3 formation lap.
    static QByteArray f1Session(int year, bool paused, bool spectating, int safetyCar = 0);
    // An Event packet with its four-letter code, as "CHQF".
    static QByteArray f1Event(int year, const char *code);
    // EA SPORTS WRC's "wrc" structure, 237 bytes.
    static QByteArray wrc(float rpm, float maxRpm, float shiftFraction, float handbrake = 0,
                          int gear = 3);
    // Project CARS 2 / Automobilista 2: telemetry of 559 or 538 bytes, and
    // the game state (2 playing, 3 paused, 1 menus).
    static QByteArray pcars2(int size, int rpm, int maxRpm, int handbrake = 0, int gear = 3);
    static QByteArray pcars2State(int state);
    // Richard Burns Rally, RSF/NGP, 664 bytes.
    static QByteArray rbr(float rpm, float handbrake = 0, int gear = 4);

    // Assetto Corsa: the handshake's answer naming the car, and RTCarInfo.
    static QByteArray acHandshake(const char *car);
    static QByteArray acCarInfo(float rpm, bool limiter = false, int gear = 4);

    // Gran Turismo 7's 296 bytes, encrypted as the console sends them.
    static QByteArray gt7(float rpm, int minAlert, int maxAlert, int flags = 0x0001, int gear = 3);

    static void putU8(QByteArray &packet, int offset, int value);
    static void putU16(QByteArray &packet, int offset, int value);
    static void putU32(QByteArray &packet, int offset, quint32 value);
    static void putF32(QByteArray &packet, int offset, float value);
};

#endif // TELEMETRYPACKETS_H
