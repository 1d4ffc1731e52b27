// SPDX-License-Identifier: MIT
#ifndef LIGHTSPROFILE_H
#define LIGHTSPROFILE_H

#include "telemetrydecoder.h"

#include <QRgb>
#include <QString>

#include <array>
#include <map>
#include <vector>

// What each light shows while a game drives, as the owner wants it: the rev
// light's stages and flash, and for each accessory a list of what it shows,
// the first that has something to show winning; then the same for one game,
// and for one car of a game. Every level holds whole settings, filled in
// from the level above when it is read, so that the lights look one up once
// per game or car and never merge anything per packet.
class LightsProfile
{
public:
    // What an accessory can show while a game drives.
    enum class Show {
        Rev,   // the rev light: its stages and the flash
        Shift, // the flash alone
        // The handbrake colour while the lever is pulled. Where the game
        // reports the lever, the accessory is the lever's: while it is not
        // pulled the rest of the list shows, but not the rev light or the
        // flash. Where it does not, nothing.
        Handbrake,
        Base, // the accessory's kept colour, else the idle colour
        Off,  // dark
        // The race, where the game tells it: the most important flag out,
        // the pit limiter on, in the pit lane, ABS or TC working, DRS open
        // (or available). Kept in this order: TelemetryLights' race slots
        // follow it.
        Flag,
        Limiter,
        Pit,
        Abs,
        Tc,
        Drs,
    };
    static constexpr int ShowCount = 11;

    // A race light: one colour, or colours in turn, each 1/hz s. No
    // colours: nothing to show (the rest of the list shows).
    struct Signal
    {
        std::vector<QRgb> colors;
        double hz = 0;
        bool operator==(const Signal &o) const { return colors == o.colors && hz == o.hz; }
    };

    // The race lights' colours, by what they show.
    enum RaceItem {
        LimiterItem,
        PitItem,
        AbsItem,
        TcItem,
        DrsItem,
        DrsAvailableItem,
        RaceItemCount
    };
    struct Race
    {
        std::array<Signal, TelemetryDecoder::FlagCount> flags; // by flag; None's unused
        std::array<Signal, RaceItemCount> items;
        bool operator==(const Race &o) const { return flags == o.flags && items == o.items; }
    };

    struct Stage
    {
        double from; // percent of the maximum RPM
        QRgb color;
        bool operator==(const Stage &o) const { return from == o.from && color == o.color; }
    };

    struct Accessory
    {
        std::vector<Show> show;
        QRgb handbrake;
        bool operator==(const Accessory &o) const
        {
            return show == o.show && handbrake == o.handbrake;
        }
    };

    struct Settings
    {
        std::vector<Stage> stages; // by rising `from`
        double flashFrom = 97;     // percent of the maximum RPM
        // The game's own shift signal where it sends one; flashFrom elsewhere.
        bool flashFollowsGame = true;
        QRgb flashColor = qRgb(0x00, 0x00, 0xff);
        double flashHz = 8; // colour and dark, each 1/hz s
        // Slot order: handbrake, SQ shifter, H shifter.
        std::array<Accessory, 3> accessories;
        double maxRpm = 0; // the car's maximum where the game sends none; 0: the game's or learnt
        Race race;
        bool operator==(const Settings &o) const;
        bool operator!=(const Settings &o) const { return !(*this == o); }
    };

    struct Game
    {
        QString name; // as written
        Settings settings;
        std::map<QString, Settings> cars; // by the car's name as the game gives it
    };

    // No flash faster than this (the lights' stream stays what it was).
    static constexpr double MaxFlashHz = 8;

    QRgb idle = qRgb(0, 0, 0);     // no game drives and nothing is kept
    bool idleSet = false;          // the file says it: the lights start with it
    Settings settings;             // every game's, where it has none of its own
    std::map<QString, Game> games; // by the game's name, case folded

    // The lights with no profile: the rev light from 70 % green, 85 % yellow,
    // 92 % red and a blue flash from 97 % on the shifters, the pit limiter
    // over it; the handbrake red while pulled, else the flag out, else the
    // rev light where the game does not report the lever.
    static LightsProfile defaults();

    // The settings for that game and car; a game or car it names nothing
    // for takes those above.
    const Settings &settingsFor(const QString &game, const QString &car) const;

    // --idle and --shift-at, over whatever the file says, at every level.
    void setIdle(QRgb color)
    {
        idle = color;
        idleSet = true;
    }
    void setShiftAt(double percent);

    // The [race] table's keys of the items, as raceItemName gives them.
    static QString raceItemName(RaceItem item);

    static QString showName(Show show);
    // The names of `show`, in the order above; false for another name.
    static bool showFromName(const QString &name, Show *show);

    bool operator==(const LightsProfile &o) const;
    bool operator!=(const LightsProfile &o) const { return !(*this == o); }
};

#endif // LIGHTSPROFILE_H
