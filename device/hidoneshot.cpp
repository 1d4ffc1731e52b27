// SPDX-License-Identifier: MIT
#include "hidoneshot.h"

#include "hidlibrary.h"
#include "hidsession.h"
#include "hidworker.h"
#include "reportsender.h"

#include <hidapi.h>

namespace {

QString errorText(hid_device *device)
{
    const wchar_t *text = hid_error(device);
    return text ? QString::fromWCharArray(text) : QString();
}

} // namespace

HidOneShot::HidOneShot()
{
    HidSession::enter();
}

HidOneShot::~HidOneShot()
{
    finish();
}

QVector<HidOneShot::Found> HidOneShot::enumerate()
{
    QVector<Found> found;
    const auto global = HidSession::globalCall();
    hid_device_info *infos = hid_enumerate(AccessoryTable::VendorId, 0);
    for (hid_device_info *info = infos; info; info = info->next) {
        const AccessoryTable::Entry *kind = AccessoryTable::forProduct(info->product_id);
        if (!kind)
            continue;
        found.append(
            {kind, QString::fromLocal8Bit(info->path ? info->path : "-"),
             info->serial_number ? QString::fromWCharArray(info->serial_number) : QString()});
    }
    hid_free_enumeration(infos);
    return found;
}

QString HidOneShot::startError()
{
    return HidLibrary::startError();
}

bool HidOneShot::canOpen(const QString &path)
{
    const auto global = HidSession::globalCall();
    hid_device *device = hid_open_path(path.toLocal8Bit().constData());
    if (device)
        hid_close(device);
    return device != nullptr;
}

int HidOneShot::unopenable(int kinds)
{
    int closed = 0;
    for (const Found &found : enumerate()) {
        if ((kinds & found.kind->bit) && !(closed & found.kind->bit) && !canOpen(found.path))
            closed |= found.kind->bit;
    }
    return closed;
}

QString HidOneShot::cannotOpenAdvice()
{
#ifdef Q_OS_WIN
    return QStringLiteral("another program holds it (its maker's tool, say); close that program");
#else
    return QStringLiteral(
        "no access to its hidraw node; install the udev rule and apply it: sudo install -m 644 "
        "packaging/70-brimsel-tool.rules /etc/udev/rules.d/ && sudo udevadm control "
        "--reload-rules && sudo udevadm trigger --subsystem-match=hidraw (the package installs "
        "the rule itself: then the last two)");
#endif
}

HidOneShot::Outcome HidOneShot::setColor(const AccessoryTable::Entry &kind, const QColor &color,
                                         QString *message)
{
    std::unique_lock<std::mutex> global = HidSession::globalCall();
    hid_device *device = hid_open(AccessoryTable::VendorId, kind.productId, nullptr);
    if (!device) {
        *message = QStringLiteral("cannot open it: %1").arg(errorText(nullptr));
        return OpenFailed;
    }
    global.unlock(); // a send may hang: the others go on meanwhile
    const HidWorker::ColorReport report = HidWorker::colorReport(color);
    ReportSender sender;
    const ReportSender::Outcome outcome =
        sender.sendTwice({device}, report.data(), report.size())[0];
    // The sender closes the handle if the accessory ever lets go.
    if (outcome == ReportSender::TimedOut) {
        *message = QStringLiteral("no answer within %1 ms; the colour may not have been set")
                       .arg(ReportSender::DefaultTimeoutMs);
        return TimedOut;
    }
    Outcome result = Written;
    if (outcome == ReportSender::Failed) {
        *message = QStringLiteral("write failed: %1").arg(errorText(device));
        result = WriteFailed;
    }
    hid_close(device);
    return result;
}

void HidOneShot::finish()
{
    if (!inside)
        return;
    inside = false;
    HidSession::leaveAndExit();
}
