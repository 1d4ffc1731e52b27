// SPDX-License-Identifier: MIT
#ifndef WRCFORMAT_H
#define WRCFORMAT_H

#include "telemetrydecoder.h"

// EA SPORTS WRC's default "wrc" structure: one packet of 237 bytes per
// frame while a stage is driven. Its shift-light fraction reaching 1 (the
// end of the game's optimal shift window) is the shift signal.
class WrcFormat
{
public:
    static TelemetryDecoder::Format claims(const unsigned char *data, size_t size);
    static bool decode(const unsigned char *data, size_t size, TelemetryDecoder::Sample *sample);
};

#endif // WRCFORMAT_H
