// SPDX-License-Identifier: MIT
#ifndef LIGHTSAGENTHOST_H
#define LIGHTSAGENTHOST_H

#include "lightsagent.h"

#include <QEventLoop>
#include <QObject>

QT_BEGIN_NAMESPACE
class QTextStream;
QT_END_NAMESPACE

// brimsel-ctl --telemetry and --openrgb: runs the lights agent until a
// signal ends it, and prints what it tells behind "brimsel-ctl: ".
class LightsAgentHost : public QObject
{
    Q_OBJECT
public:
    // devicesNamed: the accessories were named with --device, so each one
    // missing is told of by name.
    LightsAgentHost(const LightsAgent::Options &options, bool devicesNamed, QTextStream &err);

    // Returns brimsel-ctl's exit status: 2 if the agent cannot listen, 5 if
    // another agent runs, both before any accessory is touched; else 128
    // plus the signal that ended it.
    int run();

private slots:
    void say(const QString &message);
    void showAccessories(int connected);
    void stop(int signal);

private:
    const LightsAgent::Options options;
    const bool devicesNamed;
    QTextStream &err;
    QEventLoop loop;
    bool stateKnown = false;
    int connected = 0;
    int stopSignal = 0;
};

#endif // LIGHTSAGENTHOST_H
