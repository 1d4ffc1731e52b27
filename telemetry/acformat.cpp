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

bool AcFormat::carOf(const unsigned char *p, size_t size, std::array<char, 4> *car)
{
    if (size != HandshakeSize)
        return false;
    // FNV-1a over the name's bytes up to its end: any change of car changes it.
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i + 1 < kNameBytes && (p[i] || p[i + 1]); i += 2) {
        hash = (hash ^ p[i]) * 16777619u;
        hash = (hash ^ p[i + 1]) * 16777619u;
    }
    for (size_t i = 0; i < car->size(); ++i)
        (*car)[i] = char(hash >> (8 * i));
    return true;
}
