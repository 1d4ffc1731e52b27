// SPDX-License-Identifier: MIT
#include "lightsagenthost.h"

#include <QTextStream>

#include "ctloutput.h"
#include "stopsignals.h"

LightsAgentHost::LightsAgentHost(const LightsAgent::Options &options, bool devicesNamed,
                                 QTextStream &err)
    : options(options), devicesNamed(devicesNamed), err(err)
{
}

int LightsAgentHost::run()
{
    LightsAgent agent(options);
    connect(&agent, SIGNAL(message(QString)), this, SLOT(say(QString)));
    connect(&agent, SIGNAL(accessoriesChanged(int)), this, SLOT(showAccessories(int)));
    // Before the agent starts, so that a signal that comes meanwhile still
    // lets it stop as it should.
    StopSignals stopSignals;
    connect(&stopSignals, SIGNAL(stopRequested(int)), this, SLOT(stop(int)));
    if (!agent.start())
        return agent.anotherRuns() ? CtlOutput::AgentRunning : CtlOutput::UsageError;
    loop.exec();
    agent.stop();
    return CtlOutput::StoppedBySignal + stopSignal;
}

void LightsAgentHost::say(const QString &message)
{
    CtlOutput::say(err, message);
}

void LightsAgentHost::showAccessories(int now)
{
    const QStringList lines =
        stateKnown ? CtlOutput::changeLines(connected, now)
                   : CtlOutput::missingLines(options.devices, devicesNamed, now, QString());
    for (const QString &line : lines)
        say(line);
    stateKnown = true;
    connected = now;
}

void LightsAgentHost::stop(int signal)
{
    stopSignal = signal;
    loop.quit();
}
