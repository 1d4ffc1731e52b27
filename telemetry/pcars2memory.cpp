// SPDX-License-Identifier: MIT
#include "pcars2memory.h"

#include "telemetrybytes.h"

using B = TelemetryBytes;

namespace {

constexpr size_t kVersion = 0, kGameState = 8, kCarName = 6444, kHighestFlag = 6800,
                 kPitMode = 6808, kCarFlags = 6816, kRpm = 6852, kMaxRpm = 6856, kGear = 6876,
                 kAntiLockActive = 6888, kSequence = 7320, kHandbrake = 7404;
constexpr size_t kCarNameBytes = 64;
// Project CARS 2 is version 9, Automobilista 2 up to 14 so far: the fields
// read here sit where they always did.
constexpr uint32_t kFirstVersion = 9, kLastVersion = 14;
constexpr uint32_t kPlaying = 2;
constexpr uint32_t kHandbrakeFlag = 0x20, kSpeedLimiterFlag = 0x08;
enum PitMode { NoPit, DrivingIntoPits, InPit, DrivingOutOfPits };

TelemetryDecoder::Flag flagOf(uint32_t colour)
{
    using Flag = TelemetryDecoder::Flag;
    switch (colour) {
    case 1:
        return Flag::Green;
    case 2:
        return Flag::Blue;
    case 3: // a slow car
    case 4: // the final lap
        return Flag::White;
    case 5:
        return Flag::Red;
    case 6:
    case 7: // double yellow
        return Flag::Yellow;
    case 8:  // black and white
    case 9:  // black with an orange circle
    case 10: // black
        return Flag::Black;
    case 11:
        return Flag::Chequered;
    default:
        return Flag::None;
    }
}

} // namespace

PCars2Memory::PCars2Memory()
    : SharedMemoryGame(TelemetryDecoder::ProjectCars2Memory, {QStringLiteral("$pcars2$")})
{
}

SharedMemoryGame::Read PCars2Memory::read(TelemetryDecoder::Sample *s, uint64_t *progress)
{
    unsigned char sequence[4];
    if (!block(0).read(kSequence, sequence, sizeof sequence))
        return tooShort(0);
    const uint32_t before = B::u32(sequence, 0);
    if (before % 2)
        return Nothing; // being written
    if (!block(0).read(0, snapshot.data(), snapshot.size()) ||
        !block(0).read(kSequence, sequence, sizeof sequence))
        return tooShort(0);
    if (B::u32(sequence, 0) != before || B::u32(snapshot.data(), kSequence) != before)
        return Nothing; // written meanwhile: the next look takes it

    const unsigned char *p = snapshot.data();
    const uint32_t version = B::u32(p, kVersion);
    if (version < kFirstVersion || version > kLastVersion)
        return unreadable(QStringLiteral("layout version %1 is not known").arg(version));
    s->format = format();
    s->rpm = B::f32(p, kRpm);
    s->maxRpm = B::f32(p, kMaxRpm);
    s->hasGear = true;
    s->gear = B::s32(p, kGear);
    const float handbrake = B::f32(p, kHandbrake);
    s->hasHandbrake = true;
    s->handbrake = handbrake >= 0.1f || (B::u32(p, kCarFlags) & kHandbrakeFlag);
    s->hasRaceOn = true;
    s->raceOn = B::u32(p, kGameState) == kPlaying;
    const uint32_t carFlags = B::u32(p, kCarFlags), flag = B::u32(p, kHighestFlag);
    const uint32_t pitMode = B::u32(p, kPitMode);
    s->hasFlag = true;
    s->flag = flagOf(flag);
    s->hasLimiter = true;
    s->limiter = carFlags & kSpeedLimiterFlag;
    s->hasPitLane = true;
    s->pitLane = pitMode >= DrivingIntoPits && pitMode <= DrivingOutOfPits;
    s->hasAbs = true;
    s->abs = p[kAntiLockActive] != 0;
    TelemetryDecoder::setCarUtf8(&s->car, p + kCarName, kCarNameBytes);
    // The maximum is 0 before a car is loaded.
    const bool rpms =
        s->maxRpm == 0 ? B::plausibleRpm(s->rpm) : B::plausibleRpms(s->rpm, s->maxRpm);
    if (!rpms || s->gear < -1 || s->gear > B::MaxForwardGears || !B::plausibleFraction(handbrake) ||
        flag > 11 || pitMode > 5)
        return unreadable(QStringLiteral("values no game writes"));
    *progress = before;
    return Readable;
}
