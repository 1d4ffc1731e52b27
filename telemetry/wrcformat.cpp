// SPDX-License-Identifier: MIT
#include "wrcformat.h"

#include "telemetrybytes.h"

using B = TelemetryBytes;

TelemetryDecoder::Format WrcFormat::claims(const unsigned char *, size_t size)
{
    return size == 237 ? TelemetryDecoder::EaWrc : TelemetryDecoder::Unknown;
}

bool WrcFormat::decode(const unsigned char *p, size_t, TelemetryDecoder::Sample *s)
{
    const float fraction = B::f32(p, 24);
    const unsigned valid = p[36];
    const int gear = p[37], neutral = p[38], reverse = p[39], gears = p[40];
    const float handbrake = B::f32(p, 213);
    if (valid > 1 || gears > B::MaxForwardGears || gear > B::MaxForwardGears + 2 ||
        !B::plausibleFraction(handbrake) || !std::isfinite(fraction))
        return false;
    s->maxRpm = B::f32(p, 185);
    s->rpm = B::f32(p, 193);
    s->hasGear = true;
    s->gear = gear == reverse ? -1 : gear == neutral ? 0 : gear;
    // Up to two above the last forward gear only where those are reverse and neutral.
    if (s->gear > B::MaxForwardGears)
        return false;
    s->hasHandbrake = true;
    s->handbrake = handbrake >= 0.1f;
    s->hasShiftSignal = valid;
    s->shiftSignal = valid && fraction >= 1.0f;
    return B::plausibleRpms(s->rpm, s->maxRpm);
}
