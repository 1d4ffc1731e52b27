// SPDX-License-Identifier: MIT
#ifndef LIGHTSAGENT_H
#define LIGHTSAGENT_H

#include "agentlock.h"
#include "colorstore.h"
#include "devicerelay.h"
#include "endpoint.h"
#include "hidworker.h"
#include "profilefile.h"
#include "telemetrylights.h"
#include "telemetrysources.h"

#include <QObject>
#include <QRgb>
#include <QString>
#include <QTimer>

#include <memory>

class OpenRgbService;
class ProfileWatcher;

// The lights agent: it owns the accessories' colours until it stops. Its
// sources are the games' telemetry (over UDP, from the games that must be
// asked and from the sims' shared memory) and the OpenRGB SDK's clients,
// whose colours it keeps on disk; each accessory shows the game's colour
// while a game drives, else its kept colour, else the idle colour. It runs
// in the thread that made it, on that thread's event loop; the device
// link's worker writes in a thread of its own, each accessory's newest
// colour waiting. A host (brimsel-ctl, a tray) starts it, runs the loop,
// and shows what the signals tell.
class LightsAgent : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        HidWorker::Device devices = HidWorker::NoDevice; // the accessories it sets
        // The lights profile it follows as it changes; none where empty.
        QString profilePath = ProfileFile::defaultPath();
        // Over what the profile says: --idle and --shift-at.
        QRgb idle = qRgb(0, 0, 0);
        // Else (and where the profile says no idle colour) an accessory with
        // no kept colour is left as it is until a game has driven: starting
        // the agent does not switch lights off.
        bool idleGiven = false;
        double shiftAt = TelemetryLights::DefaultShiftAt;
        bool shiftAtGiven = false; // then the games' own shift signals are not followed
        bool telemetry = true;     // the games' UDP and shared memory
        TelemetrySources::Settings sources;
        bool openRgb = false;
        Endpoint openRgbEndpoint; // port 0: 6742, or 6743 when that is taken
        QString stateFolder = ColorStore::defaultFolder(); // of the kept colours
        QString lockFolder = AgentLock::defaultFolder();   // of the one-agent mark
    };

    explicit LightsAgent(const Options &options, QObject *parent = nullptr);
    ~LightsAgent() override;

    // Opens its sockets, then starts the device link and shows the first
    // colours. False, having said why, when another agent of the user's
    // runs (anotherRuns()) or it cannot listen: then no accessory has been
    // touched.
    bool start();
    bool anotherRuns() const { return another; }
    // Stops listening and serving, writes the kept colours to disk and lets
    // the write under way finish.
    void stop();

    // The accessories connected of those it sets.
    int connectedAccessories() const { return connected; }
    // The game that drives the lights now, as messages name it; empty while
    // none does.
    QString game() const { return drivingGame; }
    // The profile in force, --idle and --shift-at applied.
    const LightsProfile &profile() const { return lights.profile(); }
    // The profile as its file says it (the defaults where there is none),
    // and that file; empty where it follows none.
    const LightsProfile &fileProfile() const;
    QString profilePath() const { return options.profilePath; }
    // What each accessory shows, or would show were it written, in slot order.
    TelemetryLights::Colors colors() const { return shown; }
    // Where the OpenRGB SDK is served; port 0 when it is not.
    Endpoint openRgbEndpoint() const;
    // The car of the game that drives, as the game names it; empty where
    // none drives or the game names none.
    QString car() const { return drivingGame.isEmpty() ? QString() : lights.car(); }

    // The colour each accessory keeps while no game drives (with openRgb
    // set, as an SDK client's colour is kept): for a host's own window.
    void setKeptColor(int slot, QRgb color) { keepColor(slot, color); }
    bool hasKeptColor(int slot) const { return store.has(slot); }
    QRgb keptColor(int slot) const { return store.color(slot); }
    // Paused, the games are still heard but the lights show the kept
    // colours (else the idle colour), as if none drove.
    void setGameLightsPaused(bool paused);
    bool gameLightsPaused() const { return paused; }

signals:
    // Something to tell the user, as one line.
    void message(const QString &text);
    // The connected set, at the first look and at every change.
    void accessoriesChanged(int connected);
    void gameChanged(const QString &game);
    void colorsChanged();
    // The profile in force changed (its file was edited).
    void profileChanged();

private slots:
    void showLights();
    void saveColors();
    void applyProfile();

private:
    void keepColor(int slot, QRgb color);
    void setDeviceState(int connectedDevices);
    void say(const QString &text) { emit message(text); }

    const Options options;
    TelemetryLights lights;
    QTimer lightTimer; // the next flash step or the fall-back to idle, or later
    qint64 lightDue = 0;
    DeviceRelay relay; // a colour per accessory
    ColorStore store;
    QTimer saveTimer; // kept colours reach the disk at most this often
    bool unsaved = false;
    bool saveFailedSaid = false;
    std::unique_ptr<TelemetrySources> sources;
    std::unique_ptr<OpenRgbService> openRgb;
    std::unique_ptr<ProfileWatcher> profileWatcher;
    bool started = false;
    AgentLock lock;
    bool another = false;

    bool stateKnown = false;
    int connected = HidWorker::NoDevice;
    QString drivingGame;
    TelemetryDecoder::Car carSaid{}; // the car last named to the user
    bool gameHasDriven = false;
    bool paused = false;
    bool shownYet = false;
    TelemetryLights::Colors shown{};
};

#endif // LIGHTSAGENT_H
