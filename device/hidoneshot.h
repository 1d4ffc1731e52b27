// SPDX-License-Identifier: MIT
#ifndef HIDONESHOT_H
#define HIDONESHOT_H

#include "accessorytable.h"

#include <QString>
#include <QVector>

QT_BEGIN_NAMESPACE
class QColor;
QT_END_NAMESPACE

// Single calls to the accessories for a program that does one thing and
// ends (brimsel-ctl --list and --color), with no worker thread. It holds a
// place in hidapi from construction to finish(), which asks for hid_exit:
// it runs then, or once a write that hung has let go.
class HidOneShot
{
public:
    struct Found
    {
        const AccessoryTable::Entry *kind;
        QString path;   // as the system names the device node
        QString serial; // empty if it has none
    };

    enum Outcome {
        Written,     // both sends went through
        OpenFailed,  // the error text says why
        WriteFailed, // a send failed; the error text says why
        TimedOut,    // no answer in time; the handle is left to the helper
    };

    HidOneShot();
    ~HidOneShot(); // finishes, if finish() has not been called
    HidOneShot(const HidOneShot &) = delete;
    HidOneShot &operator=(const HidOneShot &) = delete;

    // Our accessories as the bus lists them, in its order.
    QVector<Found> enumerate();
    // Why the HID library cannot start, or empty while it works. Worth
    // asking when enumerate() found nothing.
    QString startError();
    // Whether that device node can be opened now (by this user, and on
    // Windows while no other program holds it); opens and closes it.
    bool canOpen(const QString &path);
    // The kinds plugged in (of those in `kinds`) that cannot be opened.
    int unopenable(int kinds);
    // What the user can do about an accessory that cannot be opened.
    static QString cannotOpenAdvice();
    // Opens the first accessory of that kind, sends it the colour twice, as
    // the window does, within the sender's bound, and closes it again. All
    // but Written leave in message what went wrong, for the user.
    Outcome setColor(const AccessoryTable::Entry &kind, const QColor &color, QString *message);
    void finish();

private:
    bool inside = true;
};

#endif // HIDONESHOT_H
