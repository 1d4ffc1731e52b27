// SPDX-License-Identifier: MIT
#include "lightsagent.h"

#include <QColor>
#include <QDir>

#include "openrgbservice.h"
#include "profilewatcher.h"

#include <chrono>

namespace {

// A client may set colours a thousand times a second: the disk sees the
// newest at most this often, and at the end.
constexpr int kSaveMs = 500;
// A save that failed (a full disk, a folder it cannot write) is tried again
// this often, until it succeeds.
constexpr int kSaveRetryMs = 3000;

qint64 steadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

LightsAgent::LightsAgent(const Options &options, QObject *parent)
    : QObject(parent), options(options),
      lights(options.idle, options.shiftAt, steadyMs, !options.shiftAtGiven),
      relay({[this](int connected) { setDeviceState(connected); }, nullptr, nullptr,
             [this](const QString &text) { say(text); }}),
      store(options.stateFolder), lock(options.lockFolder)
{
    saveTimer.setSingleShot(true);
    saveTimer.setInterval(kSaveMs);
    connect(&saveTimer, SIGNAL(timeout()), this, SLOT(saveColors()));
    lightTimer.setSingleShot(true);
    lightTimer.setTimerType(Qt::PreciseTimer);
    connect(&lightTimer, SIGNAL(timeout()), this, SLOT(showLights()));
}

LightsAgent::~LightsAgent()
{
    stop();
}

bool LightsAgent::start()
{
    // Two agents would fight over every light, and the second would take
    // 6743 beside the first: it says who runs and leaves.
    QString holder;
    another = !lock.take(&holder);
    if (another) {
        say(QStringLiteral("an agent runs already (%1): set colours through it with "
                           "brimsel-ctl --color, or stop it first")
                .arg(holder));
        return false;
    }
    const auto sayIt = [this](const QString &text) { say(text); };
    // The profile first: the first colours are its own.
    profileWatcher.reset(new ProfileWatcher(options.profilePath, sayIt));
    connect(profileWatcher.get(), SIGNAL(changed()), this, SLOT(applyProfile()));
    profileWatcher->start();
    applyProfile();
    if (options.telemetry) {
        sources.reset(new TelemetrySources(
            options.sources,
            {steadyMs, [this](const TelemetryDecoder::Sample &sample) { lights.feed(sample); },
             [this] { showLights(); }, sayIt}));
        if (!sources->open())
            return false;
    }
    if (options.openRgb) {
        QString error;
        if (!store.load(&error))
            say(QStringLiteral("openrgb: cannot read the kept colours in %1: %2")
                    .arg(QDir::toNativeSeparators(store.path()), error));
        openRgb.reset(new OpenRgbService(
            options.devices,
            {[this](int slot) { return store.has(slot) ? store.color(slot) : profile().idle; },
             [this](int slot, QRgb color) { keepColor(slot, color); }, sayIt}));
        if (!openRgb->listen(options.openRgbEndpoint))
            return false;
        lock.announce(openRgb->endpoint().text());
    }
    started = true;
    relay.start();
    if (sources)
        sources->start();
    // The kept colours, and the idle colour where one was given, at once.
    showLights();
    return true;
}

void LightsAgent::stop()
{
    if (!started)
        return;
    started = false;
    lightTimer.stop();
    profileWatcher.reset();
    if (sources)
        sources->stop();
    saveTimer.stop();
    saveColors();
    openRgb.reset();
    // The write in flight finishes; a write that hung keeps its handle and
    // the HID library past the end of the thread, as with --stream.
    relay.stop();
    lock.release();
}

Endpoint LightsAgent::openRgbEndpoint() const
{
    return openRgb ? openRgb->endpoint() : Endpoint(Endpoint::Any, 0);
}

void LightsAgent::applyProfile()
{
    LightsProfile next = profileWatcher->profile();
    if (options.idleGiven)
        next.setIdle(options.idle);
    if (options.shiftAtGiven)
        next.setShiftAt(options.shiftAt * 100);
    const bool change = next != lights.profile();
    lights.setProfile(next);
    if (started)
        showLights();
    if (change)
        emit profileChanged();
}

const LightsProfile &LightsAgent::fileProfile() const
{
    return profileWatcher ? profileWatcher->profile() : lights.profile();
}

void LightsAgent::setGameLightsPaused(bool pause)
{
    paused = pause;
    if (started)
        showLights();
}

void LightsAgent::keepColor(int slot, QRgb color)
{
    store.set(slot, color);
    unsaved = true;
    if (!saveTimer.isActive())
        saveTimer.start(kSaveMs);
    showLights();
}

void LightsAgent::saveColors()
{
    if (!unsaved)
        return;
    QString why;
    if (store.save(&why)) {
        unsaved = false;
        if (saveFailedSaid)
            say(QStringLiteral("openrgb: the colours are kept in %1 again")
                    .arg(QDir::toNativeSeparators(store.path())));
        saveFailedSaid = false;
        return;
    }
    // Said once while it keeps failing; tried again until it works.
    if (!saveFailedSaid)
        say(QStringLiteral("openrgb: cannot keep the colours in %1: %2; trying again")
                .arg(QDir::toNativeSeparators(store.path()), why));
    saveFailedSaid = true;
    if (started)
        saveTimer.start(kSaveRetryMs);
}

void LightsAgent::showLights()
{
    // Each accessory's base: its kept colour, else the idle colour. The
    // lights show it while no game drives, and where the profile says so
    // while one does.
    const bool driving = !paused && lights.isDriving();
    gameHasDriven = gameHasDriven || driving;
    TelemetryLights::Colors base;
    int told = 0; // the accessories that something has a colour for
    for (size_t i = 0; i < base.size(); ++i) {
        const bool hasKept = openRgb && store.has(int(i));
        base[i] = hasKept ? store.color(int(i)) : profile().idle;
        if (hasKept || gameHasDriven || profile().idleSet)
            told |= AccessoryTable::entries[i].bit;
    }
    const TelemetryLights::Colors wanted = paused ? base : lights.colors(base);
    ColorCoalescer::AccessoryColors request;
    for (size_t i = 0; i < wanted.size(); ++i)
        request[i] = QColor::fromRgb(wanted[i]);
    relay.updateColors(request, options.devices & told);
    // Every packet moves the fall-back to idle on, but the timer is set again
    // only for an earlier moment: at 60 packets a second, resetting it each
    // time would cost more than the rest of the packet's work.
    const int wait = paused ? -1 : lights.msUntilChange();
    const qint64 due = steadyMs() + wait;
    if (wait < 0) {
        lightTimer.stop();
    } else if (!lightTimer.isActive() || due < lightDue) {
        lightDue = due;
        lightTimer.start(wait);
    }

    // Each car that drives, once, as a profile names it.
    if (driving && lights.carBytes() != carSaid) {
        carSaid = lights.carBytes();
        const QString car = lights.car();
        const QStringList names = TelemetryDecoder::gameNames(lights.lastFormat());
        if (!car.isEmpty() && !names.isEmpty())
            say(QStringLiteral("telemetry: the car \"%1\", [games.\"%2\".cars.\"%1\"] in a profile")
                    .arg(car, names.first()));
    }
    const QString game = driving ? TelemetryDecoder::formatName(lights.lastGame()) : QString();
    if (game != drivingGame) {
        drivingGame = game;
        emit gameChanged(game);
    }
    if (!shownYet || wanted != shown) {
        shownYet = true;
        shown = wanted;
        emit colorsChanged();
    }
}

void LightsAgent::setDeviceState(int connectedDevices)
{
    const int now = connectedDevices & options.devices;
    const bool changed = !stateKnown || now != connected;
    if (stateKnown) {
        // One that came back shows the colour of the moment.
        relay.resend(now & ~connected);
    }
    stateKnown = true;
    connected = now;
    if (openRgb && changed)
        openRgb->setConnected(now);
    // Last, so that a host that asks in its slot hears the new state.
    if (changed)
        emit accessoriesChanged(now);
}
