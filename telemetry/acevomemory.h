// SPDX-License-Identifier: MIT
#ifndef ACEVOMEMORY_H
#define ACEVOMEMORY_H

#include "sharedmemorygame.h"

// Assetto Corsa EVO's own pages (0.6 on), as its maker documents them: the
// physics page as Competizione's (RPM, gear, the rev ceiling, pit limiter,
// DRS open), the graphics page with who drives, the game's shift signal,
// TC and ABS at work, DRS available, the handbrake, the player's and the
// session's flags, the pit lane and the car. Before 0.6 the game wrote
// Competizione's physics page alone; AcMemory reads that.
class AcEvoMemory : public SharedMemoryGame
{
public:
    AcEvoMemory();
    Read read(TelemetryDecoder::Sample *sample, uint64_t *progress) override;
};

#endif // ACEVOMEMORY_H
