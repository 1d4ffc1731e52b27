// SPDX-License-Identifier: MIT
#include "accessorytable.h"

const AccessoryTable::Entry *AccessoryTable::forBit(int bit)
{
    for (const Entry &entry : entries) {
        if (entry.bit == bit)
            return &entry;
    }
    return nullptr;
}

const AccessoryTable::Entry *AccessoryTable::forProduct(unsigned short productId)
{
    for (const Entry &entry : entries) {
        if (entry.productId == productId)
            return &entry;
    }
    return nullptr;
}

const AccessoryTable::Entry *AccessoryTable::forKey(const QString &key)
{
    for (const Entry &entry : entries) {
        if (key.compare(QLatin1String(entry.key), Qt::CaseInsensitive) == 0)
            return &entry;
    }
    return nullptr;
}

QString AccessoryTable::displayName(int bit, const char *context)
{
    const Entry *entry = forBit(bit);
    return entry ? QCoreApplication::translate(context, entry->name) : QString();
}

int AccessoryTable::countOf(int bits)
{
    int n = 0;
    for (const Entry &entry : entries)
        n += (bits & entry.bit) ? 1 : 0;
    return n;
}
