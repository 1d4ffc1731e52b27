// SPDX-License-Identifier: MIT
#ifndef COLORCOALESCER_H
#define COLORCOALESCER_H

#include "accessorytable.h"

#include <QColor>

#include <functional>

// Keeps at most one colour request out at a time. Of the colours that come
// while one is out only the newest waits, and it goes as soon as the one out
// is done. Shared by the window and brimsel-ctl --stream; single-threaded,
// like its owner.
//
// With a group step (brimsel-ctl --telemetry) each accessory has a colour of
// its own: the newest colour of each waits, and when the request out is done
// one request goes for the accessories that wait for the same colour, then
// the next. A colour goes to an accessory only when it differs from the one
// last sent there, or when it is sent again on purpose (one came back).
class ColorCoalescer
{
public:
    // Sends a colour on and returns true, or drops it and returns false
    // (nowhere to send it). Decides where at send time, not when it came.
    using SendStep = std::function<bool(const QColor &)>;
    // Sends a colour to the accessories in devices (HidWorker::Device bits).
    using GroupSendStep = std::function<bool(const QColor &, int devices)>;
    // One colour per accessory, in the bit order 1, 2, 4.
    using AccessoryColors = AccessoryTable::PerAccessory<QColor>;

    explicit ColorCoalescer(SendStep sendStep);
    explicit ColorCoalescer(GroupSendStep groupSendStep);

    bool isUpdating() const { return updating; }

    // A new colour: sent now if nothing is out, otherwise it waits,
    // replacing any colour that waited before.
    void updateColor(const QColor &color);
    // The request that was out is done: the waiting colour goes, or idle.
    void clearUpdatingColor();

    // Group step only: the accessories in devices are to show their colours.
    void updateColors(const AccessoryColors &colors, int devices);
    // Group step only: the accessories in devices get their colour again.
    void resend(int devices);

private:
    void send(const QColor &color);
    void sendGroup();

    SendStep sendStep;
    GroupSendStep groupSendStep;
    bool updating = false;
    bool pending = false;
    QColor pendingColor;
    AccessoryColors wanted;
    AccessoryColors sent;
    int unsent = 0; // accessories whose wanted colour is not sent yet
};

#endif // COLORCOALESCER_H
