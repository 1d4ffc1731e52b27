// SPDX-License-Identifier: MIT
// Lights profiles as their owners might write them, or break them: read,
// written back and read again, then followed by the lights through a drive.
// Nothing a profile says may crash the agent, hang it, or flash faster than
// the lights always have.
#include "fuzzsupport.h"
#include "profilefile.h"
#include "telemetrylights.h"

namespace {

bool sane(const LightsProfile::Settings &s)
{
    return s.flashHz > 0 && s.flashHz <= LightsProfile::MaxFlashHz && s.stages.size() <= 32 &&
           s.maxRpm >= 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const ProfileFile::Result result =
        ProfileFile::parse(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    if (!result.ok) {
        FUZZ_CHECK(!result.errors.isEmpty());
        return 0;
    }
    const LightsProfile &profile = result.profile;
    FUZZ_CHECK(sane(profile.settings));
    for (const auto &game : profile.games) {
        FUZZ_CHECK(sane(game.second.settings));
        for (const auto &car : game.second.cars)
            FUZZ_CHECK(sane(car.second));
    }
    // What --check-profile prints reads back as the same profile.
    const ProfileFile::Result again = ProfileFile::parse(ProfileFile::text(profile).toUtf8());
    FUZZ_CHECK(again.ok && again.profile == profile);

    // A drive through every stage, the game's signal on and off.
    qint64 now = 0;
    TelemetryLights lights(profile, [&now] { return now; });
    TelemetryDecoder::Sample sample;
    sample.format = TelemetryDecoder::GranTurismo7;
    sample.maxRpm = 10000;
    sample.hasShiftSignal = true;
    sample.hasHandbrake = true;
    TelemetryDecoder::setCar(&sample.car, 3311);
    int before = TelemetryLights::Idle;
    for (int rpm = 0; rpm <= 10500; rpm += 250) {
        sample.rpm = float(rpm);
        sample.shiftSignal = rpm >= 9500;
        sample.handbrake = rpm % 1000 == 0;
        lights.feed(sample);
        const int wait = lights.msUntilChange();
        FUZZ_CHECK(wait >= 1 && wait <= TelemetryLights::SilenceMs);
        // A flash that starts stays lit at least as long as it always has.
        if (lights.stage() == TelemetryLights::Flash && before != TelemetryLights::Flash)
            FUZZ_CHECK(wait >= int(1000 / LightsProfile::MaxFlashHz));
        before = lights.stage();
        (void)lights.colors({1, 2, 3});
        now += 10;
    }
    return 0;
}
