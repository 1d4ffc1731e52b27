// SPDX-License-Identifier: MIT
#include "f1format.h"

#include "telemetrybytes.h"

#include <cstring>

using B = TelemetryBytes;

namespace {

constexpr int kCars = 22;
constexpr unsigned kSpectating = 255; // the player index while spectating or in a replay
constexpr unsigned kLastPacketId = 15;
constexpr size_t kMaxPacket = 2048; // more than any F1 packet
constexpr size_t kGameYear = 2;     // 2023 on: 23, 24, …

enum PacketId { Session = 1, Event = 3, CarTelemetry = 6, CarStatus = 7 };

// Where the years differ: the 2023 header grew by the game year and more.
struct Layout
{
    size_t header;
    size_t packetId;
    size_t playerCarIndex;
    size_t telemetrySize; // the whole Car Telemetry packet
    size_t statusSize;    // the whole Car Status packet
    size_t statusStride;  // one car's Car Status block
    size_t networkPaused; // within that block
};

constexpr Layout kOld{24, 5, 22, 1347, 1058, 47, 46}; // 2021, 2022
constexpr Layout kNew{29, 6, 27, 1352, 1239, 55, 54}; // 2023 to 2025

constexpr size_t kTelemetryStride = 60;
constexpr size_t kGear = 15;      // i8: -1 reverse, 0 neutral
constexpr size_t kEngineRpm = 16; // u16
constexpr size_t kRevLightsPercent = 19;
constexpr size_t kMaxRpm = 17;     // u16, in Car Status
constexpr size_t kDrs = 18;        // u8, 0 closed, 1 open
constexpr size_t kGamePaused = 14; // after the header, in Session
constexpr size_t kIsSpectating = 15;
// After the 21 marshal zones; 0 none, 1 full safety car, 2 virtual, 3 formation lap.
constexpr size_t kSafetyCarStatus = 124;
// In Car Status: u8 0/1, u8 0/1, i8 -1 unknown, 0 none, 1 green, 2 blue, 3 yellow, 4 red.
constexpr size_t kPitLimiter = 4, kDrsAllowed = 22, kFiaFlags = 28;

TelemetryDecoder::Flag fiaFlag(int8_t value)
{
    using Flag = TelemetryDecoder::Flag;
    switch (value) {
    case 1:
        return Flag::Green;
    case 2:
        return Flag::Blue;
    case 3:
        return Flag::Yellow;
    case 4:
        return Flag::Red;
    default:
        return Flag::None;
    }
}

int yearOf(const unsigned char *p, size_t size)
{
    if (size < kOld.header)
        return 0;
    const int year = B::u16(p, 0);
    return year >= 2021 && year <= 2025 ? year : 0;
}

} // namespace

TelemetryDecoder::Format F1Format::claims(const unsigned char *p, size_t size)
{
    if (size > kMaxPacket)
        return TelemetryDecoder::Unknown;
    const int year = yearOf(p, size);
    if (!year || size < (year >= 2023 ? kNew.header : kOld.header))
        return TelemetryDecoder::Unknown;
    return TelemetryDecoder::Format(TelemetryDecoder::F1_2021 + (year - 2021));
}

TelemetryDecoder::Format F1Format::claimsByHeader(const unsigned char *p, size_t size)
{
    const TelemetryDecoder::Format format = claims(p, size);
    if (format < TelemetryDecoder::F1_2023)
        return TelemetryDecoder::Unknown;
    // A newer game may send an older year's layout, never a newer one.
    const unsigned layoutYear = B::u16(p, 0) - 2000;
    const unsigned gameYear = p[kGameYear];
    const unsigned player = p[kNew.playerCarIndex];
    if (gameYear < layoutYear || gameYear > layoutYear + 5 || p[kNew.packetId] > kLastPacketId ||
        (player >= kCars && player != kSpectating))
        return TelemetryDecoder::Unknown;
    return format;
}

bool F1Format::decode(const unsigned char *p, size_t size, TelemetryDecoder::Sample *s)
{
    const Layout &l = s->format >= TelemetryDecoder::F1_2023 ? kNew : kOld;
    const unsigned player = p[l.playerCarIndex];
    const bool playerKnown = player < kCars;
    s->hasRpm = false;
    const unsigned id = p[l.packetId];
    if (player == kSpectating && (id == CarTelemetry || id == CarStatus)) {
        // Spectating or a replay: a packet of every car, and nobody drives.
        s->hasRaceOn = true;
        s->raceOn = false;
        return size == (id == CarTelemetry ? l.telemetrySize : l.statusSize);
    }
    switch (id) {
    case CarTelemetry: {
        if (size != l.telemetrySize || !playerKnown)
            return false;
        const unsigned char *car = p + l.header + player * kTelemetryStride;
        const int gear = int8_t(car[kGear]);
        const int revLights = car[kRevLightsPercent];
        if (gear < -1 || gear > 8 || revLights > 100)
            return false;
        s->hasRpm = true;
        s->rpm = B::u16(car, kEngineRpm);
        s->hasGear = true;
        s->gear = gear;
        s->hasShiftSignal = true;
        s->shiftSignal = revLights >= 100;
        s->hasDrsOpen = true;
        s->drsOpen = car[kDrs] == 1;
        return car[kDrs] <= 1;
    }
    case CarStatus: {
        if (size != l.statusSize || !playerKnown)
            return false;
        const unsigned char *car = p + l.header + player * l.statusStride;
        s->maxRpm = B::u16(car, kMaxRpm);
        const int8_t fia = int8_t(car[kFiaFlags]);
        s->hasFlag = fia >= 0; // -1: the game does not know
        s->flag = fiaFlag(fia);
        s->hasLimiter = true;
        s->limiter = car[kPitLimiter] == 1;
        s->hasDrsAvailable = true;
        s->drsAvailable = car[kDrsAllowed] == 1;
        return s->maxRpm > 0 && car[l.networkPaused] <= 1 && fia >= -1 && fia <= 4 &&
               car[kPitLimiter] <= 1 && car[kDrsAllowed] <= 1;
    }
    case Session: {
        if (size < l.header + kIsSpectating + 1)
            return false;
        const unsigned paused = p[l.header + kGamePaused];
        const unsigned spectating = p[l.header + kIsSpectating];
        if (paused > 1 || spectating > 1)
            return false;
        s->hasRaceOn = true;
        s->raceOn = !paused && !spectating;
        if (size > l.header + kSafetyCarStatus) {
            const unsigned safetyCar = p[l.header + kSafetyCarStatus];
            s->hasTrackFlag = safetyCar <= 3;
            s->trackFlag = safetyCar == 1 || safetyCar == 2 ? TelemetryDecoder::Flag::SafetyCar
                                                            : TelemetryDecoder::Flag::None;
        }
        return true;
    }
    case Event: {
        if (size < l.header + 4)
            return false;
        // The chequered and red flags are said once; the start of a
        // session or the lights going out end them.
        const unsigned char *code = p + l.header;
        auto is = [code](const char *c) { return std::memcmp(code, c, 4) == 0; };
        if (is("CHQF") || is("RDFL") || is("SSTA") || is("LGOT") || is("SEND")) {
            s->hasEventFlag = true;
            s->eventFlag = is("CHQF")   ? TelemetryDecoder::Flag::Chequered
                           : is("RDFL") ? TelemetryDecoder::Flag::Red
                                        : TelemetryDecoder::Flag::None;
        }
        return true;
    }
    default:
        return id <= kLastPacketId; // a kind this program does not need
    }
}
