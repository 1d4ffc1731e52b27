// SPDX-License-Identifier: MIT
#include "queuedcallcounter.h"

#include <QEvent>

QueuedCallCounter::QueuedCallCounter(QObject *target)
{
    target->installEventFilter(this);
}

bool QueuedCallCounter::eventFilter(QObject *, QEvent *event)
{
    if (event->type() == QEvent::MetaCall)
        ++count;
    return false;
}
