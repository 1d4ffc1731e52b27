// SPDX-License-Identifier: MIT
#ifndef TELEMETRYBYTES_H
#define TELEMETRYBYTES_H

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Little-endian fields at byte offsets of a packet, whatever the host, and
// the bounds that tell a game's values from garbage. The caller has checked
// the packet's or block's size.
class TelemetryBytes
{
public:
    // No engine or gearbox reaches these; values beyond them come from a
    // packet that is not what its size says. Some trucks have 18 gears.
    static constexpr float MaxRpm = 100000.0f;
    static constexpr int MaxForwardGears = 20;
    // A little over the maximum is a rev limiter's overshoot; far over it, garbage.
    static constexpr float MaxOverRev = 2.0f;

    static uint16_t u16(const unsigned char *p, size_t offset)
    {
        return uint16_t(p[offset] | p[offset + 1] << 8);
    }
    static int16_t s16(const unsigned char *p, size_t offset)
    {
        const uint16_t u = u16(p, offset);
        int16_t s;
        std::memcpy(&s, &u, sizeof s);
        return s;
    }
    static uint32_t u32(const unsigned char *p, size_t offset)
    {
        p += offset;
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
    static int32_t s32(const unsigned char *p, size_t offset)
    {
        const uint32_t u = u32(p, offset);
        int32_t s;
        std::memcpy(&s, &u, sizeof s);
        return s;
    }
    static float f32(const unsigned char *p, size_t offset)
    {
        const uint32_t u = u32(p, offset);
        float f;
        std::memcpy(&f, &u, sizeof f);
        return f;
    }
    static uint64_t u64(const unsigned char *p, size_t offset)
    {
        return uint64_t(u32(p, offset)) | uint64_t(u32(p, offset + 4)) << 32;
    }
    static double f64(const unsigned char *p, size_t offset)
    {
        const uint64_t u = u64(p, offset);
        double d;
        std::memcpy(&d, &u, sizeof d);
        return d;
    }

    static bool plausibleRpm(float rpm) { return std::isfinite(rpm) && rpm >= 0 && rpm <= MaxRpm; }
    // An RPM with the maximum it is judged against.
    static bool plausibleRpms(float rpm, float maxRpm)
    {
        return plausibleRpm(rpm) && plausibleRpm(maxRpm) && maxRpm > 0 &&
               rpm <= maxRpm * MaxOverRev;
    }
    // A pedal or lever from 0 to 1.
    static bool plausibleFraction(float value)
    {
        return std::isfinite(value) && value >= -0.01f && value <= 1.01f;
    }
};

#endif // TELEMETRYBYTES_H
