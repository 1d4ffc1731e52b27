// SPDX-License-Identifier: MIT
#include "acevomemory.h"

#include "telemetrybytes.h"

using B = TelemetryBytes;

namespace {

enum Page { Physics, Graphics };
// Physics: packetId 0, gear 16 (0 reverse, 1 neutral), rpms 20,
// pitLimiterOn 248, drsEnabled 344, currentMaxRpm 588 (i32 each).
constexpr size_t kPhysicsSize = 592;
// Graphics, 4-byte packing: packetId 0, status 4, then bytes:
// is_rpm_limiter_on 42, is_change_up_rpm 43, tc_active 45, abs_active 46,
// is_drs_available 53; handbrake_percent (f32) 84.
constexpr size_t kHeadSize = 88;
// flag 2404 and global_flag 2408 (i32); car_model (33 chars) 3086, then
// is_in_pit_box 3119 and is_in_pit_lane 3120.
constexpr size_t kFlags = 2404, kCarModel = 3086, kCarModelBytes = 33, kPitBox = 3119;
enum Status { Off, Replay, Live, Pause };

// none, white, green, red, blue, yellow, black, black and white, chequered,
// orange circle (a car to be repaired), red and yellow stripes (slippery:
// no flag of the lights'); one the documentation does not name, none.
TelemetryDecoder::Flag flagOf(int32_t value)
{
    using Flag = TelemetryDecoder::Flag;
    static const Flag flags[] = {Flag::None,      Flag::White,  Flag::Green, Flag::Red,
                                 Flag::Blue,      Flag::Yellow, Flag::Black, Flag::Black,
                                 Flag::Chequered, Flag::Black,  Flag::None};
    return value >= 0 && value <= 10 ? flags[value] : Flag::None;
}

} // namespace

AcEvoMemory::AcEvoMemory()
    : SharedMemoryGame(TelemetryDecoder::AssettoCorsaEvo,
                       {QStringLiteral("Local\\acevo_pmf_physics"),
                        QStringLiteral("Local\\acevo_pmf_graphics"),
                        QStringLiteral("Local\\acevo_pmf_static")})
{
}

SharedMemoryGame::Read AcEvoMemory::read(TelemetryDecoder::Sample *s, uint64_t *progress)
{
    unsigned char physics[kPhysicsSize], head[kHeadSize], flags[8], tail[kPitBox + 2 - kCarModel];
    unsigned char again[4];
    // No lock: the physics page is taken again if its counter moved meanwhile.
    bool consistent = false;
    for (int attempt = 0; attempt < 2 && !consistent; ++attempt) {
        if (!block(Physics).read(0, physics, sizeof physics) ||
            !block(Physics).read(0, again, sizeof again))
            return tooShort(Physics);
        consistent = B::u32(physics, 0) == B::u32(again, 0);
    }
    if (!consistent)
        return Nothing;
    if (!block(Graphics).read(0, head, sizeof head) ||
        !block(Graphics).read(kFlags, flags, sizeof flags) ||
        !block(Graphics).read(kCarModel, tail, sizeof tail))
        return tooShort(Graphics);

    const int status = B::s32(head, 4), gear = B::s32(physics, 16);
    const float handbrake = B::f32(head, 84);
    if (status < Off || status > Pause || gear < 0 || gear > B::MaxForwardGears + 1 ||
        !B::plausibleFraction(handbrake))
        return unreadable(QStringLiteral("values no game writes"));
    s->format = format();
    s->rpm = float(B::s32(physics, 20));
    s->maxRpm = float(std::max(0, B::s32(physics, 588)));
    s->hasGear = true;
    s->gear = gear - 1;
    s->hasRaceOn = true;
    s->raceOn = status == Live;
    s->hasShiftSignal = true;
    s->shiftSignal = head[43] || head[42]; // the upshift window, or the rev limiter
    s->hasHandbrake = true;
    s->handbrake = handbrake >= 0.1f;
    s->hasFlag = s->hasTrackFlag = true;
    s->flag = flagOf(B::s32(flags, 0));
    s->trackFlag = flagOf(B::s32(flags, 4));
    s->hasLimiter = s->hasTc = s->hasAbs = s->hasDrsAvailable = s->hasDrsOpen = s->hasPitLane =
        true;
    s->limiter = B::s32(physics, 248) == 1;
    s->tc = head[45];
    s->abs = head[46];
    s->drsAvailable = head[53];
    s->drsOpen = B::s32(physics, 344) == 1;
    s->pitLane = tail[kPitBox - kCarModel] || tail[kPitBox + 1 - kCarModel];
    TelemetryDecoder::setCarUtf8(&s->car, tail, kCarModelBytes);
    if (!B::plausibleRpm(s->rpm) || !B::plausibleRpm(s->maxRpm) ||
        (s->maxRpm > 0 && s->rpm > s->maxRpm * B::MaxOverRev))
        return unreadable(QStringLiteral("values no game writes"));
    *progress = uint64_t(B::u32(physics, 0)) << 32 | B::u32(head, 0);
    return Readable;
}
