// SPDX-License-Identifier: MIT
#ifndef CTLOUTPUT_H
#define CTLOUTPUT_H

#include <QString>
#include <QStringList>

QT_BEGIN_NAMESPACE
class QTextStream;
QT_END_NAMESPACE

// What every mode of brimsel-ctl says in the same words: its exit statuses,
// its messages' form and the lines about accessories that come and go.
class CtlOutput
{
public:
    enum ExitStatus {
        Success = 0,
        WriteFailed = 1,  // an accessory could not be opened or written
        OutputFailed = 1, // standard output could not be written
        UsageError = 2,   // bad arguments; nothing was sent
        NotConnected = 3,
        BadLines = 4,          // --stream: some input lines were not colours
        AgentRunning = 5,      // --telemetry, --openrgb: an agent of the user's runs already
        StoppedBySignal = 128, // --stream, --telemetry: plus the signal's number
    };

    static constexpr const char *ProgramName = "brimsel-ctl";

    // "brimsel-ctl: MESSAGE" on a line of its own, flushed at once.
    static void say(QTextStream &err, const QString &message);

    // What --stream and --telemetry say of the accessories they wait for:
    // at the first state, those of `devices` that are missing (`until` ends
    // the line), and of those the ones plugged in that cannot be opened,
    // with what to do; afterwards, each one that came or went.
    static QStringList missingLines(int devices, bool devicesNamed, int now, const QString &until);
    // "NAME: plugged in, but it cannot be opened: " and what to do about it.
    static QString cannotOpenLine(const char *name);
    // The accessories plugged in (listed by the system), opened or not.
    static int plugged();
    static QStringList changeLines(int before, int now);
};

#endif // CTLOUTPUT_H
