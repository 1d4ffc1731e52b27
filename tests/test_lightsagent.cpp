// SPDX-License-Identifier: MIT
// The lights agent and brimsel-ctl --telemetry, its host, end to end:
// packets of every format over the loopback, the sims' shared memory, the
// colours at the stand-in accessories.
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include "brimselctl.h"
#include "ctloutput.h"
#include "fakehidbus.h"
#include "agentlock.h"
#include "hidworker.h"
#include "lightsagent.h"
#include "lightsagenthost.h"
#include "sharedmemorylayouts.h"
#include "telemetrypackets.h"
#include "testports.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <functional>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

using Call = FakeHidBus::Call;
using P = TelemetryPackets;

namespace {

const QRgb idle = qRgb(0x20, 0x20, 0x20), green = qRgb(0, 255, 0), yellow = qRgb(255, 255, 0),
           red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255), off = qRgb(0, 0, 0);

sockaddr_in loopback(quint16 port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// Ports of the test's own in place of the games' (F1, AMS2, RBR, OutGauge
// and Assetto Corsa's), which the user's games and tools may hold here.
struct GamePorts
{
    std::vector<TelemetrySources::GamePort> games;
    quint16 ac = 0;
};
GamePorts testPorts();

class Game
{
public:
    explicit Game(quint16 port) : s(socket(AF_INET, SOCK_DGRAM, 0)), to(loopback(port)) {}
    ~Game() { close(s); }
    void send(const QByteArray &packet)
    {
        sendto(s, packet.constData(), size_t(packet.size()), 0,
               reinterpret_cast<const sockaddr *>(&to), sizeof to);
    }

private:
    int s;
    sockaddr_in to;
};

struct Report
{
    QRgb color;
    qint64 timeNs;
};

// The colours an accessory got, one per request (each report goes twice).
QVector<Report> reportsTo(int accessory)
{
    QVector<Report> out;
    int n = 0;
    for (const FakeHidBus::Event &e : FakeHidBus::events(Call::Write)) {
        if (e.accessory != accessory || n++ % 2)
            continue;
        const auto b = reinterpret_cast<const unsigned char *>(e.bytes.constData());
        out.append({qRgb(b[1], b[3], b[2]), e.timeNs});
    }
    return out;
}

// Waits until the accessory's newest colour is `color`; 10 s at most, so
// that a fault fails the checks instead of hanging.
bool waitForColor(int accessory, QRgb color)
{
    for (int i = 0; i < 5000; ++i) {
        const QVector<Report> r = reportsTo(accessory);
        if (!r.isEmpty() && r.last().color == color)
            return true;
        QThread::msleep(2);
    }
    return false;
}

struct Outcome
{
    int status;
    QString err;
};

// Five distinct ports, held until all are chosen.
GamePorts testPorts()
{
    static const GamePorts ports = [] {
        int held[5];
        quint16 chosen[5];
        for (int i = 0; i < 5; ++i) {
            held[i] = socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in a = loopback(0);
            socklen_t length = sizeof a;
            bind(held[i], reinterpret_cast<sockaddr *>(&a), sizeof a);
            getsockname(held[i], reinterpret_cast<sockaddr *>(&a), &length);
            chosen[i] = ntohs(a.sin_port);
        }
        for (int s : held)
            close(s);
        return GamePorts{{{chosen[0], "F1, EA SPORTS WRC, DiRT"},
                          {chosen[1], "Automobilista 2, Project CARS 2"},
                          {chosen[2], "Richard Burns Rally"},
                          {chosen[3], "BeamNG.drive's OutGauge"}},
                         chosen[4]};
    }();
    return ports;
}

Outcome runCtl(const QStringList &arguments, const std::function<void()> &script)
{
    std::thread scriptThread(script);
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    BrimselCtl ctl(outStream, errStream);
    ctl.setGamePorts(testPorts().games, testPorts().ac);
    const int status = ctl.run(QStringList{"brimsel-ctl", "--telemetry"} + arguments);
    scriptThread.join();
    return {status, err};
}

} // namespace

class TestLightsAgent : public QObject
{
    Q_OBJECT
private slots:
    // The one-agent mark of our own: never the user's, where an agent runs.
    void initTestCase()
    {
        // Never the user's agent mark or lights profile.
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", runtime.path().toLocal8Bit());
    }
    void init() { FakeHidBus::reset(); }
    void everyFormatOverTheLoopback();
    void theGamesOnTheirOwnPorts();
    void assettoCorsaIsAsked();
    void granTurismoIsKeptSending();
    void aSimInSharedMemoryBesideTheUdpGames();
    void portTaken();
    void oneAgentPerUser();
    void anAccessoryThatCannotBeOpened();
    void followsTheProfileAsItChanges();

private:
    QTemporaryDir runtime;
};

void TestLightsAgent::everyFormatOverTheLoopback()
{
    using M = FakeHidBus::ReadMode;
    const int hb = FakeHidBus::plug(AccessoryTable::HandbrakeProductId, M::Immediate);
    const int sq = FakeHidBus::plug(AccessoryTable::SqShifterProductId, M::Immediate);
    const int h = FakeHidBus::plug(AccessoryTable::HShifterProductId, M::Immediate);
    const quint16 port = TestPorts::freeUdp();
    QStringList failures; // from the script's thread, checked after the run
    auto expect = [&](const char *step, QRgb handbrake, QRgb shifters) {
        if (!waitForColor(hb, handbrake) || !waitForColor(sq, shifters) ||
            !waitForColor(h, shifters))
            failures << QString::fromLatin1(step);
    };
    qint64 flashStartNs = 0, lastPacketNs = 0;

    const Outcome result = runCtl({QString::number(port), "--idle", "#202020"}, [&] {
        Game game(port);
        expect("start", idle, idle);
        game.send(P::forza(311, true, 6000, 8000, 1)); // 0.75
        expect("Forza dash", red, green);
        game.send(QByteArray(100, 'x'));
        game.send(P::forza(324, true, 7000, 8000, 0)); // 0.875
        expect("Forza open-world dash", idle, yellow);
        game.send(P::forza(331, true, 7500, 8000, 0)); // 0.9375
        expect("Forza dash with tyres", idle, red);
        game.send(P::forza(232, true, 6000, 8000)); // no handbrake field
        expect("Forza sled", green, green);
        game.send(P::forza(232, false, 0, 0));
        expect("Forza race off", idle, idle);
        game.send(P::codemasters(6900, 7600)); // 0.908
        expect("Codemasters", yellow, yellow);
        game.send(P::outGauge(92, "XRT", 1000));
        game.send(P::outGauge(92, "XRT", 7000));
        expect("OutGauge", idle, red);
        game.send(P::outGauge(96, "XRT", 5000, false, true)); // 0.71
        expect("OutGauge with ID", red, green);
        game.send(QByteArray(5000, '\xff'));
        flashStartNs = FakeHidBus::nowNs();
        game.send(P::codemasters(7500, 7600));
        expect("flash", blue, blue);
        // Some 0.7 s of flash at 60 packets a second.
        for (int i = 0; i < 42; ++i) {
            game.send(P::codemasters(7550, 7600));
            lastPacketNs = FakeHidBus::nowNs();
            QThread::msleep(16);
        }
        QThread::msleep(200);
        expect("silence", idle, idle);
        game.send(P::forza(311, true, 6000, 8000, 0));
        expect("back", idle, green);
        std::raise(SIGTERM);
    });
    QCOMPARE(result.status, 128 + SIGTERM);
    QVERIFY2(failures.isEmpty(), qPrintable("no change at: " + failures.join(", ")));

    // Only changes are sent: never the same colour twice in a row.
    for (int accessory : {hb, sq, h}) {
        const QVector<Report> r = reportsTo(accessory);
        for (int i = 1; i < r.size(); ++i)
            QVERIFY2(r[i].color != r[i - 1].color, qPrintable(QString::number(i)));
    }
    // The flash: blue and off by turns, 125 ms each, never early.
    QVector<Report> sqReports = reportsTo(sq);
    const auto first = std::find_if(sqReports.begin(), sqReports.end(),
                                    [&](const Report &r) { return r.timeNs >= flashStartNs; });
    const auto silence =
        std::find_if(first, sqReports.end(), [](const Report &r) { return r.color == idle; });
    QVERIFY(silence - first >= 6);
    QVector<qint64> steps;
    for (auto r = first; r != silence; ++r) {
        QCOMPARE(r->color, (r - first) % 2 ? off : blue);
        if (r != first)
            steps.append((r->timeNs - (r - 1)->timeNs) / 1000000);
        // The flash began after flashStartNs; its steps can only come late.
        QVERIFY2((r->timeNs - flashStartNs) / 1000000 >= (r - first) * 125 - 2,
                 qPrintable(QString::number(r - first)));
    }
    std::sort(steps.begin(), steps.end());
    QVERIFY2(steps[steps.size() / 2] >= 115 && steps[steps.size() / 2] <= 160,
             qPrintable(QString::number(steps[steps.size() / 2])));
    // Idle 2 s after the last packet, not before.
    const qint64 quietMs = (silence->timeNs - lastPacketNs) / 1000000;
    QVERIFY2(quietMs >= 1990 && quietMs < 3000, qPrintable(QString::number(quietMs)));

    // Each format with the names a profile knows its game by, each car once.
    const QString p = "brimsel-ctl: telemetry: ";
    const QString forza = ", \"Forza\" in a profile\n", lfs = ", \"Live for Speed\" or "
                                                              "\"BeamNG.drive\" in a profile\n";
    const QString car = p + "the car \"%1\", [games.\"%2\".cars.\"%1\"] in a profile\n";
    QCOMPARE(result.err,
             QString("brimsel-ctl: listening for telemetry on 127.0.0.1:%1\n").arg(port) + p +
                 "Forza Data Out, dash (311 bytes)" + forza + car.arg("2352", "Forza") + p +
                 "cannot read a packet of 100 bytes; such packets are ignored\n" + p +
                 "Forza Data Out, open-world dash (324 bytes)" + forza + p +
                 "Forza Data Out, dash with tyre wear (331 bytes)" + forza + p +
                 "Forza Data Out, sled (232 bytes)" + forza + p +
                 "Codemasters, extradata=3 (264 bytes), \"DiRT Rally 2.0\" or \"DiRT 4\" in a "
                 "profile\n" +
                 p + "OutGauge (92 bytes)" + lfs + car.arg("XRT", "Live for Speed") + p +
                 "OutGauge with ID (96 bytes)" + lfs +
                 // Forza again: named once while packets keep coming, again after silence.
                 p + "Forza Data Out, dash (311 bytes)" + forza + car.arg("2352", "Forza") + p +
                 "2 packets could not be read\n");
}

// F1, EA WRC, Automobilista 2 and RBR, each on the port it sends to by
// default, with no port given; one default port is held by another program.
void TestLightsAgent::theGamesOnTheirOwnPorts()
{
    using M = FakeHidBus::ReadMode;
    const int hb = FakeHidBus::plug(AccessoryTable::HandbrakeProductId, M::Immediate);
    const int sq = FakeHidBus::plug(AccessoryTable::SqShifterProductId, M::Immediate);
    const int h = FakeHidBus::plug(AccessoryTable::HShifterProductId, M::Immediate);
    const GamePorts ports = testPorts();
    const int holder = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in held = loopback(ports.games[3].port);
    QCOMPARE(bind(holder, reinterpret_cast<const sockaddr *>(&held), sizeof held), 0);
    QStringList failures;
    auto expect = [&](const char *step, QRgb handbrake, QRgb shifters) {
        if (!waitForColor(hb, handbrake) || !waitForColor(sq, shifters) ||
            !waitForColor(h, shifters))
            failures << QString::fromLatin1(step);
    };

    const Outcome result = runCtl({"--idle", "#202020"}, [&] {
        QThread::msleep(300); // listening
        Game f1(ports.games[0].port), ams2(ports.games[1].port), rbr(ports.games[2].port);
        expect("start", idle, idle);
        // F1 24: the maximum comes in Car Status, the RPM in Car Telemetry.
        f1.send(P::f1Status(2024, 3, 12000));
        f1.send(P::f1Telemetry(2024, 3, 9000, 60));  // 0.75
        expect("F1 green", green, green);            // no handbrake in F1
        f1.send(P::f1Telemetry(2024, 3, 11900, 99)); // 0.99, lights not all lit
        expect("F1 red until its rev lights are full", red, red);
        f1.send(P::f1Telemetry(2024, 3, 11000, 100));
        expect("F1 rev lights full", blue, blue);
        f1.send(P::f1Session(2024, true, false));
        expect("F1 paused", idle, idle);
        // F1 22 on the older header, the same game's port.
        f1.send(P::f1Session(2022, false, false));
        f1.send(P::f1Status(2022, 0, 10000));
        f1.send(P::f1Telemetry(2022, 0, 8800, 50)); // 0.88
        expect("F1 22", yellow, yellow);
        f1.send(P::wrc(6000, 8000, 0.2f, 1.0f)); // 0.75, handbrake pulled
        expect("EA WRC", red, green);
        f1.send(P::wrc(7500, 8000, 1.0f)); // the end of its shift window
        expect("EA WRC shift", idle, blue);
        ams2.send(P::pcars2State(2));
        ams2.send(P::pcars2(559, 7000, 8000, 255)); // 0.875, handbrake
        expect("Automobilista 2", red, yellow);
        ams2.send(P::pcars2State(3)); // paused
        expect("Automobilista 2 paused", idle, idle);
        // RBR has no maximum: learnt once revved well above idle.
        rbr.send(P::rbr(1000));
        rbr.send(P::rbr(8000, 0.0f));
        rbr.send(P::rbr(7500, 0.9f)); // 0.9375 of the highest
        expect("RBR", red, red);
        std::raise(SIGTERM);
    });
    close(holder);
    QCOMPARE(result.status, 128 + SIGTERM);
    QVERIFY2(failures.isEmpty(), qPrintable("no change at: " + failures.join(", ")));
    const QString p = "brimsel-ctl: telemetry: ";
    QCOMPARE(result.err,
             QString("brimsel-ctl: cannot listen on 127.0.0.1:%1: the port is in use by another "
                     "program; skipped (BeamNG.drive's OutGauge)\n"
                     "brimsel-ctl: listening for telemetry on 127.0.0.1:%2, 127.0.0.1:%3, "
                     "127.0.0.1:%4\n"
                     "brimsel-ctl: asking Assetto Corsa at 127.0.0.1:%5 for telemetry\n")
                     .arg(ports.games[3].port)
                     .arg(ports.games[0].port)
                     .arg(ports.games[1].port)
                     .arg(ports.games[2].port)
                     .arg(ports.ac) +
                 p + "F1, UDP format 2024, \"F1 24\" in a profile\n" + p +
                 "F1, UDP format 2022, \"F1 22\" in a profile\n" + p +
                 "EA SPORTS WRC (237 bytes), \"EA SPORTS WRC\" in a profile\n" + p +
                 "Automobilista 2 / Project CARS 2, \"Automobilista 2\" or \"Project CARS 2\" "
                 "in a profile\n" +
                 p +
                 "Richard Burns Rally, RSF (664 bytes), \"Richard Burns Rally\" in a profile\n");
}

// A stand-in of Assetto Corsa's side on its port: the handshake, asked again
// while nobody answers, the subscription, the telemetry, the dismissal.
void TestLightsAgent::assettoCorsaIsAsked()
{
    using M = FakeHidBus::ReadMode;
    const int hb = FakeHidBus::plug(AccessoryTable::HandbrakeProductId, M::Immediate);
    const int sq = FakeHidBus::plug(AccessoryTable::SqShifterProductId, M::Immediate);
    const int game = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in at = loopback(testPorts().ac);
    QCOMPARE(bind(game, reinterpret_cast<const sockaddr *>(&at), sizeof at), 0);
    const timeval fiveSeconds{5, 0};
    setsockopt(game, SOL_SOCKET, SO_RCVTIMEO, &fiveSeconds, sizeof fiveSeconds);
    sockaddr_in client{};
    // The operation of the next request the game receives, or -1.
    auto request = [&] {
        unsigned char b[64];
        socklen_t length = sizeof client;
        const ssize_t n =
            recvfrom(game, b, sizeof b, 0, reinterpret_cast<sockaddr *>(&client), &length);
        return n == 12 ? int(b[8]) : -1;
    };
    auto answer = [&](int from, const QByteArray &packet) {
        sendto(from, packet.constData(), size_t(packet.size()), 0,
               reinterpret_cast<const sockaddr *>(&client), sizeof client);
    };
    QStringList failures;
    auto expect = [&](const char *step, QRgb handbrake, QRgb shifter) {
        if (!waitForColor(hb, handbrake) || !waitForColor(sq, shifter))
            failures << QString::fromLatin1(step);
    };

    const Outcome result =
        runCtl({QString::number(TestPorts::freeUdp()), "--ac", "localhost"}, [&] {
            if (request() != 0 || request() != 0)
                failures << "a handshake, and another while nobody answers";
            const int stranger = socket(AF_INET, SOCK_DGRAM, 0);
            answer(stranger, P::acHandshake("ks_ferrari_f40")); // not from the game's port
            close(stranger);
            answer(game, P::acHandshake("ks_ferrari_f40"));
            if (request() != 1)
                failures << "the subscription";
            answer(game, P::acCarInfo(1000));
            answer(game, P::acCarInfo(8000));
            answer(game, P::acCarInfo(7600)); // 0.95 of the highest seen
            expect("Assetto Corsa red", red, red);
            answer(game, P::acCarInfo(7900, true));
            expect("Assetto Corsa's rev limiter", blue, blue);
            std::raise(SIGTERM);
        });
    const int last = request();
    close(game);
    QCOMPARE(result.status, 128 + SIGTERM);
    QVERIFY2(failures.isEmpty(), qPrintable("missing: " + failures.join(", ")));
    QCOMPARE(last, 3); // dismissed
    QVERIFY2(
        result.err.contains(
            QString("asking Assetto Corsa at 127.0.0.1:%1 for telemetry\n").arg(testPorts().ac)) &&
            result.err.contains(
                "telemetry: Assetto Corsa (328 bytes), \"Assetto Corsa\" in a profile\n") &&
            result.err.contains("cannot read a packet of 408 bytes"),
        qPrintable(result.err));
}

// A stand-in console: it hears the heartbeat and answers with packets
// encrypted as Gran Turismo 7 encrypts them.
void TestLightsAgent::granTurismoIsKeptSending()
{
    using M = FakeHidBus::ReadMode;
    const int hb = FakeHidBus::plug(AccessoryTable::HandbrakeProductId, M::Immediate);
    const int sq = FakeHidBus::plug(AccessoryTable::SqShifterProductId, M::Immediate);
    // The console's ports are fixed: where a GT7 tool of the user's holds
    // them, this cannot run.
    for (quint16 port : {33739, 33740, 33340}) {
        const int probe = socket(AF_INET, SOCK_DGRAM, 0);
        const sockaddr_in at = loopback(port);
        const bool free = bind(probe, reinterpret_cast<const sockaddr *>(&at), sizeof at) == 0;
        close(probe);
        if (!free)
            QSKIP(qPrintable(QString("port %1 is held by another program here").arg(port)));
    }
    const int console = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in at = loopback(33739);
    QCOMPARE(bind(console, reinterpret_cast<const sockaddr *>(&at), sizeof at), 0);
    const timeval fiveSeconds{5, 0};
    setsockopt(console, SOL_SOCKET, SO_RCVTIMEO, &fiveSeconds, sizeof fiveSeconds);
    sockaddr_in client{};
    auto heartbeat = [&] {
        char b[16];
        socklen_t length = sizeof client;
        return recvfrom(console, b, sizeof b, 0, reinterpret_cast<sockaddr *>(&client), &length) ==
                   1 &&
               b[0] == 'A';
    };
    auto send = [&](const QByteArray &packet) {
        sendto(console, packet.constData(), size_t(packet.size()), 0,
               reinterpret_cast<const sockaddr *>(&client), sizeof client);
    };
    QStringList failures;
    auto expect = [&](const char *step, QRgb handbrake, QRgb shifter) {
        if (!waitForColor(hb, handbrake) || !waitForColor(sq, shifter))
            failures << QString::fromLatin1(step);
    };

    const Outcome result = runCtl(
        {QString::number(TestPorts::freeUdp()), "--gt7", "127.0.0.1", "--idle", "#202020"}, [&] {
            if (!heartbeat() || ntohs(client.sin_port) != 33740)
                failures << "the heartbeat from 33740";
            send(P::gt7(6000, 7500, 8000)); // 0.75 of the alert's top
            expect("GT7 green", idle, green);
            send(P::gt7(7600, 7500, 8000, 0x0041)); // in the alert window, handbrake
            expect("GT7 rev alert", red, blue);
            QByteArray forged = P::gt7(7000, 7500, 8000);
            forged[0x41] = char(forged[0x41] ^ 0x10);
            send(forged);
            send(P::gt7(7000, 7500, 8000, 0x0003)); // paused
            expect("GT7 paused", idle, idle);
            if (!heartbeat())
                failures << "the heartbeat again";
            std::raise(SIGTERM);
        });
    close(console);
    QCOMPARE(result.status, 128 + SIGTERM);
    QVERIFY2(failures.isEmpty(), qPrintable("missing: " + failures.join(", ")));
    QVERIFY2(result.err.contains("asking Gran Turismo 7 on 127.0.0.1:33739, its packets to "
                                 "127.0.0.1:33740 for telemetry\n") &&
                 result.err.contains(
                     "telemetry: Gran Turismo 7 (296 bytes), \"Gran Turismo 7\" in a profile\n") &&
                 result.err.contains("cannot read a packet of 296 bytes") &&
                 result.err.contains("1 packets could not be read"),
             qPrintable(result.err));
}

// Automobilista 2's shared memory as the Proton bridge keeps it, read beside
// a UDP game that sits in its menus: the sim drives while it writes, and the
// lights go idle when it stops, its file left behind. The agent alone, as a
// tray would host it: what it tells its host comes by its signals.
void TestLightsAgent::aSimInSharedMemoryBesideTheUdpGames()
{
    using M = FakeHidBus::ReadMode;
    const int hb = FakeHidBus::plug(AccessoryTable::HandbrakeProductId, M::Immediate);
    const int sq = FakeHidBus::plug(AccessoryTable::SqShifterProductId, M::Immediate);
    QTemporaryDir folder;
    const quint16 port = TestPorts::freeUdp();
    LightsAgent::Options options;
    options.sources.listen = Endpoint(Endpoint::Loopback, port);
    options.devices = HidWorker::Device(HidWorker::Handbrake | HidWorker::SqShifter);
    options.idle = idle;
    options.idleGiven = true;
    options.sources.sharedMemoryFolder = folder.path();
    QStringList failures;
    std::atomic<bool> finished{false};
    std::thread script([&] {
        Game menus(port);
        SharedMemoryLayouts::State sim;
        sim.rpm = 6000; // 75 % of 8000
        sim.handbrake = true;
        auto drive = [&](int ms) {
            QElapsedTimer timer;
            timer.start();
            while (timer.elapsed() < ms) {
                ++sim.tick;
                SharedMemoryLayouts::write(TelemetryDecoder::ProjectCars2Memory, folder.path(),
                                           sim);
                menus.send(P::forza(311, false, 0, 0));
                QThread::msleep(16);
            }
        };
        drive(1500); // found within a second
        if (!waitForColor(sq, green) || !waitForColor(hb, red))
            failures << "driving";
        drive(300);
        if (reportsTo(sq).last().color != green)
            failures << "a game in its menus took the lights";
        // The sim stops; its file stays.
        QThread::msleep(3500);
        if (!waitForColor(sq, idle) || !waitForColor(hb, idle))
            failures << "stopped";
        finished = true;
    });
    LightsAgent agent(options);
    QSignalSpy said(&agent, SIGNAL(message(QString)));
    QSignalSpy games(&agent, SIGNAL(gameChanged(QString)));
    QSignalSpy accessories(&agent, SIGNAL(accessoriesChanged(int)));
    QVector<TelemetryLights::Colors> shown;
    connect(&agent, &LightsAgent::colorsChanged, [&] { shown << agent.colors(); });
    QVERIFY(agent.start());
    QTRY_VERIFY_WITH_TIMEOUT(finished, 30000);
    agent.stop();
    script.join();
    QStringList lines;
    for (const QList<QVariant> &s : said)
        lines << s.at(0).toString();
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(", ") + "\n" + lines.join('\n')));
    QVERIFY2(lines.contains("telemetry: Automobilista 2 / Project CARS 2, shared memory, "
                            "\"Automobilista 2\" or \"Project CARS 2\" in a profile"),
             qPrintable(lines.join('\n')));
    const QVector<Report> r = reportsTo(sq);
    QCOMPARE(r.last().color, idle);
    QCOMPARE(std::count_if(r.begin(), r.end(), [](const Report &x) { return x.color == green; }),
             1);

    // The host hears the same story: both accessories at once, the sim
    // while it drove, and each colour as it was asked for.
    QCOMPARE(accessories.size(), 1);
    QCOMPARE(accessories.at(0).at(0).toInt(), int(HidWorker::Handbrake | HidWorker::SqShifter));
    QCOMPARE(agent.connectedAccessories(), int(HidWorker::Handbrake | HidWorker::SqShifter));
    QCOMPARE(games.size(), 2);
    QCOMPARE(games.at(0).at(0).toString(), QString("Automobilista 2 / Project CARS 2"));
    QCOMPARE(games.at(1).at(0).toString(), QString());
    QCOMPARE(agent.game(), QString());
    QVERIFY(shown.size() >= 3);
    QCOMPARE(shown.first(), (TelemetryLights::Colors{idle, idle, idle}));
    QVERIFY(shown.contains(TelemetryLights::Colors{red, green, green}));
    QCOMPARE(shown.last(), (TelemetryLights::Colors{idle, idle, idle}));
    for (int i = 1; i < shown.size(); ++i)
        QVERIFY(shown[i] != shown[i - 1]); // only changes are told
}

void TestLightsAgent::portTaken()
{
    FakeHidBus::plug(AccessoryTable::SqShifterProductId);
    const quint16 port = TestPorts::freeUdp();
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in a = loopback(port);
    QCOMPARE(bind(s, reinterpret_cast<const sockaddr *>(&a), sizeof a), 0);
    const Outcome taken = runCtl({QString("127.0.0.1:%1").arg(port)}, [] {});
    close(s);
    QCOMPARE(taken.status, int(CtlOutput::UsageError));
    QCOMPARE(taken.err, QString("brimsel-ctl: cannot listen on 127.0.0.1:%1: the port is in use "
                                "by another program\n")
                            .arg(port));
    const Outcome bad = runCtl({"127.0.0.256:20777"}, [] {});
    QCOMPARE(bad.status, int(CtlOutput::UsageError));
    QVERIFY(bad.err.startsWith("brimsel-ctl: \"127.0.0.256\" is not an IPv4 address"));
    QCOMPARE(FakeHidBus::events().size(), 0); // no accessory touched

    // Every game's port held (SimHub and the like): the rest still runs.
    std::vector<int> holders;
    for (const TelemetrySources::GamePort &game : testPorts().games) {
        holders.push_back(socket(AF_INET, SOCK_DGRAM, 0));
        const sockaddr_in at = loopback(game.port);
        QCOMPARE(bind(holders.back(), reinterpret_cast<const sockaddr *>(&at), sizeof at), 0);
    }
    const Outcome held = runCtl({}, [] {
        QThread::msleep(500);
        std::raise(SIGTERM);
    });
    for (int holder : holders)
        close(holder);
    QCOMPARE(held.status, 128 + SIGTERM);
    QVERIFY2(held.err.contains("brimsel-ctl: no port to listen on: each game's port is in use; "
                               "the games that are asked and the sims' shared memory are still "
                               "heard\n"),
             qPrintable(held.err));
    QCOMPARE(held.err.count("skipped"), 4);
}

// A second agent says who runs and leaves, never serving beside it; the mark
// goes with an agent however it ends.
void TestLightsAgent::oneAgentPerUser()
{
    FakeHidBus::plug(AccessoryTable::SqShifterProductId);
    QTemporaryDir state;
    LightsAgent::Options options;
    options.telemetry = false;
    options.openRgb = true;
    options.openRgbEndpoint = Endpoint(Endpoint::Loopback, TestPorts::freeUdp());
    options.devices = HidWorker::SqShifter;
    options.stateFolder = state.path();
    LightsAgent first(options);
    QVERIFY(first.start());
    QString err;
    QTextStream errStream(&err);
    LightsAgent::Options second = options;
    second.openRgbEndpoint = Endpoint(); // the default port: never 6743 beside ours
    FakeHidBus::takeEvents();
    QCOMPARE(LightsAgentHost(second, false, errStream).run(), int(CtlOutput::AgentRunning));
    QCOMPARE(err, QString("brimsel-ctl: an agent runs already (process %1, the OpenRGB SDK on %2): "
                          "set colours through it with brimsel-ctl --color, or stop it first\n")
                      .arg(QCoreApplication::applicationPid())
                      .arg(options.openRgbEndpoint.text()));
    QCOMPARE(FakeHidBus::count(FakeHidBus::Call::Write), 0);
    first.stop();
    AgentLock after;
    QString holder;
    QVERIFY(after.take(&holder));
    after.release();

    // Killed while it holds the mark: the next start is not blocked.
    int taken[2];
    QVERIFY(pipe(taken) == 0);
    const pid_t child = fork();
    if (child == 0) {
        AgentLock lock;
        QString ignored;
        const char ok = lock.take(&ignored) ? 'y' : 'n';
        if (write(taken[1], &ok, 1) != 1)
            _exit(1);
        pause();
        _exit(0);
    }
    char ok = 0;
    QVERIFY(read(taken[0], &ok, 1) == 1 && ok == 'y');
    AgentLock mine;
    QVERIFY(!mine.take(&holder));
    QCOMPARE(holder, QString("process %1").arg(child));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(taken[0]);
    close(taken[1]);
    QVERIFY(mine.take(&holder));
}

// Plugged in but not accessible (no udev rule): said so, with what to do,
// not "Device not found".
void TestLightsAgent::anAccessoryThatCannotBeOpened()
{
    FakeHidBus::plug(AccessoryTable::SqShifterProductId);
    FakeHidBus::failOpens(1000000);
    const Outcome result = runCtl({QString::number(TestPorts::freeUdp())}, [] {
        QThread::msleep(500);
        std::raise(SIGTERM);
    });
    QCOMPARE(result.status, 128 + SIGTERM);
    QVERIFY2(result.err.contains("brimsel-ctl: SQ Shifter: plugged in, but it cannot be opened: "
                                 "no access to its hidraw node; install the udev rule") &&
                 !result.err.contains("Device not found"),
             qPrintable(result.err));
}

// The profile file edited while Forza drives: each change shows within a
// second, a broken file is said once and changes nothing.
void TestLightsAgent::followsTheProfileAsItChanges()
{
    using M = FakeHidBus::ReadMode;
    const int hb = FakeHidBus::plug(AccessoryTable::HandbrakeProductId, M::Immediate);
    const int sq = FakeHidBus::plug(AccessoryTable::SqShifterProductId, M::Immediate);
    QTemporaryDir folder;
    const QString path = folder.filePath("lights.toml");
    const quint16 port = TestPorts::freeUdp();
    const QRgb purple = qRgb(0x80, 0x00, 0x80), cyan = qRgb(0, 255, 255),
               magenta = qRgb(255, 0, 255);
    LightsAgent::Options options;
    options.sources.listen = Endpoint(Endpoint::Loopback, port);
    options.sources.sharedMemoryFolder = folder.path();
    options.devices = HidWorker::Device(HidWorker::Handbrake | HidWorker::SqShifter);
    options.idle = purple; // the base of both: nothing is kept
    options.idleGiven = true;
    options.profilePath = path;
    QStringList failures;
    QVector<qint64> tookMs;
    std::atomic<bool> finished{false}, driving{true};
    std::thread packets([&] {
        Game forza(port);
        while (driving) {
            forza.send(P::forza(311, true, 7500, 10000)); // 75 %, the handbrake down
            QThread::msleep(16);
        }
    });
    std::thread script([&] {
        // Written whole, or as an editor that renames a new file over it.
        auto edit = [&](const char *step, const QByteArray &text, bool rename, QRgb handbrake,
                        QRgb shifter) {
            QElapsedTimer timer;
            timer.start();
            const QString target = rename ? path + ".new" : path;
            QFile file(target);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) < 0)
                failures << QString("cannot write for %1").arg(step);
            file.close();
            if (rename)
                std::rename(QFile::encodeName(target).constData(),
                            QFile::encodeName(path).constData());
            if (!waitForColor(hb, handbrake) || !waitForColor(sq, shifter))
                failures << QString::fromLatin1(step);
            tookMs << timer.elapsed();
        };
        if (!waitForColor(sq, green) || !waitForColor(hb, purple))
            failures << "no profile";
        edit("stages", "[rev]\nstages = [ { from = 60, color = \"cyan\" } ]\n", false, purple,
             cyan);
        edit("handbrake shows the rev light",
             "[rev]\nstages = [ { from = 60, color = \"cyan\" } ]\n"
             "[accessories.handbrake]\nshow = [\"rev\", \"base\"]\n",
             true, cyan, cyan);
        edit("base while driving", "[accessories.sq]\nshow = [\"base\"]\n", false, purple, purple);
        edit("the game's own",
             "[games.\"Forza\"]\nrev.stages = [ { from = 50, color = \"magenta\" } ]\n", true,
             purple, magenta);
        edit("broken", "[games.\"Forza\"]\nrev.stages = [ { from = 50, color = \"magenta\" }\n",
             false, purple, magenta);
        QThread::msleep(1500); // looked at again and again: said once
        edit("mended", "[games.\"Forza\"]\nrev.stages = [ { from = 50, color = \"magenta\" } ]\n",
             false, purple, magenta);
        QThread::msleep(400);
        finished = true;
    });
    LightsAgent agent(options);
    QSignalSpy said(&agent, SIGNAL(message(QString)));
    QVERIFY(agent.start());
    QTRY_VERIFY_WITH_TIMEOUT(finished, 30000);
    driving = false;
    packets.join();
    script.join();
    agent.stop();
    QStringList lines;
    for (const QList<QVariant> &s : said)
        lines << s.at(0).toString();
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(", ") + "\n" + lines.join('\n')));
    for (qint64 ms : tookMs)
        QVERIFY2(ms < 1000, qPrintable(QString("a change took %1 ms").arg(ms)));
    // Where the list ends unclosed.
    QCOMPARE(lines.filter(path + ":2:49: ").size(), 1);
    QVERIFY(
        lines.filter(path + ":2:49: ").first().endsWith("; the last good profile stays in force"));
    // Four changes, and the broken file mended back to the same profile.
    QCOMPARE(lines.filter("profile: " + path + " changed; applied").size(), 5);
    QCOMPARE(agent.profile().settingsFor("Forza", "").stages.front().color, magenta);
}

QTEST_GUILESS_MAIN(TestLightsAgent)
#include "test_lightsagent.moc"
