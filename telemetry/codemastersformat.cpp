// SPDX-License-Identifier: MIT
#include "codemastersformat.h"

#include "telemetrybytes.h"

using B = TelemetryBytes;

TelemetryDecoder::Format CodemastersFormat::claims(const unsigned char *, size_t size)
{
    return size == 264 ? TelemetryDecoder::Codemasters : TelemetryDecoder::Unknown;
}

bool CodemastersFormat::decode(const unsigned char *p, size_t, TelemetryDecoder::Sample *s)
{
    // Reverse is -1 or 10, depending on the title.
    const float gear = B::f32(p, 4 * 33);
    if (!(gear >= -1 && gear <= B::MaxForwardGears) || gear != std::floor(gear))
        return false;
    s->hasGear = true;
    s->gear = gear == 10 || gear == -1 ? -1 : int(gear);
    s->rpm = B::f32(p, 4 * 37);
    s->maxRpm = B::f32(p, 4 * 63);
    return B::plausibleRpms(s->rpm, s->maxRpm);
}
