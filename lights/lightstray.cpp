// SPDX-License-Identifier: MIT
#include "lightstray.h"

#include "accessorytable.h"
#include "hidoneshot.h"
#include "lightsagent.h"
#include "lightswindow.h"
#include "loginstart.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QSystemTrayIcon>

// The logo, from this library's resources: a static library's are linked
// in only when something asks for them by name.
static QIcon lightsLogo()
{
    Q_INIT_RESOURCE(lights);
    return QIcon(QStringLiteral(":/logo_app_48.ico"));
}

LightsTray::LightsTray(LightsAgent *agent, QObject *parent)
    : QObject(parent), agent(agent), tray(new QSystemTrayIcon(this)), trayMenu(new QMenu),
      lightsWindow(new LightsWindow(agent)), logo(lightsLogo())
{
    lightsWindow->setWindowIcon(logo);
    trayMenu->setObjectName(QStringLiteral("trayMenu"));
    // What the agent does, said in the menu's first lines.
    accessories = trayMenu->addAction(QString());
    game = trayMenu->addAction(QString());
    openRgb = trayMenu->addAction(QString());
    closedLine = trayMenu->addAction(QString());
    closedLine->setObjectName(QStringLiteral("unopenable"));
    closedLine->setVisible(false);
    for (QAction *line : {accessories, game, openRgb, closedLine})
        line->setEnabled(false);
    trayMenu->addSeparator();
    pauseAction = trayMenu->addAction(tr("Pause game lights"));
    pauseAction->setCheckable(true);
    pauseAction->setObjectName(QStringLiteral("pause"));
    QAction *lights = trayMenu->addAction(tr("Lights…"));
    lights->setObjectName(QStringLiteral("lights"));
    QAction *tool = trayMenu->addAction(tr("Open Brimsel tool"));
    tool->setObjectName(QStringLiteral("tool"));
    loginAction = trayMenu->addAction(tr("Start at login"));
    loginAction->setCheckable(true);
    loginAction->setChecked(LoginStart::isOn());
    loginAction->setObjectName(QStringLiteral("login"));
    trayMenu->addSeparator();
    QAction *quit = trayMenu->addAction(tr("Quit"));
    quit->setObjectName(QStringLiteral("quit"));

    connect(pauseAction, SIGNAL(toggled(bool)), this, SLOT(pause(bool)));
    connect(lights, SIGNAL(triggered()), this, SLOT(openWindow()));
    connect(tool, SIGNAL(triggered()), this, SLOT(openTool()));
    connect(loginAction, SIGNAL(toggled(bool)), this, SLOT(startAtLogin(bool)));
    connect(quit, SIGNAL(triggered()), qApp, SLOT(quit()));
    connect(tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
        if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::DoubleClick)
            openWindow();
    });
    connect(agent, SIGNAL(accessoriesChanged(int)), this, SLOT(showState()));
    connect(agent, SIGNAL(gameChanged(QString)), this, SLOT(showState()));
    connect(agent, SIGNAL(colorsChanged()), this, SLOT(showState()));
    connect(agent, SIGNAL(message(QString)), this, SLOT(tell(QString)));
    tray->setContextMenu(trayMenu);
    // Looked at while the menu opens, at a change, and when an accessory
    // may have been plugged in: one without access changes nothing else.
    // On Linux its node appears in /dev (its access is set a moment later);
    // elsewhere the tray looks every 10 s.
    lookTimer.setSingleShot(true);
    lookTimer.setInterval(1000);
#ifdef Q_OS_LINUX
    devWatcher.addPath(QStringLiteral("/dev"));
    connect(&devWatcher, &QFileSystemWatcher::directoryChanged, &lookTimer,
            QOverload<>::of(&QTimer::start));
#else
    lookTimer.setSingleShot(false);
    lookTimer.setInterval(10000);
#endif
    connect(&lookTimer, &QTimer::timeout, this, &LightsTray::lookAtUnopenable);
    connect(trayMenu, &QMenu::aboutToShow, this, &LightsTray::lookAtUnopenable);
    connect(agent, SIGNAL(accessoriesChanged(int)), this, SLOT(lookAtUnopenable()));
    showState();
}

LightsTray::~LightsTray()
{
    delete lightsWindow;
    delete trayMenu;
}

void LightsTray::show()
{
    if (!lookTimer.isSingleShot())
        lookTimer.start();
    lookAtUnopenable();
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        tray->show();
        return;
    }
    // Some desktops have no tray: the window is the agent's face, and
    // closing it does not stop the lights.
    lightsWindow->setNote(tr("There is no system tray here: this window stands in for its icon. "
                             "Closing it leaves the lights running; quit from the menu to stop "
                             "them."));
    openWindow();
}

QString LightsTray::toolTip() const
{
    return tray->toolTip();
}

void LightsTray::showState()
{
    const int connected = agent->connectedAccessories();
    QStringList names;
    for (const AccessoryTable::Entry &e : AccessoryTable::entries) {
        if (connected & e.bit)
            names << QCoreApplication::translate("HidWorker", e.name);
    }
    accessories->setText(names.isEmpty()
                             ? tr("No accessory connected")
                             : tr("Connected: %1").arg(names.join(QStringLiteral(", "))));
    const QString car = agent->car();
    game->setText(agent->gameLightsPaused() ? tr("Game lights paused")
                  : agent->game().isEmpty() ? tr("No game drives")
                  : car.isEmpty()           ? tr("Game: %1").arg(agent->game())
                                            : tr("Game: %1, %2").arg(agent->game(), car));
    const Endpoint endpoint = agent->openRgbEndpoint();
    openRgb->setText(endpoint.port ? tr("OpenRGB SDK on %1").arg(endpoint.text())
                                   : tr("OpenRGB SDK not served"));
    QString tip = tr("Brimsel lights") + QLatin1Char('\n') + accessories->text() +
                  QLatin1Char('\n') + game->text();
    if (closedKinds)
        tip += QLatin1Char('\n') + closedLine->text();
    if (!lastMessage.isEmpty())
        tip += QLatin1Char('\n') + lastMessage;
    tray->setToolTip(tip);
    const bool driving = !agent->game().isEmpty() && !agent->gameLightsPaused();
    tray->setIcon(iconFor(driving, agent->colors()[1]));
}

QIcon LightsTray::iconFor(bool driving, QRgb color) const
{
    if (!driving)
        return logo;
    // The logo with the SQ shifter's colour of the moment in its corner.
    QPixmap pixmap = logo.pixmap(48, 48);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 2));
    painter.setBrush(QColor(color));
    painter.drawEllipse(QRectF(26, 26, 20, 20));
    return QIcon(pixmap);
}

void LightsTray::lookAtUnopenable()
{
    const int missing = AccessoryTable::AllBits & ~agent->connectedAccessories();
    int closed = 0;
    if (missing) {
        HidOneShot hid;
        closed = hid.unopenable(missing);
        hid.finish();
    }
    if (closed == closedKinds)
        return;
    closedKinds = closed;
    // Set here, not at each colour the lights show.
    QStringList names;
    for (const AccessoryTable::Entry &e : AccessoryTable::entries) {
        if (closed & e.bit)
            names << QCoreApplication::translate("HidWorker", e.name);
    }
#ifdef Q_OS_WIN
    const QString advice = tr("another program holds it");
#else
    const QString advice = tr("no access; Lights… says what to do");
#endif
    closedLine->setText(
        tr("Cannot be opened: %1 (%2)").arg(names.join(QStringLiteral(", ")), advice));
    closedLine->setVisible(closed != 0);
    lightsWindow->setUnopenable(closed);
    showState();
}

void LightsTray::tell(const QString &message)
{
    // The newest line, under the state in the tooltip: what the agent
    // heard last, or what it could not do.
    lastMessage = message;
    showState();
}

void LightsTray::pause(bool paused)
{
    agent->setGameLightsPaused(paused);
    showState();
    lightsWindow->showState();
}

void LightsTray::openWindow()
{
    lightsWindow->show();
    lightsWindow->raise();
    lightsWindow->activateWindow();
}

QString LightsTray::toolProgram()
{
#ifdef Q_OS_WIN
    const QString name = QStringLiteral("brimsel-tool.exe");
#else
    const QString name = QStringLiteral("brimsel-tool");
#endif
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(name);
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QStandardPaths::findExecutable(QStringLiteral("brimsel-tool"));
}

void LightsTray::openTool()
{
    const QString program = toolProgram();
    if (program.isEmpty() || !QProcess::startDetached(program, {})) {
        tell(tr("Cannot start the Brimsel tool window (brimsel-tool)"));
        emit message(lastMessage);
    }
}

void LightsTray::startAtLogin(bool on)
{
    QString why;
    if (!LoginStart::set(on, QCoreApplication::applicationFilePath(), &why)) {
        tell(tr("Cannot change the start at login: %1").arg(why));
        emit message(lastMessage);
        QSignalBlocker keep(loginAction);
        loginAction->setChecked(LoginStart::isOn());
    }
}
