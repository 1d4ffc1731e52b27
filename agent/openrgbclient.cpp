// SPDX-License-Identifier: MIT
#include "openrgbclient.h"

#include "openrgbprotocol.h"
#include "openrgbsession.h"
#include "tcpsocket.h"

#include <QElapsedTimer>

using P = OpenRgbProtocol;

namespace {

// A string of the controller data: its length counts the NUL.
bool readString(const QByteArray &d, int *at, QString *text)
{
    if (*at + 2 > d.size())
        return false;
    const int length = P::u16(d.constData() + *at);
    *at += 2;
    if (length < 1 || *at + length > d.size())
        return false;
    *text = QString::fromUtf8(d.constData() + *at, length - 1);
    *at += length;
    return true;
}

} // namespace

OpenRgbClient::~OpenRgbClient()
{
    close();
}

std::vector<quint16> OpenRgbClient::defaultPorts()
{
    return {P::DefaultPort, quint16(P::DefaultPort + 1)};
}

void OpenRgbClient::close()
{
    if (connected)
        TcpSocket::close(socket);
    connected = false;
    names.clear();
    connectedNow.clear();
}

bool OpenRgbClient::findAgent(const std::vector<quint16> &ports, int timeoutMs)
{
    for (quint16 port : ports) {
        if (tryPort(port, timeoutMs))
            return true;
        close();
    }
    return false;
}

bool OpenRgbClient::tryPort(quint16 port, int timeoutMs)
{
    socket = TcpSocket::connectTo(Endpoint(Endpoint::Loopback, port), timeoutMs);
    connected = socket != TcpSocket::None;
    if (!connected)
        return false;
    QByteArray data, reply;
    P::putU32(data, P::HighestVersion);
    if (!request(0, P::RequestProtocolVersion, data, &reply, timeoutMs) || reply.size() < 4)
        return false;
    version = std::min(P::u32(reply.constData()), P::HighestVersion);
    const QByteArray name("brimsel-ctl\0", 12);
    if (TcpSocket::send(socket, P::packet(0, P::SetClientName, name).constData(), 28) != 28 ||
        !request(0, P::RequestControllerCount, QByteArray(), &reply, timeoutMs) || reply.size() < 4)
        return false;
    const quint32 count = P::u32(reply.constData());
    bool ours = false;
    for (quint32 i = 0; i < count && i < 64; ++i) {
        data.clear();
        P::putU32(data, version);
        QString controller, vendor, description;
        int at = 8; // the block's size, the type
        if (!request(i, P::RequestControllerData, data, &reply, timeoutMs) ||
            !readString(reply, &at, &controller) ||
            (version >= 1 && !readString(reply, &at, &vendor)) ||
            !readString(reply, &at, &description))
            return false;
        ours = ours || vendor == QLatin1String("Brimsel");
        names << (vendor == QLatin1String("Brimsel") ? controller : QString());
        connectedNow << !description.endsWith(QLatin1String(P::NotConnected));
    }
    return ours;
}

bool OpenRgbClient::request(quint32 device, quint32 id, const QByteArray &data, QByteArray *reply,
                            int timeoutMs)
{
    const QByteArray packet = P::packet(device, id, data);
    if (TcpSocket::send(socket, packet.constData(), size_t(packet.size())) != packet.size())
        return false;
    // The answer to this request; a notice of the device list may come first.
    for (int n = 0; n < 4; ++n) {
        char head[P::HeaderSize];
        P::Header header;
        if (!readExactly(head, sizeof head, timeoutMs) || !P::readHeader(head, &header) ||
            header.size > OpenRgbSession::MaxDataSize)
            return false;
        reply->resize(int(header.size));
        if (!readExactly(reply->data(), header.size, timeoutMs))
            return false;
        if (header.id == id)
            return true;
    }
    return false;
}

bool OpenRgbClient::readExactly(char *to, size_t size, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (size > 0) {
        const int left = timeoutMs - int(timer.elapsed());
        if (left <= 0 || !TcpSocket::waitReadable(socket, left))
            return false;
        const long long got = TcpSocket::receive(socket, to, size);
        if (got == -1)
            continue;
        if (got <= 0)
            return false;
        to += got;
        size -= size_t(got);
    }
    return true;
}

bool OpenRgbClient::setColor(int index, QRgb color, int timeoutMs)
{
    QByteArray data;
    P::putU32(data, 4 + 2 + 4);
    P::putU16(data, 1);
    P::putColor(data, color);
    const QByteArray packet = P::packet(quint32(index), P::UpdateLeds, data);
    if (!connected ||
        TcpSocket::send(socket, packet.constData(), size_t(packet.size())) != packet.size())
        return false;
    // The agent answers in order: the controller's data, read after the
    // update, has the colour it keeps now (its last four bytes).
    QByteArray asked, reply;
    P::putU32(asked, version);
    return request(quint32(index), P::RequestControllerData, asked, &reply, timeoutMs) &&
           reply.size() >= 4 &&
           (P::colorAt(reply.constData() + reply.size() - 4) & 0xffffff) == (color & 0xffffff);
}
