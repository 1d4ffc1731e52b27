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
constexpr size_t kAccFlag = 1224, kAccPitLane = 1236, kAccGlobals = 1524, kAccGlobalsSize = 8;
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
    // Competizione's pages are longer than Assetto Corsa's: each is taken
    // whole in one read where it is that long, else as far as both go.
    unsigned char physics[kInAction + 8], graphics[kAccGlobals + kAccGlobalsSize];
    unsigned char statics[kMaxRpm + 4], again[4];
    // No lock in these pages: the physics page is taken again if its
    // packet counter moved while it was copied.
    bool consistent = false, longPhysics = false;
    for (int attempt = 0; attempt < 2 && !consistent; ++attempt) {
        longPhysics = block(Physics).read(0, physics, sizeof physics);
        if ((!longPhysics && !block(Physics).read(0, physics, kPhysicsSize)) ||
            !block(Physics).read(0, again, sizeof again))
            return tooShort(Physics);
        consistent = B::u32(physics, 0) == B::u32(again, 0);
    }
    if (!consistent)
        return Nothing;
    const bool longGraphics = block(Graphics).read(0, graphics, sizeof graphics);
    if (!longGraphics && !block(Graphics).read(0, graphics, kGraphicsSize))
        return tooShort(Graphics);
    if (!block(Static).read(0, statics, sizeof statics))
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
    if (longPhysics) {
        s->hasTc = s->hasAbs = true;
        s->tc = B::s32(physics, kInAction) == 1;
        s->abs = B::s32(physics, kInAction + 4) == 1;
    }
    if (B::u32(graphics, 0) == 0 && status == Off && B::u16(statics, 0) == 0) {
        // Only the physics page is written: Assetto Corsa EVO before 0.6,
        // which shares these pages. Nothing of who drives or the car.
        s->format = TelemetryDecoder::AssettoCorsaEvo;
        *progress = uint64_t(B::u32(physics, 0)) << 32;
        return B::plausibleRpm(s->rpm) ? Readable
                                       : unreadable(QStringLiteral("values no game writes"));
    }
    s->maxRpm = float(std::max(0, B::s32(statics, kMaxRpm)));
    s->hasRaceOn = true;
    s->raceOn = status == Live;
    TelemetryDecoder::setCarUtf16(&s->car, statics + kCarModel, kCarModelUnits);

    // The flag and the pit lane, where each game keeps them: in either,
    // the other's places read as no flag.
    TelemetryDecoder::Flag acFlag, accFlag;
    const bool ac = flagOf(B::s32(graphics, kAcFlag), &acFlag) && B::u32(graphics, kAcPitLane) <= 1;
    const bool acc = longGraphics && flagOf(B::s32(graphics, kAccFlag), &accFlag) &&
                     B::u32(graphics, kAccPitLane) <= 1;
    if (ac || acc) {
        s->hasFlag = s->hasPitLane = true;
        s->flag = std::max(ac ? acFlag : TelemetryDecoder::Flag::None,
                           acc ? accFlag : TelemetryDecoder::Flag::None);
        s->pitLane = (ac && B::u32(graphics, kAcPitLane) == 1) ||
                     (acc && B::u32(graphics, kAccPitLane) == 1);
    }
    if (acc) {
        s->hasTrackFlag = true;
        s->trackFlag = B::s32(graphics, kAccGlobals + 4) == 1 ? TelemetryDecoder::Flag::Red
                       : B::s32(graphics, kAccGlobals) == 1   ? TelemetryDecoder::Flag::Chequered
                                                              : TelemetryDecoder::Flag::None;
    }
    if (!B::plausibleRpm(s->rpm) || !B::plausibleRpm(s->maxRpm) ||
        (s->maxRpm > 0 && s->rpm > s->maxRpm * B::MaxOverRev))
        return unreadable(QStringLiteral("values no game writes"));
    *progress = uint64_t(B::u32(physics, 0)) << 32 | B::u32(graphics, 0);
    return Readable;
}
