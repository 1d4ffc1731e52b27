// SPDX-License-Identifier: MIT
#include "agentcolorrelay.h"

#include "accessorytable.h"
#include "agentlock.h"
#include "openrgbclient.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QTimer>

namespace {

qint64 nowMs()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
}

constexpr int kTimeoutMs = 300; // an agent answers its own machine at once

} // namespace

AgentColorRelay::AgentColorRelay(const QString &lockFolder, std::vector<quint16> ports)
    : lockFolder(lockFolder), ports(std::move(ports)), worker(new QObject)
{
    worker->moveToThread(&thread);
    connect(&thread, SIGNAL(finished()), worker, SLOT(deleteLater()));
    thread.setObjectName(QStringLiteral("AgentColorRelay"));
    thread.start();
}

AgentColorRelay::~AgentColorRelay()
{
    thread.quit();
    thread.wait();
}

void AgentColorRelay::give(QColor newColor, HidWorker::Device newDevices)
{
    QMutexLocker lock(&mutex);
    color = newColor.rgb();
    devices = int(newDevices);
    pending = true;
    if (scheduled)
        return; // the drain to come takes the newest
    scheduled = true;
    // Gathered a moment first: a drag in the window is a colour every few
    // ms, of which the agent needs only the newest, and each one sent costs
    // the machine what the window's own writes could use.
    QMetaObject::invokeMethod(
        worker, [this] { QTimer::singleShot(GatherMs, worker, [this] { drain(); }); },
        Qt::QueuedConnection);
}

void AgentColorRelay::drain()
{
    QRgb rgb;
    int set;
    {
        QMutexLocker lock(&mutex);
        if (!pending) {
            scheduled = false;
            return;
        }
        pending = false;
        rgb = color;
        set = devices;
    }
    send(rgb, set);
    QMutexLocker lock(&mutex);
    if (pending) // came meanwhile: sent after another pause
        QTimer::singleShot(GatherMs, worker, [this] { drain(); });
    else
        scheduled = false;
}

void AgentColorRelay::send(QRgb rgb, int set)
{
    if (!connected) {
        // No agent a moment ago: not looked for again yet.
        if (nowMs() < lookAfter || !AgentLock::mightBeHeld())
            return;
        client.reset(new OpenRgbClient);
        std::vector<quint16> tried = ports;
        if (const quint16 announced = AgentLock::announcedPort(lockFolder))
            tried.insert(tried.begin(), announced);
        connected = !tried.empty() && client->findAgent(tried, kTimeoutMs);
        if (!connected) {
            lookAfter = nowMs() + LookAgainMs;
            return;
        }
    }
    int took = 0;
    for (const AccessoryTable::Entry &kind : AccessoryTable::entries) {
        if (!(set & kind.bit))
            continue;
        const int index = int(client->controllerNames().indexOf(QLatin1String(kind.name)));
        if (index >= 0 && client->setColor(index, rgb, kTimeoutMs))
            took |= kind.bit;
    }
    if (took != set) {
        // It went away, or is not the agent it was: looked for anew.
        connected = false;
        client.reset();
    }
    if (took)
        emit taken(QColor(rgb), took);
}
