// SPDX-License-Identifier: MIT
#ifndef IRACINGMEMORY_H
#define IRACINGMEMORY_H

#include "sharedmemorygame.h"

#include <array>
#include <vector>

// iRacing's "Local\IRSDKMemMapFileName": a header, a table of variables
// found by name (their set differs by car), up to four rows of values of
// which the newest by tick count is read, and the session's description as
// text, where the car's shift lights are. The maximum is where the shift
// lights blink, the game's shift signal where they say to shift; the live
// variables of the shift lights win over the session's.
class IRacingMemory : public SharedMemoryGame
{
public:
    IRacingMemory();
    Read read(TelemetryDecoder::Sample *sample, uint64_t *progress) override;

    // Bounds on what the header may name, so that a broken one costs little.
    static constexpr int MaxVars = 8192;
    static constexpr int MaxBuffers = 4;
    static constexpr int MaxRowBytes = 1 << 20;
    static constexpr int MaxSessionInfoBytes = 4 << 20;

private:
    enum Wanted {
        Rpm,
        Gear,
        Handbrake,
        OnTrack,
        ReplayPlaying,
        ShiftRpm,
        BlinkRpm,
        LastRpm,
        SessionFlags,
        EngineWarnings,
        AbsActive,
        OnPitRoad,
        WantedCount
    };
    struct Variable
    {
        bool present = false;
        int type = 0;
        size_t offset = 0;
    };
    Read findVariables(size_t headerOffset, int count, size_t rowBytes);
    void readSessionInfo(size_t offset, int length);
    double value(Wanted which) const;
    float rpmValue(Wanted which) const; // 0 where absent or not an RPM
    uint32_t bits(Wanted which) const;  // a bit field's, 0 where absent or not one
    void forget() override;

    bool haveLayout = false;
    std::array<int32_t, 3> layout{}; // where the table is, how long, the row's size
    std::array<Variable, WantedCount> variables;
    bool haveSession = false;
    int32_t sessionUpdate = 0;
    // From the session's text: shift, blink, last, red line; 0 where absent.
    std::array<float, 4> sessionRpms{};
    TelemetryDecoder::Car sessionCar{}; // the player's car's screen name
    bool haveTick = false;
    int32_t lastTick = 0;
    std::vector<unsigned char> row, table;
};

#endif // IRACINGMEMORY_H
