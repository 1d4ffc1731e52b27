// SPDX-License-Identifier: MIT
#include "hidworker.h"

#include <QTimer>

#include <hidapi.h>

namespace {

// A read of an open handle only tells whether it still works; what it reads
// is thrown away.
constexpr int kInputReportSize = 64;
constexpr int kPresenceReadTimeoutMs = 50;
constexpr int kPollIntervalMs = 100;

// Checks one accessory and tries to open it when its slot is empty. Returns
// whether it counts as connected in this pass.
bool pollAccessory(hid_device *&slot, unsigned short productId)
{
    if (slot) {
        unsigned char buffer[kInputReportSize];
        if (hid_read_timeout(slot, buffer, sizeof buffer, kPresenceReadTimeoutMs) >= 0)
            return true;
        // Gone (or broken): close now, reopen from the next pass on.
        hid_close(slot);
        slot = nullptr;
        return false;
    }
    slot = hid_open(HidWorker::VendorId, productId, nullptr);
    return slot != nullptr;
}

void writeReport(hid_device *handle, const HidWorker::ColorReport &report)
{
    if (!handle)
        return;
    // Sent twice on purpose; failures are left for the next poll to notice.
    hid_send_feature_report(handle, report.data(), report.size());
    hid_send_feature_report(handle, report.data(), report.size());
}

} // namespace

HidWorker::ColorReport HidWorker::colorReport(const QColor &color)
{
    return {0x02, static_cast<unsigned char>(color.red()), static_cast<unsigned char>(color.blue()),
            static_cast<unsigned char>(color.green())};
}

HidWorker::HidWorker() : QObject(nullptr)
{
    // Must happen before anyone connects the queued cross-thread signals.
    qRegisterMetaType<HidWorker::Device>("HidWorker::Device");
}

HidWorker::~HidWorker()
{
    hid_close(handbrake);
    hid_close(sqShifter);
    hid_close(hShifter);
    hid_exit();
}

void HidWorker::process()
{
    int connected = NoDevice;
    if (pollAccessory(handbrake, HandbrakeProductId))
        connected |= Handbrake;
    if (pollAccessory(sqShifter, SqShifterProductId))
        connected |= SqShifter;
    if (pollAccessory(hShifter, HShifterProductId))
        connected |= HShifter;

    const Device state = static_cast<Device>(connected);
    const QString error = libraryError(state);
    if (state != lastState || forceReport)
        emit deviceStateChanged(state);
    lastState = state;
    forceReport = false;
    // After the state, so that the window ends up showing the error.
    if (!error.isEmpty())
        emit errorOccurred(error);

    // Re-armed from the end of the pass, so queued colour requests get in
    // between passes.
    QTimer::singleShot(kPollIntervalMs, this, SLOT(process()));
}

// An open that finds nothing also leaves an error text behind, so only
// hid_init can tell that the library itself did not start. It is asked only
// after a pass that found nothing, and only until the library is known to work.
// Returns the message to show, once.
QString HidWorker::libraryError(Device state)
{
    if (libraryStarted)
        return QString();
    if (state != NoDevice || hid_init() == 0) {
        libraryStarted = true;
        // Have the state shown again in place of the error.
        if (errorReported)
            forceReport = true;
        return QString();
    }
    if (errorReported)
        return QString();
    errorReported = true;
    const wchar_t *text = hid_error(nullptr);
    const QString reason = text && *text ? QString::fromWCharArray(text) : tr("unknown error");
    return tr("USB HID support failed to start: %1").arg(reason);
}

void HidWorker::updateColor(QColor color, HidWorker::Device devices_to_update)
{
    const ColorReport report = colorReport(color);
    if (devices_to_update & Handbrake)
        writeReport(handbrake, report);
    if (devices_to_update & SqShifter)
        writeReport(sqShifter, report);
    if (devices_to_update & HShifter)
        writeReport(hShifter, report);
    emit colorUpdated();
}
