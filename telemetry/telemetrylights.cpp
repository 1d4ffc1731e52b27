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

bool isOutGauge(TelemetryDecoder::Format format)
{
    return format == TelemetryDecoder::OutGauge || format == TelemetryDecoder::OutGaugeWithId;
}

} // namespace

TelemetryLights::TelemetryLights(QRgb idle, double shiftAt, Clock clock)
    : idle(idle), shiftAt(shiftAt), clock(std::move(clock))
{
}

void TelemetryLights::feed(const TelemetryDecoder::Sample &sample)
{
    const qint64 now = clock();
    heard = true;
    lastHeard = now;
    raceOn = !sample.hasRaceOn || sample.raceOn;
    hasHandbrake = sample.hasHandbrake;
    handbrake = sample.handbrake;
    const Stage before = driving(now) ? revStage : Idle;
    Stage next = Idle;
    if (!raceOn) {
        next = Idle;
    } else if (isOutGauge(sample.format)) {
        if (!outGaugeCarKnown || sample.car != outGaugeCar) {
            outGaugeCarKnown = true;
            outGaugeCar = sample.car;
            highestRpm = 0;
            lowestRunningRpm = 0;
        }
        highestRpm = std::max(highestRpm, sample.rpm);
        if (sample.rpm > 0 && (lowestRunningRpm == 0 || sample.rpm < lowestRunningRpm))
            lowestRunningRpm = sample.rpm;
        if (sample.shiftLight)
            next = Flash;
        else if (highestRpm >= lowestRunningRpm * kLearntRatio && highestRpm > 0)
            next = std::min(stageFor(sample.rpm / highestRpm), Red);
    } else {
        next = stageFor(double(sample.rpm) / double(sample.maxRpm));
    }
    // A flash starts blue, each time the light gets there.
    if (next == Flash && before != Flash)
        flashStart = now;
    revStage = next;
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
