// SPDX-License-Identifier: MIT
#ifndef BRIMSELCTL_H
#define BRIMSELCTL_H

#include <QString>
#include <QStringList>

QT_BEGIN_NAMESPACE
class QColor;
class QTextStream;
QT_END_NAMESPACE

// The command-line companion of the window: lists the connected accessories
// and sets their colour. It writes only to the two streams it is given and
// returns the exit status instead of exiting, so that it can run in-process.
class BrimselCtl
{
public:
    enum ExitStatus {
        Success = 0,
        WriteFailed = 1,  // an accessory could not be opened or written
        OutputFailed = 1, // standard output could not be written
        UsageError = 2,   // bad arguments; nothing was sent
        NotConnected = 3,
        BadLines = 4,          // --stream: some input lines were not colours
        StoppedBySignal = 128, // --stream: plus the signal's number
    };

    BrimselCtl(QTextStream &out, QTextStream &err);

    // Where --stream reads from; standard input unless set.
    void setInputDescriptor(int fd) { inputFd = fd; }

    // arguments[0] is the program name, as in QCoreApplication::arguments().
    int run(const QStringList &arguments);

    static QString helpText();
    static QString versionText();
    // What --stream and --telemetry say of the accessories they wait for:
    // at the first state, those of `devices` that are missing (`until` ends
    // the line); afterwards, each one that came or went.
    static QStringList missingLines(int devices, bool devicesNamed, int now, const QString &until);
    static QStringList changeLines(int before, int now);

private:
    int runCommand(const QStringList &arguments);
    int usageError(const QString &message);
    int listDevices();
    int writeColor(const QColor &color, int devices, bool devicesNamed);

    QTextStream &out;
    QTextStream &err;
    int inputFd = 0;
};

#endif // BRIMSELCTL_H
