// SPDX-License-Identifier: MIT
#ifndef TELEMETRYLIGHTS_H
#define TELEMETRYLIGHTS_H

#include "lightsprofile.h"
#include "telemetrydecoder.h"

#include <QColor>

#include <array>
#include <functional>

// What the accessories show for the telemetry read so far, as a profile
// says: by default a rev light on the shifters, the handbrake red while it
// is pulled, each accessory's base colour (kept, else idle) while nobody
// drives. Time comes from the clock it is given, so that the flash and the
// fall-back to the base colours can be checked without waiting.
class TelemetryLights
{
public:
    using Clock = std::function<qint64()>; // milliseconds, never going back
    // One colour per accessory, in slot order: handbrake, SQ shifter, H shifter.
    using Colors = std::array<QRgb, 3>;

    // Where the rev light is: below its first stage, at one, or flashing.
    enum Stage { Idle = -1, Flash = -2 }; // else the index of the stage

    static constexpr double DefaultShiftAt = 0.97;
    static constexpr int SilenceMs = 2000;

    // The default profile with that idle colour and shift point (a fraction
    // of the maximum RPM); followGameShift false when the user named the
    // shift point, so that it holds where a game sends its own signal.
    TelemetryLights(QRgb idle, double shiftAt, Clock clock, bool followGameShift = true);
    TelemetryLights(const LightsProfile &profile, Clock clock);

    // Another profile, from the next colours() on.
    void setProfile(const LightsProfile &profile);
    const LightsProfile &profile() const { return current; }

    // A readable packet has come.
    void feed(const TelemetryDecoder::Sample &sample);

    int stage() const; // of the rev light, now
    // Whether a game drives now: the lights are the game's, not idle.
    bool isDriving() const { return driving(clock()); }
    // The game that spoke last, driving or not.
    TelemetryDecoder::Format lastGame() const { return game; }
    // Its format of that game (F1's by year).
    TelemetryDecoder::Format lastFormat() const { return format; }
    // The car it drives, as the game names it; empty where it names none.
    QString car() const { return TelemetryDecoder::carName(carSeen); }
    const TelemetryDecoder::Car &carBytes() const { return carSeen; }
    // base: each accessory's colour when nothing else is shown (its kept
    // colour, else the idle colour); the idle colour for all without it.
    Colors colors(const Colors &base) const;
    Colors colors() const;
    // Milliseconds until colors() changes by itself (the flash, silence), or -1.
    int msUntilChange() const;

    // The flag the lights show now: the most important the game says.
    TelemetryDecoder::Flag flag() const;

private:
    // What blinks in turn, each from when it began; in the order of the
    // race's LightsProfile::Show items.
    enum RaceSlot { FlagSlot, LimiterSlot, PitSlot, AbsSlot, TcSlot, DrsSlot, RaceSlots };
    struct Race
    {
        // The player's, the session's, and the one said once.
        std::array<TelemetryDecoder::Flag, 3> flags{};
        bool limiter = false;
        bool pitLane = false;
        bool abs = false;
        bool tc = false;
        bool drsAvailable = false;
        bool drsOpen = false;
    };
    void feedRace(const TelemetryDecoder::Sample &sample, qint64 now);
    // The signal shown for a race slot now, or null where it has nothing.
    const LightsProfile::Signal *raceSignal(RaceSlot slot) const;
    QRgb signalColor(const LightsProfile::Signal &signal, RaceSlot slot, qint64 now) const;

    bool driving(qint64 now) const;
    float maximumFor(const TelemetryDecoder::Sample &sample);
    void pickSettings();
    int stageNow() const;
    int flashHalfMs() const;

    const Clock clock;
    LightsProfile current;
    const LightsProfile::Settings *settings; // for the game and car now

    bool heard = false;
    qint64 lastHeard = 0;
    // What the game last said, kept across its kinds of packet until
    // another game speaks.
    TelemetryDecoder::Format game = TelemetryDecoder::Unknown;
    TelemetryDecoder::Format format = TelemetryDecoder::Unknown; // of that game, by year
    bool raceOn = true;
    float gameMaxRpm = 0;
    double percent = -1; // of the maximum RPM; -1 while there is no maximum
    bool hasShiftSignal = false;
    bool shiftSignal = false;
    int revStage = Idle;
    qint64 flashStart = 0;
    bool hasHandbrake = false;
    bool handbrake = false;
    TelemetryDecoder::Car carSeen{};
    Race race;
    std::array<qint64, RaceSlots> raceSince{};
    // Where the game sends no maximum: the highest RPM since the car changed.
    float highestRpm = 0;
    float lowestRunningRpm = 0;
};

#endif // TELEMETRYLIGHTS_H
