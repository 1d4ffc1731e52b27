// SPDX-License-Identifier: MIT
// The Lights window over the agent and the stand-in bus: a colour chosen in
// its panel is kept for the accessory picked, reaches it and the state file;
// picking an accessory keeps nothing; the game lights paused show the kept
// colours while a game drives.
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

#include "fakehidbus.h"
#include "lightsagent.h"
#include "lightswindow.h"
#include "mycolorwidget.h"
#include "telemetrypackets.h"
#include "testports.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

} // namespace

class TestLightsWindow : public QObject
{
    Q_OBJECT
private slots:
    void init() { FakeHidBus::reset(); }
    void keepsTheChosenColour();
    void pausedGameLightsShowTheKeptColours();

private:
    LightsAgent::Options options(const QTemporaryDir &dir)
    {
        LightsAgent::Options o;
        o.devices = HidWorker::Device(AccessoryTable::AllBits);
        o.openRgb = true;
        o.openRgbEndpoint = Endpoint(Endpoint::Loopback, TestPorts::freeTcp());
        o.sources.listen = Endpoint(Endpoint::Loopback, TestPorts::freeUdp());
        o.sources.sharedMemoryFolder = dir.path();
        o.stateFolder = dir.filePath("state");
        o.lockFolder = dir.path();
        o.profilePath = dir.filePath("lights.toml");
        return o;
    }
};

void TestLightsWindow::keepsTheChosenColour()
{
    using M = FakeHidBus::ReadMode;
    const int hb = FakeHidBus::plug(AccessoryTable::HandbrakeProductId, M::Immediate);
    const int sq = FakeHidBus::plug(AccessoryTable::SqShifterProductId, M::Immediate);
    QTemporaryDir dir;
    LightsAgent agent(options(dir));
    QVERIFY(agent.start());
    LightsWindow window(&agent);
    window.show();
    QTRY_COMPARE(agent.connectedAccessories(), 1 | 2);
    QTRY_VERIFY2(window.findChild<QLabel *>("status")->text().contains("SQ Shifter"),
                 qPrintable(window.findChild<QLabel *>("status")->text()));

    // Picking an accessory sets the panel to its colour: nothing kept.
    window.chooseSlot(1);
    QVERIFY(!agent.hasKeptColor(1) && !agent.hasKeptColor(0));
    const QRgb teal = qRgb(0x12, 0x80, 0x80);
    window.panel()->setCurrentColor(QColor(teal));
    QVERIFY(agent.hasKeptColor(1) && agent.keptColor(1) == teal);
    QVERIFY(!agent.hasKeptColor(0));
    QTRY_COMPARE(FakeHidBus::lastColor(sq), teal);
    const auto stateFile = [&] {
        QFile state(dir.filePath("state/colors"));
        return state.open(QIODevice::ReadOnly) ? state.readAll() : QByteArray();
    };
    QTRY_COMPARE(stateFile(), QByteArray("sq #128080\n"));
    QTRY_VERIFY(window.findChild<QLabel *>("kept_sq")->toolTip() == "#128080");
    QCOMPARE(window.findChild<QLabel *>("kept_handbrake")->toolTip(), QString("none kept"));
    QVERIFY(FakeHidBus::lastColor(hb) != teal);
    // Picking it again starts from its kept colour.
    window.chooseSlot(0);
    window.chooseSlot(1);
    QCOMPARE(window.panel()->currentColor().rgb(), teal);
    agent.stop();
}

void TestLightsWindow::pausedGameLightsShowTheKeptColours()
{
    using M = FakeHidBus::ReadMode;
    const int sq = FakeHidBus::plug(AccessoryTable::SqShifterProductId, M::Immediate);
    QTemporaryDir dir;
    LightsAgent::Options o = options(dir);
    LightsAgent agent(o);
    QVERIFY(agent.start());
    const QRgb kept = qRgb(0x40, 0x00, 0x40);
    agent.setKeptColor(1, kept);
    QTRY_COMPARE(FakeHidBus::lastColor(sq), kept);
    // Forza at 75 %: the rev light's green.
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(o.sources.listen.port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    auto drive = [&] {
        const QByteArray p = TelemetryPackets::forza(311, true, 7500, 10000);
        sendto(s, p.constData(), size_t(p.size()), 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
        QTest::qWait(16);
    };
    for (int i = 0; i < 200 && FakeHidBus::lastColor(sq) != qRgb(0, 255, 0); ++i)
        drive();
    QCOMPARE(FakeHidBus::lastColor(sq), qRgb(0, 255, 0));
    QVERIFY(!agent.game().isEmpty());
    agent.setGameLightsPaused(true);
    drive();
    QTRY_COMPARE(FakeHidBus::lastColor(sq), kept);
    QVERIFY(agent.game().isEmpty());
    for (int i = 0; i < 10; ++i)
        drive();
    QCOMPARE(FakeHidBus::lastColor(sq), kept); // still heard, not shown
    agent.setGameLightsPaused(false);
    drive();
    QTRY_COMPARE(FakeHidBus::lastColor(sq), qRgb(0, 255, 0));
    close(s);
    agent.stop();
}

QTEST_MAIN(TestLightsWindow)
#include "test_lightswindow.moc"
