// SPDX-License-Identifier: MIT
#ifndef HIDLIBRARY_H
#define HIDLIBRARY_H

#include <QString>

// Whether the HID library itself could start. An open or a search that finds
// nothing leaves an error text behind too, so only hid_init can tell. Kept
// out of the worker, so that only the programs that ask link hid_init.
class HidLibrary
{
public:
    // Empty while the library works; otherwise why it could not start.
    static QString startError();
};

#endif // HIDLIBRARY_H
