// SPDX-License-Identifier: MIT
// brimsel-lights as a user sees it, on a real X server with a tray host
// (tests/x11-tray.sh starts Xvfb and trayer): its icon in the tray, the
// menu opened with the mouse, a kept colour typed into the Lights window,
// and that colour at the stand-in accessory and in the state file.
#include <QAbstractSpinBox>
#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "fakehidbus.h"
#include "lightsagent.h"
#include "lightstray.h"
#include "lightswindow.h"
#include "mycolorwidget.h"
#include "testports.h"

#include <QSystemTrayIcon>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The mouse and keyboard as a user's, through the X server.
void xdotool(const QStringList &arguments)
{
    QProcess::startDetached(QStringLiteral("xdotool"), arguments);
}

void clickAt(const QPoint &at, int button)
{
    xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click",
             QString::number(button)});
}

} // namespace

class TestLightsTrayX11 : public QObject
{
    Q_OBJECT
private slots:
    void iconMenuAndWindow();
};

void TestLightsTrayX11::iconMenuAndWindow()
{
    if (QGuiApplication::platformName() != "xcb")
        QSKIP("needs an X server with a tray host: run through tests/x11-tray.sh");
    QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);
    FakeHidBus::reset();
    const int sq =
        FakeHidBus::plug(AccessoryTable::SqShifterProductId, FakeHidBus::ReadMode::Immediate);
    QTemporaryDir dir;
    LightsAgent::Options o;
    o.devices = HidWorker::Device(AccessoryTable::AllBits);
    o.openRgb = true;
    o.openRgbEndpoint = Endpoint(Endpoint::Loopback, TestPorts::freeTcp());
    o.telemetry = false;
    o.stateFolder = dir.filePath("state");
    o.lockFolder = dir.path();
    o.profilePath = dir.filePath("lights.toml");
    LightsAgent agent(o);
    QVERIFY(agent.start());
    QElapsedTimer shown;
    shown.start();
    LightsTray tray(&agent);
    tray.show();
    // In the tray: the host took the icon in and gave it its place (trayer
    // sits at the screen's top right; before, the icon is at 0,0).
    QTRY_VERIFY_WITH_TIMEOUT(tray.icon()->geometry().isValid() && tray.icon()->geometry().x() > 0,
                             5000);
    qInfo("icon in the tray %lld ms after the tray was made, at %d,%d", shown.elapsed(),
          tray.icon()->geometry().center().x(), tray.icon()->geometry().center().y());
    QTRY_COMPARE(tray.menu()->actions()[0]->text(), QString("Connected: SQ Shifter"));

    // The menu, with the right button on the icon; then "Lights…".
    clickAt(tray.icon()->geometry().center(), 3);
    QTRY_VERIFY_WITH_TIMEOUT(tray.menu()->isVisible(), 5000);
    QAction *lights = tray.menu()->findChild<QAction *>("lights");
    QVERIFY(lights);
    QTest::qWait(200); // the menu takes the pointer once it is mapped
    clickAt(tray.menu()->mapToGlobal(tray.menu()->actionGeometry(lights).center()), 1);
    LightsWindow *window = tray.window();
    QTRY_VERIFY_WITH_TIMEOUT(window->isVisible(), 5000);

    // The SQ shifter, and a colour typed into the panel's HTML field.
    window->chooseSlot(1);
    QLineEdit *html = nullptr;
    for (QLineEdit *edit : window->panel()->findChildren<QLineEdit *>()) {
        if (!qobject_cast<QAbstractSpinBox *>(edit->parentWidget()))
            html = edit;
    }
    QVERIFY(html);
    QTRY_VERIFY_WITH_TIMEOUT(window->isActiveWindow() || (window->activateWindow(), false), 5000);
    clickAt(html->mapToGlobal(html->rect().center()), 1);
    QTRY_VERIFY(html->hasFocus());
    xdotool({"key", "ctrl+a"});
    QTest::qWait(100);
    xdotool({"type", "--delay", "20", "#ff8000"});
    QTest::qWait(400);
    xdotool({"key", "Return"});
    const QRgb orange = qRgb(0xff, 0x80, 0x00);
    QTRY_VERIFY_WITH_TIMEOUT(agent.hasKeptColor(1) && agent.keptColor(1) == orange, 5000);
    QTRY_COMPARE(FakeHidBus::lastColor(sq), orange);
    const auto stateFile = [&] {
        QFile state(dir.filePath("state/colors"));
        return state.open(QIODevice::ReadOnly) ? state.readAll() : QByteArray();
    };
    QTRY_COMPARE(stateFile(), QByteArray("sq #ff8000\n"));
    agent.stop();
}

QTEST_MAIN(TestLightsTrayX11)
#include "test_lightstray_x11.moc"
