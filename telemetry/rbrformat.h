// SPDX-License-Identifier: MIT
#ifndef RBRFORMAT_H
#define RBRFORMAT_H

#include "telemetrydecoder.h"

// Richard Burns Rally with the RSF/NGP plug-in, port 6776: 664 bytes. It
// has no maximum RPM, so the lights learn it.
class RbrFormat
{
public:
    static TelemetryDecoder::Format claims(const unsigned char *data, size_t size);
    static bool decode(const unsigned char *data, size_t size, TelemetryDecoder::Sample *sample);
};

#endif // RBRFORMAT_H
