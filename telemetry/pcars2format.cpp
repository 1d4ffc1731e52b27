// SPDX-License-Identifier: MIT
#include "pcars2format.h"

#include "telemetrybytes.h"

using B = TelemetryBytes;

namespace {

constexpr size_t kType = 10;
enum PacketType { Telemetry = 0, GameState = 4 };
enum GameStateValue { Playing = 2 };
constexpr unsigned kSpeedLimiter = 8;

bool isTelemetry(const unsigned char *p, size_t size)
{
    // v1, v2 before Patch 5, v2 Patch 5 (AMS2); the fields read are alike.
    return (size == 374 || size == 538 || size == 559) && p[kType] == Telemetry;
}

bool isGameState(const unsigned char *p, size_t size)
{
    return (size == 16 || size == 24) && p[kType] == GameState;
}

} // namespace

TelemetryDecoder::Format PCars2Format::claims(const unsigned char *p, size_t size)
{
    return isTelemetry(p, size) || isGameState(p, size) ? TelemetryDecoder::ProjectCars2
                                                        : TelemetryDecoder::Unknown;
}

bool PCars2Format::decode(const unsigned char *p, size_t size, TelemetryDecoder::Sample *s)
{
    if (isGameState(p, size)) {
        s->hasRpm = false;
        s->hasRaceOn = true;
        s->raceOn = (p[14] & 7) == Playing;
        return true;
    }
    const int gear = p[45] & 0x0f; // 0 neutral, 15 reverse
    s->rpm = B::u16(p, 40);
    s->maxRpm = B::u16(p, 42);
    s->hasGear = true;
    s->gear = gear == 15 ? -1 : gear;
    // Where version 1 keeps the handbrake is not known for certain.
    s->hasHandbrake = size != 374;
    s->handbrake = s->hasHandbrake && p[370] > 0;
    // sCarFlags, as the shared memory's mCarFlags.
    s->hasLimiter = s->hasHandbrake;
    s->limiter = s->hasLimiter && (p[17] & kSpeedLimiter);
    // The maximum is 0 before a car is loaded: nothing to show yet.
    return s->maxRpm == 0 ? s->rpm == 0 : B::plausibleRpms(s->rpm, s->maxRpm);
}
