// SPDX-License-Identifier: MIT
#include "ctloutput.h"

#include <QTextStream>

#include "accessorytable.h"
#include "hidoneshot.h"

void CtlOutput::say(QTextStream &err, const QString &message)
{
    err << ProgramName << ": " << message << '\n';
    err.flush();
}

QStringList CtlOutput::missingLines(int devices, bool devicesNamed, int now, const QString &until)
{
    QStringList lines;
    const int missing = devicesNamed ? devices & ~now : (now & devices) ? 0 : devices;
    // Plugged in, but the worker could not open it.
    const int closed = missing ? plugged() & missing : 0;
    for (const AccessoryTable::Entry &kind : AccessoryTable::entries) {
        if (closed & kind.bit)
            lines << QStringLiteral("%1; waiting for it%2").arg(cannotOpenLine(kind.name), until);
    }
    if (!devicesNamed) {
        if (missing && !closed)
            lines << QStringLiteral("Device not found, waiting for an accessory%1").arg(until);
        return lines;
    }
    for (const AccessoryTable::Entry &kind : AccessoryTable::entries) {
        if ((missing & kind.bit) && !(closed & kind.bit))
            lines << QStringLiteral("%1: not connected, waiting for it%2")
                         .arg(QLatin1String(kind.name), until);
    }
    return lines;
}

QString CtlOutput::cannotOpenLine(const char *name)
{
    return QStringLiteral("%1: plugged in, but it cannot be opened: %2")
        .arg(QLatin1String(name), HidOneShot::cannotOpenAdvice());
}

int CtlOutput::plugged()
{
    HidOneShot hid;
    int kinds = 0;
    for (const HidOneShot::Found &found : hid.enumerate())
        kinds |= found.kind->bit;
    hid.finish();
    return kinds;
}

QStringList CtlOutput::changeLines(int before, int now)
{
    QStringList lines;
    for (const AccessoryTable::Entry &kind : AccessoryTable::entries) {
        if ((now & kind.bit) != (before & kind.bit))
            lines << QStringLiteral("%1: %2").arg(
                QLatin1String(kind.name),
                (now & kind.bit) ? QStringLiteral("connected") : QStringLiteral("disconnected"));
    }
    return lines;
}
