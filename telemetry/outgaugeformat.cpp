// SPDX-License-Identifier: MIT
#include "outgaugeformat.h"

#include "telemetrybytes.h"

#include <cstring>

using B = TelemetryBytes;

TelemetryDecoder::Format OutGaugeFormat::claims(const unsigned char *, size_t size)
{
    if (size == 92)
        return TelemetryDecoder::OutGauge;
    if (size == 96)
        return TelemetryDecoder::OutGaugeWithId;
    return TelemetryDecoder::Unknown;
}

bool OutGaugeFormat::decode(const unsigned char *p, size_t, TelemetryDecoder::Sample *s)
{
    const int gear = p[10]; // 0 reverse, 1 neutral, 2 first
    if (gear > B::MaxForwardGears + 1)
        return false;
    s->hasGear = true;
    s->gear = gear == 0 ? -1 : gear - 1;
    std::memcpy(s->car.data(), p + 4, 4); // the short car name, as "FZ50"
    s->rpm = B::f32(p, 16);
    const uint32_t showLights = B::u32(p, 44);
    s->hasShiftSignal = true;
    s->shiftSignal = showLights & 1u;
    s->hasHandbrake = true;
    s->handbrake = showLights & 4u;
    s->hasLimiter = true;
    s->limiter = showLights & 8u; // the pit speed limiter
    s->hasTc = true;
    s->tc = showLights & 0x10u;
    s->hasAbs = true;
    s->abs = showLights & 0x400u;
    return B::plausibleRpm(s->rpm);
}
