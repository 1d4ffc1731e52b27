// SPDX-License-Identifier: MIT
#include "acmemory.h"

#include "telemetrybytes.h"

#include <algorithm>

using B = TelemetryBytes;

namespace {

enum Page { Physics, Graphics, Static };
// Physics: packetId 0, gear 16 (0 reverse, 1 neutral, 2 first), rpms 20.
constexpr size_t kPhysicsSize = 24;
// Graphics: packetId 0, status 4.
constexpr size_t kGraphicsSize = 8;
// Static page: carModel, 33 UTF-16 characters, at 68; maxRpm at 412.
constexpr size_t kCarModel = 68, kCarModelUnits = 33;
constexpr size_t kMaxRpm = 412;
enum Status { Off, Replay, Live, Pause };

} // namespace

AcMemory::AcMemory()
    : SharedMemoryGame(TelemetryDecoder::AssettoCorsaMemory,
                       {QStringLiteral("Local\\acpmf_physics"),
                        QStringLiteral("Local\\acpmf_graphics"),
                        QStringLiteral("Local\\acpmf_static")})
{
}

SharedMemoryGame::Read AcMemory::read(TelemetryDecoder::Sample *s, uint64_t *progress)
{
    unsigned char physics[kPhysicsSize], graphics[kGraphicsSize], maxRpm[4], again[4];
    unsigned char carModel[kCarModelUnits * 2];
    // No lock in these pages: the physics page is taken again if its
    // packet counter moved while it was copied.
    bool consistent = false;
    for (int attempt = 0; attempt < 2 && !consistent; ++attempt) {
        if (!block(Physics).read(0, physics, sizeof physics) ||
            !block(Physics).read(0, again, sizeof again))
            return tooShort(Physics);
        consistent = B::u32(physics, 0) == B::u32(again, 0);
    }
    if (!consistent)
        return Nothing;
    if (!block(Graphics).read(0, graphics, sizeof graphics))
        return tooShort(Graphics);
    if (!block(Static).read(kMaxRpm, maxRpm, sizeof maxRpm) ||
        !block(Static).read(kCarModel, carModel, sizeof carModel))
        return tooShort(Static);

    const int status = B::s32(graphics, 4);
    const int gear = B::s32(physics, 16);
    if (status < Off || status > Pause || gear < 0 || gear > B::MaxForwardGears + 1)
        return unreadable(QStringLiteral("values no game writes"));
    s->format = format();
    s->rpm = float(B::s32(physics, 20));
    s->maxRpm = float(std::max(0, B::s32(maxRpm, 0)));
    s->hasGear = true;
    s->gear = gear - 1;
    s->hasRaceOn = true;
    s->raceOn = status == Live;
    TelemetryDecoder::setCarUtf16(&s->car, carModel, kCarModelUnits);
    if (!B::plausibleRpm(s->rpm) || !B::plausibleRpm(s->maxRpm) ||
        (s->maxRpm > 0 && s->rpm > s->maxRpm * B::MaxOverRev))
        return unreadable(QStringLiteral("values no game writes"));
    *progress = uint64_t(B::u32(physics, 0)) << 32 | B::u32(graphics, 0);
    return Readable;
}
