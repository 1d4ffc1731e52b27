// SPDX-License-Identifier: MIT
#include "rfactor2memory.h"

#include "telemetrybytes.h"

#include <algorithm>

using B = TelemetryBytes;

namespace {

enum Buffer { Telemetry, Scoring };
// Both: mVersionUpdateBegin 0, mVersionUpdateEnd 4.
// Telemetry: mNumVehicles 12, the cars from 16.
constexpr size_t kTelemetryVehicles = 16, kTelemetryVehicleSize = 1888;
constexpr size_t kId = 0, kVehicleName = 32, kGear = 352, kRpm = 356, kMaxRpm = 532;
// u8 each: the pit limiter; the rear flap open, and whether it may be (2: yes).
constexpr size_t kSpeedLimiter = 604, kRearFlap = 617, kRearFlapLegal = 618;
constexpr size_t kVehicleNameBytes = 64;
// Scoring: mNumVehicles 116, mGamePhase 120, mYellowFlagState 121,
// mInRealtime 127, the cars from 560.
constexpr size_t kScoringHead = 128, kScoringVehicles = 560;
constexpr size_t kScoringVehicleSize = RFactor2Memory::ScoringCarBytes;
constexpr size_t kIsPlayer = RFactor2Memory::IsPlayer;
constexpr int kPaused = 9;
// A car's scoring record: mInPits 198, mFlag 504 (6: blue), mUnderYellow 505.
constexpr size_t kInPits = 198, kFlag = 504, kUnderYellow = 505;
// The game phases that are flags: full-course yellow, stopped, over.
enum GamePhase { FullCourseYellow = 6, SessionStopped = 7, SessionOver = 8 };

} // namespace

RFactor2Memory::RFactor2Memory()
    : SharedMemoryGame(
          TelemetryDecoder::RFactor2Memory,
          {QStringLiteral("$rFactor2SMMP_Telemetry$"), QStringLiteral("$rFactor2SMMP_Scoring$")})
{
}

void RFactor2Memory::forget()
{
    haveScoring = false;
    hasPlayer = false;
    playerIndex = 0;
}

SharedMemoryGame::Read RFactor2Memory::readScoring()
{
    unsigned char head[kScoringHead];
    if (!block(Scoring).read(0, head, sizeof head))
        return tooShort(Scoring);
    const uint32_t begin = B::u32(head, 0);
    if (begin != B::u32(head, 4) || (haveScoring && begin == scoringVersion))
        return Nothing; // being written, or as it was: what is known holds
    const int32_t count = B::s32(head, 116);
    if (count < 0 || count > MaxVehicles)
        return unreadable(QStringLiteral("%1 cars in the scoring buffer").arg(count));
    buffer.resize(size_t(count) * kScoringVehicleSize);
    unsigned char again[8];
    if (!block(Scoring).read(kScoringVehicles, buffer.data(), buffer.size()) ||
        !block(Scoring).read(0, again, sizeof again))
        return tooShort(Scoring);
    if (B::u32(again, 0) != begin || B::u32(again, 4) != begin)
        return Nothing;
    haveScoring = true;
    scoringVersion = begin;
    gamePhase = head[120];
    yellowFlagState = int8_t(head[121]);
    realtime = head[127] != 0;
    hasPlayer = false;
    for (int32_t j = 0; j < count && !hasPlayer; ++j) {
        const unsigned char *car = buffer.data() + size_t(j) * kScoringVehicleSize;
        if (car[kIsPlayer]) {
            hasPlayer = true;
            playerId = B::s32(car, kId);
            std::copy(car, car + kScoringVehicleSize, playerScoring.begin());
        }
    }
    return Readable;
}

SharedMemoryGame::Read RFactor2Memory::read(TelemetryDecoder::Sample *s, uint64_t *progress)
{
    if (readScoring() == Unreadable)
        return Unreadable;
    unsigned char head[16];
    if (!block(Telemetry).read(0, head, sizeof head))
        return tooShort(Telemetry);
    const uint32_t begin = B::u32(head, 0);
    if (begin != B::u32(head, 4))
        return Nothing;
    const int32_t count = B::s32(head, 12);
    if (count < 0 || count > MaxVehicles)
        return unreadable(QStringLiteral("%1 cars in the telemetry buffer").arg(count));

    s->format = format();
    s->hasRaceOn = true;
    s->raceOn = haveScoring && hasPlayer && realtime && gamePhase != kPaused;
    *progress = uint64_t(scoringVersion) << 32 | begin;
    if (!s->raceOn) {
        s->hasRpm = false;
        return Readable;
    }
    // The player's car: where it was, else wherever its ID is now.
    unsigned char car[CarBytes];
    auto carAt = [&](int i) {
        return block(Telemetry).read(kTelemetryVehicles + size_t(i) * kTelemetryVehicleSize, car,
                                     sizeof car);
    };
    bool found = false;
    if (playerIndex < count) {
        if (!carAt(playerIndex))
            return tooShort(Telemetry);
        found = B::s32(car, kId) == playerId;
    }
    for (int i = 0; i < count && !found; ++i) {
        if (!carAt(i))
            return tooShort(Telemetry);
        if (B::s32(car, kId) == playerId) {
            found = true;
            playerIndex = i;
        }
    }
    unsigned char again[8];
    if (!block(Telemetry).read(0, again, sizeof again))
        return tooShort(Telemetry);
    if (B::u32(again, 0) != begin || B::u32(again, 4) != begin)
        return Nothing;
    if (!found) {
        s->hasRpm = false; // between sessions the player's car may not be there yet
        return Readable;
    }
    if (!fillEngine(car, s))
        return unreadable(QStringLiteral("values no game writes"));
    fillRace(gamePhase, yellowFlagState, playerScoring.data(), s);
    return Readable;
}

void RFactor2Memory::fillRace(int gamePhase, int yellowFlagState, const unsigned char *player,
                              TelemetryDecoder::Sample *s)
{
    using Flag = TelemetryDecoder::Flag;
    // The session's: a full-course yellow from the flag being thrown (1) to
    // the restart (6); 7 halts the race.
    s->hasTrackFlag = true;
    s->trackFlag = gamePhase == SessionStopped || yellowFlagState == 7 ? Flag::Red
                   : gamePhase == SessionOver                          ? Flag::Chequered
                   : gamePhase == FullCourseYellow || (yellowFlagState >= 1 && yellowFlagState <= 6)
                       ? Flag::SafetyCar
                       : Flag::None;
    if (!player)
        return;
    // The header says only green (0) and blue (6) are used.
    s->hasFlag = true;
    s->flag = player[kFlag] == 6 ? Flag::Blue : player[kUnderYellow] ? Flag::SafetyCar : Flag::None;
    s->hasPitLane = true;
    s->pitLane = player[kInPits] != 0;
}

bool RFactor2Memory::fillEngine(const unsigned char *car, TelemetryDecoder::Sample *s)
{
    const double rpm = B::f64(car, kRpm), maxRpm = B::f64(car, kMaxRpm);
    // Judged as doubles: one beyond a float's range has no float to become.
    if (!(rpm >= 0 && rpm <= B::MaxRpm && maxRpm >= 0 && maxRpm <= B::MaxRpm))
        return false;
    s->rpm = float(rpm);
    s->maxRpm = float(maxRpm);
    // The car's name, as the game's vehicle file gives it.
    size_t n = 0;
    while (n < kVehicleNameBytes && n + 1 < s->car.size() && car[kVehicleName + n])
        ++n;
    std::copy(car + kVehicleName, car + kVehicleName + n, s->car.begin());
    s->hasGear = true;
    s->gear = B::s32(car, kGear);
    s->hasLimiter = true;
    s->limiter = car[kSpeedLimiter] != 0;
    s->hasDrsOpen = s->hasDrsAvailable = true;
    s->drsOpen = car[kRearFlap] != 0;
    s->drsAvailable = car[kRearFlapLegal] == 2;
    return s->gear >= -1 && s->gear <= B::MaxForwardGears &&
           (s->maxRpm == 0 || B::plausibleRpms(s->rpm, s->maxRpm));
}
