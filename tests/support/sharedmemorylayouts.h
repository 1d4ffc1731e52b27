// SPDX-License-Identifier: MIT
#ifndef SHAREDMEMORYLAYOUTS_H
#define SHAREDMEMORYLAYOUTS_H

#include "telemetrydecoder.h"

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

// The sims' shared memory laid out as each sim writes it, at the sizes of
// the Proton bridge's files, with the fields the lights read. For the
// tests, the benchmarks and the fuzz target.
class SharedMemoryLayouts
{
public:
    struct State
    {
        float rpm = 0;
        float maxRpm = 8000; // iRacing: where its shift lights blink
        float shiftRpm = 0;  // iRacing's shift point, 0 for none
        int gear = 3;
        bool handbrake = false;
        bool driving = true;
        int version = 13;      // Automobilista 2's layout version
        int raceRoomMinor = 5; // RaceRoom's, with major 3
        quint32 tick = 1;      // moves each write
        // The race, as each sim says it. rFactor 2 and Le Mans Ultimate say
        // no local yellow: a yellow is their full-course yellow.
        TelemetryDecoder::Flag flag = TelemetryDecoder::Flag::None;
        bool limiter = false;
    };

    // The sims with a layout here, in the order of SharedMemoryGame::all()
    // on Windows.
    static const std::vector<TelemetryDecoder::Format> &sims();

    // Each block of the sim: its file name under Linux and its bytes.
    static std::vector<std::pair<QString, QByteArray>> blocks(TelemetryDecoder::Format sim,
                                                              const State &state);
    // Writes them into folder in place, as the bridge's files change: the
    // same files, rewritten. False if one could not be written.
    static bool write(TelemetryDecoder::Format sim, const QString &folder, const State &state);
};

#endif // SHAREDMEMORYLAYOUTS_H
