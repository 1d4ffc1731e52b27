// SPDX-License-Identifier: MIT
#ifndef BRIMSELCTL_H
#define BRIMSELCTL_H

#include "accessorytable.h"
#include "openrgbclient.h"
#include "lightsagent.h"

#include <QRgb>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

QT_BEGIN_NAMESPACE
class QColor;
class QTextStream;
QT_END_NAMESPACE

// The command-line companion of the window: lists the connected accessories
// and sets their colour. It writes only to the two streams it is given and
// returns the exit status (CtlOutput::ExitStatus) instead of exiting, so
// that it can run in-process.
class BrimselCtl
{
public:
    BrimselCtl(QTextStream &out, QTextStream &err);

    // Where --stream reads from; standard input unless set.
    void setInputDescriptor(int fd) { inputFd = fd; }
    // Where --color looks for the OpenRGB agent on this machine.
    void setAgentPorts(const std::vector<quint16> &ports) { agentPorts = ports; }
    // Where --telemetry listens and asks Assetto Corsa when no port is
    // given; the games' own unless set.
    void setGamePorts(const std::vector<TelemetrySources::GamePort> &ports, quint16 acPort)
    {
        gamePorts = ports;
        assettoCorsaPort = acPort;
    }

    // arguments[0] is the program name, as in QCoreApplication::arguments().
    int run(const QStringList &arguments);

    static QString helpText();
    static QString versionText();

private:
    struct Arguments;
    // What a command line asks for, once checked.
    struct Command
    {
        enum Mode { Help, Version, List, Color, Stream, Telemetry, CheckProfile } mode = Help;
        QString profilePath; // --check-profile
        QRgb rgb = 0;
        int devices = AccessoryTable::AllBits;
        bool devicesNamed = false;
        LightsAgent::Options agent;
    };

    // Parse, check, dispatch.
    int runCommand(const QStringList &arguments);
    static bool check(const Arguments &arguments, Command *command, QString *error);
    static bool endpoints(const Arguments &arguments, bool telemetry, bool openRgb,
                          QString *telemetryEndpoint, QString *openRgbEndpoint, QString *error);
    static bool agentOptions(const Arguments &arguments, const QString &telemetryEndpoint,
                             const QString &openRgbEndpoint, LightsAgent::Options *options,
                             QString *error);
    static bool checkProfileCommand(const Arguments &arguments, Command *command, QString *error);
    int dispatch(const Command &command);
    int checkProfile(const QString &path);

    int usageError(const QString &message);
    int listDevices();
    int writeColor(const QColor &color, int devices, bool devicesNamed);
    // keptForLater: accessories not present whose colour the agent keeps
    // for when they come.
    int writeEach(int devices, bool devicesNamed, int present,
                  const std::function<bool(const AccessoryTable::Entry &, QString *)> &write,
                  const QColor &color, int keptForLater = 0);

    QTextStream &out;
    QTextStream &err;
    int inputFd = 0;
    std::vector<quint16> agentPorts = OpenRgbClient::defaultPorts();
    std::vector<TelemetrySources::GamePort> gamePorts{std::begin(TelemetrySources::DefaultPorts),
                                                      std::end(TelemetrySources::DefaultPorts)};
    quint16 assettoCorsaPort = AssettoCorsaLink::Port;
};

#endif // BRIMSELCTL_H
