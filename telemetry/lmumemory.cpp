// SPDX-License-Identifier: MIT
#include "lmumemory.h"

#include "rfactor2memory.h"
#include "telemetrybytes.h"

using B = TelemetryBytes;

namespace {

// scoringInfo (from 1632): mCurrentET 1700, mNumVehicles 1736, mGamePhase
// 1740, mYellowFlagState 1741, mInRealtime 1747; after it the stream's size
// (a size_t, aligned), then the cars' scoring records from 2192.
constexpr size_t kScoring = 1700, kScoringSize = 48;
constexpr size_t kScoringCars = 2192, kMaxScoringCars = 104;
constexpr size_t kPlayer = 128464; // activeVehicles, playerVehicleIdx, playerHasVehicle
constexpr size_t kTelemetry = 128468, kCarSize = 1888, kElapsed = 12;
constexpr int kPaused = 9;

} // namespace

LmuMemory::LmuMemory()
    : SharedMemoryGame(TelemetryDecoder::LeMansUltimate, {QStringLiteral("LMU_Data")})
{
}

SharedMemoryGame::Read LmuMemory::read(TelemetryDecoder::Sample *s, uint64_t *progress)
{
    unsigned char scoring[kScoringSize], player[3];
    if (!block(0).read(kScoring, scoring, sizeof scoring) ||
        !block(0).read(kPlayer, player, sizeof player))
        return tooShort(0);
    const int index = player[1];
    const bool hasPlayer = player[2] != 0;
    s->format = format();
    s->hasRaceOn = true;
    s->raceOn = hasPlayer && scoring[1747 - kScoring] != 0 && scoring[1740 - kScoring] != kPaused;
    const uint64_t clock = B::u64(scoring, 0); // mCurrentET's bits
    if (hasPlayer && index >= MaxVehicles)
        return unreadable(QStringLiteral("the player's car is number %1").arg(index));
    if (!s->raceOn) {
        s->hasRpm = false;
        *progress = clock;
        return Readable;
    }
    unsigned char car[RFactor2Memory::CarBytes], again[8];
    const size_t at = kTelemetry + size_t(index) * kCarSize;
    bool consistent = false;
    for (int attempt = 0; attempt < 2 && !consistent; ++attempt) {
        if (!block(0).read(at, car, sizeof car) ||
            !block(0).read(at + kElapsed, again, sizeof again))
            return tooShort(0);
        consistent = B::u64(car, kElapsed) == B::u64(again, 0);
    }
    if (!consistent)
        return Nothing;
    if (!RFactor2Memory::fillEngine(car, s))
        return unreadable(QStringLiteral("values no game writes"));
    // The player's scoring record, taken again when scoring's clock moves:
    // where it was, else wherever it is now.
    if (!haveScoring || clock != scoringClock) {
        const int32_t cars = B::s32(scoring, 1736 - kScoring);
        auto isPlayer = [&](int j) {
            return block(0).read(kScoringCars + size_t(j) * RFactor2Memory::ScoringCarBytes,
                                 playerScoring.data(), playerScoring.size()) &&
                   playerScoring[RFactor2Memory::IsPlayer] != 0;
        };
        playerScored = scoringIndex < cars && isPlayer(scoringIndex);
        for (int j = 0; !playerScored && j < cars && j < int(kMaxScoringCars); ++j) {
            if ((playerScored = isPlayer(j)))
                scoringIndex = j;
        }
        haveScoring = true;
        scoringClock = clock;
    }
    RFactor2Memory::fillRace(scoring[1740 - kScoring], int8_t(scoring[1741 - kScoring]),
                             playerScored ? playerScoring.data() : nullptr, s);
    // The car's own clock moves at the physics rate, scoring's at 5 Hz; the
    // two often read the same, so they are not folded in a way that cancels.
    *progress = B::u64(car, kElapsed) * 3 + clock;
    return Readable;
}
