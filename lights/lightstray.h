// SPDX-License-Identifier: MIT
#ifndef LIGHTSTRAY_H
#define LIGHTSTRAY_H

#include <QFileSystemWatcher>
#include <QIcon>
#include <QObject>
#include <QString>
#include <QTimer>

class LightsAgent;
class LightsWindow;
class QAction;
class QMenu;
class QSystemTrayIcon;

// The agent's face: a tray icon whose tooltip and menu say, live, which
// accessories are connected, the game that drives and its car, and where
// the OpenRGB SDK is served, and which accessories are plugged in but
// cannot be opened; its corner shows the SQ shifter's colour while a game
// drives. The menu pauses the game lights, opens the Lights window
// or the Brimsel tool window, sets the start at login, and quits. Without
// a system tray the Lights window shows instead and says so.
class LightsTray : public QObject
{
    Q_OBJECT
public:
    explicit LightsTray(LightsAgent *agent, QObject *parent = nullptr);
    ~LightsTray() override;

    // Shows the icon, or the window where there is no tray.
    void show();
    QMenu *menu() const { return trayMenu; }
    QSystemTrayIcon *icon() const { return tray; }
    LightsWindow *window() const { return lightsWindow; }
    QString toolTip() const;
    // The colour window's program, beside this one or on the PATH.
    static QString toolProgram();
    // The accessories plugged in that cannot be opened, as last looked.
    int unopenable() const { return closedKinds; }

signals:
    // What the tray itself could not do, as one line (the agent's own
    // messages come from the agent).
    void message(const QString &text);

public slots:
    void showState();
    void openWindow();
    // Looks for accessories plugged in that cannot be opened (no access to
    // them, or another program holds them): none of the agent's signals
    // tells of those.
    void lookAtUnopenable();

private slots:
    void pause(bool paused);
    void openTool();
    void startAtLogin(bool on);
    void tell(const QString &message);

private:
    QIcon iconFor(bool driving, QRgb color) const;

    LightsAgent *const agent;
    QSystemTrayIcon *tray;
    QMenu *trayMenu;
    QAction *accessories;
    QAction *game;
    QAction *openRgb;
    QAction *closedLine; // the accessories that cannot be opened, where any
    QTimer lookTimer;
    QFileSystemWatcher devWatcher;
    int closedKinds = 0;
    QAction *pauseAction;
    QAction *loginAction;
    LightsWindow *lightsWindow;
    QIcon logo;
    QString lastMessage;
};

#endif // LIGHTSTRAY_H
