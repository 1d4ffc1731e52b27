// SPDX-License-Identifier: MIT
#include "mousedragger.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

MouseDragger::MouseDragger(QWidget *widget, Qt::MouseButton button) : widget(widget), button(button)
{
}

bool MouseDragger::press(const QPointF &pos)
{
    return send(QEvent::MouseButtonPress, pos, button, button);
}

bool MouseDragger::moveTo(const QPointF &pos)
{
    return send(QEvent::MouseMove, pos, Qt::NoButton, button);
}

bool MouseDragger::release(const QPointF &pos)
{
    return send(QEvent::MouseButtonRelease, pos, button, Qt::NoButton);
}

void MouseDragger::drag(const QPointF &from, const QPointF &to, int steps)
{
    press(from);
    for (int i = 1; i <= steps; ++i)
        moveTo(from + (to - from) * i / steps);
    release(to);
}

bool MouseDragger::send(int type, const QPointF &pos, Qt::MouseButton changed,
                        Qt::MouseButtons held)
{
    // Window and screen positions equal the local one: mapping a huge point
    // to global coordinates would overflow inside the toolkit.
    QMouseEvent event(QEvent::Type(type), pos, pos, pos, changed, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
    return event.isAccepted();
}
