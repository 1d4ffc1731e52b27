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

QTEST_GUILESS_MAIN(TestTelemetryLights)
#include "test_telemetrylights.moc"
