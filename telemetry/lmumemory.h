// SPDX-License-Identifier: MIT
#ifndef LMUMEMORY_H
#define LMUMEMORY_H

#include "rfactor2memory.h"
#include "sharedmemorygame.h"

#include <array>

// Le Mans Ultimate's own block, "LMU_Data": scoring and every car's
// telemetry in one, with the player's car named. It has no version counter
// (the game's lock is not for readers like this one), so the player's record
// is taken again when its elapsed time moved while it was copied; the
// player's scoring record gives the blue flag and the pit lane. No
// handbrake, no shift point.
class LmuMemory : public SharedMemoryGame
{
public:
    LmuMemory();
    Read read(TelemetryDecoder::Sample *sample, uint64_t *progress) override;

    static constexpr int MaxVehicles = 104;

private:
    void forget() override
    {
        scoringIndex = 0;
        haveScoring = false;
    }

    int scoringIndex = 0; // the player's scoring record, where it was last
    bool haveScoring = false;
    uint64_t scoringClock = 0; // mCurrentET's bits when it was read
    bool playerScored = false;
    std::array<unsigned char, RFactor2Memory::ScoringCarBytes> playerScoring{};
};

#endif // LMUMEMORY_H
