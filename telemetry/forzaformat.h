// SPDX-License-Identifier: MIT
#ifndef FORZAFORMAT_H
#define FORZAFORMAT_H

#include "telemetrydecoder.h"

// Forza "Data Out": the sled of 232 bytes, the dash of 311, the open-world
// dash of 324 and the dash with tyre wear of 331.
class ForzaFormat
{
public:
    static TelemetryDecoder::Format claims(const unsigned char *data, size_t size);
    static bool decode(const unsigned char *data, size_t size, TelemetryDecoder::Sample *sample);
};

#endif // FORZAFORMAT_H
