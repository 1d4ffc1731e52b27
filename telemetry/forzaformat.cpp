// SPDX-License-Identifier: MIT
#include "forzaformat.h"

#include "telemetrybytes.h"

using B = TelemetryBytes;

TelemetryDecoder::Format ForzaFormat::claims(const unsigned char *, size_t size)
{
    switch (size) {
    case 232:
        return TelemetryDecoder::ForzaSled;
    case 311:
        return TelemetryDecoder::ForzaDash;
    case 324:
        return TelemetryDecoder::ForzaWorldDash;
    case 331:
        return TelemetryDecoder::ForzaDashTyres;
    default:
        return TelemetryDecoder::Unknown;
    }
}

bool ForzaFormat::decode(const unsigned char *p, size_t, TelemetryDecoder::Sample *s)
{
    const int32_t raceOn = B::s32(p, 0);
    if (raceOn != 0 && raceOn != 1)
        return false;
    s->hasRaceOn = true;
    s->raceOn = raceOn == 1;
    s->maxRpm = B::f32(p, 8);
    s->rpm = B::f32(p, 16);
    if (const int32_t ordinal = B::s32(p, 212)) // the car's number; 0 in menus
        TelemetryDecoder::setCar(&s->car, ordinal);
    if (s->format != TelemetryDecoder::ForzaSled) {
        const size_t dash = s->format == TelemetryDecoder::ForzaWorldDash ? 244 : 232;
        const int gear = p[dash + 75]; // 0 reverse
        if (gear > B::MaxForwardGears)
            return false;
        s->hasGear = true;
        s->gear = gear == 0 ? -1 : gear;
        s->hasHandbrake = true;
        s->handbrake = p[dash + 74] > 0;
    }
    // In menus the game sends zeros, the maximum too: nothing to show, but
    // a sound packet.
    if (!s->raceOn)
        return B::plausibleRpm(s->rpm) && B::plausibleRpm(s->maxRpm);
    return B::plausibleRpms(s->rpm, s->maxRpm);
}
