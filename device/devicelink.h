// SPDX-License-Identifier: MIT
#ifndef DEVICELINK_H
#define DEVICELINK_H

#include "colorcoalescer.h"

#include <QColor>

QT_BEGIN_NAMESPACE
class QObject;
class QThread;
QT_END_NAMESPACE

class HidWorker;

// A program's way to the accessories: the worker thread with its HidWorker,
// the colour flow (one request out at a time, the newest colour waiting)
// and the way it all ends. The window goes through one of these directly;
// brimsel-ctl's long-running modes go through a DeviceRelay, which owns one.
//
// The client is a QObject in the calling thread with the window's
// signatures: slots setDeviceState(HidWorker::Device), clearUpdatingColor()
// and showError(QString), signal colorUpdateRequested(QColor,HidWorker::Device).
// Its clearUpdatingColor hands on to the link's; its send step emits the
// request. A client that gives each accessory a colour of its own makes the
// link with a group step and hands on updateColors and resend instead of
// updateColor.
class DeviceLink
{
public:
    // As long as the window waits for its worker.
    static constexpr unsigned long StopWaitMs = 3000;

    explicit DeviceLink(ColorCoalescer::SendStep sendStep);
    explicit DeviceLink(ColorCoalescer::GroupSendStep groupSendStep);
    ~DeviceLink(); // stops, if stop() has not been called
    DeviceLink(const DeviceLink &) = delete;
    DeviceLink &operator=(const DeviceLink &) = delete;

    // Before start(): how long the worker's presence reads wait
    // (HidWorker::setPresenceReadTimeout); the window's default otherwise.
    void setPresenceReadTimeout(int ms) { presenceReadTimeoutMs = ms; }

    // Creates the thread and the worker, connects them to the client and
    // starts the thread with the caller's priority. Once only.
    void start(QObject *client);

    bool isUpdating() const { return colorFlow.isUpdating(); }
    void updateColor(const QColor &color) { colorFlow.updateColor(color); }
    void clearUpdatingColor() { colorFlow.clearUpdatingColor(); }
    void updateColors(const ColorCoalescer::AccessoryColors &colors, int devices)
    {
        colorFlow.updateColors(colors, devices);
    }
    void resend(int devices) { colorFlow.resend(devices); }

    // Asks the thread to quit and waits for it at most StopWaitMs; the
    // worker is deleted in it as it finishes. Returns whether it finished.
    // A thread stuck in a HID call is left be (deleting a running QThread
    // aborts the process), and so is the HID library: nothing shuts it
    // down under the running call.
    bool stop();

private:
    ColorCoalescer colorFlow;
    QThread *thread = nullptr;
    HidWorker *worker = nullptr;
    int presenceReadTimeoutMs = -1; // the worker's own
};

#endif // DEVICELINK_H
