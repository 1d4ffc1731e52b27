// SPDX-License-Identifier: MIT
#include "telemetrylights.h"

#include <algorithm>
#include <utility>

namespace {

const QRgb kGreen = qRgb(0x00, 0xff, 0x00);
const QRgb kYellow = qRgb(0xff, 0xff, 0x00);
const QRgb kRed = qRgb(0xff, 0x00, 0x00);
const QRgb kBlue = qRgb(0x00, 0x00, 0xff);
const QRgb kOff = qRgb(0x00, 0x00, 0x00);

// Until the engine has been revved to twice its lowest running speed, the
// highest RPM seen is no stand-in for a maximum: a car that has only idled
// would show red at idle.
constexpr float kLearntRatio = 2.0f;

} // namespace

TelemetryLights::TelemetryLights(QRgb idle, double shiftAt, Clock clock, bool followGameShift)
    : idle(idle), shiftAt(shiftAt), clock(std::move(clock)), followGameShift(followGameShift)
{
}

void TelemetryLights::feed(const TelemetryDecoder::Sample &sample)
{
    const qint64 now = clock();
    const Stage before = driving(now) ? revStage : Idle;
    // The newest game that drives has the lights: another one that sits in
    // its menus (a sim left running beside it) does not take them away.
    if (driving(now) && TelemetryDecoder::gameOf(sample.format) != game && sample.hasRaceOn &&
        !sample.raceOn)
        return;
    heard = true;
    lastHeard = now;
    if (TelemetryDecoder::gameOf(sample.format) != game) {
        // Another game: nothing the last one said holds.
        game = TelemetryDecoder::gameOf(sample.format);
        raceOn = true;
        gameMaxRpm = 0;
        car = {};
        highestRpm = 0;
        lowestRunningRpm = 0;
    }
    if (sample.hasRaceOn)
        raceOn = sample.raceOn;
    if (sample.maxRpm > 0)
        gameMaxRpm = sample.maxRpm;
    if (!raceOn) {
        revStage = Idle;
        return;
    }
    if (!sample.hasRpm)
        return; // the maximum or the state alone: the stage waits for the next RPM
    hasHandbrake = sample.hasHandbrake;
    handbrake = sample.handbrake;
    const float maximum = maximumFor(sample);
    const Stage byRpm = maximum > 0 ? stageFor(double(sample.rpm) / double(maximum)) : Idle;
    Stage next = byRpm;
    if (sample.hasShiftSignal && followGameShift)
        next = sample.shiftSignal ? Flash : std::min(byRpm, Red);
    // A flash starts blue, each time the light gets there.
    if (next == Flash && before != Flash)
        flashStart = now;
    revStage = next;
}

// The game's maximum, or one learnt from the RPM seen; 0 until there is one.
float TelemetryLights::maximumFor(const TelemetryDecoder::Sample &sample)
{
    if (gameMaxRpm > 0)
        return gameMaxRpm;
    if (sample.car != car) {
        car = sample.car;
        highestRpm = 0;
        lowestRunningRpm = 0;
    }
    highestRpm = std::max(highestRpm, sample.rpm);
    if (sample.rpm > 0 && (lowestRunningRpm == 0 || sample.rpm < lowestRunningRpm))
        lowestRunningRpm = sample.rpm;
    return highestRpm > 0 && highestRpm >= lowestRunningRpm * kLearntRatio ? highestRpm : 0;
}

TelemetryLights::Stage TelemetryLights::stage() const
{
    return driving(clock()) ? revStage : Idle;
}

TelemetryLights::Colors TelemetryLights::colors() const
{
    const qint64 now = clock();
    if (!driving(now))
        return {idle, idle, idle};
    QRgb rev = idle;
    switch (revStage) {
    case Idle:
        break;
    case Green:
        rev = kGreen;
        break;
    case Yellow:
        rev = kYellow;
        break;
    case Red:
        rev = kRed;
        break;
    case Flash:
        rev = ((now - flashStart) / FlashMs) % 2 == 0 ? kBlue : kOff;
        break;
    }
    const QRgb handbrakeColor = hasHandbrake ? (handbrake ? kRed : idle) : rev;
    return {handbrakeColor, rev, rev};
}

int TelemetryLights::msUntilChange() const
{
    const qint64 now = clock();
    if (!driving(now))
        return -1;
    qint64 wait = lastHeard + SilenceMs - now;
    if (revStage == Flash)
        wait = std::min(wait, FlashMs - (now - flashStart) % FlashMs);
    return int(wait);
}

TelemetryLights::Stage TelemetryLights::stageFor(double fraction) const
{
    if (fraction >= shiftAt)
        return Flash;
    if (fraction >= RedFrom)
        return Red;
    if (fraction >= YellowFrom)
        return Yellow;
    if (fraction >= GreenFrom)
        return Green;
    return Idle;
}

bool TelemetryLights::driving(qint64 now) const
{
    return heard && raceOn && now - lastHeard < SilenceMs;
}
