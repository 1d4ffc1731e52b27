// SPDX-License-Identifier: MIT
#include "colorcoalescer.h"

#include <utility>

ColorCoalescer::ColorCoalescer(SendStep sendStep) : sendStep(std::move(sendStep)) {}

ColorCoalescer::ColorCoalescer(GroupSendStep groupSendStep)
    : groupSendStep(std::move(groupSendStep))
{
}

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
    else if (unsent)
        sendGroup();
    else
        updating = false;
}

void ColorCoalescer::updateColors(const AccessoryColors &colors, int devices)
{
    for (size_t i = 0; i < wanted.size(); ++i) {
        const int bit = 1 << i;
        if (!(devices & bit))
            continue;
        wanted[i] = colors[i];
        // Back to what the accessory shows before it went out: nothing to send.
        if (sent[i].isValid() && sent[i] == colors[i])
            unsent &= ~bit;
        else
            unsent |= bit;
    }
    if (!updating && unsent)
        sendGroup();
}

void ColorCoalescer::resend(int devices)
{
    for (size_t i = 0; i < wanted.size(); ++i) {
        if ((devices & (1 << i)) && wanted[i].isValid())
            unsent |= 1 << i;
    }
    if (!updating && unsent)
        sendGroup();
}

void ColorCoalescer::send(const QColor &color)
{
    updating = sendStep(color);
    pending = false;
}

void ColorCoalescer::sendGroup()
{
    int first = 0;
    while (!(unsent & (1 << first)))
        ++first;
    const QColor color = wanted[size_t(first)];
    int group = 0;
    for (size_t i = size_t(first); i < wanted.size(); ++i) {
        if ((unsent & (1 << i)) && wanted[i] == color) {
            group |= 1 << i;
            sent[i] = color;
        }
    }
    unsent &= ~group;
    updating = groupSendStep(color, group);
}
