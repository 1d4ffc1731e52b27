// SPDX-License-Identifier: MIT
#ifndef COLORCOALESCER_H
#define COLORCOALESCER_H

#include <QColor>

#include <functional>

// Keeps at most one colour request out at a time. Of the colours that come
// while one is out only the newest waits, and it goes as soon as the one out
// is done. Shared by the window and brimsel-ctl --stream; single-threaded,
// like its owner.
class ColorCoalescer
{
public:
    // Sends a colour on and returns true, or drops it and returns false
    // (nowhere to send it). Decides where at send time, not when it came.
    using SendStep = std::function<bool(const QColor &)>;

    explicit ColorCoalescer(SendStep sendStep);

    bool isUpdating() const { return updating; }

    // A new colour: sent now if nothing is out, otherwise it waits,
    // replacing any colour that waited before.
    void updateColor(const QColor &color);
    // The request that was out is done: the waiting colour goes, or idle.
    void clearUpdatingColor();

private:
    void send(const QColor &color);

    SendStep sendStep;
    bool updating = false;
    bool pending = false;
    QColor pendingColor;
};

#endif // COLORCOALESCER_H
