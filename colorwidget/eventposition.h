// SPDX-License-Identifier: MIT
#ifndef EVENTPOSITION_H
#define EVENTPOSITION_H

#include <QMouseEvent>

#include <cmath>

// The event's position in whole pixels, as QMouseEvent::pos() gives it. That
// rounds the float position with no range check, and a synthetic event may
// carry any float; bounding it first keeps the rounding and the sums after
// it within int. Real positions are unchanged.
inline QPoint eventPosition(const QMouseEvent *event)
{
    const auto bounded = [](qreal v) {
        const qreal limit = 1 << 28;
        return std::isnan(v) ? qreal(0) : qBound(-limit, v, limit);
    };
    const QPointF p = event->localPos();
    return QPointF(bounded(p.x()), bounded(p.y())).toPoint();
}

#endif // EVENTPOSITION_H
