// SPDX-License-Identifier: MIT
#ifndef F1FORMAT_H
#define F1FORMAT_H

#include "telemetrydecoder.h"

// EA's F1 2021 to F1 25 on port 20777: a header that names the packet
// format (the year, 2021 to 2025; F1 24 and 25 can send the older layouts),
// then one kind of packet. Car Telemetry gives the player's RPM, gear and
// the game's rev lights (all lit: its shift signal) and DRS open, Car Status
// the maximum, the player's flag, the pit limiter and DRS allowed, Session
// whether the game is paused (network games) or spectating and the safety
// car, Event the chequered and red flags. Other kinds carry nothing for the
// lights but are the game's all the same.
class F1Format
{
public:
    static TelemetryDecoder::Format claims(const unsigned char *data, size_t size);
    // Only a packet whose header is F1's beyond doubt (the 2023 layout on,
    // with its game year): asked before the formats of fixed sizes, one of
    // which (EA SPORTS WRC's 237 bytes) F1 24's Motion Ex shares.
    static TelemetryDecoder::Format claimsByHeader(const unsigned char *data, size_t size);
    static bool decode(const unsigned char *data, size_t size, TelemetryDecoder::Sample *sample);
};

#endif // F1FORMAT_H
