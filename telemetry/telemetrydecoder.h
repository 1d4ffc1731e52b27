// SPDX-License-Identifier: MIT
#ifndef TELEMETRYDECODER_H
#define TELEMETRYDECODER_H

#include <QString>
#include <QStringList>

#include <array>
#include <cstddef>

// Reads one UDP telemetry packet of a racing game. Most formats have no
// header, so the size tells them apart first; every value is little-endian,
// whatever the host. Each format is one class (forzaformat.h and its
// neighbours) and one row of the table in telemetrydecoder.cpp. Pure and
// allocation-free: it runs once per packet, 60 times a second or more.
class TelemetryDecoder
{
public:
    enum Format {
        Unknown,
        ForzaSled,      // 232 bytes
        ForzaDash,      // 311 bytes
        ForzaWorldDash, // 324 bytes, the open-world titles
        ForzaDashTyres, // 331 bytes, the dash plus tyre wear and track
        OutGauge,       // 92 bytes
        OutGaugeWithId, // 96 bytes
        Codemasters,    // 264 bytes, extradata="3"
        F1_2021,        // EA's F1, by the packet format in the header
        F1_2022,
        F1_2023,
        F1_2024,
        F1_2025,
        EaWrc,             // EA SPORTS WRC, the "wrc" structure, 237 bytes
        ProjectCars2,      // Automobilista 2 and Project CARS 2
        RichardBurnsRally, // RSF/NGP, 664 bytes
        AssettoCorsa,      // RTCarInfo, 328 bytes, once subscribed
        GranTurismo7,      // the simulator interface, 296 bytes, encrypted
        GranTurismoSport,
        // Read from the sims' shared memory, not from UDP.
        IRacing,
        AssettoCorsaMemory, // Assetto Corsa and Competizione alike
        ProjectCars2Memory, // Automobilista 2 and Project CARS 2
        RFactor2Memory,     // the map plug-in: rFactor 2, and Le Mans Ultimate where it runs
        LeMansUltimate,     // its own mapping
        RaceRoom,           // $R3E
        AssettoCorsaEvo,    // its own blocks, or the physics alone in Competizione's before 0.6
        FormatCount
    };

    // A car's name in UTF-8, cut at a character's end, NUL-padded: long
    // enough to tell every game's cars apart, and no allocation per packet.
    static constexpr size_t CarBytes = 48;
    using Car = std::array<char, CarBytes>;

    // A race flag, by rising importance: where several are out, the lights
    // show the most important.
    enum class Flag : uint8_t {
        None,
        Green,
        White,
        Blue,
        Yellow,
        SafetyCar,
        Chequered,
        Black,
        Red
    };
    static constexpr int FlagCount = 9;

    // What one packet says. A game that spreads its data over several kinds
    // of packet fills only what this one carries.
    struct Sample
    {
        Format format = Unknown;
        bool hasRpm = true; // false for a packet of the maximum or the game's state alone
        float rpm = 0;
        float maxRpm = 0; // 0 where the packet has none: learnt, or from an earlier one
        bool hasGear = false;
        int gear = 0; // -1 reverse, 0 neutral, 1 first …
        bool hasHandbrake = false;
        bool handbrake = false;
        bool hasRaceOn = false; // whether the game says if anybody drives
        bool raceOn = true;
        bool hasShiftSignal = false; // the game's own shift light, where it sends one
        bool shiftSignal = false;
        Car car{}; // the car's name where the game gives one (setCar), NUL-padded
        // The race. Flags come three ways: the one shown to the player's
        // car, the session's (a safety car), and one a game says once and
        // that holds until it says another (F1's chequered flag).
        bool hasFlag = false;
        Flag flag = Flag::None;
        bool hasTrackFlag = false;
        Flag trackFlag = Flag::None;
        bool hasEventFlag = false;
        Flag eventFlag = Flag::None;
        bool hasLimiter = false; // the pit limiter
        bool limiter = false;
        bool hasPitLane = false;
        bool pitLane = false;
        bool hasAbs = false; // working now, not the setting
        bool abs = false;
        bool hasTc = false;
        bool tc = false;
        bool hasDrsAvailable = false;
        bool drsAvailable = false;
        bool hasDrsOpen = false;
        bool drsOpen = false;
    };

    static void setCar(Car *car, const QString &name);
    static void setCar(Car *car, long long number);
    // UTF-8 up to `bytes` of it or a NUL, cut at a character's end; no allocation.
    static void setCarUtf8(Car *car, const unsigned char *text, size_t bytes);
    // UTF-16LE as the sims write it, up to `units` of it or a NUL.
    static void setCarUtf16(Car *car, const unsigned char *text, size_t units);
    static QString carName(const Car &car);

    // Largest packet of any format; a reader's buffer needs at least one
    // byte more, so that a longer packet shows as one of no known size.
    static constexpr size_t MaxPacketSize = 1460;

    // Fills sample and returns true, or returns false for a packet of no
    // known format or one that carries values no game sends; then only the
    // sample's format counts (Unknown when no format claims the packet).
    static bool decode(const unsigned char *data, size_t size, Sample *sample);

    // As standard error names it.
    static QString formatName(Format format);
    // One format for all the sizes and years of one game's: its first.
    static Format gameOf(Format format);
    // The names of the game that sends a format, as a user says them and a
    // profile names its games: short and stable. Most have one; where one
    // format is sent by two games that it does not tell apart, both.
    static QStringList gameNames(Format format);
    // Every name gameNames() gives, each once.
    static QStringList allGameNames();
    // As a profile names it: "yellow", "safety_car" …; empty for None.
    static QString flagName(Flag flag);

    // What a format can tell of the race, for the docs' table.
    enum RaceInfo {
        FlagInfo = 1,
        LimiterInfo = 2,
        PitInfo = 4,
        AbsInfo = 8,
        TcInfo = 16,
        DrsInfo = 32
    };
    static int raceInfo(Format format);
};

#endif // TELEMETRYDECODER_H
