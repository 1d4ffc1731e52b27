// SPDX-License-Identifier: MIT
// The sims' shared memory as the Proton bridge leaves it in files: each
// sim's layout read into the lights' stages, its handbrake and idle; a sim
// that stops, a file cut short under the reader, a layout not known.
#include <QTemporaryDir>
#include <QtTest>

#include "sharedmemorylayouts.h"
#include "sharedmemorysource.h"
#include "telemetrylights.h"

#include <unistd.h>

using Format = TelemetryDecoder::Format;
using Layouts = SharedMemoryLayouts;
using Lights = TelemetryLights;

Q_DECLARE_METATYPE(TelemetryDecoder::Format)

namespace {

const QRgb green = qRgb(0, 255, 0), yellow = qRgb(255, 255, 0), red = qRgb(255, 0, 0),
           blue = qRgb(0, 0, 255), idle = qRgb(0x20, 0x20, 0x20);

bool hasHandbrake(Format sim)
{
    return sim == TelemetryDecoder::IRacing || sim == TelemetryDecoder::ProjectCars2Memory ||
           sim == TelemetryDecoder::AssettoCorsaEvo;
}

// One sim's files in a folder of their own, the source reading them and the
// lights they drive, on a clock of the test's.
struct Rig
{
    explicit Rig(Format sim)
        : sim(sim), source(folder.path(), one(sim)),
          lights(idle, Lights::DefaultShiftAt, [this] { return now; })
    {
    }
    static std::vector<std::unique_ptr<SharedMemoryGame>> one(Format sim)
    {
        std::vector<std::unique_ptr<SharedMemoryGame>> games;
        games.push_back(SharedMemoryGame::make(sim));
        return games;
    }
    // The sim writes, then the reader's next look.
    void write(Layouts::State s)
    {
        state = s;
        state.tick = ++tick;
        QVERIFY(Layouts::write(sim, folder.path(), state));
        wait(SharedMemorySource::ReadMs);
    }
    void wait(int ms)
    {
        for (const qint64 end = now + ms; now < end;) {
            now = std::min(end, now + qint64(std::max(1, source.msUntilPoll(now))));
            source.poll(
                now,
                [this](const TelemetryDecoder::Sample &s) {
                    lights.feed(s);
                    ++taken;
                },
                [this](const QString &line) { said << line; });
        }
    }
    Layouts::State at(float fraction, bool handbrake = false)
    {
        Layouts::State s;
        s.rpm = s.maxRpm * fraction;
        s.handbrake = handbrake;
        return s;
    }

    const Format sim;
    QTemporaryDir folder;
    qint64 now = 1000000;
    quint32 tick = 0;
    Layouts::State state;
    SharedMemorySource source;
    Lights lights;
    int taken = 0;
    QStringList said;
};

void truncateFirstBlock(Rig &rig, qint64 size)
{
    const auto blocks = Layouts::blocks(rig.sim, rig.state);
    QVERIFY(QFile::resize(rig.folder.path() + QLatin1Char('/') + blocks.front().first, size));
}

void addSims()
{
    QTest::addColumn<Format>("sim");
    for (Format sim : Layouts::sims())
        QTest::newRow(qPrintable(TelemetryDecoder::formatName(sim))) << sim;
}

} // namespace

class TestSharedMemory : public QObject
{
    Q_OBJECT
private slots:
    void stagesHandbrakeAndIdle_data() { addSims(); }
    void stagesHandbrakeAndIdle();
    void stoppedSimIsLetGoAndItsFileNotTakenForDriving_data() { addSims(); }
    void stoppedSimIsLetGoAndItsFileNotTakenForDriving();
    void cutShortUnderTheReader_data() { addSims(); }
    void cutShortUnderTheReader();
    void raceOnTheLights_data() { addSims(); }
    void raceOnTheLights();
    void iracingShiftLightsAndConnection();
    void unknownLayoutAndMissingFiles();
    void anotherUsersFileIsNotRead();
};

void TestSharedMemory::stagesHandbrakeAndIdle()
{
    QFETCH(Format, sim);
    Rig rig(sim);
    // Found: the first look is only where the sim stands.
    rig.write(rig.at(0.99f));
    QCOMPARE(rig.source.openCount(), 1);
    QCOMPARE(rig.taken, 0);
    const struct
    {
        float fraction;
        QRgb shifters;
    } steps[] = {{0.5f, idle}, {0.75f, green}, {0.88f, yellow}, {0.94f, red}, {0.99f, blue}};
    for (const auto &step : steps) {
        rig.write(rig.at(step.fraction));
        const Lights::Colors c = rig.lights.colors();
        QVERIFY2(c[1] == step.shifters && c[2] == step.shifters,
                 qPrintable(QStringLiteral("at %1: %2").arg(step.fraction).arg(c[1], 0, 16)));
    }
    QVERIFY(rig.taken >= 5);

    rig.write(rig.at(0.75f, true));
    QCOMPARE(rig.lights.colors()[0], hasHandbrake(sim) ? red : green);
    rig.write(rig.at(0.75f, false));
    QCOMPARE(rig.lights.colors()[0], hasHandbrake(sim) ? idle : green);

    // The sim says nobody drives: paused, in its menus, at the monitor.
    Layouts::State parked = rig.at(0.75f);
    parked.driving = false;
    // Where that is said at 5 Hz (rFactor 2's scoring), within a fifth of a second.
    for (int n = 0; n < 13; ++n)
        rig.write(parked);
    QCOMPARE(rig.lights.colors(), (Lights::Colors{idle, idle, idle}));
    for (int n = 0; n < 13; ++n)
        rig.write(rig.at(0.75f));
    QCOMPARE(rig.lights.colors()[1], green);
    QVERIFY2(rig.said.isEmpty(), qPrintable(rig.said.join('\n')));
}

// Each sim's flag and pit limiter, as the default profile shows them and as
// one that moves them does.
void TestSharedMemory::raceOnTheLights()
{
    QFETCH(Format, sim);
    using Flag = TelemetryDecoder::Flag;
    const QRgb amber = qRgb(0xff, 0xbf, 0x00), orange = qRgb(0xff, 0x80, 0x00),
               blueFlag = qRgb(0x00, 0x40, 0xff), white = qRgb(0xff, 0xff, 0xff);
    Rig rig(sim);
    Layouts::State s = rig.at(0.75f);
    // rFactor 2's scoring moves at a tenth of its telemetry's rate here.
    const auto write = [&] {
        for (int n = 0; n < 11; ++n)
            rig.write(s);
    };
    write();
    const QRgb handbrakeBefore = rig.lights.colors()[0];
    QCOMPARE(rig.lights.colors()[1], green);

    s.flag = Flag::Yellow; // rFactor 2's and LMU's full-course yellow
    write();
    QCOMPARE(rig.lights.colors()[0], amber);
    QCOMPARE(rig.lights.colors()[1], green);
    s.limiter = true;
    write();
    QCOMPARE(rig.lights.colors()[1], orange);
    QCOMPARE(rig.lights.colors()[2], orange);
    s.flag = Flag::Blue;
    s.limiter = false;
    write();
    QCOMPARE(rig.lights.colors()[0], blueFlag);
    QCOMPARE(rig.lights.colors()[1], green);
    s.flag = Flag::Chequered;
    write();
    QCOMPARE(rig.lights.colors()[0], white); // blinking, lit first
    s.flag = Flag::None;
    write();
    QCOMPARE(rig.lights.colors()[0], handbrakeBefore);

    // The owner's profile: the limiter on the handbrake, the flag on the shifters.
    LightsProfile profile = LightsProfile::defaults();
    profile.idle = idle;
    profile.settings.accessories[0].show = {LightsProfile::Show::Limiter,
                                            LightsProfile::Show::Base};
    profile.settings.accessories[1].show = {LightsProfile::Show::Flag, LightsProfile::Show::Rev};
    rig.lights.setProfile(profile);
    s.flag = Flag::Yellow;
    s.limiter = true;
    write();
    QCOMPARE(rig.lights.colors(), (Lights::Colors{orange, amber, orange}));
    QVERIFY2(rig.said.isEmpty(), qPrintable(rig.said.join('\n')));
}

void TestSharedMemory::stoppedSimIsLetGoAndItsFileNotTakenForDriving()
{
    QFETCH(Format, sim);
    Rig rig(sim);
    rig.write(rig.at(0.5f));
    rig.write(rig.at(0.88f));
    QCOMPARE(rig.lights.colors()[1], yellow);
    // It stops writing: let go, nothing kept open, and the lights idle.
    rig.wait(SharedMemorySource::SilenceMs + SharedMemorySource::ReadMs);
    QCOMPARE(rig.source.openCount(), 0);
    QCOMPARE(rig.lights.colors()[1], idle);
    // Its files stay behind: looked at once a second, never taken for driving.
    const int taken = rig.taken;
    rig.wait(5 * SharedMemorySource::LookMs);
    QCOMPARE(rig.taken, taken);
    QCOMPARE(rig.source.openCount(), 0);
    // It drives again: found within a second.
    for (int n = 0; n < 70 && rig.lights.colors()[1] != red; ++n)
        rig.write(rig.at(0.94f));
    QCOMPARE(rig.lights.colors()[1], red);
}

void TestSharedMemory::cutShortUnderTheReader()
{
    QFETCH(Format, sim);
    Rig rig(sim);
    rig.write(rig.at(0.5f));
    rig.write(rig.at(0.88f));
    QCOMPARE(rig.source.openCount(), 1);
    for (qint64 size : {qint64(4096), qint64(8), qint64(0)}) {
        truncateFirstBlock(rig, size);
        rig.wait(SharedMemorySource::ReadMs);
    }
    QCOMPARE(rig.said.size(), 1);
    QVERIFY2(rig.said[0].contains("cannot read") && rig.said[0].contains("shorter than"),
             qPrintable(rig.said[0]));
    QCOMPARE(rig.source.openCount(), 0);
    // Whole again: read again, and told again if it breaks again.
    for (int n = 0; n < 70 && rig.lights.colors()[1] != red; ++n)
        rig.write(rig.at(0.94f));
    QCOMPARE(rig.lights.colors()[1], red);
}

void TestSharedMemory::iracingShiftLightsAndConnection()
{
    Rig rig(TelemetryDecoder::IRacing);
    Layouts::State s = rig.at(0.80f);
    s.shiftRpm = 6000; // below 80 % of where the lights blink
    rig.write(s);
    rig.write(s);
    QCOMPARE(rig.lights.colors()[1], blue);
    s.rpm = 5900;
    rig.write(s);
    QCOMPARE(rig.lights.colors()[1], green); // 74 % of 8000, short of the shift point
    // The sim closed its session: the connected bit clears.
    s.driving = false;
    rig.write(s);
    QCOMPARE(rig.lights.colors()[1], idle);
}

void TestSharedMemory::unknownLayoutAndMissingFiles()
{
    Rig rig(TelemetryDecoder::ProjectCars2Memory);
    rig.wait(3 * SharedMemorySource::LookMs);
    QCOMPARE(rig.source.openCount(), 0);

    Layouts::State s = rig.at(0.88f);
    s.version = 99;
    rig.write(s);
    rig.write(s);
    QCOMPARE(rig.taken, 0);
    QCOMPARE(rig.said.size(), 1);
    QVERIFY2(rig.said[0].contains("layout version 99"), qPrintable(rig.said[0]));

    // RaceRoom's versions name its layout: one between the two known is refused.
    Rig raceRoom(TelemetryDecoder::RaceRoom);
    s.raceRoomMinor = 3;
    raceRoom.write(s);
    raceRoom.write(s);
    QCOMPARE(raceRoom.taken, 0);
    QCOMPARE(raceRoom.said.size(), 1);
    QVERIFY2(raceRoom.said[0].contains("layout version 3.3 is not known"),
             qPrintable(raceRoom.said[0]));
}

// Anyone may write to /dev/shm: a file of another user's is no sim of ours.
void TestSharedMemory::anotherUsersFileIsNotRead()
{
    if (geteuid() != 0)
        QSKIP("giving a file to another user needs root");
    Rig rig(TelemetryDecoder::ProjectCars2Memory);
    const auto giveAll = [&](uid_t owner) {
        for (const QString &name : QDir(rig.folder.path()).entryList(QDir::Files))
            QVERIFY(chown(QFile::encodeName(rig.folder.filePath(name)).constData(), owner,
                          gid_t(-1)) == 0);
    };
    QVERIFY(Layouts::write(TelemetryDecoder::ProjectCars2Memory, rig.folder.path(), rig.at(0.5f)));
    giveAll(65534); // nobody
    for (int i = 0; i < 3; ++i)
        rig.write(rig.at(0.75f + 0.05f * float(i)));
    rig.wait(2 * SharedMemorySource::LookMs);
    QCOMPARE(rig.source.openCount(), 0);
    QCOMPARE(rig.taken, 0);
    // Ours again: found at the next look, and read as it moves.
    giveAll(geteuid());
    rig.wait(SharedMemorySource::LookMs);
    for (int i = 0; i < 3; ++i)
        rig.write(rig.at(0.75f));
    QCOMPARE(rig.source.openCount(), 1);
    QVERIFY(rig.taken > 0);
}

QTEST_GUILESS_MAIN(TestSharedMemory)
#include "test_sharedmemory.moc"
