// SPDX-License-Identifier: MIT
#include "gt7link.h"

#include "gt7format.h"

namespace {

constexpr size_t kBufferSize = 2048;

} // namespace

bool Gt7Link::open(quint32 consoleAddress, quint32 listenAddress, QString *error)
{
    console = consoleAddress;
    return socket.open(Endpoint(listenAddress, replyPort()), error);
}

QString Gt7Link::description() const
{
    return QStringLiteral("%1 on %2, its packets to %3")
        .arg(game == GranTurismo7 ? QStringLiteral("Gran Turismo 7") : QStringLiteral("GT Sport"),
             Endpoint(console, heartbeatPort()).text(), socket.endpoint().text());
}

void Gt7Link::tick(qint64 nowMs)
{
    if (beating && nowMs - lastBeat < HeartbeatMs)
        return;
    const unsigned char heartbeat = 'A'; // 296-byte packets
    socket.sendTo(Endpoint(console, heartbeatPort()), &heartbeat, 1);
    beating = true;
    lastBeat = nowMs;
}

TelemetryPeer::Read Gt7Link::read(qint64, TelemetryDecoder::Sample *sample, long long *size)
{
    unsigned char buffer[kBufferSize];
    Endpoint from;
    *size = socket.receive(buffer, sizeof buffer, &from);
    if (*size < 0)
        return Nothing;
    *sample = TelemetryDecoder::Sample();
    sample->format = Gt7Format::claims(buffer, size_t(*size));
    if (from.address != console || sample->format == TelemetryDecoder::Unknown ||
        !Gt7Format::decode(buffer, size_t(*size), sample))
        return Unreadable;
    return Readable;
}
