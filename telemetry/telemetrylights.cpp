// SPDX-License-Identifier: MIT
#include "telemetrylights.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

const QRgb kOff = qRgb(0x00, 0x00, 0x00);

// Until the engine has been revved to twice its lowest running speed, the
// highest RPM seen is no stand-in for a maximum: a car that has only idled
// would show red at idle.
constexpr float kLearntRatio = 2.0f;

LightsProfile defaultProfile(QRgb idle, double shiftAt, bool followGameShift)
{
    LightsProfile profile = LightsProfile::defaults();
    profile.idle = idle;
    profile.settings.flashFrom = shiftAt * 100;
    profile.settings.flashFollowsGame = followGameShift;
    return profile;
}

} // namespace

TelemetryLights::TelemetryLights(QRgb idle, double shiftAt, Clock clock, bool followGameShift)
    : TelemetryLights(defaultProfile(idle, shiftAt, followGameShift), std::move(clock))
{
}

TelemetryLights::TelemetryLights(const LightsProfile &profile, Clock clock)
    : clock(std::move(clock)), current(profile), settings(&current.settings)
{
}

void TelemetryLights::setProfile(const LightsProfile &profile)
{
    current = profile;
    pickSettings();
    // The stage as the new profile draws it; a flash under way goes on.
    const int before = revStage;
    revStage = stageNow();
    if (revStage == Flash && before != Flash)
        flashStart = clock();
}

void TelemetryLights::pickSettings()
{
    settings = &current.settings;
    if (current.games.empty() || format == TelemetryDecoder::Unknown)
        return;
    const QString car = TelemetryDecoder::carName(carSeen);
    for (const QString &name : TelemetryDecoder::gameNames(format)) {
        if (current.games.count(name.toCaseFolded())) {
            settings = &current.settingsFor(name, car);
            return;
        }
    }
}

void TelemetryLights::feed(const TelemetryDecoder::Sample &sample)
{
    const qint64 now = clock();
    const int before = driving(now) ? revStage : Idle;
    // The newest game that drives has the lights: another one that sits in
    // its menus (a sim left running beside it) does not take them away.
    if (driving(now) && TelemetryDecoder::gameOf(sample.format) != game && sample.hasRaceOn &&
        !sample.raceOn)
        return;
    // Silence, or another game: nothing said of the race holds.
    if ((heard && now - lastHeard >= SilenceMs) || TelemetryDecoder::gameOf(sample.format) != game)
        race = Race();
    heard = true;
    lastHeard = now;
    feedRace(sample, now);
    if (TelemetryDecoder::gameOf(sample.format) != game) {
        // Another game: nothing the last one said holds.
        game = TelemetryDecoder::gameOf(sample.format);
        raceOn = true;
        gameMaxRpm = 0;
        carSeen = {};
        highestRpm = 0;
        lowestRunningRpm = 0;
        percent = -1;
    }
    if (sample.format != format) {
        format = sample.format;
        pickSettings();
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
    percent = maximum > 0 ? double(sample.rpm) / double(maximum) * 100 : -1;
    hasShiftSignal = sample.hasShiftSignal;
    shiftSignal = sample.shiftSignal;
    revStage = stageNow();
    // A flash starts lit, each time the light gets there.
    if (revStage == Flash && before != Flash)
        flashStart = now;
}

void TelemetryLights::feedRace(const TelemetryDecoder::Sample &s, qint64 now)
{
    const Race before = race;
    const TelemetryDecoder::Flag flagBefore = flag();
    if (s.hasFlag)
        race.flags[0] = s.flag;
    if (s.hasTrackFlag)
        race.flags[1] = s.trackFlag;
    if (s.hasEventFlag)
        race.flags[2] = s.eventFlag;
    auto take = [](bool has, bool value, bool *into) {
        if (has)
            *into = value;
    };
    take(s.hasLimiter, s.limiter, &race.limiter);
    take(s.hasPitLane, s.pitLane, &race.pitLane);
    take(s.hasAbs, s.abs, &race.abs);
    take(s.hasTc, s.tc, &race.tc);
    take(s.hasDrsAvailable, s.drsAvailable, &race.drsAvailable);
    take(s.hasDrsOpen, s.drsOpen, &race.drsOpen);
    // Each blinks from when it began, lit first.
    if (flag() != flagBefore)
        raceSince[FlagSlot] = now;
    if (race.limiter != before.limiter)
        raceSince[LimiterSlot] = now;
    if (race.pitLane != before.pitLane)
        raceSince[PitSlot] = now;
    if (race.abs != before.abs)
        raceSince[AbsSlot] = now;
    if (race.tc != before.tc)
        raceSince[TcSlot] = now;
    if (race.drsOpen != before.drsOpen || race.drsAvailable != before.drsAvailable)
        raceSince[DrsSlot] = now;
}

TelemetryDecoder::Flag TelemetryLights::flag() const
{
    return std::max({race.flags[0], race.flags[1], race.flags[2]});
}

const LightsProfile::Signal *TelemetryLights::raceSignal(RaceSlot slot) const
{
    const LightsProfile::Race &colors = settings->race;
    const LightsProfile::Signal *signal = nullptr;
    switch (slot) {
    case FlagSlot:
        if (flag() != TelemetryDecoder::Flag::None)
            signal = &colors.flags[size_t(flag())];
        break;
    case LimiterSlot:
        if (race.limiter)
            signal = &colors.items[LightsProfile::LimiterItem];
        break;
    case PitSlot:
        if (race.pitLane)
            signal = &colors.items[LightsProfile::PitItem];
        break;
    case AbsSlot:
        if (race.abs)
            signal = &colors.items[LightsProfile::AbsItem];
        break;
    case TcSlot:
        if (race.tc)
            signal = &colors.items[LightsProfile::TcItem];
        break;
    case DrsSlot:
        if (race.drsOpen)
            signal = &colors.items[LightsProfile::DrsItem];
        else if (race.drsAvailable)
            signal = &colors.items[LightsProfile::DrsAvailableItem];
        break;
    case RaceSlots:
        break;
    }
    return signal && !signal->colors.empty() ? signal : nullptr;
}

QRgb TelemetryLights::signalColor(const LightsProfile::Signal &signal, RaceSlot slot,
                                  qint64 now) const
{
    if (signal.colors.size() == 1 || signal.hz <= 0)
        return signal.colors.front();
    const qint64 each = std::max(1L, std::lround(1000 / signal.hz));
    return signal.colors[size_t((now - raceSince[slot]) / each) % signal.colors.size()];
}

// The profile's maximum for the car, the game's, or one learnt from the RPM
// seen; 0 until there is one.
float TelemetryLights::maximumFor(const TelemetryDecoder::Sample &sample)
{
    if (sample.car != carSeen) {
        carSeen = sample.car;
        highestRpm = 0;
        lowestRunningRpm = 0;
        pickSettings();
    }
    if (settings->maxRpm > 0)
        return float(settings->maxRpm);
    if (gameMaxRpm > 0)
        return gameMaxRpm;
    highestRpm = std::max(highestRpm, sample.rpm);
    if (sample.rpm > 0 && (lowestRunningRpm == 0 || sample.rpm < lowestRunningRpm))
        lowestRunningRpm = sample.rpm;
    return highestRpm > 0 && highestRpm >= lowestRunningRpm * kLearntRatio ? highestRpm : 0;
}

int TelemetryLights::stageNow() const
{
    if (!raceOn)
        return Idle;
    const bool flash = hasShiftSignal && settings->flashFollowsGame
                           ? shiftSignal
                           : percent >= 0 && percent >= settings->flashFrom;
    if (flash)
        return Flash;
    int stage = Idle;
    for (size_t i = 0; i < settings->stages.size(); ++i) {
        if (percent >= 0 && percent >= settings->stages[i].from)
            stage = int(i);
    }
    return stage;
}

int TelemetryLights::stage() const
{
    return driving(clock()) ? revStage : Idle;
}

int TelemetryLights::flashHalfMs() const
{
    return std::max(1, int(std::lround(1000 / settings->flashHz)));
}

TelemetryLights::Colors TelemetryLights::colors() const
{
    return colors({current.idle, current.idle, current.idle});
}

TelemetryLights::Colors TelemetryLights::colors(const Colors &base) const
{
    const qint64 now = clock();
    if (!driving(now))
        return base;
    using Show = LightsProfile::Show;
    // The flash is lit and dark in turn, each half as long.
    const bool flashing = revStage == Flash;
    const QRgb flash =
        flashing && ((now - flashStart) / flashHalfMs()) % 2 == 0 ? settings->flashColor : kOff;
    Colors shown = base;
    auto race = [&](RaceSlot slot, QRgb *color) {
        const LightsProfile::Signal *signal = raceSignal(slot);
        if (signal)
            *color = signalColor(*signal, slot, now);
        return signal != nullptr;
    };
    for (size_t slot = 0; slot < shown.size(); ++slot) {
        const LightsProfile::Accessory &accessory = settings->accessories[slot];
        // Where the game reports the lever, this accessory is the lever's:
        // no rev light on it while it is not pulled.
        bool lever = false;
        for (const Show show : accessory.show) {
            bool has = true;
            switch (show) {
            case Show::Rev:
                has = !lever &&
                      (flashing || (revStage >= 0 && size_t(revStage) < settings->stages.size()));
                if (has)
                    shown[slot] = flashing ? flash : settings->stages[size_t(revStage)].color;
                break;
            case Show::Shift:
                has = !lever && flashing;
                shown[slot] = flash;
                break;
            case Show::Handbrake:
                has = hasHandbrake && handbrake;
                lever = hasHandbrake;
                shown[slot] = accessory.handbrake;
                break;
            case Show::Flag:
            case Show::Limiter:
            case Show::Pit:
            case Show::Abs:
            case Show::Tc:
            case Show::Drs:
                // In the same order as the race's slots.
                has = race(RaceSlot(int(show) - int(Show::Flag)), &shown[slot]);
                break;
            case Show::Base:
                shown[slot] = base[slot];
                break;
            case Show::Off:
                shown[slot] = kOff;
                break;
            }
            if (has)
                break;
            shown[slot] = base[slot];
        }
    }
    return shown;
}

int TelemetryLights::msUntilChange() const
{
    const qint64 now = clock();
    if (!driving(now))
        return -1;
    qint64 wait = lastHeard + SilenceMs - now;
    if (revStage == Flash) {
        const int half = flashHalfMs();
        wait = std::min(wait, half - (now - flashStart) % half);
    }
    for (int slot = 0; slot < RaceSlots; ++slot) {
        const LightsProfile::Signal *signal = raceSignal(RaceSlot(slot));
        if (signal && signal->colors.size() > 1 && signal->hz > 0) {
            const qint64 each = std::max(1L, std::lround(1000 / signal->hz));
            wait = std::min(wait, each - (now - raceSince[size_t(slot)]) % each);
        }
    }
    return int(wait);
}

bool TelemetryLights::driving(qint64 now) const
{
    return heard && raceOn && now - lastHeard < SilenceMs;
}
