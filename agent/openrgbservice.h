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
// controllers it serves. Each accessory the agent sets is a controller for
// the whole run, at a fixed index, connected or not (its description says
// which; a connected one has its serial and where the system has it), so
// that an update always lands on the accessory the client meant, however
// accessories come and go. A colour set for one that is not connected is
// handed on all the same, to be kept for when it comes.
//
// Why not only the connected ones, as OpenRGB itself lists its devices:
// clients address controllers by index and look again only when told, and
// a client that updates between a change and its next look would set
// another accessory, or be dropped for one that is gone.
class OpenRgbService
{
public:
    struct Host
    {
        std::function<QRgb(int slot)> color; // what the accessory's controller reads
        std::function<void(int slot, QRgb color)> keep;
        std::function<void(const QString &message)> say;
    };

    // served: the accessories that are controllers (HidWorker::Device bits).
    OpenRgbService(int served, Host host);

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
    // The served accessories' slots, in the SDK's order; which are
    // connected, and where the system has each.
    std::vector<int> controllerSlots;
    int connected = 0;
    AccessoryTable::PerAccessory<QString> serials, locations;
};

#endif // OPENRGBSERVICE_H
