// SPDX-License-Identifier: MIT
#include "gt7format.h"

#include "telemetrybytes.h"

#include <sodium.h>

using B = TelemetryBytes;

namespace {

constexpr uint32_t kMagic = 0x47375330; // "0S7G"
constexpr uint32_t kIvXor = 0xDEADBEAF; // for the heartbeat "A"
constexpr size_t kIvOffset = 0x40;

// The first 32 bytes of each game's key string.
const unsigned char *keyOf(TelemetryDecoder::Format game)
{
    static const char gt7[] = "Simulator Interface Packet GT7 ver 0.0";
    static const char gtSport[] = "Simulator Interface Packet ver 0.0";
    return reinterpret_cast<const unsigned char *>(
        game == TelemetryDecoder::GranTurismo7 ? gt7 : gtSport);
}

enum Flags : uint16_t {
    Paused = 1 << 1,
    Loading = 1 << 2,
    HandbrakeActive = 1 << 6,
    AsmActive = 1 << 10,
    TcsActive = 1 << 11,
};

} // namespace

TelemetryDecoder::Format Gt7Format::claims(const unsigned char *, size_t size)
{
    return size == PacketSize ? TelemetryDecoder::GranTurismo7 : TelemetryDecoder::Unknown;
}

void Gt7Format::crypt(TelemetryDecoder::Format game, const unsigned char *in, unsigned char *out,
                      const unsigned char *nonceFrom)
{
    const uint32_t iv1 = B::u32(nonceFrom, kIvOffset);
    const uint32_t iv2 = iv1 ^ kIvXor;
    unsigned char nonce[crypto_stream_salsa20_NONCEBYTES];
    for (int i = 0; i < 4; ++i) {
        nonce[i] = (unsigned char)(iv2 >> (8 * i));
        nonce[4 + i] = (unsigned char)(iv1 >> (8 * i));
    }
    crypto_stream_salsa20_xor(out, in, PacketSize, nonce, keyOf(game));
}

bool Gt7Format::decode(const unsigned char *data, size_t, TelemetryDecoder::Sample *s)
{
    unsigned char p[PacketSize];
    for (TelemetryDecoder::Format game :
         {TelemetryDecoder::GranTurismo7, TelemetryDecoder::GranTurismoSport}) {
        crypt(game, data, p, data);
        if (B::u32(p, 0) == kMagic) {
            s->format = game;
            break;
        }
    }
    if (B::u32(p, 0) != kMagic)
        return false;
    const float rpm = B::f32(p, 0x3C);
    const int minAlert = B::s16(p, 0x88), maxAlert = B::s16(p, 0x8A);
    const uint16_t flags = B::u16(p, 0x8E);
    const int gear = p[0x90] & 0x0f; // 0: reverse or neutral
    if (!B::plausibleRpm(rpm) || minAlert < 0 || maxAlert <= 0 || minAlert > maxAlert ||
        maxAlert > B::MaxRpm)
        return false;
    s->rpm = rpm;
    s->maxRpm = float(maxAlert);
    s->hasShiftSignal = true;
    s->shiftSignal = rpm >= float(minAlert);
    s->hasGear = true;
    s->gear = gear;
    s->hasHandbrake = true;
    s->handbrake = flags & HandbrakeActive;
    s->hasRaceOn = true;
    s->raceOn = !(flags & (Paused | Loading));
    // Traction or stability control at work: the game tells them apart, one
    // light shows both. GT Sport's bits are not confirmed.
    s->hasTc = s->format == TelemetryDecoder::GranTurismo7;
    s->tc = s->hasTc && (flags & (TcsActive | AsmActive));
    if (const int32_t code = B::s32(p, 0x124)) // the car's code
        TelemetryDecoder::setCar(&s->car, code);
    return rpm <= float(maxAlert) * B::MaxOverRev;
}
