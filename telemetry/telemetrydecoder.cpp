// SPDX-License-Identifier: MIT
#include "telemetrydecoder.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// Bounds that no engine or gearbox reaches; values beyond them come from a
// packet that is not what its size says. Some trucks have 18 forward gears.
constexpr float kMaxRpm = 100000.0f;
constexpr int kMaxForwardGears = 20;
// A little over the maximum is a rev limiter's overshoot; far over it, garbage.
constexpr float kMaxOverRev = 2.0f;

uint32_t u32At(const unsigned char *p, size_t offset)
{
    p += offset;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

int32_t s32At(const unsigned char *p, size_t offset)
{
    const uint32_t u = u32At(p, offset);
    int32_t s;
    std::memcpy(&s, &u, sizeof s);
    return s;
}

float f32At(const unsigned char *p, size_t offset)
{
    const uint32_t u = u32At(p, offset);
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

bool plausibleRpm(float rpm)
{
    return std::isfinite(rpm) && rpm >= 0 && rpm <= kMaxRpm;
}

bool plausibleRpms(float rpm, float maxRpm)
{
    return plausibleRpm(rpm) && plausibleRpm(maxRpm) && maxRpm > 0 && rpm <= maxRpm * kMaxOverRev;
}

bool decodeForza(const unsigned char *p, TelemetryDecoder::Format format,
                 TelemetryDecoder::Sample *s)
{
    const int32_t raceOn = s32At(p, 0);
    if (raceOn != 0 && raceOn != 1)
        return false;
    s->hasRaceOn = true;
    s->raceOn = raceOn == 1;
    s->maxRpm = f32At(p, 8);
    s->rpm = f32At(p, 16);
    if (format != TelemetryDecoder::ForzaSled) {
        const size_t dash = format == TelemetryDecoder::ForzaWorldDash ? 244 : 232;
        const unsigned gear = p[dash + 75];
        if (gear > kMaxForwardGears)
            return false;
        s->hasHandbrake = true;
        s->handbrake = p[dash + 74] > 0;
    }
    // In menus the game sends zeros, the maximum too: nothing to show, but
    // a sound packet.
    if (!s->raceOn)
        return plausibleRpm(s->rpm) && plausibleRpm(s->maxRpm);
    return plausibleRpms(s->rpm, s->maxRpm);
}

bool decodeOutGauge(const unsigned char *p, TelemetryDecoder::Sample *s)
{
    const unsigned gear = p[10]; // 0 reverse, 1 neutral, 2 first
    if (gear > kMaxForwardGears + 1)
        return false;
    std::memcpy(s->car.data(), p + 4, s->car.size());
    s->rpm = f32At(p, 16);
    const uint32_t showLights = u32At(p, 44);
    s->shiftLight = showLights & 1u;
    s->hasHandbrake = true;
    s->handbrake = showLights & 4u;
    return plausibleRpm(s->rpm);
}

bool decodeCodemasters(const unsigned char *p, TelemetryDecoder::Sample *s)
{
    // Reverse is -1 or 10, depending on the title.
    const float gear = f32At(p, 4 * 33);
    if (!(gear >= -1 && gear <= kMaxForwardGears) || gear != std::floor(gear))
        return false;
    s->rpm = f32At(p, 4 * 37);
    s->maxRpm = f32At(p, 4 * 63);
    return plausibleRpms(s->rpm, s->maxRpm);
}

} // namespace

TelemetryDecoder::Format TelemetryDecoder::formatOfSize(size_t size)
{
    switch (size) {
    case 232:
        return ForzaSled;
    case 311:
        return ForzaDash;
    case 324:
        return ForzaWorldDash;
    case 331:
        return ForzaDashTyres;
    case 92:
        return OutGauge;
    case 96:
        return OutGaugeWithId;
    case 264:
        return Codemasters;
    default:
        return Unknown;
    }
}

bool TelemetryDecoder::decode(const unsigned char *data, size_t size, Sample *sample)
{
    *sample = Sample();
    sample->format = formatOfSize(size);
    switch (sample->format) {
    case Unknown:
        return false;
    case ForzaSled:
    case ForzaDash:
    case ForzaWorldDash:
    case ForzaDashTyres:
        return decodeForza(data, sample->format, sample);
    case OutGauge:
    case OutGaugeWithId:
        return decodeOutGauge(data, sample);
    case Codemasters:
        return decodeCodemasters(data, sample);
    }
    return false;
}

QString TelemetryDecoder::formatName(Format format)
{
    switch (format) {
    case Unknown:
        break;
    case ForzaSled:
        return QStringLiteral("Forza Data Out, sled (232 bytes)");
    case ForzaDash:
        return QStringLiteral("Forza Data Out, dash (311 bytes)");
    case ForzaWorldDash:
        return QStringLiteral("Forza Data Out, open-world dash (324 bytes)");
    case ForzaDashTyres:
        return QStringLiteral("Forza Data Out, dash with tyre wear (331 bytes)");
    case OutGauge:
        return QStringLiteral("OutGauge (92 bytes)");
    case OutGaugeWithId:
        return QStringLiteral("OutGauge with ID (96 bytes)");
    case Codemasters:
        return QStringLiteral("Codemasters, extradata=3 (264 bytes)");
    }
    return QStringLiteral("unknown");
}
