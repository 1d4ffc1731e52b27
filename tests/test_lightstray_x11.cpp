// SPDX-License-Identifier: MIT
// brimsel-lights as a user sees it, on a real X server with a tray host
// (tests/x11-tray.sh starts Xvfb and trayer): its icon in the tray, the
// menu opened with the mouse, a kept colour typed into the Lights window,
// and that colour at the stand-in accessory and in the state file; then a
// colour typed into the Brimsel tool window, which the agent keeps too, so
// that a replug brings it back.
#include <QAbstractSpinBox>
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "agentcolorrelay.h"
#include "fakehidbus.h"
#include "lightsagent.h"
#include "lightstray.h"
#include "lightswindow.h"
#include "mainwindow.h"
#include "mycolorwidget.h"
#include "testagent.h"

#include <QSystemTrayIcon>

#include <memory>

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

// The colour panel's HTML field: its one line edit outside a spin box.
QLineEdit *htmlField(MyColorWidget *panel)
{
    QLineEdit *html = nullptr;
    for (QLineEdit *edit : panel->findChildren<QLineEdit *>()) {
        if (!qobject_cast<QAbstractSpinBox *>(edit->parentWidget()))
            html = edit;
    }
    return html;
}

// Types a colour into the field as a user would, ending with Return.
bool typeColor(QWidget *window, QLineEdit *field, const QString &color)
{
    if (!QTest::qWaitFor(
            [&] { return window->isActiveWindow() || (window->activateWindow(), false); }, 5000))
        return false;
    clickAt(field->mapToGlobal(field->rect().center()), 1);
    if (!QTest::qWaitFor([&] { return field->hasFocus(); }, 5000))
        return false;
    xdotool({"key", "ctrl+a"});
    QTest::qWait(100);
    xdotool({"type", "--delay", "20", color});
    QTest::qWait(400);
    xdotool({"key", "Return"});
    return true;
}

QByteArray readState(const QTemporaryDir &dir)
{
    QFile state(dir.filePath("state/colors"));
    return state.open(QIODevice::ReadOnly) ? state.readAll() : QByteArray();
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
    LightsAgent::Options o = TestAgent::options(dir);
    o.telemetry = false;
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
    QLineEdit *html = htmlField(window->panel());
    QVERIFY(html);
    QVERIFY(typeColor(window, html, "#ff8000"));
    const QRgb orange = qRgb(0xff, 0x80, 0x00);
    QTRY_VERIFY_WITH_TIMEOUT(agent.hasKeptColor(1) && agent.keptColor(1) == orange, 5000);
    QTRY_COMPARE(FakeHidBus::lastColor(sq), orange);
    QTRY_COMPARE(readState(dir), QByteArray("sq #ff8000\n"));
    window->hide();

    // The Brimsel tool window, wired to the agent as brimsel-tool wires it:
    // a colour typed there reaches the ticked accessory and the agent
    // keeps it, so that a replug brings back that colour, not the older one.
    auto tool = std::make_unique<MainWindow>();
    AgentColorRelay relay(dir.path(), {});
    connect(tool.get(), &MainWindow::colorUpdateRequested, &relay, &AgentColorRelay::give);
    tool->show();
    auto *sqBox = tool->findChild<QCheckBox *>("checkBox_sq");
    QVERIFY(sqBox);
    QTRY_VERIFY_WITH_TIMEOUT(sqBox->isEnabled(), 5000);
    sqBox->setChecked(true);
    QLineEdit *toolHtml = htmlField(tool->findChild<MyColorWidget *>());
    QVERIFY(toolHtml);
    QVERIFY(typeColor(tool.get(), toolHtml, "#2040c0"));
    const QRgb blue = qRgb(0x20, 0x40, 0xc0);
    QTRY_COMPARE(FakeHidBus::lastColor(sq), blue);
    QTRY_VERIFY_WITH_TIMEOUT(agent.keptColor(1) == blue, 5000);
    QTRY_COMPARE(readState(dir), QByteArray("sq #2040c0\n"));
    // The window gone, only the agent can bring the colour back.
    tool.reset();
    FakeHidBus::unplug(sq);
    QTRY_COMPARE(agent.connectedAccessories(), 0);
    const int again =
        FakeHidBus::plug(AccessoryTable::SqShifterProductId, FakeHidBus::ReadMode::Immediate);
    QTRY_COMPARE_WITH_TIMEOUT(FakeHidBus::lastColor(again), blue, 5000);
    agent.stop();
}

QTEST_MAIN(TestLightsTrayX11)
#include "test_lightstray_x11.moc"
