// SPDX-License-Identifier: MIT
#ifndef PCARS2FORMAT_H
#define PCARS2FORMAT_H

#include "telemetrydecoder.h"

// Automobilista 2 and Project CARS 2 on port 5606 ("Project CARS 2" UDP):
// a 12-byte base, then by its type telemetry of the viewed car (RPM,
// maximum, gear, handbrake) or the game's state (anything but playing is
// idle).
class PCars2Format
{
public:
    static TelemetryDecoder::Format claims(const unsigned char *data, size_t size);
    static bool decode(const unsigned char *data, size_t size, TelemetryDecoder::Sample *sample);
};

#endif // PCARS2FORMAT_H
