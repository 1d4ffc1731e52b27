// SPDX-License-Identifier: MIT
#ifndef QUEUEDCALLCOUNTER_H
#define QUEUEDCALLCOUNTER_H

#include <QObject>

// Counts the queued calls that reach one object (for the window: the
// worker's signals), so that a test or benchmark knows when it has handled one.
class QueuedCallCounter : public QObject
{
public:
    explicit QueuedCallCounter(QObject *target);

    int count = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

#endif // QUEUEDCALLCOUNTER_H
