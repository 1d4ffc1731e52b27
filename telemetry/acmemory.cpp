// SPDX-License-Identifier: MIT
#include "acmemory.h"

#include "telemetrybytes.h"

#include <algorithm>

using B = TelemetryBytes;

namespace {

enum Page { Physics, Graphics, Static };
// Physics: packetId 0, gear 16 (0 reverse, 1 neutral, 2 first), rpms 20,
// pitLimiterOn 248, drsAvailable 340, drsEnabled 344; Competizione's page
// goes on to tcinAction 672 and absInAction 676.
constexpr size_t kPhysicsSize = 348;
constexpr size_t kPitLimiter = 248, kDrsAvailable = 340, kDrsEnabled = 344;
constexpr size_t kInAction = 672;
// Graphics: packetId 0, status 4; Assetto Corsa's flag 268 and isInPitLane
// 276; Competizione's flag 1224, isInPitLane 1236, globalChequered 1524 and
// globalRed 1528. In Competizione's page 268 and 276 hold the first car's
// coordinates, floats whose bits are never the small numbers read there as
// flags; in Assetto Corsa's, 1224 on lies past the page and reads 0.
constexpr size_t kGraphicsSize = 280;
constexpr size_t kAcFlag = 268, kAcPitLane = 276;
constexpr size_t kAccFlags = 1224, kAccFlagsSize = 16, kAccGlobals = 1524, kAccGlobalsSize = 8;
// Static page: smVersion (15 UTF-16 characters) at 0, carModel (33) at 68; maxRpm at 412.
constexpr size_t kCarModel = 68, kCarModelUnits = 33;
constexpr size_t kMaxRpm = 412;
enum Status { Off, Replay, Live, Pause };

// Both games' flag numbers: none, blue, yellow, black, white, chequered,
// penalty; Competizione adds green and orange (a car to be repaired).
bool flagOf(int32_t value, TelemetryDecoder::Flag *flag)
{
    using Flag = TelemetryDecoder::Flag;
    static const Flag flags[] = {Flag::None,  Flag::Blue,  Flag::Yellow,
                                 Flag::Black, Flag::White, Flag::Chequered,
                                 Flag::Black, Flag::Green, Flag::Black};
    if (value < 0 || value > 8)
        return false;
    *flag = flags[value];
    return true;
}

} // namespace

AcMemory::AcMemory()
    : SharedMemoryGame(TelemetryDecoder::AssettoCorsaMemory,
                       {QStringLiteral("Local\\acpmf_physics"),
                        QStringLiteral("Local\\acpmf_graphics"),
                        QStringLiteral("Local\\acpmf_static")})
{
}

SharedMemoryGame::Read AcMemory::read(TelemetryDecoder::Sample *s, uint64_t *progress)
{
    unsigned char physics[kPhysicsSize], graphics[kGraphicsSize], maxRpm[4], again[4];
    unsigned char carModel[kCarModelUnits * 2], version[2];
    // No lock in these pages: the physics page is taken again if its
    // packet counter moved while it was copied.
    bool consistent = false;
    for (int attempt = 0; attempt < 2 && !consistent; ++attempt) {
        if (!block(Physics).read(0, physics, sizeof physics) ||
            !block(Physics).read(0, again, sizeof again))
            return tooShort(Physics);
        consistent = B::u32(physics, 0) == B::u32(again, 0);
    }
    if (!consistent)
        return Nothing;
    if (!block(Graphics).read(0, graphics, sizeof graphics))
        return tooShort(Graphics);
    if (!block(Static).read(kMaxRpm, maxRpm, sizeof maxRpm) ||
        !block(Static).read(kCarModel, carModel, sizeof carModel) ||
        !block(Static).read(0, version, sizeof version))
        return tooShort(Static);

    const int status = B::s32(graphics, 4);
    const int gear = B::s32(physics, 16);
    if (status < Off || status > Pause || gear < 0 || gear > B::MaxForwardGears + 1)
        return unreadable(QStringLiteral("values no game writes"));
    s->format = format();
    s->rpm = float(B::s32(physics, 20));
    s->hasGear = true;
    s->gear = gear - 1;
    s->hasLimiter = true;
    s->limiter = B::s32(physics, kPitLimiter) == 1;
    s->hasDrsAvailable = s->hasDrsOpen = true;
    s->drsAvailable = B::s32(physics, kDrsAvailable) == 1;
    s->drsOpen = B::s32(physics, kDrsEnabled) == 1;
    unsigned char inAction[8];
    if (block(Physics).read(kInAction, inAction, sizeof inAction)) {
        s->hasTc = s->hasAbs = true;
        s->tc = B::s32(inAction, 0) == 1;
        s->abs = B::s32(inAction, 4) == 1;
    }
    if (B::u32(graphics, 0) == 0 && status == Off && B::u16(version, 0) == 0) {
        // Only the physics page is written: Assetto Corsa EVO before 0.6,
        // which shares these pages. Nothing of who drives or the car.
        s->format = TelemetryDecoder::AssettoCorsaEvo;
        *progress = uint64_t(B::u32(physics, 0)) << 32;
        return B::plausibleRpm(s->rpm) ? Readable
                                       : unreadable(QStringLiteral("values no game writes"));
    }
    s->maxRpm = float(std::max(0, B::s32(maxRpm, 0)));
    s->hasRaceOn = true;
    s->raceOn = status == Live;
    TelemetryDecoder::setCarUtf16(&s->car, carModel, kCarModelUnits);

    // The flag and the pit lane, where each game keeps them: in either,
    // the other's places read as no flag.
    unsigned char accFlags[kAccFlagsSize], accGlobals[kAccGlobalsSize];
    TelemetryDecoder::Flag acFlag, accFlag;
    const bool ac = flagOf(B::s32(graphics, kAcFlag), &acFlag) && B::u32(graphics, kAcPitLane) <= 1;
    const bool acc = block(Graphics).read(kAccFlags, accFlags, sizeof accFlags) &&
                     block(Graphics).read(kAccGlobals, accGlobals, sizeof accGlobals) &&
                     flagOf(B::s32(accFlags, 0), &accFlag) && B::u32(accFlags, 12) <= 1;
    if (ac || acc) {
        s->hasFlag = s->hasPitLane = true;
        s->flag = std::max(ac ? acFlag : TelemetryDecoder::Flag::None,
                           acc ? accFlag : TelemetryDecoder::Flag::None);
        s->pitLane =
            (ac && B::u32(graphics, kAcPitLane) == 1) || (acc && B::u32(accFlags, 12) == 1);
    }
    if (acc) {
        s->hasTrackFlag = true;
        s->trackFlag = B::s32(accGlobals, 4) == 1   ? TelemetryDecoder::Flag::Red
                       : B::s32(accGlobals, 0) == 1 ? TelemetryDecoder::Flag::Chequered
                                                    : TelemetryDecoder::Flag::None;
    }
    if (!B::plausibleRpm(s->rpm) || !B::plausibleRpm(s->maxRpm) ||
        (s->maxRpm > 0 && s->rpm > s->maxRpm * B::MaxOverRev))
        return unreadable(QStringLiteral("values no game writes"));
    *progress = uint64_t(B::u32(physics, 0)) << 32 | B::u32(graphics, 0);
    return Readable;
}
