// SPDX-License-Identifier: MIT
#ifndef ACMEMORY_H
#define ACMEMORY_H

#include "sharedmemorygame.h"

// Assetto Corsa and Assetto Corsa Competizione: three pages, alike in both
// where it counts. RPM and gear from the physics page, the maximum from the
// static page, whether anybody drives from the graphics page's status (only
// live drives; off, replay and pause are idle). Neither has a handbrake or a
// shift point.
class AcMemory : public SharedMemoryGame
{
public:
    AcMemory();
    Read read(TelemetryDecoder::Sample *sample, uint64_t *progress) override;
};

#endif // ACMEMORY_H
