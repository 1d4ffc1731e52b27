// SPDX-License-Identifier: MIT
#include "openrgbservice.h"

#include "hidoneshot.h"

OpenRgbService::OpenRgbService(int served, Host host)
    : host(std::move(host)), server({[this] { return controllers(); },
                                     [this](int index, QRgb color) {
                                         this->host.keep(controllerSlots[size_t(index)], color);
                                     },
                                     this->host.say},
                                    this->host.say)
{
    for (size_t slot = 0; slot < AccessoryTable::entries.size(); ++slot)
        if (served & AccessoryTable::entries[slot].bit)
            controllerSlots.push_back(int(slot));
}

bool OpenRgbService::listen(const Endpoint &at)
{
    QString error;
    bool inUse = false;
    if (!server.listen(at, &error, &inUse)) {
        host.say(error);
        return false;
    }
    host.say(QStringLiteral("openrgb: serving the OpenRGB SDK on %1").arg(endpoint().text()));
    return true;
}

OpenRgbSession::Controllers OpenRgbService::controllers() const
{
    OpenRgbSession::Controllers list;
    for (int slot : controllerSlots) {
        OpenRgbProtocol::Controller c;
        c.name = QLatin1String(AccessoryTable::entries[size_t(slot)].name);
        c.serial = serials[size_t(slot)];
        c.location = locations[size_t(slot)];
        c.color = host.color(slot);
        c.connected = connected & AccessoryTable::entries[size_t(slot)].bit;
        list.push_back(c);
    }
    return list;
}

void OpenRgbService::setConnected(int now)
{
    connected = now;
    serials = {};
    locations = {};
    HidOneShot hid;
    for (const HidOneShot::Found &found : hid.enumerate()) {
        const size_t slot = size_t(found.kind - AccessoryTable::entries.data());
        if ((connected & found.kind->bit) &&
            locations[slot].isEmpty()) { // the first of a kind, as the worker takes it
            serials[slot] = found.serial;
            locations[slot] = found.path;
        }
    }
    hid.finish();
    server.controllersChanged();
}
