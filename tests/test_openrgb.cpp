// SPDX-License-Identifier: MIT
// The agent's OpenRGB SDK service, hosted by brimsel-ctl --openrgb: the
// SDK's packets and the bounds on what a client sends, the kept colours'
// file under kills and given back on replug and at restart, and a real SDK
// client (the npm package openrgb-sdk, where the set-up installed it)
// against the agent over the stand-in bus.
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include "brimselctl.h"
#include "colorstore.h"
#include "ctloutput.h"
#include "fakehidbus.h"
#include "lightsagenthost.h"
#include "openrgbclient.h"
#include "openrgbserver.h"
#include "openrgbsession.h"
#include "tcpsocket.h"
#include "testports.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <thread>

#include <sys/socket.h>
#include <sys/wait.h>
#include <netinet/in.h>
#include <unistd.h>

using P = OpenRgbProtocol;
using Call = FakeHidBus::Call;

namespace {

// A session over three controllers, with what it hands on.
struct Peer
{
    Peer()
        : session({[] {
                       OpenRgbSession::Controllers list(3);
                       list[1].name = QStringLiteral("SQ Shifter");
                       list[1].color = qRgb(1, 2, 3);
                       return list;
                   },
                   [this](int index, QRgb color) {
                       sets.append({index, color});
                   },
                   [this](const QString &line) { said << line; }})
    {
    }
    bool send(uint32_t device, uint32_t id, const QByteArray &data = QByteArray())
    {
        const QByteArray p = P::packet(device, id, data);
        return session.take(p.constData(), size_t(p.size()));
    }
    // The replies so far: ID and data.
    QVector<QPair<uint32_t, QByteArray>> replies()
    {
        QVector<QPair<uint32_t, QByteArray>> out;
        QByteArray &o = session.output();
        for (int at = 0; at + P::HeaderSize <= o.size();) {
            P::Header h;
            if (!P::readHeader(o.constData() + at, &h))
                qFatal("reply without magic");
            out.append({h.id, o.mid(at + P::HeaderSize, int(h.size))});
            at += P::HeaderSize + int(h.size);
        }
        o.clear();
        return out;
    }
    QByteArray u32(uint32_t v)
    {
        QByteArray b;
        P::putU32(b, v);
        return b;
    }
    OpenRgbSession session;
    QVector<QPair<int, QRgb>> sets;
    QStringList said;
};

QByteArray leds(int zone, QRgb color, int count = 1)
{
    QByteArray d;
    P::putU32(d, 0);
    if (zone >= 0)
        P::putU32(d, uint32_t(zone));
    P::putU16(d, uint32_t(count));
    for (int i = 0; i < count; ++i)
        P::putColor(d, color);
    return d;
}

// The colours an accessory got, one per report (each colour goes twice).
QStringList reportsTo(int accessory)
{
    QStringList out;
    for (const FakeHidBus::Event &e : FakeHidBus::events(Call::Write))
        if (e.accessory == accessory)
            out << QString::fromLatin1(e.bytes.toHex());
    return out;
}

bool waitForReports(int accessory, const QString &bytes, int n)
{
    for (int i = 0; i < 2500; ++i) {
        if (reportsTo(accessory).count(bytes) >= n)
            return true;
        QThread::msleep(2);
    }
    return false;
}

// Where the set-up installed the npm package openrgb-sdk; empty without it.
#ifdef BRIMSEL_NODE_MODULES
const char *const kNodeModules = BRIMSEL_NODE_MODULES;
#else
const char *const kNodeModules = "";
#endif

// The node client, from the test's thread or the script's.
QString node(const QStringList &arguments, int timeoutMs = 20000)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("NODE_PATH"), QString::fromLocal8Bit(kNodeModules));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("node"),
            QStringList{QStringLiteral(BRIMSEL_TESTS "/openrgb-client.js")} + arguments);
    if (!p.waitForFinished(timeoutMs))
        p.kill();
    p.waitForFinished();
    return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
}

// A client of our own that counts the device-list notices it hears.
int noticesHeard(quint16 port, int ms)
{
    const qintptr s = TcpSocket::connectTo(Endpoint(Endpoint::Loopback, port), 1000);
    QByteArray version;
    P::putU32(version, 3);
    const QByteArray ask = P::packet(0, P::RequestProtocolVersion, version);
    TcpSocket::send(s, ask.constData(), size_t(ask.size()));
    QByteArray got;
    char buffer[4096];
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        if (!TcpSocket::waitReadable(s, 50))
            continue;
        const long long n = TcpSocket::receive(s, buffer, sizeof buffer);
        if (n <= 0)
            break;
        got.append(buffer, int(n));
    }
    TcpSocket::close(s);
    int notices = 0;
    for (int at = 0; at + P::HeaderSize <= got.size();) {
        P::Header h;
        P::readHeader(got.constData() + at, &h);
        notices += h.id == P::DeviceListUpdated;
        at += P::HeaderSize + int(h.size);
    }
    return notices;
}

// The agent as brimsel-ctl --openrgb runs it, until the script raises SIGTERM.
int runAgent(const LightsAgent::Options &options, QTextStream &err)
{
    LightsAgentHost host(options, false, err);
    return host.run();
}

LightsAgent::Options openRgbOnly(const QString &stateFolder, quint16 port = 0)
{
    LightsAgent::Options options;
    options.telemetry = false;
    options.openRgb = true;
    options.openRgbEndpoint = Endpoint(Endpoint::Loopback, port);
    options.devices = HidWorker::Device(AccessoryTable::AllBits);
    options.stateFolder = stateFolder;
    return options;
}

} // namespace

class TestOpenRgb : public QObject
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
    void versionsAndControllerData();
    void colourUpdatesAndWhatDropsAClient();
    void keptColoursSurviveKillsAndBrokenFiles();
    void keptColoursComeBackOnReplugAndRestart();
    void aFailedSaveIsTriedAgain();
    void colorThroughAnAgentThatDoesNotKeepIt();
    void idleClientsCannotLockOthersOut();
    void realClientOverTheStandInBus();
    void theGameWinsWhileItDrives();
    void portsAndAClientThatStopsReading();

private:
    QTemporaryDir runtime;
};

void TestOpenRgb::versionsAndControllerData()
{
    Peer peer;
    QVERIFY(peer.send(0, P::RequestControllerCount));
    // A client of version 0 never asks for a version: no vendor in the data.
    QVERIFY(peer.send(1, P::RequestControllerData));
    auto r = peer.replies();
    QCOMPARE(r.size(), 2);
    QCOMPARE(P::u32(r[0].second.constData()), 3u);
    const QByteArray v0 = r[1].second;
    QCOMPARE(int(P::u32(v0.constData())), v0.size());
    QCOMPARE(P::u32(v0.constData() + 4), uint32_t(P::AccessoryType));
    QCOMPARE(v0.mid(10, 11), QByteArray("SQ Shifter\0", 11));
    QVERIFY(!v0.contains(QByteArray("Brimsel\0", 8)));
    // The colour is the block's last four bytes.
    QCOMPARE(P::colorAt(v0.constData() + v0.size() - 4), qRgb(1, 2, 3));

    // Never above the client's version, nor above ours.
    for (uint32_t asked : {1u, 3u, 5u}) {
        QVERIFY(peer.send(0, P::RequestProtocolVersion, peer.u32(asked)));
        QCOMPARE(P::u32(peer.replies()[0].second.constData()), std::min(asked, 3u));
    }
    QVERIFY(peer.send(1, P::RequestControllerData, peer.u32(3)));
    const QByteArray v3 = peer.replies()[0].second;
    QVERIFY(v3.contains(QByteArray("Brimsel\0", 8)));
    // Version 3 adds the mode's brightness range and value: 12 bytes.
    QCOMPARE(v3.size(), v0.size() + 10 + 12);
    QVERIFY(peer.send(0, P::RequestProfileList));
    QCOMPARE(peer.replies()[0].second, QByteArray::fromHex("060000000000"));
    QVERIFY(peer.send(0, P::RequestSaveProfile, QByteArray("mine\0", 5)));
    QCOMPARE(peer.said.size(), 1);
    QVERIFY(peer.replies().isEmpty());
}

void TestOpenRgb::colourUpdatesAndWhatDropsAClient()
{
    Peer peer;
    const QRgb pink = qRgb(0xff, 0x00, 0x80);
    QVERIFY(peer.send(2, P::UpdateLeds, leds(-1, pink)));
    QVERIFY(peer.send(0, P::UpdateZoneLeds, leds(0, qRgb(1, 1, 1))));
    QByteArray single = peer.u32(0);
    P::putColor(single, qRgb(2, 2, 2));
    QVERIFY(peer.send(1, P::UpdateSingleLed, single));
    QVERIFY(peer.send(1, P::SetCustomMode));
    QVERIFY(peer.send(1, P::UpdateLeds, leds(-1, pink, 0))); // no colour: nothing to do
    // A controller that is not there: ignored, said once, the client stays.
    QVERIFY(peer.send(3, P::UpdateLeds, leds(-1, pink)));
    QVERIFY(peer.send(9, P::UpdateSingleLed, single));
    QCOMPARE(peer.said.size(), 1);
    QVERIFY2(peer.said[0].contains("controller 3, which does not exist"), qPrintable(peer.said[0]));
    QCOMPARE(peer.sets,
             (QVector<QPair<int, QRgb>>{{2, pink}, {0, qRgb(1, 1, 1)}, {1, qRgb(2, 2, 2)}}));
    // A packet that comes in pieces.
    const QByteArray p = P::packet(1, P::UpdateLeds, leds(-1, qRgb(3, 3, 3)));
    for (char byte : p)
        QVERIFY(peer.session.take(&byte, 1));
    QCOMPARE(peer.sets.last(), qMakePair(1, qRgb(3, 3, 3)));

    const struct
    {
        QByteArray bytes;
        const char *why;
    } drops[] = {
        {QByteArray("ORGX").append(12, '\0'), "magic"},
        {P::packet(0, P::UpdateLeds).left(12) + QByteArray::fromHex("01000100"), "65537 bytes"},
        {P::packet(7, P::RequestControllerData), "controller 7"},
        {P::packet(0, P::UpdateZoneLeds, leds(1, pink)), "zone 1"},
        {P::packet(0, P::UpdateLeds, QByteArray::fromHex("0000000005000102030400")), "5 colours"},
    };
    for (const auto &d : drops) {
        Peer bad;
        QVERIFY(!bad.session.take(d.bytes.constData(), size_t(d.bytes.size())));
        QVERIFY2(bad.session.why().contains(d.why), qPrintable(bad.session.why()));
        QVERIFY(bad.sets.isEmpty());
    }
}

void TestOpenRgb::keptColoursSurviveKillsAndBrokenFiles()
{
    QTemporaryDir folder;
    ColorStore store(folder.path() + QStringLiteral("/deeper"));
    QString why;
    QVERIFY(store.load(&why)); // no file: nothing kept
    QVERIFY(!store.has(0));
    store.set(1, qRgb(0x12, 0x34, 0x56));
    QVERIFY(store.save(&why));
    QVERIFY(store.load(&why) && store.has(1) && store.color(1) == qRgb(0x12, 0x34, 0x56));

    // Killed at any moment while it writes: the next start reads the old
    // colour or the new, never a torn file.
    const QRgb a = qRgb(0xaa, 0, 0), b = qRgb(0, 0xbb, 0);
    store.set(0, a);
    store.set(2, a);
    QVERIFY(store.save(&why));
    int seenA = 0, seenB = 0;
    for (int round = 0; round < 150; ++round) {
        int saved[2];
        QVERIFY(pipe(saved) == 0);
        const pid_t child = fork();
        if (child == 0) {
            ColorStore writer(folder.path() + QStringLiteral("/deeper"));
            QString ignored;
            for (int i = 0;; ++i) {
                writer.set(0, i % 2 ? a : b);
                writer.set(2, i % 2 ? a : b);
                writer.save(&ignored);
                if (write(saved[1], "s", 1) != 1)
                    _exit(1);
            }
        }
        close(saved[1]);
        // A save or two done, however slow the build; then a kill at any
        // moment of the next ones.
        char done;
        for (int n = 0; n < 1 + round % 2; ++n)
            QVERIFY(read(saved[0], &done, 1) == 1);
        QThread::usleep(unsigned(round * 37 % 1500));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        close(saved[0]);
        ColorStore reader(folder.path() + QStringLiteral("/deeper"));
        QVERIFY2(reader.load(&why), qPrintable(why));
        QVERIFY(reader.has(0) && reader.has(2) && reader.color(0) == reader.color(2));
        QVERIFY(reader.color(0) == a || reader.color(0) == b);
        (reader.color(0) == a ? seenA : seenB)++;
    }
    QVERIFY(seenA > 0 && seenB > 0);

    // A broken file is said and holds nothing; the next save replaces it.
    for (const QByteArray &broken : {QByteArray("sq #12345\n"), QByteArray("\xff\xfe garbage"),
                                     QByteArray("clutch #ffffff\n")}) {
        QFile file(store.path());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(broken);
        file.close();
        QVERIFY(!store.load(&why));
        QVERIFY(!why.isEmpty());
        QVERIFY(!store.has(0) && !store.has(1) && !store.has(2));
    }
    store.set(0, a);
    QVERIFY(store.save(&why));
    QVERIFY(store.load(&why) && store.has(0) && !store.has(1));

    // A line it does not know costs that line alone.
    QFile file(store.path());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("handbrake #010203\nclutch #ffffff\nh #040506\n");
    file.close();
    QVERIFY(!store.load(&why));
    QVERIFY2(why.contains("line 2 is not"), qPrintable(why));
    QVERIFY(store.has(0) && !store.has(1) && store.has(2));
    QCOMPARE(store.color(2), qRgb(4, 5, 6));
}

// A save that fails is said once and tried again until it works.
void TestOpenRgb::aFailedSaveIsTriedAgain()
{
    const int sq =
        FakeHidBus::plug(AccessoryTable::SqShifterProductId, FakeHidBus::ReadMode::Immediate);
    QTemporaryDir scratch;
    // A file where the folder should be: no folder can be made there.
    const QString folder = scratch.path() + "/blocked";
    QFile blocker(folder);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const quint16 port = TestPorts::freeTcp();
    QString err;
    QStringList failures;
    std::thread script([&] {
        QThread::msleep(300);
        OpenRgbClient client;
        if (!client.findAgent({port}) || !client.setColor(1, qRgb(1, 2, 3)) ||
            !waitForReports(sq, "02010302", 2))
            failures << "not set";
        QThread::msleep(1500); // a save or two fail meanwhile
        QFile::remove(folder);
        // Within the next try, a few seconds.
        QFile kept(folder + "/colors");
        for (int i = 0; i < 100 && !kept.exists(); ++i)
            QThread::msleep(50);
        if (!kept.open(QIODevice::ReadOnly) || kept.readAll() != "sq #010203\n")
            failures << "not kept once the folder could be made";
        std::raise(SIGTERM);
    });
    QTextStream errStream(&err);
    runAgent(openRgbOnly(folder, port), errStream);
    script.join();
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(", ") + "\n" + err));
    QCOMPARE(err.count("cannot keep the colours"), 1);
    QVERIFY2(err.contains("trying again") &&
                 err.contains("are kept in " + folder + "/colors again"),
             qPrintable(err));
}

// Our own client and --color, so that this runs wherever the tests do. The
// three accessories are controllers at fixed indices, plugged in or not: a
// colour lands on the one the client meant however they come and go, is
// kept for one that is away and given when it comes, is given back on
// replug, kept on disk and set at once by the next start.
void TestOpenRgb::keptColoursComeBackOnReplugAndRestart()
{
    using M = FakeHidBus::ReadMode;
    int sq = FakeHidBus::plug(AccessoryTable::SqShifterProductId, M::Immediate);
    int h = FakeHidBus::plug(AccessoryTable::HShifterProductId, M::Immediate);
    QTemporaryDir state;
    const quint16 port = TestPorts::freeTcp();
    const LightsAgent::Options options = openRgbOnly(state.path(), port);
    QString ctlOut, ctlErr;
    int ctlStatus = -1;
    QStringList failures;
    std::thread script([&] {
        QThread::msleep(300);
        OpenRgbClient client;
        if (!client.findAgent({port}) ||
            client.controllerNames() != QStringList{"Handbrake", "SQ Shifter", "H Shifter"} ||
            client.isConnected(0) || !client.isConnected(1) || !client.isConnected(2))
            failures << "the controllers: " + client.controllerNames().join('/');
        if (!client.setColor(1, qRgb(0xff, 0x00, 0x80)) || !waitForReports(sq, "02ff8000", 2))
            failures << "the client's colour did not reach the SQ shifter";
        // Away: its index still means it, and what it is given is kept.
        FakeHidBus::unplug(sq);
        QThread::msleep(300);
        if (!client.setColor(1, qRgb(0x10, 0x20, 0x30)) || !client.setColor(0, qRgb(1, 2, 3)))
            failures << "the client was dropped";
        QThread::msleep(100);
        if (reportsTo(h).contains("02103020"))
            failures << "the SQ shifter's colour landed on the H shifter";
        sq = FakeHidBus::plug(AccessoryTable::SqShifterProductId, M::Immediate);
        if (!waitForReports(sq, "02103020", 2))
            failures << "the colour set while it was away did not come with it";
        // --color finds the agent and keeps the colour for the H shifter,
        // unplugged, until it comes.
        FakeHidBus::unplug(h);
        QThread::msleep(300);
        QTextStream outStream(&ctlOut), errStream(&ctlErr);
        BrimselCtl ctl(outStream, errStream);
        ctl.setAgentPorts({quint16(port + 1), port});
        ctlStatus = ctl.run({"brimsel-ctl", "--color", "#00ff00", "--device", "h"});
        h = FakeHidBus::plug(AccessoryTable::HShifterProductId, M::Immediate);
        if (!waitForReports(h, "020000ff", 2))
            failures << "--color did not reach the H shifter through the agent";
        std::raise(SIGTERM);
    });
    QString err;
    QTextStream errStream(&err);
    QCOMPARE(runAgent(options, errStream), 128 + SIGTERM);
    script.join();
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(", ") + "\n" + err + ctlErr));
    QCOMPARE(ctlStatus, 0);
    QCOMPARE(ctlOut, QString());
    QCOMPARE(ctlErr, QString("brimsel-ctl: H Shifter: not connected; the agent keeps #00ff00 "
                             "for it\n"));
    QVERIFY2(!err.contains("dropped"), qPrintable(err));
    QFile kept(state.path() + "/colors");
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("handbrake #010203\nsq #102030\nh #00ff00\n"));

    // The next start sets them at once, before any client speaks.
    FakeHidBus::takeEvents();
    std::thread stopper([&] {
        if (!waitForReports(h, "020000ff", 2) || !waitForReports(sq, "02103020", 2))
            failures << "not set at the start";
        std::raise(SIGTERM);
    });
    runAgent(options, errStream);
    stopper.join();
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(", ") + "\n" + err));
}

// --color says an accessory is set only when the agent has taken and kept
// its colour: here an agent that takes nothing.
void TestOpenRgb::colorThroughAnAgentThatDoesNotKeepIt()
{
    OpenRgbSession::Host deaf{[] {
                                  OpenRgbSession::Controllers list(3);
                                  list[0].name = "Handbrake";
                                  list[1].name = "SQ Shifter";
                                  list[2].name = "H Shifter";
                                  return list; // all black, whatever is set
                              },
                              [](int, QRgb) {}, [](const QString &) {}};
    OpenRgbServer server(deaf, [](const QString &) {});
    QString why;
    bool inUse = false;
    const quint16 port = TestPorts::freeTcp();
    QVERIFY(server.listen(Endpoint(Endpoint::Loopback, port), &why, &inUse));
    QString out, err;
    std::atomic<int> status{-1};
    std::thread ctl([&] {
        QTextStream outStream(&out), errStream(&err);
        BrimselCtl c(outStream, errStream);
        c.setAgentPorts({port});
        status = c.run({"brimsel-ctl", "--color", "#ff0080", "--device", "sq"});
    });
    QTRY_VERIFY_WITH_TIMEOUT(status >= 0, 10000);
    ctl.join();
    QCOMPARE(int(status), int(CtlOutput::WriteFailed));
    QCOMPARE(out, QString());
    QCOMPARE(err, QString("brimsel-ctl: SQ Shifter: the agent did not take the colour\n"));
}

// Every place taken by connections that say nothing: the one silent longest
// makes room for a new client, and the lines about clients stay few.
void TestOpenRgb::idleClientsCannotLockOthersOut()
{
    const int sq =
        FakeHidBus::plug(AccessoryTable::SqShifterProductId, FakeHidBus::ReadMode::Immediate);
    QTemporaryDir state;
    const quint16 port = TestPorts::freeTcp();
    QStringList failures;
    std::thread script([&] {
        QThread::msleep(300);
        std::vector<qintptr> silent;
        for (int i = 0; i < OpenRgbServer::MaxClients + 10; ++i)
            silent.push_back(TcpSocket::connectTo(Endpoint(Endpoint::Loopback, port), 1000));
        QThread::msleep(OpenRgbServer::IdleMs + 300);
        OpenRgbClient client;
        if (!client.findAgent({port}) || !client.setColor(1, qRgb(7, 7, 7)) ||
            !waitForReports(sq, "02070707", 2))
            failures << "no room for a client that speaks";
        for (qintptr s : silent)
            TcpSocket::close(s);
        std::raise(SIGTERM);
    });
    QString err;
    QTextStream errStream(&err);
    runAgent(openRgbOnly(state.path(), port), errStream);
    script.join();
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(", ") + "\n" + err));
    QCOMPARE(err.count("turned away") + err.count("to make room"), OpenRgbServer::LinesPerMinute);
}

// The npm package openrgb-sdk, as effect programs use it: what it reads of
// the controllers, a colour it sets, and the device list as accessories go
// and come while it watches.
void TestOpenRgb::realClientOverTheStandInBus()
{
    if (!*kNodeModules)
        QSKIP("no npm client openrgb-sdk: ./build.sh test installs it");
    using M = FakeHidBus::ReadMode;
    const int hb = FakeHidBus::plug(AccessoryTable::HandbrakeProductId, M::Immediate);
    int sq = FakeHidBus::plug(AccessoryTable::SqShifterProductId, M::Immediate);
    const int h = FakeHidBus::plug(AccessoryTable::HShifterProductId, M::Immediate);
    QTemporaryDir state;
    const quint16 port = TestPorts::freeTcp();
    const QString p = QString::number(port);
    QString list, set, watch;
    int notices = 0;
    QStringList failures;
    std::thread script([&] {
        QThread::msleep(300);
        list = node({p, "list"});
        set = node({p, "set", "ff0080"});
        // ff0080 as the report has it: red, blue, green.
        for (int a : {hb, sq, h})
            if (!waitForReports(a, "02ff8000", 2))
                failures << QString("no pink at %1").arg(a);
        // Unplug and plug the SQ shifter while a client watches.
        std::thread watcher([&] { watch = node({p, "watch", "4"}); });
        std::thread listener([&] { notices = noticesHeard(port, 4000); });
        QThread::msleep(1500);
        FakeHidBus::unplug(sq);
        QThread::msleep(500);
        sq = FakeHidBus::plug(AccessoryTable::SqShifterProductId, M::Immediate);
        if (!waitForReports(sq, "02ff8000", 2))
            failures << "the kept colour did not come back";
        watcher.join();
        listener.join();
        std::raise(SIGTERM);
    });
    QString err;
    QTextStream errStream(&err);
    const int status = runAgent(openRgbOnly(state.path(), port), errStream);
    script.join();
    QCOMPARE(status, 128 + SIGTERM);
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(", ") + "\n" + err + set + watch));

    const QStringList lines = list.trimmed().split('\n');
    QVERIFY2(lines.size() == 4 && lines[0].contains("\"protocol\":3"), qPrintable(list));
    for (const char *name : {"Handbrake", "SQ Shifter", "H Shifter"})
        QVERIFY2(
            list.contains(QString("\"name\":\"%1\",\"vendor\":\"Brimsel\",\"type\":17").arg(name)),
            qPrintable(list));
    QVERIFY2(list.contains("\"modes\":[\"Direct\"],\"zones\":1,\"leds\":1"), qPrintable(list));
    QCOMPARE(set.count("{\"red\":255,\"green\":0,\"blue\":128}"), 3);
    QCOMPARE(notices, 2); // gone, and back
    // The indices stay: the SQ shifter is said to be gone, not taken away.
    QVERIFY2(watch.contains("count 3, 3 connected\ncount 3, 2 connected\ncount 3, 3 connected"),
             qPrintable(watch));
    QVERIFY2(err.contains("serving the OpenRGB SDK on 127.0.0.1:" + p), qPrintable(err));
}

// --openrgb --telemetry: the game's colours while it drives, the kept ones
// (not the idle colour) when it stops.
void TestOpenRgb::theGameWinsWhileItDrives()
{
    const int sq = FakeHidBus::plug(0x3102, FakeHidBus::ReadMode::Immediate);
    QTemporaryDir state;
    const quint16 port = TestPorts::freeTcp(), udp = TestPorts::freeTcp();
    LightsAgent::Options options = openRgbOnly(state.path(), port);
    options.telemetry = true;
    options.sources.listen = Endpoint(Endpoint::Loopback, udp);
    options.devices = HidWorker::SqShifter;
    options.sources.sharedMemoryFolder = state.path();
    QStringList failures;
    std::thread script([&] {
        QThread::msleep(300);
        OpenRgbClient client;
        if (!client.findAgent({port}) || !client.setColor(0, qRgb(0x10, 0x20, 0x30)) ||
            !waitForReports(sq, "02103020", 2))
            failures << "kept";
        // A Forza dash packet at 75 % of the maximum: green.
        QByteArray forza(311, '\0');
        const float rpm[] = {8000, 1000, 6000}; // maximum, idle, now
        forza[0] = 1;
        std::memcpy(forza.data() + 8, &rpm[0], 4);
        std::memcpy(forza.data() + 12, &rpm[1], 4);
        std::memcpy(forza.data() + 16, &rpm[2], 4);
        const int s = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(udp);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sendto(s, forza.constData(), size_t(forza.size()), 0, reinterpret_cast<sockaddr *>(&to),
               sizeof to);
        close(s);
        if (!waitForReports(sq, "020000ff", 2))
            failures << "driving";
        // 2 s of silence: back to the kept colour.
        QThread::msleep(2300);
        if (reportsTo(sq).value(reportsTo(sq).size() - 1) != "02103020")
            failures << "after: " + reportsTo(sq).join(' ');
        std::raise(SIGTERM);
    });
    QString err;
    QTextStream errStream(&err);
    runAgent(options, errStream);
    script.join();
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(", ") + "\n" + err));
    // Nothing at the start: no game had driven, nothing was kept and no
    // idle colour was given, so the light was left as it was.
    const QStringList r = reportsTo(sq);
    QVERIFY2(r.indexOf("02103020") == 0, qPrintable(r.join(' ')));
    QVERIFY(!r.contains("02000000"));
}

// A port given that is taken ends it before any accessory is touched; the
// default one taken, the next is served. A client that stops reading while
// its answers pile up is dropped, and the others are still served.
void TestOpenRgb::portsAndAClientThatStopsReading()
{
    QTemporaryDir state;
    QString err;
    QTextStream errStream(&err);
    bool inUse = false;
    QString why;
    const quint16 taken = TestPorts::freeTcp();
    const qintptr holder = TcpSocket::listen(Endpoint(Endpoint::Loopback, taken), &why, &inUse);
    QVERIFY(holder != TcpSocket::None);
    QCOMPARE(runAgent(openRgbOnly(state.path(), taken), errStream), 2);
    QVERIFY2(err.contains("the port is in use"), qPrintable(err));
    QCOMPARE(FakeHidBus::events().size(), 0);
    TcpSocket::close(holder);

    // The default port, held here unless something else holds it already;
    // no accessory, so that --color in another test never takes this for
    // an agent of its own.
    const qintptr defaultHolder =
        TcpSocket::listen(Endpoint(Endpoint::Loopback, P::DefaultPort), &why, &inUse);
    err.clear();
    std::thread stop([] {
        QThread::msleep(500);
        std::raise(SIGTERM);
    });
    runAgent(openRgbOnly(state.path()), errStream);
    stop.join();
    TcpSocket::close(defaultHolder);
    if (!err.contains("serving the OpenRGB SDK on 127.0.0.1:6743"))
        QSKIP(qPrintable("6743 is taken too on this machine: " + err));
    QVERIFY2(err.contains("127.0.0.1:6742 is in use"), qPrintable(err));

    const int sq = FakeHidBus::plug(0x3102, FakeHidBus::ReadMode::Immediate);
    const quint16 port = TestPorts::freeTcp();
    err.clear();
    QStringList failures;
    std::thread script([&] {
        QThread::msleep(300);
        // Asks and asks, and never reads the answers.
        const qintptr greedy = TcpSocket::connectTo(Endpoint(Endpoint::Loopback, port), 1000);
        const QByteArray ask = P::packet(0, P::RequestControllerData);
        QByteArray many;
        for (int i = 0; i < 200; ++i)
            many += ask;
        for (int i = 0; i < 200; ++i)
            if (TcpSocket::send(greedy, many.constData(), size_t(many.size())) < 0)
                break;
        OpenRgbClient other;
        if (!other.findAgent({port}) || !other.setColor(1, qRgb(9, 9, 9)) ||
            !waitForReports(sq, "02090909", 2))
            failures << "the other client";
        TcpSocket::close(greedy);
        std::raise(SIGTERM);
    });
    runAgent(openRgbOnly(state.path(), port), errStream);
    script.join();
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(", ") + "\n" + err));
    QCOMPARE(err.count("dropped"), 1);
    QVERIFY2(err.contains("dropped: it stopped reading"), qPrintable(err));
}

QTEST_GUILESS_MAIN(TestOpenRgb)
#include "test_openrgb.moc"
