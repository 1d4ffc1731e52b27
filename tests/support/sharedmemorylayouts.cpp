// SPDX-License-Identifier: MIT
#include "sharedmemorylayouts.h"

#include "telemetrypackets.h"

#include <QFile>

#include <array>
#include <cstring>

using P = TelemetryPackets;

namespace {

void putF64(QByteArray &b, int offset, double value)
{
    quint64 u;
    std::memcpy(&u, &value, sizeof u);
    P::putU32(b, offset, quint32(u));
    P::putU32(b, offset + 4, quint32(u >> 32));
}

void putText(QByteArray &b, int offset, const char *text)
{
    std::memcpy(b.data() + offset, text, std::strlen(text));
}

using Flag = TelemetryDecoder::Flag;

// Each sim's number for a flag, in the order of TelemetryDecoder::Flag.
quint32 number(Flag flag, const std::array<quint32, TelemetryDecoder::FlagCount> &numbers)
{
    return numbers[size_t(flag)];
}

QByteArray iracing(const SharedMemoryLayouts::State &s)
{
    QByteArray b(8192, '\0');
    // Eight variables, their table after the header, the session's text
    // after that, three rows from 4096.
    struct Var
    {
        const char *name;
        int type, offset;
    };
    const Var vars[] = {{"SessionTime", 5, 24},
                        {"RPM", 4, 0},
                        {"Gear", 2, 4},
                        {"HandbrakeRaw", 4, 8},
                        {"IsOnTrack", 1, 12},
                        {"IsReplayPlaying", 1, 13},
                        {"PlayerCarSLShiftRPM", 4, 16},
                        {"PlayerCarSLBlinkRPM", 4, 20},
                        {"SessionFlags", 3, 32},
                        {"EngineWarnings", 3, 36}};
    const int numVars = 10, varTable = 112, rowBytes = 64, rows = 3, firstRow = 4096;
    // none, green, white, blue, yellow, caution, checkered, black, red
    const quint32 flags = number(s.flag, {0, 0x4, 0x2, 0x20, 0x8, 0x4000, 0x1, 0x10000, 0x10});
    const QByteArray session =
        QByteArray("---\nDriverInfo:\n DriverCarIdleRPM: 900.000\n DriverCarRedLine: ") +
        QByteArray::number(s.maxRpm + 500, 'f', 3) +
        "\n DriverCarSLShiftRPM: " + QByteArray::number(s.shiftRpm, 'f', 3) +
        "\n DriverCarSLBlinkRPM: " + QByteArray::number(s.maxRpm, 'f', 3) + "\n...\n";
    const int sessionAt = varTable + numVars * 144;
    P::putU32(b, 0, 2);
    P::putU32(b, 4, s.driving ? 1 : 0); // connected
    P::putU32(b, 8, 60);
    P::putU32(b, 12, 1);
    P::putU32(b, 16, quint32(session.size()));
    P::putU32(b, 20, quint32(sessionAt));
    P::putU32(b, 24, numVars);
    P::putU32(b, 28, varTable);
    P::putU32(b, 32, rows);
    P::putU32(b, 36, rowBytes);
    putText(b, sessionAt, session.constData());
    for (int k = 0; k < numVars; ++k) {
        const int at = varTable + 144 * k;
        P::putU32(b, at, quint32(vars[k].type));
        P::putU32(b, at + 4, quint32(vars[k].offset));
        P::putU32(b, at + 8, 1);
        putText(b, at + 16, vars[k].name);
    }
    // The newest row is the one after the last: the older ones hold other values.
    for (int r = 0; r < rows; ++r) {
        const quint32 age = (s.tick + rows - 1 - quint32(r)) % rows;
        const int row = firstRow + rowBytes * r;
        P::putU32(b, 48 + 16 * r, s.tick - age);
        P::putU32(b, 52 + 16 * r, quint32(row));
        P::putF32(b, row + 0, age ? 100 : s.rpm);
        P::putU32(b, row + 4, quint32(s.gear));
        P::putF32(b, row + 8, s.handbrake ? 1.0f : 0.0f);
        P::putU8(b, row + 12, 1);
        P::putU8(b, row + 13, 0);
        P::putF32(b, row + 16, s.shiftRpm);
        P::putF32(b, row + 20, 0); // not given live: the session's
        P::putU32(b, row + 32, flags);
        P::putU32(b, row + 36, s.limiter ? 0x10 : 0);
    }
    return b;
}

std::vector<std::pair<QString, QByteArray>> ac(const SharedMemoryLayouts::State &s)
{
    QByteArray physics(2048, '\0'), graphics(2048, '\0'), statics(2048, '\0');
    P::putU32(physics, 0, s.tick);
    P::putU32(physics, 16, quint32(s.gear + 1));
    P::putU32(physics, 20, quint32(s.rpm));
    P::putU32(physics, 248, s.limiter ? 1 : 0);
    P::putU32(graphics, 0, s.tick);
    P::putU32(graphics, 4, s.driving ? 2 : 3); // live, or paused
    // Competizione's: none, green, white, blue, yellow; its globals for the
    // safety car (none: a yellow), red; the flag for chequered, black.
    P::putU32(graphics, 1224, number(s.flag, {0, 7, 4, 1, 2, 2, 5, 3, 0}));
    P::putU32(graphics, 1528, s.flag == Flag::Red ? 1 : 0);
    P::putU16(statics, 0, '1'); // smVersion: the game wrote its pages
    P::putU32(statics, 412, quint32(s.maxRpm));
    return {{QStringLiteral("acpmf_physics"), physics},
            {QStringLiteral("acpmf_graphics"), graphics},
            {QStringLiteral("acpmf_static"), statics}};
}

QByteArray pcars2(const SharedMemoryLayouts::State &s)
{
    QByteArray b(102288, '\0');
    P::putU32(b, 0, quint32(s.version));
    P::putU32(b, 8, s.driving ? 2 : 1);
    P::putU32(b, 6800, number(s.flag, {0, 1, 3, 2, 6, 7, 11, 10, 5}));
    P::putU32(b, 6816, (s.handbrake ? 0x20 : 0) | (s.limiter ? 0x08 : 0));
    P::putF32(b, 6852, s.rpm);
    P::putF32(b, 6856, s.maxRpm);
    P::putU32(b, 6876, quint32(s.gear));
    P::putU32(b, 7320, s.tick * 2);
    P::putF32(b, 7404, s.handbrake ? 1.0f : 0.0f);
    return b;
}

// One car's telemetry record, alike in the plug-in's buffer and LMU's block.
void putCar(QByteArray &b, int at, int id, const SharedMemoryLayouts::State &s, double elapsed)
{
    P::putU32(b, at, quint32(id));
    putF64(b, at + 12, elapsed);
    P::putU32(b, at + 352, quint32(s.gear));
    putF64(b, at + 356, s.rpm);
    putF64(b, at + 532, s.maxRpm);
    P::putU8(b, at + 604, s.limiter ? 1 : 0);
}

// The session's phase and the player's scoring flag for a flag: rFactor 2
// and Le Mans Ultimate say green, blue, the full-course yellow, stopped, over.
int gamePhase(Flag flag)
{
    return flag == Flag::Yellow || flag == Flag::SafetyCar ? 6
           : flag == Flag::Red                             ? 7
           : flag == Flag::Chequered                       ? 8
                                                           : 5;
}

std::vector<std::pair<QString, QByteArray>> rfactor2(const SharedMemoryLayouts::State &s)
{
    QByteArray telemetry(241680, '\0'), scoring(75312, '\0');
    // Three cars; the player's (ID 11) is second in the telemetry, first in scoring.
    const int ids[] = {10, 11, 12};
    P::putU32(telemetry, 0, s.tick);
    P::putU32(telemetry, 4, s.tick);
    P::putU32(telemetry, 12, 3);
    SharedMemoryLayouts::State other = s;
    other.rpm = s.maxRpm * 0.5f;
    for (int i = 0; i < 3; ++i)
        putCar(telemetry, 16 + 1888 * i, ids[i], ids[i] == 11 ? s : other, s.tick * 0.02);
    const quint32 scored = s.tick / 10 + 1;
    P::putU32(scoring, 0, scored);
    P::putU32(scoring, 4, scored);
    putF64(scoring, 80, s.tick * 0.02);
    P::putU32(scoring, 116, 3);
    P::putU8(scoring, 120, quint8(gamePhase(s.flag)));
    P::putU8(scoring, 127, s.driving ? 1 : 0);
    const int order[] = {11, 10, 12};
    for (int j = 0; j < 3; ++j) {
        P::putU32(scoring, 560 + 584 * j, quint32(order[j]));
        P::putU8(scoring, 560 + 584 * j + 196, order[j] == 11 ? 1 : 0);
        P::putU8(scoring, 560 + 584 * j + 504, order[j] == 11 && s.flag == Flag::Blue ? 6 : 0);
    }
    return {{QStringLiteral("$rFactor2SMMP_Telemetry$"), telemetry},
            {QStringLiteral("$rFactor2SMMP_Scoring$"), scoring}};
}

QByteArray lmu(const SharedMemoryLayouts::State &s)
{
    QByteArray b(505000, '\0');
    putF64(b, 1700, (s.tick / 10) * 0.2); // scoring's clock: it moves at a tenth of the rate
    P::putU32(b, 1736, 3);
    P::putU8(b, 1740, quint8(gamePhase(s.flag)));
    P::putU8(b, 1747, s.driving ? 1 : 0);
    // Scoring's cars: the player's first.
    P::putU8(b, 2192 + 196, 1);
    P::putU8(b, 2192 + 504, s.flag == Flag::Blue ? 6 : 0);
    P::putU8(b, 128464, 3);
    P::putU8(b, 128465, 2); // the player's car is the third
    P::putU8(b, 128466, 1);
    SharedMemoryLayouts::State other = s;
    other.rpm = s.maxRpm * 0.5f;
    for (int i = 0; i < 3; ++i)
        putCar(b, 128468 + 1888 * i, i, i == 2 ? s : other, s.tick * 0.02);
    return b;
}

// Layout 3.5; engine speeds in radians per second.
QByteArray raceroom(const SharedMemoryLayouts::State &s)
{
    QByteArray b(43996, '\0');
    const float toRps = float(2 * 3.14159265358979323846 / 60);
    P::putU32(b, 0, 3);
    P::putU32(b, 4, quint32(s.raceRoomMinor));
    P::putU32(b, 20, s.driving ? 0 : 1); // paused
    P::putU32(b, 44, s.tick);
    P::putU32(b, 848, 0);
    // yellow, blue, black, green, checkered, white: each 0 or 1.
    const int at[] = {-1, 972, 980, 964, 932, 932, 976, 968, -1};
    for (int f : {932, 964, 968, 972, 976, 980})
        P::putU32(b, f, 0);
    if (at[size_t(s.flag)] > 0)
        P::putU32(b, at[size_t(s.flag)], 1);
    putText(b, 1196, "Porsche 911 GT3 R");
    P::putF32(b, 1396, s.rpm * toRps);
    P::putF32(b, 1400, s.maxRpm * toRps);
    P::putF32(b, 1404, s.maxRpm * 0.97f * toRps);
    P::putU32(b, 1408, quint32(s.gear));
    P::putU32(b, 1536, 1); // ABS on, not at work
    P::putU32(b, 1540, 1);
    P::putU32(b, 1568, 0);
    P::putU32(b, 1572, s.limiter ? 1 : 0);
    return b;
}

std::vector<std::pair<QString, QByteArray>> acEvo(const SharedMemoryLayouts::State &s)
{
    QByteArray physics(800, '\0'), graphics(4900, '\0'), statics(208, '\0');
    P::putU32(physics, 0, s.tick);
    P::putU32(physics, 16, quint32(s.gear + 1));
    P::putU32(physics, 20, quint32(s.rpm));
    P::putU32(physics, 248, s.limiter ? 1 : 0);
    P::putU32(physics, 588, quint32(s.maxRpm));
    P::putU32(graphics, 0, s.tick);
    P::putU32(graphics, 4, s.driving ? 2 : 3);
    P::putU8(graphics, 43, s.rpm >= s.maxRpm * 0.97f ? 1 : 0); // the upshift window
    P::putF32(graphics, 84, s.handbrake ? 1.0f : 0.0f);
    // none, white, green, red, blue, yellow, black, b/w, chequered: the
    // player's flag; the safety car as the session's yellow.
    P::putU32(graphics, 2404, number(s.flag, {0, 2, 1, 4, 5, 0, 8, 6, 3}));
    P::putU32(graphics, 2408, s.flag == Flag::SafetyCar ? 5 : 0);
    putText(graphics, 3086, "ks_ferrari_296_gt3");
    putText(statics, 0, "1.0");
    return {{QStringLiteral("acevo_pmf_physics"), physics},
            {QStringLiteral("acevo_pmf_graphics"), graphics},
            {QStringLiteral("acevo_pmf_static"), statics}};
}

} // namespace

const std::vector<TelemetryDecoder::Format> &SharedMemoryLayouts::sims()
{
    static const std::vector<TelemetryDecoder::Format> all = {TelemetryDecoder::IRacing,
                                                              TelemetryDecoder::AssettoCorsaMemory,
                                                              TelemetryDecoder::ProjectCars2Memory,
                                                              TelemetryDecoder::LeMansUltimate,
                                                              TelemetryDecoder::RFactor2Memory,
                                                              TelemetryDecoder::RaceRoom,
                                                              TelemetryDecoder::AssettoCorsaEvo};
    return all;
}

std::vector<std::pair<QString, QByteArray>>
SharedMemoryLayouts::blocks(TelemetryDecoder::Format sim, const State &state)
{
    switch (sim) {
    case TelemetryDecoder::IRacing:
        return {{QStringLiteral("IRSDKMemMapFileName"), iracing(state)}};
    case TelemetryDecoder::AssettoCorsaMemory:
        return ac(state);
    case TelemetryDecoder::ProjectCars2Memory:
        return {{QStringLiteral("$pcars2$"), pcars2(state)}};
    case TelemetryDecoder::RFactor2Memory:
        return rfactor2(state);
    case TelemetryDecoder::LeMansUltimate:
        return {{QStringLiteral("LMU_Data"), lmu(state)}};
    case TelemetryDecoder::RaceRoom:
        return {{QStringLiteral("$R3E"), raceroom(state)}};
    case TelemetryDecoder::AssettoCorsaEvo:
        return acEvo(state);
    default:
        return {};
    }
}

bool SharedMemoryLayouts::write(TelemetryDecoder::Format sim, const QString &folder,
                                const State &state)
{
    for (const auto &block : blocks(sim, state)) {
        QFile file(folder + QLatin1Char('/') + block.first);
        // In place, not replaced: a reader that holds the file open sees the change.
        if (!file.open(QIODevice::ReadWrite) || !file.resize(block.second.size()) ||
            file.write(block.second) != block.second.size())
            return false;
    }
    return true;
}
