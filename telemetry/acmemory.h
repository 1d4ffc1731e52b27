// SPDX-License-Identifier: MIT
#ifndef ACMEMORY_H
#define ACMEMORY_H

#include "sharedmemorygame.h"

// Assetto Corsa and Assetto Corsa Competizione: three pages, alike in both
// where it counts. RPM, gear, the pit limiter, DRS (and in Competizione TC
// and ABS at work) from the physics page, the maximum and the car from the
// static page, whether anybody drives, the flag and the pit lane from the
// graphics page (only live drives; off, replay and pause are idle). Neither
// has a handbrake or a shift point. Assetto Corsa EVO before 0.6 wrote the
// physics page alone: read as EVO, with what that page has.
class AcMemory : public SharedMemoryGame
{
public:
    AcMemory();
    Read read(TelemetryDecoder::Sample *sample, uint64_t *progress) override;
};

#endif // ACMEMORY_H
