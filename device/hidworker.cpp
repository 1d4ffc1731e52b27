// SPDX-License-Identifier: MIT
#include "hidworker.h"

#include <QStringList>
#include <QTimer>

#include "hidsession.h"

#include <hidapi.h>

namespace {

// A read of an open handle only tells whether it still works; what it reads
// is thrown away.
constexpr int kInputReportSize = 64;
constexpr int kPollIntervalMs = 100;

constexpr const auto &kTable = AccessoryTable::entries;
static_assert(kTable[0].bit == HidWorker::Handbrake, "slot order: handbrake first");
static_assert(kTable[1].bit == HidWorker::SqShifter, "slot order: SQ shifter second");
static_assert(kTable[2].bit == HidWorker::HShifter, "slot order: H shifter third");

// Checks one accessory and tries to open it when its slot is empty. Returns
// whether it counts as connected in this pass.
bool pollAccessory(hid_device *&slot, unsigned short productId, int readTimeoutMs)
{
    if (slot) {
        unsigned char buffer[kInputReportSize];
        if (hid_read_timeout(slot, buffer, sizeof buffer, readTimeoutMs) >= 0)
            return true;
        // Gone (or broken): close now, reopen from the next pass on.
        hid_close(slot);
        slot = nullptr;
        return false;
    }
    const auto global = HidSession::globalCall();
    slot = hid_open(AccessoryTable::VendorId, productId, nullptr);
    return slot != nullptr;
}

QString nameOf(int slot)
{
    return AccessoryTable::displayName(kTable[size_t(slot)].bit, "HidWorker");
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
    HidSession::enter();
}

HidWorker::~HidWorker()
{
    const bool anyBusy = sender.busy();
    // While a write hangs, Linux would hold each close until the kernel gives
    // up on it (5 s), past the window's 3 s wait: the handles go to whoever
    // leaves hidapi last, and so does hid_exit.
    for (hid_device_ **slot : handleSlots()) {
        if (anyBusy)
            HidSession::closeLater(*slot);
        else
            hid_close(*slot);
    }
    HidSession::leaveAndExit();
}

AccessoryTable::PerAccessory<hid_device_ **> HidWorker::handleSlots()
{
    return {&handbrake, &sqShifter, &hShifter};
}

void HidWorker::process()
{
    // Read once: a writer letting go halfway through the pass must not make
    // the pass see its accessory gone.
    AccessoryTable::PerAccessory<bool> busy;
    bool anyBusy = false;
    for (size_t i = 0; i < busy.size(); ++i) {
        busy[i] = sender.busy(int(i));
        anyBusy = anyBusy || busy[i];
    }

    const auto handles = handleSlots();
    int connected = NoDevice;
    if (anyBusy) {
        // While a write hangs, Linux holds every hidraw open and close until
        // the kernel gives up on it (5 s): keep what is open, open nothing,
        // and count the hung accessory as still there.
        connected = lastState;
        for (size_t i = 0; i < handles.size(); ++i) {
            if (!*handles[i] && !busy[i])
                connected &= ~kTable[i].bit;
        }
    } else {
        for (size_t i = 0; i < handles.size(); ++i) {
            if (pollAccessory(*handles[i], kTable[i].productId, presenceReadTimeoutMs))
                connected |= kTable[i].bit;
        }
    }

    // Hangs end once every write has let go and the pass could open again.
    QStringList answering;
    for (size_t i = 0; i < hung.size() && !anyBusy; ++i) {
        if (!hung[i])
            continue;
        hung[i] = false;
        if (connected & kTable[i].bit)
            answering << nameOf(int(i));
        // The count again in place of the message.
        forceReport = true;
    }
    if (!answering.isEmpty())
        emit errorOccurred(tr("%1 answering again").arg(answering.join(QStringLiteral(", "))));

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

// Asked only after a pass that found nothing, and only until the library is
// known to work. Returns the message to show, once.
QString HidWorker::libraryError(Device state)
{
    if (libraryStarted || !startCheck)
        return QString();
    const QString reason = state == NoDevice ? startCheck() : QString();
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
    const auto handles = handleSlots();
    ReportSender::Handles named{};
    for (size_t i = 0; i < named.size(); ++i) {
        if (devices_to_update & kTable[i].bit)
            named[i] = *handles[i];
    }
    // Sent twice on purpose; failures are left for the next poll to notice.
    const ReportSender::Outcomes outcomes = sender.sendTwice(named, report.data(), report.size());
    QStringList notAnswering;
    for (size_t i = 0; i < outcomes.size(); ++i) {
        if (outcomes[i] != ReportSender::TimedOut)
            continue;
        // The sender closes the hung handle; the next pass opens the
        // accessory afresh. Told once per hang, not once per colour.
        *handles[i] = nullptr;
        hung[i] = true;
        notAnswering << nameOf(int(i));
    }
    if (!notAnswering.isEmpty())
        emit errorOccurred(tr("No answer from %1: the colour may not have arrived")
                               .arg(notAnswering.join(QStringLiteral(", "))));
    emit colorUpdated();
}
