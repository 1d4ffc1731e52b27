// SPDX-License-Identifier: MIT
#ifndef GT7FORMAT_H
#define GT7FORMAT_H

#include "telemetrydecoder.h"

// Gran Turismo 7 and GT Sport's simulator interface: 296 bytes, Salsa20
// over the whole packet with the game's key and a nonce made from bytes of
// the packet itself, sent to whoever keeps a heartbeat going (Gt7Link).
// The rev indicator's window gives the shift point (its bottom, where the
// game's indicator starts to flash) and the maximum (its top).
class Gt7Format
{
public:
    static constexpr size_t PacketSize = 296;

    static TelemetryDecoder::Format claims(const unsigned char *data, size_t size);
    // Decrypts with each game's key in turn; the one whose magic matches
    // names the format.
    static bool decode(const unsigned char *data, size_t size, TelemetryDecoder::Sample *sample);
    // Encrypts (or decrypts: Salsa20 is its own inverse) a packet of the
    // format's game in place, its nonce taken from offset 0x40 of `nonceFrom`.
    static void crypt(TelemetryDecoder::Format game, const unsigned char *in, unsigned char *out,
                      const unsigned char *nonceFrom);
};

#endif // GT7FORMAT_H
