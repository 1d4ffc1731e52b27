// SPDX-License-Identifier: MIT
// The window's colours given to a running agent in the background: kept by
// it; with no agent, nothing waits; an agent that comes later is found.
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "agentcolorrelay.h"
#include "fakehidbus.h"
#include "lightsagent.h"
#include "testagent.h"
#include "testports.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

LightsAgent::Options agentOptions(const QTemporaryDir &dir, quint16 port)
{
    LightsAgent::Options o = TestAgent::options(dir);
    o.openRgbEndpoint = Endpoint(Endpoint::Loopback, port);
    o.telemetry = false;
    return o;
}

} // namespace

class TestAgentColorRelay : public QObject
{
    Q_OBJECT
private slots:
    void givesTheAgentTheWindowsColours();
};

void TestAgentColorRelay::givesTheAgentTheWindowsColours()
{
    FakeHidBus::reset();
    FakeHidBus::plug(AccessoryTable::SqShifterProductId, FakeHidBus::ReadMode::Immediate);
    QTemporaryDir dir;
    // Only the port the mark announces: never a user's agent on the defaults.
    AgentColorRelay relay(dir.path(), {});
    QSignalSpy taken(&relay, SIGNAL(taken(QColor, int)));

    // No agent: given at once, taken by nobody.
    QElapsedTimer timer;
    timer.start();
    relay.give(QColor(1, 2, 3), HidWorker::SqShifter);
    QVERIFY(timer.elapsed() < 100);
    QTest::qWait(200);
    QCOMPARE(taken.count(), 0);

    // An agent starts: after the pause between looks it is found, and keeps
    // the newest colour of those given meanwhile.
    auto agent = std::make_unique<LightsAgent>(agentOptions(dir, TestPorts::freeTcp()));
    QVERIFY(agent->start());
    QTest::qWait(AgentColorRelay::LookAgainMs);
    relay.give(QColor(0x10, 0x20, 0x30), HidWorker::SqShifter);
    relay.give(QColor(0x40, 0x50, 0x60),
               HidWorker::Device(HidWorker::SqShifter | HidWorker::HShifter));
    QTRY_VERIFY(agent->hasKeptColor(1) && agent->keptColor(1) == qRgb(0x40, 0x50, 0x60));
    QTRY_VERIFY(agent->hasKeptColor(2)); // kept for when it comes
    QVERIFY(!agent->hasKeptColor(0));
    QTRY_VERIFY(!taken.isEmpty());
    QCOMPARE(taken.last().at(0).value<QColor>(), QColor(0x40, 0x50, 0x60));

    // It stops and another starts on another port: found anew.
    agent->stop();
    agent.reset();
    relay.give(QColor(7, 7, 7), HidWorker::SqShifter);
    QTest::qWait(100);
    LightsAgent second(agentOptions(dir, TestPorts::freeTcp()));
    QVERIFY(second.start());
    QTest::qWait(AgentColorRelay::LookAgainMs);
    relay.give(QColor(0x80, 0x00, 0x80), HidWorker::SqShifter);
    QTRY_VERIFY(second.hasKeptColor(1) && second.keptColor(1) == qRgb(0x80, 0x00, 0x80));
    second.stop();
}

QTEST_MAIN(TestAgentColorRelay)
#include "test_agentcolorrelay.moc"
