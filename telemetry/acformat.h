// SPDX-License-Identifier: MIT
#ifndef ACFORMAT_H
#define ACFORMAT_H

#include "telemetrydecoder.h"

#include <array>

// Assetto Corsa's UDP interface (port 9996 on the game's machine): RTCarInfo,
// 328 bytes, once subscribed (AssettoCorsaLink does that). RPM, gear and the
// rev limiter flag, which is its shift signal; no maximum, so the lights
// learn one per car, named by the handshake's answer.
class AcFormat
{
public:
    static constexpr size_t HandshakeSize = 408;

    static TelemetryDecoder::Format claims(const unsigned char *data, size_t size);
    static bool decode(const unsigned char *data, size_t size, TelemetryDecoder::Sample *sample);
    // The handshake's answer: its car name, for Sample::car.
    static bool carOf(const unsigned char *data, size_t size, TelemetryDecoder::Car *car);
};

#endif // ACFORMAT_H
