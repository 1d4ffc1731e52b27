// SPDX-License-Identifier: MIT
#ifndef DEVICERELAY_H
#define DEVICERELAY_H

#include "devicelink.h"
#include "hidworker.h"

#include <QColor>
#include <QObject>
#include <QString>

#include <functional>

// The device link for a client that is not a window (brimsel-ctl --stream,
// --telemetry and whatever comes next): it is the link's client, relays
// the worker's news to plain callbacks and owns the colour flow, so that the
// client only says which colours it wants.
class DeviceRelay : public QObject
{
    Q_OBJECT
public:
    struct Handlers
    {
        // The connected set, at the worker's first pass and at every change.
        std::function<void(int connected)> stateChanged;
        // A request is done, just before the flow sends what waits: the
        // moment to hand on anything newer.
        std::function<void()> requestDone;
        // Then, if nothing waited: no request is out any more.
        std::function<void()> idle;
        // A hung accessory or a HID library that cannot start, as the
        // window's status bar would show it.
        std::function<void(const QString &message)> error;
    };

    // One colour at a time, to the accessories in devices.
    DeviceRelay(int devices, Handlers handlers);
    // A colour per accessory (updateColors and resend).
    explicit DeviceRelay(Handlers handlers);

    void start() { link.start(this); }
    bool stop() { return link.stop(); }

    bool isUpdating() const { return link.isUpdating(); }
    void updateColor(const QColor &color) { link.updateColor(color); }
    void updateColors(const ColorCoalescer::AccessoryColors &colors, int devices)
    {
        link.updateColors(colors, devices);
    }
    void resend(int devices) { link.resend(devices); }

signals:
    void colorUpdateRequested(QColor color, HidWorker::Device devices_to_update);

private slots:
    void setDeviceState(HidWorker::Device connected_devices);
    void clearUpdatingColor();
    void showError(QString message);

private:
    void quickReads();
    bool request(const QColor &color, int devices);

    const Handlers handlers;
    DeviceLink link;
};

#endif // DEVICERELAY_H
