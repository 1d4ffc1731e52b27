// SPDX-License-Identifier: MIT
#include "mycolorluminancepicker.h"

#include <QColor>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPolygon>
#include <qdrawutil.h>

#include <algorithm>
#include <climits>

#include "eventposition.h"

namespace {

int saturated(qint64 v)
{
    return int(qBound<qint64>(INT_MIN, v, INT_MAX));
}

// One colour per row, from value 255 at the top to 0 at the bottom. The stored
// hue and saturation are unchecked, so only what goes into the image is made
// valid: hue 360 and up wraps as QColor::setHsv does, below -1 is grey.
// The image has one pixel per device pixel (width and height times ratio), so
// that the strip stays sharp on a scaled screen.
QPixmap gradient(const QSize &logicalSize, qreal ratio, int hue, int sat)
{
    const int width = qRound(logicalSize.width() * ratio);
    const int height = qRound(logicalSize.height() * ratio);
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        return QPixmap();

    const int h = hue >= 360 ? hue % 360 : qMax(hue, -1);
    const int s = qBound(0, sat, 255);
    const int span = qMax(height - 1, 1);
    for (int r = 0; r < height; ++r) {
        const int v = int(255 + (-255 * qint64(r)) / span);
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(r));
        std::fill_n(line, width, QColor::fromHsv(h, s, v, 255).rgb());
    }
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

} // namespace

MyColorLuminancePicker::MyColorLuminancePicker(QWidget *parent)
    : QWidget(parent), val(100), hue(100), sat(100), stripPixmap(nullptr)
{
}

MyColorLuminancePicker::~MyColorLuminancePicker()
{
    delete stripPixmap;
}

// The mappings work in 64 bits: a caller may pass any int. A strip under ten
// pixels high still divides by one, never by zero.
int MyColorLuminancePicker::valueAt(int y) const
{
    const qint64 span = qMax(height() - 9, 1);
    return saturated(255 + (-255 * (qint64(y) - 4)) / span);
}

int MyColorLuminancePicker::yForValue(int v) const
{
    const qint64 span = qMax(height() - 9, 0);
    return saturated(4 + span * (255 - qint64(v)) / 255);
}

void MyColorLuminancePicker::changeValue(int v)
{
    // Compared before clamping, so a drag past either end keeps reporting.
    if (v == val)
        return;
    val = qBound(0, v, 255);
    repaint(); // the gradient does not depend on the value: the cache stays
    emit newHsv(hue, sat, val);
}

void MyColorLuminancePicker::setCol(int h, int s, int v)
{
    // The gradient depends on hue and saturation alone; a value change (the
    // panel's echo of every field move) reuses the cached one.
    if (h != hue || s != sat) {
        delete stripPixmap;
        stripPixmap = nullptr;
    }
    val = v;
    hue = h;
    sat = s;
    repaint();
}

void MyColorLuminancePicker::setCol(int h, int s)
{
    setCol(h, s, val);
    emit newHsv(h, s, val);
}

void MyColorLuminancePicker::mousePressEvent(QMouseEvent *event)
{
    changeValue(valueAt(eventPosition(event).y()));
}

void MyColorLuminancePicker::mouseMoveEvent(QMouseEvent *event)
{
    mousePressEvent(event);
}

void MyColorLuminancePicker::paintEvent(QPaintEvent *)
{
    const int w = width();
    const int h = height();
    const QSize imageSize(qMax(w - 7, 0), qMax(h - 8, 0));
    const qreal ratio = devicePixelRatioF();
    if (stripPixmap &&
        (stripPixmap->size() != imageSize * ratio || stripPixmap->devicePixelRatio() != ratio)) {
        delete stripPixmap;
        stripPixmap = nullptr;
    }
    if (!stripPixmap)
        stripPixmap = new QPixmap(gradient(imageSize, ratio, hue, sat));

    QPainter painter(this);
    painter.drawPixmap(QPointF(1.0, 4.0), *stripPixmap);
    if (w > 5 && h > 6)
        qDrawShadePanel(&painter, 0, 3, w - 5, h - 6, palette(), true, 1, nullptr);

    const QBrush &brush = palette().brush(QPalette::Current, QPalette::WindowText);
    painter.setPen(brush.color());
    painter.setBrush(brush);
    painter.eraseRect(w - 5, 0, 5, h);
    // Far off values would put the corners beyond int; anywhere off the
    // strip looks the same.
    const int y = qBound(-10, yForValue(val), h + 10);
    QPolygon triangle;
    triangle << QPoint(w - 5, y) << QPoint(w, y + 5) << QPoint(w, y - 5);
    painter.drawPolygon(triangle, Qt::OddEvenFill);
}
