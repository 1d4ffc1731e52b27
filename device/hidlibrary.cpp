// SPDX-License-Identifier: MIT
#include "hidlibrary.h"

#include <hidapi.h>

QString HidLibrary::startError()
{
    if (hid_init() == 0)
        return QString();
    const wchar_t *text = hid_error(nullptr);
    return text && *text ? QString::fromWCharArray(text) : QStringLiteral("unknown error");
}
