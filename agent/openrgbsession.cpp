// SPDX-License-Identifier: MIT
#include "openrgbsession.h"

#include "quotedtext.h"

#include <algorithm>

using P = OpenRgbProtocol;

OpenRgbSession::OpenRgbSession(Host host) : host(std::move(host)) {}

bool OpenRgbSession::drop(const QString &why)
{
    reason = why;
    return false;
}

bool OpenRgbSession::take(const char *data, size_t size)
{
    in.append(data, int(size));
    int at = 0;
    while (in.size() - at >= P::HeaderSize) {
        P::Header header;
        if (!P::readHeader(in.constData() + at, &header))
            return drop(QStringLiteral("a packet without the SDK's magic"));
        if (header.size > MaxDataSize)
            return drop(QStringLiteral("a packet of %1 bytes").arg(header.size));
        if (uint32_t(in.size() - at - P::HeaderSize) < header.size)
            break; // the rest is on its way
        if (!handle(header, in.constData() + at + P::HeaderSize))
            return false;
        at += P::HeaderSize + int(header.size);
    }
    in.remove(0, at);
    return true;
}

bool OpenRgbSession::controllerExists(uint32_t index, const Controllers &list)
{
    return index < list.size() ||
           drop(
               QStringLiteral("controller %1 does not exist (%2 now)").arg(index).arg(list.size()));
}

bool OpenRgbSession::handle(const P::Header &h, const char *data)
{
    const uint32_t size = h.size;
    QByteArray reply;
    switch (h.id) {
    case P::RequestProtocolVersion:
        // Never above the client's, so that it reads what it is sent.
        agreed = size >= 4 ? std::min(P::u32(data), P::HighestVersion) : 0;
        P::putU32(reply, agreed);
        out += P::packet(0, h.id, reply);
        return true;
    case P::RequestControllerCount:
        P::putU32(reply, uint32_t(host.controllers().size()));
        out += P::packet(0, h.id, reply);
        return true;
    case P::RequestControllerData: {
        const Controllers list = host.controllers();
        if (!controllerExists(h.device, list))
            return false;
        const uint32_t version = size >= 4 ? std::min(P::u32(data), P::HighestVersion) : 0;
        out += P::packet(h.device, h.id, P::controllerData(list[h.device], version));
        return true;
    }
    case P::SetClientName:
        clientName = QuotedText::quote(
            QString::fromUtf8(data, int(std::min(size, 256u))).section(QLatin1Char('\0'), 0, 0));
        return true;
    case P::RequestProfileList:
        P::putU32(reply, 6); // the size, counting itself, and no profile
        P::putU16(reply, 0);
        out += P::packet(0, h.id, reply);
        return true;
    case P::RequestSaveProfile:
    case P::RequestLoadProfile:
    case P::RequestDeleteProfile:
        if (!profilesSaid)
            host.say(QStringLiteral("openrgb: %1 asked for a profile; profiles are not kept here, "
                                    "each accessory keeps its last colour")
                         .arg(clientName.isEmpty() ? QStringLiteral("a client") : clientName));
        profilesSaid = true;
        return true;
    case P::UpdateLeds:
    case P::UpdateZoneLeds:
    case P::UpdateSingleLed:
    case P::SetCustomMode:
    case P::UpdateMode:
    case P::SaveMode:
    case P::ResizeZone:
        break;
    default:
        return true; // of a later version: not for us
    }

    // An update for a controller that is not there (a client that asked
    // for more than it was told exist) is ignored: the client stays.
    if (h.device >= host.controllers().size()) {
        if (!missingSaid)
            host.say(QStringLiteral("openrgb: %1 updated controller %2, which does not exist; "
                                    "such updates are ignored")
                         .arg(clientName.isEmpty() ? QStringLiteral("a client") : clientName)
                         .arg(h.device));
        missingSaid = true;
        return true;
    }
    // Where the colours start, and how many there are.
    uint32_t count = 0, colorsAt = 0;
    switch (h.id) {
    case P::UpdateLeds:
        if (size < 6)
            return drop(QStringLiteral("a short LED update"));
        count = P::u16(data + 4);
        colorsAt = 6;
        break;
    case P::UpdateZoneLeds:
        if (size < 10)
            return drop(QStringLiteral("a short zone update"));
        if (P::u32(data + 4) != 0)
            return drop(QStringLiteral("zone %1 does not exist").arg(P::u32(data + 4)));
        count = P::u16(data + 8);
        colorsAt = 10;
        break;
    case P::UpdateSingleLed:
        if (size < 8)
            return drop(QStringLiteral("a short single-LED update"));
        if (P::u32(data) != 0)
            return drop(QStringLiteral("LED %1 does not exist").arg(P::u32(data)));
        count = 1;
        colorsAt = 4;
        break;
    default:
        return true; // one mode, one zone of one LED: nothing to change
    }
    if (size < colorsAt + 4 * count)
        return drop(QStringLiteral("%1 colours in a packet of %2 bytes").arg(count).arg(size));
    if (count > 0)
        host.setColor(int(h.device), P::colorAt(data + colorsAt));
    return true;
}
