// SPDX-License-Identifier: MIT
#ifndef MOUSEDRAGGER_H
#define MOUSEDRAGGER_H

#include <QPointF>
#include <Qt>

class QWidget;

// Sends mouse events straight to one widget, as a user holding one button
// would make them. Positions are floats so that a test can also send what no
// real pointer gives: far outside the widget, huge, negative.
class MouseDragger
{
public:
    explicit MouseDragger(QWidget *widget, Qt::MouseButton button = Qt::LeftButton);

    // Returns whether the widget accepted the event.
    bool press(const QPointF &pos);
    bool moveTo(const QPointF &pos); // with the button held
    bool release(const QPointF &pos);

    // A press at from, one move per step along the line to to, and a release.
    void drag(const QPointF &from, const QPointF &to, int steps);

private:
    bool send(int type, const QPointF &pos, Qt::MouseButton changed, Qt::MouseButtons held);

    QWidget *widget;
    Qt::MouseButton button;
};

#endif // MOUSEDRAGGER_H
