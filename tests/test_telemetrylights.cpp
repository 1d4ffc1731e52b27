// SPDX-License-Identifier: MIT
#include <QtTest>

#include "telemetrydecoder.h"
#include "telemetrylights.h"
#include "telemetrypackets.h"

using Lights = TelemetryLights;
using P = TelemetryPackets;

namespace {

const QRgb green = qRgb(0, 255, 0), yellow = qRgb(255, 255, 0), red = qRgb(255, 0, 0),
           blue = qRgb(0, 0, 255), off = qRgb(0, 0, 0), idle = qRgb(0x20, 0x20, 0x20);

TelemetryDecoder::Sample sampleOf(const QByteArray &packet)
{
    TelemetryDecoder::Sample s;
    if (!TelemetryDecoder::decode(reinterpret_cast<const unsigned char *>(packet.constData()),
                                  size_t(packet.size()), &s))
        qFatal("test packet not readable");
    return s;
}

Lights::Colors all(QRgb c)
{
    return {c, c, c};
}

// OutGauge has a handbrake field: the handbrake stays idle while it is off.
Lights::Colors shifters(QRgb c)
{
    return {idle, c, c};
}

} // namespace

class TestTelemetryLights : public QObject
{
    Q_OBJECT
private slots:
    void init() { now = 1000000; }
    void stages();
    void flashTiming();
    void notDriving();
    void outGaugeHighestSinceCarChange();
    void shiftAtOverridesTheGamesSignal();
    void aGameInItsMenusDoesNotTakeTheLights();
    void eachAccessoryShowsWhatItsListSays();
    void gamesAndCarsHaveTheirOwn();
    void flashRateAndANewProfile();
    void raceFlagsAndLimiter();

private:
    qint64 now = 0;
    Lights::Clock clock = [this] { return now; };
};

void TestTelemetryLights::stages()
{
    Lights lights(idle, 0.97, clock);
    QCOMPARE(lights.colors(), all(idle)); // at start
    const struct
    {
        float rpm;
        QRgb shown;
    } steps[] = {{6999, idle}, {7000, green}, {8499, green}, {8500, yellow}, {9199, yellow},
                 {9200, red},  {9699, red},   {9700, blue},  {10500, blue},  {6000, idle}};
    for (const auto &step : steps) {
        lights.feed(sampleOf(P::codemasters(step.rpm, 10000)));
        QCOMPARE(lights.colors(), all(step.shown));
    }
    Lights early(idle, 0.90, clock);
    early.feed(sampleOf(P::forza(232, true, 9000, 10000)));
    QCOMPARE(early.stage(), Lights::Flash);
}

void TestTelemetryLights::flashTiming()
{
    Lights lights(idle, 0.97, clock);
    lights.feed(sampleOf(P::forza(232, true, 7900, 8000)));
    QCOMPARE(lights.colors(), all(blue));
    QCOMPARE(lights.msUntilChange(), 125);
    now += 124;
    lights.feed(sampleOf(P::forza(232, true, 7950, 8000))); // still there: no restart
    QCOMPARE(lights.colors(), all(blue));
    QCOMPARE(lights.msUntilChange(), 1);
    now += 1;
    QCOMPARE(lights.colors(), all(off));
    now += 125;
    QCOMPARE(lights.colors(), all(blue));
    now += 200;
    QCOMPARE(lights.colors(), all(off));
    // Down to red and up again: the flash starts blue.
    lights.feed(sampleOf(P::forza(232, true, 7500, 8000)));
    QCOMPARE(lights.colors(), all(red));
    lights.feed(sampleOf(P::forza(232, true, 7900, 8000)));
    QCOMPARE(lights.colors(), all(blue));
}

void TestTelemetryLights::notDriving()
{
    Lights lights(idle, 0.97, clock);
    QCOMPARE(lights.msUntilChange(), -1);
    lights.feed(sampleOf(P::forza(311, true, 7000, 8000, 1)));
    QCOMPARE(lights.msUntilChange(), 2000);
    now += 1999;
    QCOMPARE(lights.colors(), (Lights::Colors{red, yellow, yellow}));
    now += 1;
    QCOMPARE(lights.colors(), all(idle));
    QCOMPARE(lights.msUntilChange(), -1);
    lights.feed(sampleOf(P::forza(311, true, 7000, 8000, 0)));
    QCOMPARE(lights.colors(), (Lights::Colors{idle, yellow, yellow}));
    // The race is off: idle, handbrake and all, until it is on again.
    lights.feed(sampleOf(P::forza(311, false, 7000, 8000, 1)));
    QCOMPARE(lights.colors(), all(idle));
    lights.feed(sampleOf(P::forza(331, true, 7900, 8000, 1)));
    QCOMPARE(lights.colors(), (Lights::Colors{red, blue, blue}));
}

void TestTelemetryLights::aGameInItsMenusDoesNotTakeTheLights()
{
    Lights lights(idle, 0.97, clock);
    TelemetryDecoder::Sample menus;
    menus.format = TelemetryDecoder::AssettoCorsaMemory;
    menus.hasRpm = false;
    menus.hasRaceOn = true;
    menus.raceOn = false;
    lights.feed(sampleOf(P::forza(311, true, 7000, 8000)));
    lights.feed(menus);
    QCOMPARE(lights.colors(), (Lights::Colors{idle, yellow, yellow}));
    // Once the other game has gone quiet, the one in its menus is heard.
    now += 2000;
    lights.feed(menus);
    QCOMPARE(lights.colors(), all(idle));
    // And the newest that drives has the lights.
    TelemetryDecoder::Sample driving = menus;
    driving.hasRpm = true;
    driving.raceOn = true;
    driving.rpm = 7600;
    driving.maxRpm = 8000;
    lights.feed(sampleOf(P::forza(311, true, 7000, 8000)));
    lights.feed(driving);
    QCOMPARE(lights.colors(), all(red));
}

void TestTelemetryLights::outGaugeHighestSinceCarChange()
{
    Lights lights(idle, 0.97, clock);
    // Only idling so far: no maximum yet, so no stage.
    lights.feed(sampleOf(P::outGauge(92, "XRT", 900)));
    lights.feed(sampleOf(P::outGauge(92, "XRT", 1000)));
    QCOMPARE(lights.colors(), all(idle));
    lights.feed(sampleOf(P::outGauge(92, "XRT", 8000)));
    QCOMPARE(lights.colors(), shifters(red)); // the highest seen, but no shift light
    lights.feed(sampleOf(P::outGauge(96, "XRT", 6000)));
    QCOMPARE(lights.colors(), shifters(green));
    lights.feed(sampleOf(P::outGauge(92, "XRT", 7000, true)));
    QCOMPARE(lights.colors(), shifters(blue));
    // Another car: 6000 is no longer judged against 8000.
    lights.feed(sampleOf(P::outGauge(92, "FZ50", 800)));
    lights.feed(sampleOf(P::outGauge(92, "FZ50", 6000)));
    QCOMPARE(lights.colors(), shifters(red));
}

void TestTelemetryLights::shiftAtOverridesTheGamesSignal()
{
    // F1's rev lights full at 0.9 of its maximum: the game's flash, unless
    // the user named a shift point.
    for (bool followGame : {true, false}) {
        Lights lights(idle, 0.95, clock, followGame);
        lights.feed(sampleOf(P::f1Status(2024, 0, 10000)));
        lights.feed(sampleOf(P::f1Telemetry(2024, 0, 9000, 100)));
        QCOMPARE(lights.colors(), all(followGame ? blue : yellow)); // F1 has no handbrake
        lights.feed(sampleOf(P::f1Telemetry(2024, 0, 9600, 90)));
        QCOMPARE(lights.colors(), all(followGame ? red : blue));
    }
}

void TestTelemetryLights::eachAccessoryShowsWhatItsListSays()
{
    using Show = LightsProfile::Show;
    LightsProfile profile = LightsProfile::defaults();
    profile.settings.accessories[0].show = {Show::Rev, Show::Base};
    profile.settings.accessories[1].show = {Show::Shift, Show::Handbrake, Show::Base};
    profile.settings.accessories[2].show = {Show::Off};
    Lights lights(profile, clock);
    const QRgb purple = qRgb(0x80, 0, 0x80), grey = qRgb(0x20, 0x20, 0x20);
    const Lights::Colors base{purple, grey, idle};
    QCOMPARE(lights.colors(base), base); // nobody drives: the bases
    // Below the first stage the rev light has nothing: the base shows.
    lights.feed(sampleOf(P::forza(311, true, 5000, 10000)));
    QCOMPARE(lights.colors(base), (Lights::Colors{purple, grey, off}));
    lights.feed(sampleOf(P::forza(311, true, 9000, 10000, 1)));
    QCOMPARE(lights.colors(base), (Lights::Colors{yellow, red, off}));
    lights.feed(sampleOf(P::forza(311, true, 9800, 10000, 1)));
    QCOMPARE(lights.colors(base), (Lights::Colors{blue, blue, off}));
    now += 125; // the dark half of the flash is dark, not the base
    QCOMPARE(lights.colors(base), (Lights::Colors{off, off, off}));

    // The default lists: a handbrake kept purple stays so while the race
    // runs and the lever is down; red while it is pulled.
    Lights byDefault(LightsProfile::defaults(), clock);
    byDefault.feed(sampleOf(P::forza(311, true, 5000, 10000, 0)));
    QCOMPARE(byDefault.colors(base), (Lights::Colors{purple, grey, idle}));
    byDefault.feed(sampleOf(P::forza(311, true, 7500, 10000, 1)));
    QCOMPARE(byDefault.colors(base), (Lights::Colors{red, green, green}));
}

void TestTelemetryLights::gamesAndCarsHaveTheirOwn()
{
    LightsProfile profile = LightsProfile::defaults();
    LightsProfile::Game &forza = profile.games["forza"];
    forza.name = "Forza";
    forza.settings = profile.settings;
    forza.settings.stages = {{80, qRgb(0, 255, 255)}};
    LightsProfile::Game &lfs = profile.games["live for speed"];
    lfs.name = "Live for Speed";
    lfs.settings = profile.settings;
    lfs.cars["XRT"] = profile.settings;
    lfs.cars["XRT"].maxRpm = 8000;
    Lights lights(profile, clock);
    const auto revOn = [](QRgb c) { return Lights::Colors{off, c, c}; }; // the profile's idle: off
    lights.feed(sampleOf(P::forza(311, true, 7500, 10000)));
    QCOMPARE(lights.colors(), revOn(off)); // 75 %: below Forza's only stage
    lights.feed(sampleOf(P::forza(311, true, 8500, 10000)));
    QCOMPARE(lights.colors(), revOn(qRgb(0, 255, 255)));
    // OutGauge sends no maximum: the car's is used from the first packet,
    // where another car's is still to be learnt.
    lights.feed(sampleOf(P::outGauge(92, "XRT", 6000)));
    QCOMPARE(lights.car(), QString("XRT"));
    QCOMPARE(lights.colors(), revOn(green));
    lights.feed(sampleOf(P::outGauge(92, "FZ50", 6000)));
    QCOMPARE(lights.colors(), revOn(off));
}

void TestTelemetryLights::flashRateAndANewProfile()
{
    LightsProfile slow = LightsProfile::defaults();
    slow.settings.flashHz = 4;
    slow.settings.flashColor = qRgb(255, 0, 255);
    Lights lights(slow, clock);
    lights.feed(sampleOf(P::forza(232, true, 7900, 8000)));
    QCOMPARE(lights.colors(), all(qRgb(255, 0, 255)));
    QCOMPARE(lights.msUntilChange(), 250);
    now += 250;
    QCOMPARE(lights.colors(), all(off));
    // A profile that comes while the game drives shows at once.
    LightsProfile later = LightsProfile::defaults();
    later.settings.flashFrom = 99.5;
    later.settings.flashFollowsGame = false;
    lights.setProfile(later);
    QCOMPARE(lights.colors(), all(red));
    QCOMPARE(lights.stage(), 2);
}

// F1's race over its kinds of packet: the car's flag and limiter, the
// session's safety car, and flags said once by events, each shown by the
// default profile and blinking at its rate; silence forgets them.
void TestTelemetryLights::raceFlagsAndLimiter()
{
    const QRgb amber = qRgb(0xff, 0xbf, 0x00), orange = qRgb(0xff, 0x80, 0x00),
               blueFlag = qRgb(0x00, 0x40, 0xff), white = qRgb(0xff, 0xff, 0xff);
    Lights lights(LightsProfile::defaults(), clock);
    const auto status = [&](int flag, bool limiter = false) {
        lights.feed(sampleOf(P::f1Status(2024, 19, 12000, flag, limiter)));
        lights.feed(sampleOf(P::f1Telemetry(2024, 19, 9000, 0))); // 75 %
    };
    status(0);
    QCOMPARE(lights.colors(), all(green)); // no lever in F1: the rev light
    status(3);
    QCOMPARE(lights.colors(), (Lights::Colors{amber, green, green}));
    QCOMPARE(lights.flag(), TelemetryDecoder::Flag::Yellow);
    status(3, true);
    QCOMPARE(lights.colors(), (Lights::Colors{amber, orange, orange}));
    QCOMPARE(lights.msUntilChange(), 250); // the limiter's 4 Hz
    now += 250;
    QCOMPARE(lights.colors(), (Lights::Colors{amber, off, off}));
    status(2);
    QCOMPARE(lights.colors(), (Lights::Colors{blueFlag, green, green}));

    // The chequered flag outranks the blue and holds while the car's flag is none.
    lights.feed(sampleOf(P::f1Event(2024, "CHQF")));
    status(0);
    QCOMPARE(lights.colors()[0], white);
    now += 500;
    QCOMPARE(lights.colors()[0], off);
    lights.feed(sampleOf(P::f1Event(2024, "LGOT")));
    QCOMPARE(lights.colors()[0], green);
    lights.feed(sampleOf(P::f1Session(2024, false, false, 1)));
    QCOMPARE(lights.colors()[0], amber);
    QCOMPARE(lights.flag(), TelemetryDecoder::Flag::SafetyCar);

    // Silent for two seconds: what was said of the race is forgotten.
    now += Lights::SilenceMs;
    lights.feed(sampleOf(P::f1Telemetry(2024, 19, 9000, 0)));
    QCOMPARE(lights.flag(), TelemetryDecoder::Flag::None);
    QCOMPARE(lights.colors(), all(green));

    // A game's own colours: none for a flag lets the next item show.
    LightsProfile quiet = LightsProfile::defaults();
    quiet.settings.race.flags[size_t(TelemetryDecoder::Flag::Yellow)] = {};
    lights.setProfile(quiet);
    status(3);
    QCOMPARE(lights.colors()[0], green);
}

QTEST_GUILESS_MAIN(TestTelemetryLights)
#include "test_telemetrylights.moc"
