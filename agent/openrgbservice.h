// SPDX-License-Identifier: MIT
#ifndef OPENRGBSERVICE_H
#define OPENRGBSERVICE_H

#include "accessorytable.h"
#include "endpoint.h"
#include "openrgbserver.h"
#include "openrgbsession.h"

#include <QRgb>
#include <QString>

#include <functional>
#include <vector>

// The accessories served over the OpenRGB SDK: the server, and the list of
// controllers it serves (each connected accessory, with its serial and
// where the system has it). A colour a client sets is handed to the host
// by accessory, not by the SDK's index.
class OpenRgbService
{
public:
    struct Host
    {
        std::function<QRgb(int slot)> color; // what the accessory's controller reads
        std::function<void(int slot, QRgb color)> keep;
        std::function<void(const QString &message)> say;
    };

    explicit OpenRgbService(Host host);

    // Listens at `at` (port 0: the default, or the next when that is
    // taken); false, having said why, when no port could be had.
    bool listen(const Endpoint &at);
    Endpoint endpoint() const { return server.endpoint(); }
    int clientCount() const { return server.clientCount(); }
    // The connected accessories changed: the controllers follow, and the
    // clients are told.
    void setConnected(int connected);

private:
    OpenRgbSession::Controllers controllers() const;

    const Host host;
    OpenRgbServer server;
    // The connected accessories' slots, in the SDK's order, and where the
    // system has each.
    std::vector<int> controllerSlots;
    AccessoryTable::PerAccessory<QString> serials, locations;
};

#endif // OPENRGBSERVICE_H
