// SPDX-License-Identifier: MIT
#include "hidlibrary.h"

#include "hidsession.h"

#include <hidapi.h>

QString HidLibrary::startError()
{
    const auto global = HidSession::globalCall();
    if (hid_init() == 0)
        return QString();
    const wchar_t *text = hid_error(nullptr);
    return text && *text ? QString::fromWCharArray(text) : QStringLiteral("unknown error");
}
