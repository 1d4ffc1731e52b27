// SPDX-License-Identifier: MIT
#include "raceroommemory.h"

#include "telemetrybytes.h"

#include <algorithm>
#include <array>

using B = TelemetryBytes;

namespace {

// Where one version of the layout keeps each field read.
struct Layout
{
    int major, firstMinor, lastMinor;
    size_t paused;  // then game_in_menus, game_in_replay, each i32
    size_t ticks;   // the player's game_simulation_ticks, i32
    size_t pitLane; // in_pitlane, i32, -1 not known
    size_t flags;   // flags.yellow; blue +32, black +36, green +40, checkered +44, white +48
    size_t carName; // vehicle_info.name, 64 bytes of UTF-8
    size_t engine;  // engine_rps; max_engine_rps +4, upshift_rps +8, gear +12
    size_t aids;    // aid_settings.abs; tc +4 (5: at work now)
    size_t drs;     // drs.engaged; pit_limiter +4
};

constexpr Layout kLayouts[] = {
    {3, 4, 5, 20, 44, 848, 932, 1196, 1396, 1536, 1568},
    {2, 11, 16, 16, 36, 820, 900, 1156, 1340, 1468, 1500},
};
constexpr size_t kReadBytes = 1576; // up to the pit limiter of the larger layout
constexpr size_t kCarNameBytes = 64;
constexpr int kAtWork = 5;
constexpr float kRpsToRpm = float(60 / (2 * 3.14159265358979323846));

} // namespace

RaceRoomMemory::RaceRoomMemory()
    : SharedMemoryGame(TelemetryDecoder::RaceRoom, {QStringLiteral("$R3E")})
{
}

SharedMemoryGame::Read RaceRoomMemory::read(TelemetryDecoder::Sample *s, uint64_t *progress)
{
    std::array<unsigned char, kReadBytes> copy;
    unsigned char head[8];
    if (!block(0).read(0, head, sizeof head))
        return tooShort(0);
    const int major = B::s32(head, 0), minor = B::s32(head, 4);
    const Layout *l = nullptr;
    for (const Layout &known : kLayouts) {
        if (major == known.major && minor >= known.firstMinor && minor <= known.lastMinor)
            l = &known;
    }
    if (!l)
        return unreadable(
            QStringLiteral("layout version %1.%2 is not known").arg(major).arg(minor));
    const size_t bytes = l->drs + 8;
    bool consistent = false;
    for (int attempt = 0; attempt < 2 && !consistent; ++attempt) {
        unsigned char again[4];
        if (!block(0).read(0, copy.data(), bytes) || !block(0).read(l->ticks, again, sizeof again))
            return tooShort(0);
        consistent = B::u32(copy.data(), l->ticks) == B::u32(again, 0);
    }
    if (!consistent)
        return Nothing;
    const unsigned char *p = copy.data();
    s->format = format();
    s->hasRaceOn = true;
    s->raceOn =
        B::s32(p, l->paused) != 1 && B::s32(p, l->paused + 4) != 1 && B::s32(p, l->paused + 8) != 1;
    *progress = B::u32(p, l->ticks);

    const float rps = B::f32(p, l->engine), maxRps = B::f32(p, l->engine + 4);
    const float upshift = B::f32(p, l->engine + 8);
    const int gear = B::s32(p, l->engine + 12);
    s->rpm = std::max(0.0f, rps) * kRpsToRpm; // -1: not known
    s->maxRpm = std::max(0.0f, maxRps) * kRpsToRpm;
    s->hasGear = gear >= -1;
    s->gear = s->hasGear ? gear : 0;
    s->hasShiftSignal = upshift > 0;
    s->shiftSignal = s->hasShiftSignal && rps >= upshift;
    TelemetryDecoder::setCarUtf8(&s->car, p + l->carName, kCarNameBytes);

    // The flags, each -1 where the game does not say: the most important shown.
    using Flag = TelemetryDecoder::Flag;
    const std::pair<size_t, Flag> flags[] = {{36, Flag::Black}, {44, Flag::Chequered},
                                             {0, Flag::Yellow}, {32, Flag::Blue},
                                             {48, Flag::White}, {40, Flag::Green}};
    for (const auto &f : flags) {
        const int32_t value = B::s32(p, l->flags + f.first);
        s->hasFlag = s->hasFlag || value >= 0;
        if (value == 1 && s->flag == Flag::None)
            s->flag = f.second;
    }
    auto state = [p](size_t at, bool *has, bool *on, int32_t onValue) {
        const int32_t value = B::s32(p, at);
        *has = value >= 0;
        *on = value == onValue;
    };
    state(l->pitLane, &s->hasPitLane, &s->pitLane, 1);
    state(l->aids, &s->hasAbs, &s->abs, kAtWork);
    state(l->aids + 4, &s->hasTc, &s->tc, kAtWork);
    state(l->drs, &s->hasDrsOpen, &s->drsOpen, 1);
    state(l->drs + 4, &s->hasLimiter, &s->limiter, 1);
    if (!B::plausibleRpm(s->rpm) || !B::plausibleRpm(s->maxRpm) ||
        (s->maxRpm > 0 && s->rpm > s->maxRpm * B::MaxOverRev) || gear > B::MaxForwardGears)
        return unreadable(QStringLiteral("values no game writes"));
    return Readable;
}
