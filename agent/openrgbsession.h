// SPDX-License-Identifier: MIT
#ifndef OPENRGBSESSION_H
#define OPENRGBSESSION_H

#include "openrgbprotocol.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

// One OpenRGB SDK client as the server sees it, without the socket: bytes
// in, answers out, colours handed to the host. A client that breaks the
// protocol (a wrong magic, a packet over MaxDataSize, a controller, zone or
// LED that does not exist) is to be dropped; take() says so.
class OpenRgbSession
{
public:
    using Controllers = std::vector<OpenRgbProtocol::Controller>;
    struct Host
    {
        std::function<Controllers()> controllers; // index = the SDK's device index
        std::function<void(int index, QRgb color)> setColor;
        std::function<void(const QString &message)> say;
    };

    static constexpr uint32_t MaxDataSize = 64 * 1024;

    explicit OpenRgbSession(Host host);

    // What the client sent, any part of a packet at a time. False when the
    // client is to be dropped; why() says why.
    bool take(const char *data, size_t size);
    QString why() const { return reason; }
    // What waits to be sent to the client; the caller takes it.
    QByteArray &output() { return out; }
    QString name() const { return clientName; }
    uint32_t version() const { return agreed; }
    // The device list's notice is of version 1 on.
    bool hearsNotices() const { return agreed >= 1; }

private:
    bool handle(const OpenRgbProtocol::Header &header, const char *data);
    bool controllerExists(uint32_t index, const Controllers &list);
    bool drop(const QString &why);

    const Host host;
    QByteArray in, out;
    QString reason;
    QString clientName;
    uint32_t agreed = 0; // until the client asks for a version, the first one
    bool profilesSaid = false;
    bool missingSaid = false; // an update for a controller that does not exist
};

#endif // OPENRGBSESSION_H
