// SPDX-License-Identifier: MIT
#include "telemetrypeer.h"

QString TelemetryPeer::peerText(quint32 address, quint16 port)
{
    return QStringLiteral("%1.%2.%3.%4:%5")
        .arg(address >> 24)
        .arg((address >> 16) & 0xff)
        .arg((address >> 8) & 0xff)
        .arg(address & 0xff)
        .arg(port);
}
