// SPDX-License-Identifier: MIT
// Sequences of UDP telemetry packets, mostly of the sizes the games send,
// through the decoder and the lights, with time passing between them.
#include "fuzzsupport.h"
#include "telemetrydecoder.h"
#include "telemetrylights.h"

#include <algorithm>
#include <cmath>

namespace {

// Every size a format takes: Forza, OutGauge, Codemasters, EA WRC, RBR,
// Project CARS 2 (telemetry and state), F1 (Car Telemetry and Status, old
// and new, a Session and an Event), Assetto Corsa, Gran Turismo (any bytes
// decrypt to something; the magic must reject them).
const size_t kSizes[] = {232, 311, 324,  331,  92,   96,   264, 237, 664, 559, 538, 374,
                         24,  16,  1352, 1347, 1239, 1058, 753, 632, 45,  40,  328, 296};
constexpr size_t kSizeCount = sizeof kSizes / sizeof kSizes[0];
const QRgb kIdle = qRgb(1, 2, 3);

// The rev light's, the handbrake's, and the race's colours of the default profile.
bool isLightColor(QRgb c)
{
    if (c == kIdle || c == qRgb(0, 255, 0) || c == qRgb(255, 255, 0) || c == qRgb(255, 0, 0) ||
        c == qRgb(0, 0, 255) || c == qRgb(0, 0, 0))
        return true;
    const LightsProfile::Race race = LightsProfile::defaults().settings.race;
    for (const LightsProfile::Signal &signal : race.flags)
        if (std::find(signal.colors.begin(), signal.colors.end(), c) != signal.colors.end())
            return true;
    for (const LightsProfile::Signal &signal : race.items)
        if (std::find(signal.colors.begin(), signal.colors.end(), c) != signal.colors.end())
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    qint64 now = 0;
    qint64 lastReadable = -1;
    TelemetryLights lights(kIdle, 0.5 + (in.byte() % 51) / 100.0, [&now] { return now; });
    FUZZ_CHECK(lights.colors() == TelemetryLights::Colors{kIdle, kIdle, kIdle});
    while (!in.atEnd()) {
        const uint8_t kind = in.byte();
        const uint8_t wait = in.byte();
        now += (wait & 0x80) ? (wait & 0x7f) * 50 : wait;
        // Mostly a size the games send; now and then any size.
        const size_t packetSize = kind % (kSizeCount + 1) < kSizeCount
                                      ? kSizes[kind % (kSizeCount + 1)]
                                      : size_t(in.byte()) * 8;
        QByteArray packet = in.bytes(packetSize);
        packet.resize(int(packetSize)); // zeros past the input's end

        TelemetryDecoder::Sample sample;
        const bool readable = TelemetryDecoder::decode(
            reinterpret_cast<const unsigned char *>(packet.constData()), packetSize, &sample);
        if (readable) {
            FUZZ_CHECK(sample.format != TelemetryDecoder::Unknown);
            if (sample.hasRpm)
                FUZZ_CHECK(std::isfinite(sample.rpm) && sample.rpm >= 0);
            FUZZ_CHECK(std::isfinite(sample.maxRpm) && sample.maxRpm >= 0);
            FUZZ_CHECK(!sample.hasGear || (sample.gear >= -1 && sample.gear <= 20));
            lights.feed(sample);
            lastReadable = now;
        }
        const TelemetryLights::Colors colors = lights.colors();
        for (QRgb c : colors)
            FUZZ_CHECK(isLightColor(c));
        FUZZ_CHECK(colors[1] == colors[2]);
        if (lastReadable < 0 || now - lastReadable >= TelemetryLights::SilenceMs)
            FUZZ_CHECK(colors == TelemetryLights::Colors{kIdle, kIdle, kIdle});
        const int wait2 = lights.msUntilChange();
        FUZZ_CHECK(wait2 >= -1 && wait2 <= TelemetryLights::SilenceMs);
    }
    return 0;
}
