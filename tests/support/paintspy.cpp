// SPDX-License-Identifier: MIT
#include "paintspy.h"

#include <QPaintEvent>
#include <QWidget>

PaintSpy::PaintSpy(QWidget *widget) : QObject(widget)
{
    widget->installEventFilter(this);
}

bool PaintSpy::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Paint)
        regions.append(static_cast<QPaintEvent *>(event)->region());
    return QObject::eventFilter(watched, event);
}
