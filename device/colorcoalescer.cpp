// SPDX-License-Identifier: MIT
#include "colorcoalescer.h"

#include <utility>

ColorCoalescer::ColorCoalescer(SendStep sendStep) : sendStep(std::move(sendStep)) {}

void ColorCoalescer::updateColor(const QColor &color)
{
    if (!updating) {
        send(color);
        return;
    }
    pendingColor = color;
    pending = true;
}

void ColorCoalescer::clearUpdatingColor()
{
    if (pending)
        send(pendingColor);
    else
        updating = false;
}

void ColorCoalescer::send(const QColor &color)
{
    updating = sendStep(color);
    pending = false;
}
