// SPDX-License-Identifier: MIT
#include "rbrformat.h"

#include "telemetrybytes.h"

using B = TelemetryBytes;

TelemetryDecoder::Format RbrFormat::claims(const unsigned char *, size_t size)
{
    return size == 664 ? TelemetryDecoder::RichardBurnsRally : TelemetryDecoder::Unknown;
}

bool RbrFormat::decode(const unsigned char *p, size_t, TelemetryDecoder::Sample *s)
{
    const float handbrake = B::f32(p, 36);
    const int32_t gear = B::s32(p, 44); // 0 reverse, 1 neutral, 2 first
    if (!B::plausibleFraction(handbrake) || gear < 0 || gear > B::MaxForwardGears + 1)
        return false;
    s->rpm = B::f32(p, 136);
    s->hasGear = true;
    s->gear = gear - 1;
    s->hasHandbrake = true;
    s->handbrake = handbrake >= 0.1f;
    return B::plausibleRpm(s->rpm);
}
