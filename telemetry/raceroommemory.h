// SPDX-License-Identifier: MIT
#ifndef RACEROOMMEMORY_H
#define RACEROOMMEMORY_H

#include "sharedmemorygame.h"

// RaceRoom's "$R3E" block, as its maker's public header lays it out: the
// engine in radians per second (its maximum, and the upshift point as the
// game's shift signal), gear, the flags shown to the player, pit limiter,
// pit lane, ABS and TC at work, DRS open. Two layouts are known, 2.11 to
// 2.16 and 3.4 to 3.5 (the versions are in the block); any other is refused.
// No lock: the player's simulation ticks are read again after the copy.
class RaceRoomMemory : public SharedMemoryGame
{
public:
    RaceRoomMemory();
    Read read(TelemetryDecoder::Sample *sample, uint64_t *progress) override;
};

#endif // RACEROOMMEMORY_H
