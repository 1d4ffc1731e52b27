// SPDX-License-Identifier: MIT
#ifndef HIDWORKER_H
#define HIDWORKER_H

#include "accessorytable.h"
#include "reportsender.h"

#include <QColor>
#include <QMetaType>
#include <QObject>
#include <QString>

struct hid_device_;

// Talks to the accessories. Lives in its own thread: polls every 100 ms and
// writes colour reports on request. Everything it says goes out as signals.
class HidWorker : public QObject
{
    Q_OBJECT
public:
    // A set of accessories, one bit each. Any OR of the bits is valid. The
    // fixed type keeps any 32-bit value well defined, whatever a sender puts in.
    enum Device : int {
        NoDevice = 0,
        Handbrake = 1,
        SqShifter = 2,
        HShifter = 4,
    };

    using ColorReport = std::array<unsigned char, 4>;
    // Feature report 0x02: red, blue, green (that order). Alpha is not sent.
    static ColorReport colorReport(const QColor &color);

    // Tells why the HID library could not start, or nothing while it works
    // (HidLibrary::startError). The worker asks it after a pass that found
    // nothing, so that the user learns of a broken library rather than of
    // missing accessories. Without one it never asks. Set before the
    // worker's thread starts.
    using StartCheck = QString (*)();

    HidWorker();
    ~HidWorker() override;

    void setStartCheck(StartCheck check) { startCheck = check; }

    // How long a presence read waits for an input report. The window's
    // worker waits; a client whose colours must never queue behind a read
    // (0: the read only asks) still notices an unplug at the next pass.
    static constexpr int PresenceReadTimeoutMs = 50;
    void setPresenceReadTimeout(int ms) { presenceReadTimeoutMs = ms; }

signals:
    void deviceStateChanged(HidWorker::Device connected_devices);
    void colorUpdated();
    void errorOccurred(QString message);

public slots:
    void process();
    void updateColor(QColor color, HidWorker::Device devices_to_update);

private:
    // The three handle fields, in slot order.
    AccessoryTable::PerAccessory<hid_device_ **> handleSlots();
    QString libraryError(Device state);

    hid_device_ *handbrake = nullptr;
    hid_device_ *sqShifter = nullptr;
    hid_device_ *hShifter = nullptr;
    Device lastState = NoDevice;
    bool forceReport = true;
    bool libraryStarted = false;
    bool errorReported = false;
    // Bounds the wait for a hung accessory.
    ReportSender sender;
    // Slots whose hang has been told of and whose end has not.
    AccessoryTable::PerAccessory<bool> hung{};
    StartCheck startCheck = nullptr;
    int presenceReadTimeoutMs = PresenceReadTimeoutMs;
};

Q_DECLARE_METATYPE(HidWorker::Device)

#endif // HIDWORKER_H
