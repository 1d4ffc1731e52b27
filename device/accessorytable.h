// SPDX-License-Identifier: MIT
#ifndef ACCESSORYTABLE_H
#define ACCESSORYTABLE_H

#include <QCoreApplication>
#include <QString>

#include <array>

// The three accessory kinds, once for the whole program, in the bit order
// that the window, the worker's slots and its polling share.
class AccessoryTable
{
public:
    struct Entry
    {
        int bit;                  // HidWorker::Device value
        unsigned short productId; // vendor 0x1209
        const char *key;          // as brimsel-ctl --device takes it
        const char *name;         // as the window shows it (untranslated)
    };

    static constexpr unsigned short VendorId = 0x1209;
    // The product IDs do not rise with the bits: the handbrake is 0x3103.
    static constexpr unsigned short HandbrakeProductId = 0x3103;
    static constexpr unsigned short SqShifterProductId = 0x3102;
    static constexpr unsigned short HShifterProductId = 0x3104;
    static constexpr int Count = 3;
    // One of something per accessory, in the table's order.
    template<typename T> using PerAccessory = std::array<T, Count>;

    static constexpr PerAccessory<Entry> entries{{
        {1, HandbrakeProductId, "handbrake", QT_TRANSLATE_NOOP("HidWorker", "Handbrake")},
        {2, SqShifterProductId, "sq", QT_TRANSLATE_NOOP("HidWorker", "SQ Shifter")},
        {4, HShifterProductId, "h", QT_TRANSLATE_NOOP("HidWorker", "H Shifter")},
    }};
    // Every accessory's bit.
    static constexpr int AllBits = 1 | 2 | 4;

    // Null when nothing matches.
    static const Entry *forBit(int bit);
    static const Entry *forProduct(unsigned short productId);
    static const Entry *forKey(const QString &key); // any case, no spaces around

    // The name of one bit translated in the context given, or empty.
    static QString displayName(int bit, const char *context);
    // How many of the three bits are set.
    static int countOf(int bits);
};

#endif // ACCESSORYTABLE_H
