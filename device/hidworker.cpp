// SPDX-License-Identifier: MIT
#include "hidworker.h"

#include <QStringList>
#include <QTimer>

#include <hidapi.h>

#include <atomic>

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

// Returns false when the accessory did not answer in time, or has still not
// answered an earlier write.
bool writeReport(hid_device *&handle, ReportSender &sender, const HidWorker::ColorReport &report)
{
    // Nothing more for it until the hung write ends; the kernel would only queue it.
    if (sender.busy())
        return false;
    if (!handle)
        return true;
    // Sent twice on purpose; failures are left for the next poll to notice.
    if (sender.sendTwice(handle, report.data(), report.size()) != ReportSender::TimedOut)
        return true;
    // The sender closes the hung handle; the next pass opens the accessory afresh.
    handle = nullptr;
    return false;
}

// Set once by a program before its worker starts; none in tests that do not ask.
std::atomic<HidWorker::StartCheck> startCheck{nullptr};

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
    if (senders[0].busy() || senders[1].busy() || senders[2].busy()) {
        // While a write hangs, Linux holds every hidraw open and close until
        // the kernel gives up on it (5 s): keep what is open, open nothing,
        // and count the hung accessory as still there.
        connected = lastState;
        if (!handbrake && !senders[0].busy())
            connected &= ~Handbrake;
        if (!sqShifter && !senders[1].busy())
            connected &= ~SqShifter;
        if (!hShifter && !senders[2].busy())
            connected &= ~HShifter;
    } else {
        if (pollAccessory(handbrake, HandbrakeProductId))
            connected |= Handbrake;
        if (pollAccessory(sqShifter, SqShifterProductId))
            connected |= SqShifter;
        if (pollAccessory(hShifter, HShifterProductId))
            connected |= HShifter;
    }

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

void HidWorker::setStartCheck(StartCheck check)
{
    startCheck.store(check);
}

// Asked only after a pass that found nothing, and only until the library is
// known to work. Returns the message to show, once.
QString HidWorker::libraryError(Device state)
{
    const StartCheck check = startCheck.load();
    if (libraryStarted || !check)
        return QString();
    const QString reason = state == NoDevice ? check() : QString();
    if (reason.isEmpty()) {
        libraryStarted = true;
        // Have the state shown again in place of the error.
        if (errorReported)
            forceReport = true;
        return QString();
    }
    if (errorReported)
        return QString();
    errorReported = true;
    return tr("USB HID support failed to start: %1").arg(reason);
}

void HidWorker::updateColor(QColor color, HidWorker::Device devices_to_update)
{
    const ColorReport report = colorReport(color);
    QStringList notAnswering;
    if ((devices_to_update & Handbrake) && !writeReport(handbrake, senders[0], report))
        notAnswering << tr("Handbrake");
    if ((devices_to_update & SqShifter) && !writeReport(sqShifter, senders[1], report))
        notAnswering << tr("SQ Shifter");
    if ((devices_to_update & HShifter) && !writeReport(hShifter, senders[2], report))
        notAnswering << tr("H Shifter");
    if (!notAnswering.isEmpty())
        emit errorOccurred(tr("No answer from %1: the colour may not have arrived")
                               .arg(notAnswering.join(QStringLiteral(", "))));
    emit colorUpdated();
}
