// SPDX-License-Identifier: MIT
// The tray's menu and tooltip over the agent and the stand-in bus: what it
// says live (an accessory that cannot be opened among it), its toggles, and
// the window in its place where there is no system tray (as on the
// offscreen platform).
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTemporaryDir>
#include <QtTest>

#include "fakehidbus.h"
#include "lightsagent.h"
#include "lightstray.h"
#include "lightswindow.h"
#include "loginstart.h"
#include "testagent.h"

#include <QSystemTrayIcon>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

} // namespace

class TestLightsTray : public QObject
{
    Q_OBJECT
private slots:
    void menuSaysWhatTheAgentDoes();
};

void TestLightsTray::menuSaysWhatTheAgentDoes()
{
    FakeHidBus::reset();
    FakeHidBus::plug(AccessoryTable::SqShifterProductId, FakeHidBus::ReadMode::Immediate);
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    LightsAgent::Options o = TestAgent::options(dir);
    o.telemetry = false;
    LightsAgent agent(o);
    QVERIFY(agent.start());
    LightsTray tray(&agent);
    const QList<QAction *> lines = tray.menu()->actions();
    QTRY_COMPARE(lines[0]->text(), QString("Connected: SQ Shifter"));
    QCOMPARE(lines[1]->text(), QString("No game drives"));
    QCOMPARE(lines[2]->text(), "OpenRGB SDK on " + o.openRgbEndpoint.text());
    QVERIFY(!lines[0]->isEnabled());
    QVERIFY(tray.toolTip().startsWith("Brimsel lights\nConnected: SQ Shifter\nNo game drives"));

    // No tray here: the window stands in for the icon, and says so.
    QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
    tray.show();
    QVERIFY(tray.window()->isVisible());
    QVERIFY(!tray.window()->windowIcon().pixmap(32, 32).isNull()); // the logo, from the resources

    auto *pause = tray.menu()->findChild<QAction *>("pause");
    QVERIFY(pause);
    pause->trigger();
    QVERIFY(agent.gameLightsPaused());
    QCOMPARE(lines[1]->text(), QString("Game lights paused"));
    pause->trigger();
    QVERIFY(!agent.gameLightsPaused());

    auto *login = tray.menu()->findChild<QAction *>("login");
    QVERIFY(login && !login->isChecked());
    login->trigger();
    QVERIFY(LoginStart::isOn());
    login->trigger();
    QVERIFY(!LoginStart::isOn());

    FakeHidBus::unplugProduct(AccessoryTable::SqShifterProductId);
    QTRY_COMPARE(lines[0]->text(), QString("No accessory connected"));

    // Plugged in, but it cannot be opened: said in the menu, the tooltip and
    // the window, with what to do; gone once it opens.
    FakeHidBus::failOpens(1 << 30);
    FakeHidBus::plug(AccessoryTable::HShifterProductId, FakeHidBus::ReadMode::Immediate);
    tray.lookAtUnopenable();
    QCOMPARE(tray.unopenable(), int(AccessoryTable::entries[2].bit));
    auto *closed = tray.menu()->findChild<QAction *>("unopenable");
    QVERIFY(closed && closed->isVisible());
    QVERIFY2(closed->text().startsWith("Cannot be opened: H Shifter"), qPrintable(closed->text()));
    QVERIFY(tray.toolTip().contains(closed->text()));
    const QString said = tray.window()->findChild<QLabel *>("status")->text();
    QVERIFY2(said.contains("H Shifter: plugged in, but it cannot be opened: no access") &&
                 said.contains("udevadm"),
             qPrintable(said));
    FakeHidBus::failOpens(0);
    QTRY_COMPARE(lines[0]->text(), QString("Connected: H Shifter"));
    QTRY_VERIFY(!closed->isVisible());
    QCOMPARE(tray.unopenable(), 0);
    agent.stop();
}

QTEST_MAIN(TestLightsTray)
#include "test_lightstray.moc"
