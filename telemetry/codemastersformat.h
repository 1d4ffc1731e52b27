// SPDX-License-Identifier: MIT
#ifndef CODEMASTERSFORMAT_H
#define CODEMASTERSFORMAT_H

#include "telemetrydecoder.h"

// The Codemasters format with extradata="3" (DiRT Rally 2.0, DiRT 4 and the
// legacy mode of later rally titles): 264 bytes, 66 floats.
class CodemastersFormat
{
public:
    static TelemetryDecoder::Format claims(const unsigned char *data, size_t size);
    static bool decode(const unsigned char *data, size_t size, TelemetryDecoder::Sample *sample);
};

#endif // CODEMASTERSFORMAT_H
