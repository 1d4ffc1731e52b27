// SPDX-License-Identifier: MIT
#include "devicerelay.h"

#include <utility>

DeviceRelay::DeviceRelay(int devices, Handlers handlers)
    : handlers(std::move(handlers)),
      link([this, devices](const QColor &color) { return request(color, devices); })
{
    quickReads();
}

DeviceRelay::DeviceRelay(Handlers handlers)
    : handlers(std::move(handlers)),
      link([this](const QColor &color, int devices) { return request(color, devices); })
{
    quickReads();
}

// A colour for a game or a stream never waits behind a presence read of an
// accessory that sends no input reports: the reads only ask.
void DeviceRelay::quickReads()
{
    link.setPresenceReadTimeout(0);
}

void DeviceRelay::setDeviceState(HidWorker::Device connected_devices)
{
    if (handlers.stateChanged)
        handlers.stateChanged(connected_devices);
}

void DeviceRelay::clearUpdatingColor()
{
    if (handlers.requestDone)
        handlers.requestDone();
    link.clearUpdatingColor();
    if (!link.isUpdating() && handlers.idle)
        handlers.idle();
}

void DeviceRelay::showError(QString message)
{
    if (handlers.error)
        handlers.error(message);
}

bool DeviceRelay::request(const QColor &color, int devices)
{
    emit colorUpdateRequested(color, HidWorker::Device(devices));
    return true;
}
