// SPDX-License-Identifier: MIT
#ifndef RFACTOR2MEMORY_H
#define RFACTOR2MEMORY_H

#include "sharedmemorygame.h"

#include <array>
#include <vector>

// rFactor 2's map plug-in (and Le Mans Ultimate's, where users run it): the
// scoring buffer says which car is the player's and whether anybody drives,
// the telemetry buffer that car's RPM, maximum and gear. Each buffer has a
// version counter that it moves before and after each write. No handbrake,
// no shift point. Offsets are the 64-bit plug-in's, in every build of ours.
class RFactor2Memory : public SharedMemoryGame
{
public:
    RFactor2Memory();
    Read read(TelemetryDecoder::Sample *sample, uint64_t *progress) override;

    static constexpr int MaxVehicles = 128;
    // What is read of one car's telemetry record: up to its rear flap.
    static constexpr size_t CarBytes = 620;
    // The record's gear, RPM and maximum, pit limiter and rear flap (DRS)
    // (laid out alike in Le Mans Ultimate's own block); false for values no
    // game writes.
    static bool fillEngine(const unsigned char *car, TelemetryDecoder::Sample *sample);
    // One car's scoring record, alike in both.
    static constexpr size_t ScoringCarBytes = 584;
    static constexpr size_t IsPlayer = 196;
    // The flags from the session's phase and yellow flag state, and the
    // player's scoring record where there is one.
    static void fillRace(int gamePhase, int yellowFlagState, const unsigned char *player,
                         TelemetryDecoder::Sample *sample);

private:
    // The scoring buffer, when its version moves: player and phase.
    Read readScoring();
    void forget() override;

    bool haveScoring = false;
    uint32_t scoringVersion = 0;
    bool hasPlayer = false;
    int32_t playerId = 0;
    bool realtime = false;
    int gamePhase = 0;
    int yellowFlagState = 0;
    std::array<unsigned char, ScoringCarBytes> playerScoring{};
    int playerIndex = 0; // in the telemetry buffer, where it was last
    std::vector<unsigned char> buffer;
};

#endif // RFACTOR2MEMORY_H
