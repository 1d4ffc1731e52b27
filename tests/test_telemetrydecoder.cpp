// SPDX-License-Identifier: MIT
#include <QtTest>

#include "telemetrydecoder.h"
#include "telemetrypackets.h"

#include <limits>

using Sample = TelemetryDecoder::Sample;
using P = TelemetryPackets;

namespace {

bool decode(const QByteArray &packet, Sample *sample)
{
    return TelemetryDecoder::decode(reinterpret_cast<const unsigned char *>(packet.constData()),
                                    size_t(packet.size()), sample);
}

} // namespace

class TestTelemetryDecoder : public QObject
{
    Q_OBJECT
private slots:
    void everyFormat_data();
    void everyFormat();
    void unreadable_data();
    void unreadable();
    void capturedGranTurismo7Packet();
    void capturedF1Packets();
    void raceInformation();
    void docsSayWhatEachGameTells();
};

void TestTelemetryDecoder::everyFormat_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<int>("format");
    QTest::addColumn<float>("rpm");
    QTest::addColumn<float>("maxRpm");
    QTest::addColumn<int>("handbrake"); // -1: the format has none
    QTest::addColumn<bool>("raceOn");

    // The handbrake and stages of every format show end to end; these are
    // the values that the lights do not tell apart.
    QTest::newRow("Forza tyres, handbrake 200")
        << P::forza(331, true, 1, 7000, 200) << int(TelemetryDecoder::ForzaDashTyres) << 1.f
        << 7000.f << 1 << true;
    QTest::newRow("Forza menu") << P::forza(311, false, 0, 0) << int(TelemetryDecoder::ForzaDash)
                                << 0.f << 0.f << 0 << false;
    QTest::newRow("OutGauge with ID")
        << P::outGauge(96, "FZ50", 3000) << int(TelemetryDecoder::OutGaugeWithId) << 3000.f << 0.f
        << 0 << true;
    QTest::newRow("Codemasters, divided by 10, reverse 10")
        << P::codemasters(700, 760, 10) << int(TelemetryDecoder::Codemasters) << 700.f << 760.f
        << -1 << true;
    QTest::newRow("F1 23 Car Telemetry, player 21")
        << P::f1Telemetry(2023, 21, 10500, 80) << int(TelemetryDecoder::F1_2023) << 10500.f << 0.f
        << -1 << true;
    QTest::newRow("F1 2021 Car Telemetry, player 0")
        << P::f1Telemetry(2021, 0, 9000, 10, -1) << int(TelemetryDecoder::F1_2021) << 9000.f << 0.f
        << -1 << true;
    QTest::newRow("EA WRC, handbrake half")
        << P::wrc(5000, 7000, 0.5f, 0.5f) << int(TelemetryDecoder::EaWrc) << 5000.f << 7000.f << 1
        << true;
    QTest::newRow("Project CARS 2 before Patch 5")
        << P::pcars2(538, 4000, 9000) << int(TelemetryDecoder::ProjectCars2) << 4000.f << 9000.f
        << 0 << true;
    QTest::newRow("RBR, reverse") << P::rbr(2500, 0.0f, 0)
                                  << int(TelemetryDecoder::RichardBurnsRally) << 2500.f << 0.f << 0
                                  << true;
}

void TestTelemetryDecoder::everyFormat()
{
    QFETCH(QByteArray, packet);
    Sample s;
    QVERIFY(decode(packet, &s));
    QTEST(int(s.format), "format");
    QTEST(s.rpm, "rpm");
    QTEST(s.maxRpm, "maxRpm");
    QFETCH(int, handbrake);
    QCOMPARE(s.hasHandbrake, handbrake >= 0);
    QCOMPARE(s.handbrake, handbrake == 1);
    QTEST(s.raceOn, "raceOn");
    if (packet.size() == 96)
        QCOMPARE(QByteArray(s.car.data(), 4), QByteArray("FZ50"));
}

void TestTelemetryDecoder::unreadable_data()
{
    QTest::addColumn<QByteArray>("packet");
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (int size : {0, 1, 91, 93, 231, 233, 263, 310, 312, 323, 330, 332, 2048})
        QTest::addRow("%d bytes", size) << QByteArray(size, '\x01');
    QTest::newRow("Forza NaN RPM") << P::forza(311, true, nan, 8000);
    QTest::newRow("Forza infinite RPM") << P::forza(232, true, inf, 8000);
    QTest::newRow("Forza negative RPM") << P::forza(331, true, -5, 8000);
    QTest::newRow("Forza maximum 0") << P::forza(324, true, 1000, 0);
    QTest::newRow("Forza maximum below 0") << P::forza(311, true, 1000, -8000);
    QTest::newRow("Forza maximum NaN") << P::forza(232, true, 1000, nan);
    QTest::newRow("Forza RPM far over the maximum") << P::forza(232, true, 80000, 8000);
    QTest::newRow("Forza menu, NaN RPM") << P::forza(311, false, nan, 0);
    QTest::newRow("Forza gear 255") << P::forza(311, true, 1000, 8000, 0, 255);
    QByteArray raceOnTwo = P::forza(311, true, 1000, 8000);
    P::putU32(raceOnTwo, 0, 2);
    QTest::newRow("Forza race-on 2") << raceOnTwo;
    QTest::newRow("OutGauge NaN RPM") << P::outGauge(92, "XRT", nan);
    QTest::newRow("OutGauge infinite RPM") << P::outGauge(96, "XRT", -inf);
    QTest::newRow("OutGauge gear 200") << P::outGauge(92, "XRT", 3000, false, false, 200);
    QTest::newRow("Codemasters NaN RPM") << P::codemasters(nan, 7000);
    QTest::newRow("Codemasters maximum 0") << P::codemasters(3000, 0);
    QTest::newRow("Codemasters gear 2.5") << P::codemasters(3000, 7000, 2.5f);
    QTest::newRow("Codemasters gear NaN") << P::codemasters(3000, 7000, nan);
    QTest::newRow("Codemasters gear -2") << P::codemasters(3000, 7000, -2);
    QTest::newRow("F1 player index 22") << P::f1Telemetry(2024, 22, 9000, 50);
    QTest::newRow("F1 rev lights 101") << P::f1Telemetry(2024, 1, 9000, 101);
    QTest::newRow("F1 gear 9") << P::f1Telemetry(2025, 1, 9000, 50, 9);
    QTest::newRow("F1 status, maximum 0") << P::f1Status(2023, 2, 0);
    QByteArray f1Short = P::f1Telemetry(2024, 1, 9000, 50);
    f1Short.chop(5);
    QTest::newRow("F1 24 telemetry of the 2022 size") << f1Short;
    QByteArray f1Year = P::f1Telemetry(2024, 1, 9000, 50);
    P::putU16(f1Year, 0, 2026);
    QTest::newRow("F1 year 2026") << f1Year;
    QTest::newRow("F1 session paused 2") << [] {
        QByteArray s = P::f1Session(2024, false, false);
        P::putU8(s, 29 + 14, 2);
        return s;
    }();
    QTest::newRow("EA WRC NaN RPM") << P::wrc(nan, 7000, 0.5f);
    QTest::newRow("EA WRC maximum 0") << P::wrc(3000, 0, 0.5f);
    QTest::newRow("EA WRC NaN handbrake") << P::wrc(3000, 7000, 0.5f, nan);
    QTest::newRow("EA WRC infinite shift fraction") << P::wrc(3000, 7000, inf);
    QTest::newRow("EA WRC gear 21, not reverse") << P::wrc(3000, 7000, 0.5f, 0, 21);
    QTest::newRow("Project CARS 2, RPM without a maximum") << P::pcars2(559, 3000, 0);
    QTest::newRow("Project CARS 2, RPM far over the maximum") << P::pcars2(559, 30000, 8000);
    QTest::newRow("RBR NaN RPM") << P::rbr(nan);
    QTest::newRow("RBR handbrake 7") << P::rbr(3000, 7.0f);
    QTest::newRow("RBR gear -1") << P::rbr(3000, 0.0f, -1);
}

void TestTelemetryDecoder::unreadable()
{
    QFETCH(QByteArray, packet);
    Sample s;
    QVERIFY(!decode(packet, &s));
}

// The packet captured from the game, and what it says once decrypted.
void TestTelemetryDecoder::capturedGranTurismo7Packet()
{
    QFile file(QStringLiteral(BRIMSEL_TEST_DATA "/gt7-296.hex"));
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    QByteArray packet;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (!line.startsWith('#'))
            packet += QByteArray::fromHex(line.simplified().replace(' ', ""));
    }
    QCOMPARE(packet.size(), 296);
    Sample s;
    QVERIFY(decode(packet, &s));
    QCOMPARE(int(s.format), int(TelemetryDecoder::GranTurismo7));
    QCOMPARE(qRound(s.rpm * 1000), 7973833);
    QCOMPARE(s.maxRpm, 9000.f);        // the top of the rev alert
    QVERIFY(!s.shiftSignal);           // below its bottom, 8500
    QCOMPARE(s.gear, 4);               // the low nibble of 0x24
    QVERIFY(!s.handbrake && s.raceOn); // flags 0x0008: in gear, nothing else
    // One byte of the nonce or of the magic changed: unreadable, not a crash.
    for (int offset : {0x00, 0x40, 0x43}) {
        QByteArray forged = packet;
        forged[offset] = char(forged[offset] ^ 0x01);
        QVERIFY2(!decode(forged, &s), qPrintable(QString::number(offset)));
    }
    QVERIFY(!decode(packet.left(295), &s));
}

// Packets captured from F1 24 with the player's car on the grid.
void TestTelemetryDecoder::capturedF1Packets()
{
    const auto read = [](const char *name) {
        QFile file(QStringLiteral(BRIMSEL_TEST_DATA "/") + QLatin1String(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    // Motion Ex has EA SPORTS WRC's size: the header says whose it is.
    const QByteArray motionEx = read("f1-24-motion-ex.bin");
    QCOMPARE(motionEx.size(), 237);
    Sample s;
    QVERIFY(decode(motionEx, &s));
    QCOMPARE(int(s.format), int(TelemetryDecoder::F1_2024));
    QVERIFY(!s.hasRpm && !s.hasHandbrake);
    // A WRC packet is still WRC's.
    QVERIFY(decode(P::wrc(5000, 8000, 0.5f, 0, 3), &s));
    QCOMPARE(int(s.format), int(TelemetryDecoder::EaWrc));

    QByteArray status = read("f1-24-car-status.bin");
    QCOMPARE(status.size(), 1239);
    QVERIFY(decode(status, &s));
    QCOMPARE(int(s.format), int(TelemetryDecoder::F1_2024));
    QCOMPARE(s.maxRpm, 13999.f);
    QVERIFY(!s.hasRaceOn);
    // Spectating or a replay: player 255, nobody drives, nothing unreadable.
    status[27] = char(255);
    QVERIFY(decode(status, &s));
    QVERIFY(s.hasRaceOn && !s.raceOn && s.maxRpm == 0);
    QByteArray telemetry = P::f1Telemetry(2025, 1, 9000, 50);
    telemetry[27] = char(255);
    QVERIFY(decode(telemetry, &s));
    QVERIFY(s.hasRaceOn && !s.raceOn && !s.hasRpm);
}

// What the packets say of the race: captured F1 24 packets as the game sent
// them, and the other formats' fields set one by one.
void TestTelemetryDecoder::raceInformation()
{
    using Flag = TelemetryDecoder::Flag;
    const auto read = [](const QString &name) {
        QFile file(QStringLiteral(BRIMSEL_TEST_DATA "/") + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    Sample s;
    // On the grid: no flag, limiter off, no DRS; the session has no safety car.
    QVERIFY(decode(read("f1-24-car-status.bin"), &s));
    QVERIFY(s.hasFlag && s.flag == Flag::None && s.hasLimiter && !s.limiter);
    QVERIFY(s.hasDrsAvailable && !s.drsAvailable && !s.hasEventFlag);
    QVERIFY(decode(read("f1-24-session.bin"), &s));
    QVERIFY(s.hasTrackFlag && s.trackFlag == Flag::None && s.raceOn);
    const struct
    {
        const char *file;
        Flag flag;
    } events[] = {{"f1-24-event-CHQF.bin", Flag::Chequered},
                  {"f1-24-event-RDFL.bin", Flag::Red},
                  {"f1-24-event-LGOT.bin", Flag::None}};
    for (const auto &event : events) {
        QVERIFY2(decode(read(event.file), &s), event.file);
        QVERIFY2(s.hasEventFlag && s.eventFlag == event.flag && !s.hasRpm, event.file);
    }
    // The game's unknown flag (-1) says nothing; a value no game sends is unreadable.
    QVERIFY(decode(P::f1Status(2024, 3, 12000, -1), &s) && !s.hasFlag);
    QVERIFY(decode(P::f1Status(2022, 3, 12000, 3, true), &s));
    QVERIFY(s.flag == Flag::Yellow && s.limiter);
    QVERIFY(!decode(P::f1Status(2024, 3, 12000, 9), &s));
    QVERIFY(decode(P::f1Session(2023, false, false, 2), &s) && s.trackFlag == Flag::SafetyCar);

    QByteArray outGauge = P::outGauge(96, "XRT", 5000);
    P::putU32(outGauge, 44, 0x8 | 0x400); // pit speed limiter, ABS
    QVERIFY(decode(outGauge, &s));
    QVERIFY(s.limiter && s.abs && s.hasTc && !s.tc && !s.hasFlag);
    QVERIFY(decode(P::gt7(5000, 6000, 7000, 0x0001 | 0x0800), &s) && s.hasTc && s.tc);
    QVERIFY(decode(P::gt7(5000, 6000, 7000, 0x0001), &s) && !s.tc);
    QByteArray pcars = P::pcars2(559, 5000, 8000);
    P::putU8(pcars, 17, 0x08);
    QVERIFY(decode(pcars, &s) && s.hasLimiter && s.limiter);
    // Forza says nothing of the race.
    QVERIFY(decode(P::forza(311, true, 5000, 8000), &s));
    QVERIFY(!s.hasFlag && !s.hasLimiter && !s.hasAbs && !s.hasTc && !s.hasPitLane);
}

// The docs' table of what each game tells of the race is the decoders'.
void TestTelemetryDecoder::docsSayWhatEachGameTells()
{
    QFile file(QStringLiteral(BRIMSEL_PROFILE_DOC));
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString text = QString::fromUtf8(file.readAll());
    const int from = text.indexOf("<!-- race-info"), to = text.indexOf("<!-- end race-info");
    QVERIFY(from >= 0 && to > from);
    struct Row
    {
        QStringList names;
        bool memory;
        int info;
        QString line;
    };
    QVector<Row> rows;
    const QRegularExpression quoted(QStringLiteral("`([^`]+)`"));
    for (const QString &line : text.mid(from, to - from).split('\n')) {
        const QStringList cells = line.split('|');
        if (cells.size() != 11 || !cells[3].contains('`'))
            continue; // the header, its rule, the comment
        Row row{{}, cells[2].trimmed() == "memory", 0, line};
        for (auto m = quoted.globalMatch(cells[3]); m.hasNext();)
            row.names << m.next().captured(1);
        for (int k = 0; k < 6; ++k) {
            if (cells[4 + k].contains(QStringLiteral("✓")))
                row.info |= 1 << k;
        }
        rows << row;
    }
    QVERIFY(rows.size() > 10);
    QVector<bool> used(rows.size());
    for (int f = TelemetryDecoder::Unknown + 1; f < TelemetryDecoder::FormatCount; ++f) {
        const auto format = TelemetryDecoder::Format(f);
        const QString name = TelemetryDecoder::gameNames(format).value(0);
        const bool memory = format >= TelemetryDecoder::IRacing;
        int at = -1;
        for (int r = 0; r < rows.size() && at < 0; ++r) {
            if (rows[r].names.contains(name) && rows[r].memory == memory)
                at = r;
        }
        QVERIFY2(at >= 0, qPrintable(TelemetryDecoder::formatName(format)));
        QVERIFY2(rows[at].info == TelemetryDecoder::raceInfo(format), qPrintable(rows[at].line));
        used[at] = true;
    }
    QVERIFY2(!used.contains(false), "a row of no game");
}

QTEST_GUILESS_MAIN(TestTelemetryDecoder)
#include "test_telemetrydecoder.moc"
