// SPDX-License-Identifier: MIT
#ifndef TELEMETRYDECODER_H
#define TELEMETRYDECODER_H

#include <QString>

#include <array>
#include <cstddef>

// Reads one UDP telemetry packet of a racing game. The formats have no
// header, so the size alone tells which one it is; every value is
// little-endian, whatever the host. Pure and allocation-free: it runs once
// per packet, 60 times a second or more.
class TelemetryDecoder
{
public:
    enum Format {
        Unknown,
        ForzaSled,      // 232 bytes
        ForzaDash,      // 311 bytes
        ForzaWorldDash, // 324 bytes, the open-world titles
        ForzaDashTyres, // 331 bytes, the dash plus tyre wear and track
        OutGauge,       // 92 bytes
        OutGaugeWithId, // 96 bytes
        Codemasters,    // 264 bytes, extradata="3"
    };

    struct Sample
    {
        Format format = Unknown;
        float rpm = 0;
        float maxRpm = 0;          // 0 where the format has none (OutGauge)
        bool hasHandbrake = false; // Forza's dash formats and OutGauge
        bool handbrake = false;
        bool hasRaceOn = false; // Forza
        bool raceOn = true;
        std::array<char, 4> car{}; // OutGauge: the short car name, NUL-padded
        bool shiftLight = false;   // OutGauge: ShowLights bit 0
    };

    // Largest packet of any format; a reader's buffer needs at least one byte more,
    // so that a longer packet shows as one of no known size.
    static constexpr size_t MaxPacketSize = 331;

    // Fills sample and returns true, or returns false for a packet that is
    // of no known size or carries values no game sends; then only the
    // sample's format counts (Unknown for an unknown size).
    static bool decode(const unsigned char *data, size_t size, Sample *sample);

    static Format formatOfSize(size_t size);
    // As standard error names it, with the size.
    static QString formatName(Format format);
};

#endif // TELEMETRYDECODER_H
