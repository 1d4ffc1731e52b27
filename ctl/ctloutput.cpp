// SPDX-License-Identifier: MIT
#include "ctloutput.h"

#include <QTextStream>

#include "accessorytable.h"

void CtlOutput::say(QTextStream &err, const QString &message)
{
    err << ProgramName << ": " << message << '\n';
    err.flush();
}

QStringList CtlOutput::missingLines(int devices, bool devicesNamed, int now, const QString &until)
{
    QStringList lines;
    if (!devicesNamed) {
        if (!(now & devices))
            lines << QStringLiteral("Device not found, waiting for an accessory%1").arg(until);
        return lines;
    }
    for (const AccessoryTable::Entry &kind : AccessoryTable::entries) {
        if ((devices & kind.bit) && !(now & kind.bit))
            lines << QStringLiteral("%1: not connected, waiting for it%2")
                         .arg(QLatin1String(kind.name), until);
    }
    return lines;
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
