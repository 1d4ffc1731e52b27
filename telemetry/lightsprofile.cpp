// SPDX-License-Identifier: MIT
#include "lightsprofile.h"

namespace {

const char *const kShowNames[LightsProfile::ShowCount] = {
    "rev", "shift", "handbrake", "base", "off", "flag", "limiter", "pit", "abs", "tc", "drs"};
const char *const kRaceItemNames[LightsProfile::RaceItemCount] = {
    "limiter", "pit", "abs", "tc", "drs", "drs_available"};

} // namespace

bool LightsProfile::Settings::operator==(const Settings &o) const
{
    return stages == o.stages && flashFrom == o.flashFrom &&
           flashFollowsGame == o.flashFollowsGame && flashColor == o.flashColor &&
           flashHz == o.flashHz && accessories == o.accessories && maxRpm == o.maxRpm &&
           race == o.race;
}

bool LightsProfile::operator==(const LightsProfile &o) const
{
    if (idle != o.idle || idleSet != o.idleSet || settings != o.settings ||
        games.size() != o.games.size())
        return false;
    for (auto a = games.begin(), b = o.games.begin(); a != games.end(); ++a, ++b) {
        if (a->first != b->first || a->second.settings != b->second.settings ||
            a->second.cars != b->second.cars)
            return false;
    }
    return true;
}

LightsProfile LightsProfile::defaults()
{
    LightsProfile profile;
    Settings &s = profile.settings;
    s.stages = {
        {70, qRgb(0x00, 0xff, 0x00)}, {85, qRgb(0xff, 0xff, 0x00)}, {92, qRgb(0xff, 0x00, 0x00)}};
    const QRgb red = qRgb(0xff, 0x00, 0x00);
    // The lever where the game reports it, else the flag, else the rev light.
    s.accessories[0] = {{Show::Handbrake, Show::Flag, Show::Rev, Show::Base}, red};
    s.accessories[1] = {{Show::Limiter, Show::Rev, Show::Base}, red};
    s.accessories[2] = {{Show::Limiter, Show::Rev, Show::Base}, red};

    using Flag = TelemetryDecoder::Flag;
    const QRgb dark = qRgb(0, 0, 0), white = qRgb(0xff, 0xff, 0xff);
    const QRgb amber = qRgb(0xff, 0xbf, 0x00);
    auto &flags = s.race.flags;
    // Green is out for a whole race in some games: left to the owner.
    flags[size_t(Flag::Green)] = {};
    flags[size_t(Flag::White)] = {{white}, 0};
    flags[size_t(Flag::Blue)] = {{qRgb(0x00, 0x40, 0xff)}, 0};
    flags[size_t(Flag::Yellow)] = {{amber}, 0};
    flags[size_t(Flag::SafetyCar)] = {{amber, dark}, 2};
    flags[size_t(Flag::Chequered)] = {{white, dark}, 2};
    flags[size_t(Flag::Black)] = {{white, dark}, 8};
    flags[size_t(Flag::Red)] = {{red}, 0};
    auto &items = s.race.items;
    items[LimiterItem] = {{qRgb(0xff, 0x80, 0x00), dark}, 4};
    items[PitItem] = {{qRgb(0x80, 0x00, 0xff)}, 0};
    items[AbsItem] = {{qRgb(0xff, 0xff, 0x00)}, 0};
    items[TcItem] = {{qRgb(0x00, 0xff, 0xff)}, 0};
    items[DrsItem] = {{qRgb(0x00, 0xff, 0x00)}, 0};
    items[DrsAvailableItem] = {{qRgb(0x00, 0xff, 0x00), dark}, 2};
    return profile;
}

const LightsProfile::Settings &LightsProfile::settingsFor(const QString &game,
                                                          const QString &car) const
{
    if (games.empty() || game.isEmpty())
        return settings;
    const auto g = games.find(game.toCaseFolded());
    if (g == games.end())
        return settings;
    const auto c = car.isEmpty() ? g->second.cars.end() : g->second.cars.find(car);
    return c == g->second.cars.end() ? g->second.settings : c->second;
}

void LightsProfile::setShiftAt(double percent)
{
    const auto set = [percent](Settings &s) {
        s.flashFrom = percent;
        s.flashFollowsGame = false;
    };
    set(settings);
    for (auto &game : games) {
        set(game.second.settings);
        for (auto &car : game.second.cars)
            set(car.second);
    }
}

QString LightsProfile::raceItemName(RaceItem item)
{
    return QLatin1String(kRaceItemNames[item]);
}

QString LightsProfile::showName(Show show)
{
    return QLatin1String(kShowNames[int(show)]);
}

bool LightsProfile::showFromName(const QString &name, Show *show)
{
    for (int i = 0; i < ShowCount; ++i) {
        if (name == QLatin1String(kShowNames[i])) {
            *show = Show(i);
            return true;
        }
    }
    return false;
}
