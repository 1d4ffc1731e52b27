// SPDX-License-Identifier: MIT
#include "acformat.h"

#include "telemetrybytes.h"

using B = TelemetryBytes;

namespace {

constexpr size_t kCarInfoSize = 328;
constexpr size_t kNameBytes = 100; // 50 UTF-16 characters

} // namespace

TelemetryDecoder::Format AcFormat::claims(const unsigned char *p, size_t size)
{
    return size == kCarInfoSize && p[0] == 'a' && B::s32(p, 4) == int32_t(kCarInfoSize)
               ? TelemetryDecoder::AssettoCorsa
               : TelemetryDecoder::Unknown;
}

bool AcFormat::decode(const unsigned char *p, size_t, TelemetryDecoder::Sample *s)
{
    const unsigned inPit = p[24], limiter = p[25];
    const int32_t gear = B::s32(p, 76); // 0 reverse, 1 neutral, 2 first
    if (inPit > 1 || limiter > 1 || gear < 0 || gear > B::MaxForwardGears + 1)
        return false;
    s->rpm = B::f32(p, 68);
    s->hasGear = true;
    s->gear = gear - 1;
    s->hasShiftSignal = true;
    s->shiftSignal = limiter;
    return B::plausibleRpm(s->rpm);
}

bool AcFormat::carOf(const unsigned char *p, size_t size, TelemetryDecoder::Car *car)
{
    if (size != HandshakeSize)
        return false;
    // UTF-16LE, which the game may end with '%' and zeros.
    size_t units = 0;
    while (units < kNameBytes / 2 && (p[2 * units] || p[2 * units + 1]) &&
           !(p[2 * units] == '%' && p[2 * units + 1] == 0))
        ++units;
    TelemetryDecoder::setCarUtf16(car, p, units);
    return true;
}
