// SPDX-License-Identifier: MIT
#ifndef OUTGAUGEFORMAT_H
#define OUTGAUGEFORMAT_H

#include "telemetrydecoder.h"

// OutGauge of Live for Speed and BeamNG.drive: 92 bytes, 96 with an ID. It
// has no maximum RPM, so the lights learn one per car; its shift light is
// the game's shift signal.
class OutGaugeFormat
{
public:
    static TelemetryDecoder::Format claims(const unsigned char *data, size_t size);
    static bool decode(const unsigned char *data, size_t size, TelemetryDecoder::Sample *sample);
};

#endif // OUTGAUGEFORMAT_H
