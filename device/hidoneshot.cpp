// SPDX-License-Identifier: MIT
#include "hidoneshot.h"

#include "hidsession.h"
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

HidOneShot::Outcome HidOneShot::sendTwice(const AccessoryTable::Entry &kind,
                                          const unsigned char *report, size_t length,
                                          QString *error)
{
    hid_device *device = hid_open(AccessoryTable::VendorId, kind.productId, nullptr);
    if (!device) {
        *error = errorText(nullptr);
        return OpenFailed;
    }
    ReportSender sender;
    const ReportSender::Outcome outcome = sender.sendTwice({device}, report, length)[0];
    // The sender closes the handle if the accessory ever lets go.
    if (outcome == ReportSender::TimedOut)
        return TimedOut;
    Outcome result = Written;
    if (outcome == ReportSender::Failed) {
        *error = errorText(device);
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
