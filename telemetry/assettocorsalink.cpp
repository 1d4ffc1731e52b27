// SPDX-License-Identifier: MIT
#include "assettocorsalink.h"

#include "acformat.h"

namespace {

enum Operation { Handshake = 0, SubscribeUpdate = 1, Dismiss = 3 };

// Silence after which the game is taken for gone and asked afresh.
constexpr int kGoneMs = 5000;
constexpr size_t kBufferSize = 2048;

} // namespace

bool AssettoCorsaLink::open(quint32 gameHost, QString *error, quint16 gamePort)
{
    host = gameHost;
    port = gamePort;
    // Towards this machine from the loopback, elsewhere from any address.
    const bool local = (host >> 24) == 127;
    return socket.open(Endpoint(local ? Endpoint::Loopback : Endpoint::Any, 0), error);
}

QString AssettoCorsaLink::description() const
{
    return QStringLiteral("Assetto Corsa at %1").arg(Endpoint(host, port).text());
}

void AssettoCorsaLink::tick(qint64 nowMs)
{
    if (subscribed && nowMs - lastPacket >= kGoneMs)
        subscribed = false;
    if (!subscribed && (!asked || nowMs - lastRequest >= RetryMs)) {
        send(Handshake);
        asked = true;
        lastRequest = nowMs;
    }
}

TelemetryPeer::Read AssettoCorsaLink::read(qint64 nowMs, TelemetryDecoder::Sample *sample,
                                           long long *size)
{
    unsigned char buffer[kBufferSize];
    Endpoint from;
    *size = socket.receive(buffer, sizeof buffer, &from);
    if (*size < 0)
        return Nothing;
    // Someone else, or a datagram cut short by the buffer.
    if (from != Endpoint(host, port) || size_t(*size) > sizeof buffer)
        return Unreadable;
    if (AcFormat::carOf(buffer, size_t(*size), &car)) {
        send(SubscribeUpdate);
        subscribed = true;
        lastPacket = nowMs;
        return Nothing;
    }
    *sample = TelemetryDecoder::Sample();
    sample->format = AcFormat::claims(buffer, size_t(*size));
    if (sample->format == TelemetryDecoder::Unknown ||
        !AcFormat::decode(buffer, size_t(*size), sample))
        return Unreadable;
    subscribed = true;
    lastPacket = nowMs;
    sample->car = car;
    return Readable;
}

void AssettoCorsaLink::close()
{
    if (subscribed)
        send(Dismiss);
    subscribed = false;
}

void AssettoCorsaLink::send(int operation)
{
    // identifier, version, operation: three little-endian 32-bit integers.
    const unsigned char request[12] = {1, 0, 0, 0, 1, 0, 0, 0, (unsigned char)operation, 0, 0, 0};
    socket.sendTo(Endpoint(host, port), request, sizeof request);
}
