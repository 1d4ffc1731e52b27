// SPDX-License-Identifier: MIT
#ifndef TELEMETRYLIGHTS_H
#define TELEMETRYLIGHTS_H

#include "telemetrydecoder.h"

#include <QColor>

#include <array>
#include <functional>

// What the accessories show for the telemetry read so far: a rev light on
// the shifters, the handbrake red while it is pulled, the idle colour while
// nobody drives. Time comes from the clock it is given, so that the flash
// and the fall-back to idle can be checked without waiting.
class TelemetryLights
{
public:
    using Clock = std::function<qint64()>; // milliseconds, never going back
    // One colour per accessory, in slot order: handbrake, SQ shifter, H shifter.
    using Colors = std::array<QRgb, 3>;

    enum Stage { Idle, Green, Yellow, Red, Flash };

    static constexpr double GreenFrom = 0.70;
    static constexpr double YellowFrom = 0.85;
    static constexpr double RedFrom = 0.92;
    static constexpr double DefaultShiftAt = 0.97;
    static constexpr int FlashMs = 125; // blue, then off, each this long
    static constexpr int SilenceMs = 2000;

    // shiftAt: the fraction of the maximum RPM from which the light flashes,
    // where the game sends no shift signal of its own or followGameShift is
    // false (the user named a shift point).
    TelemetryLights(QRgb idle, double shiftAt, Clock clock, bool followGameShift = true);

    // A readable packet has come.
    void feed(const TelemetryDecoder::Sample &sample);

    Stage stage() const; // of the rev light, now
    // Whether a game drives now: the lights are the game's, not idle.
    bool isDriving() const { return driving(clock()); }
    // The game that spoke last, driving or not.
    TelemetryDecoder::Format lastGame() const { return game; }
    Colors colors() const;
    // Milliseconds until colors() changes by itself (the flash, silence), or -1.
    int msUntilChange() const;

private:
    Stage stageFor(double fraction) const;
    bool driving(qint64 now) const;
    float maximumFor(const TelemetryDecoder::Sample &sample);

    const QRgb idle;
    const double shiftAt;
    const Clock clock;
    const bool followGameShift;

    bool heard = false;
    qint64 lastHeard = 0;
    // What the game last said, kept across its kinds of packet until
    // another game speaks.
    TelemetryDecoder::Format game = TelemetryDecoder::Unknown;
    bool raceOn = true;
    float gameMaxRpm = 0;
    Stage revStage = Idle;
    qint64 flashStart = 0;
    bool hasHandbrake = false;
    bool handbrake = false;
    // Where the game sends no maximum: the highest RPM since the car changed.
    std::array<char, 4> car{};
    float highestRpm = 0;
    float lowestRunningRpm = 0;
};

#endif // TELEMETRYLIGHTS_H
