// SPDX-License-Identifier: MIT
#include "qcolorshowlabel.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QPixmap>
#include <QVariant>

#include "eventposition.h"

namespace {

QColor droppedColor(const QMimeData *mime)
{
    if (!mime)
        return QColor();
    QVariant data = mime->colorData();
    if (data.userType() == QMetaType::QColor)
        return data.value<QColor>();
    if (data.convert(QMetaType::QColor))
        return data.value<QColor>();
    return QColor();
}

} // namespace

QColorShowLabel::QColorShowLabel(QWidget *parent) : QFrame(parent), pressed(false)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setAcceptDrops(true);
}

QColorShowLabel::~QColorShowLabel() = default;

void QColorShowLabel::setColor(const QColor &color)
{
    shownColor = color;
}

void QColorShowLabel::mousePressEvent(QMouseEvent *event)
{
    pressed = true;
    pressPoint = eventPosition(event);
}

void QColorShowLabel::mouseReleaseEvent(QMouseEvent *)
{
    pressed = false;
}

void QColorShowLabel::mouseMoveEvent(QMouseEvent *event)
{
    if (!pressed)
        return;
    if ((pressPoint - eventPosition(event)).manhattanLength() <= QApplication::startDragDistance())
        return;

    auto *mime = new QMimeData;
    mime->setColorData(QVariant::fromValue(shownColor));

    QPixmap pixmap(30, 20);
    pixmap.fill(shownColor);
    QPainter painter(&pixmap);
    painter.drawRect(0, 0, pixmap.width() - 1, pixmap.height() - 1);
    painter.end();

    auto *drag = new QDrag(this);
    drag->setMimeData(mime);
    drag->setPixmap(pixmap);
    pressed = false;
    // The toolkit deletes the drag once it has ended (later, as the window
    // system may still need it), so it is not deleted here.
    drag->exec(Qt::CopyAction);
}

void QColorShowLabel::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    drawFrame(&painter);
    painter.fillRect(contentsRect() & event->rect(), shownColor);
}

void QColorShowLabel::dragEnterEvent(QDragEnterEvent *event)
{
    event->setAccepted(droppedColor(event->mimeData()).isValid());
}

void QColorShowLabel::dragLeaveEvent(QDragLeaveEvent *) {}

void QColorShowLabel::dropEvent(QDropEvent *event)
{
    const QColor color = droppedColor(event->mimeData());
    if (!color.isValid()) {
        event->setAccepted(false);
        return;
    }
    shownColor = color;
    repaint();
    emit colorDropped(shownColor.rgb());
    event->setAccepted(true);
}
