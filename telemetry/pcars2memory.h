// SPDX-License-Identifier: MIT
#ifndef PCARS2MEMORY_H
#define PCARS2MEMORY_H

#include "sharedmemorygame.h"

#include <array>

// Automobilista 2 and Project CARS 2: "$pcars2$", one struct whose sequence
// number is odd while the game writes. RPM, maximum, gear, handbrake, and
// the game's state (anything but playing is idle).
class PCars2Memory : public SharedMemoryGame
{
public:
    PCars2Memory();
    Read read(TelemetryDecoder::Sample *sample, uint64_t *progress) override;

    // Up to the handbrake, the last field read.
    static constexpr size_t Size = 7408;

private:
    std::array<unsigned char, Size> snapshot;
};

#endif // PCARS2MEMORY_H
