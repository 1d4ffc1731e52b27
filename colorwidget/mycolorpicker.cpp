// SPDX-License-Identifier: MIT
#include "mycolorpicker.h"

#include <QColor>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QVector>

#include <climits>

#include "eventposition.h"

namespace {

int saturated(qint64 v)
{
    return int(qBound<qint64>(INT_MIN, v, INT_MAX));
}

// Hue for column x and saturation for row y of an area whose last column or
// row is span away from the first.
int hueFor(qint64 x, qint64 span)
{
    return saturated(360 + (-360 * x) / span);
}

int satFor(qint64 y, qint64 span)
{
    return saturated(255 + (-255 * y) / span);
}

} // namespace

MyColorPicker::MyColorPicker(QWidget *parent) : QFrame(parent), hue(0), sat(0)
{
    setCol(150, 255);
    setAttribute(Qt::WA_NoSystemBackground, true);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

MyColorPicker::~MyColorPicker() = default;

QSize MyColorPicker::sizeHint() const
{
    return QSize(220 + 2 * frameWidth(), 200 + 2 * frameWidth());
}

// The mappings work in 64 bits: a caller may pass any int. A content area
// under two pixels still divides by one, never by zero.
int MyColorPicker::hueAt(const QPoint &pt) const
{
    return hueFor(pt.x(), qMax(contentsRect().width() - 1, 1));
}

int MyColorPicker::satAt(const QPoint &pt) const
{
    return satFor(pt.y(), qMax(contentsRect().height() - 1, 1));
}

QPoint MyColorPicker::crossPos() const
{
    const QRect r = contentsRect();
    const qint64 w = qMax(r.width() - 1, 0);
    const qint64 h = qMax(r.height() - 1, 0);
    return QPoint(int(w * (360 - hue) / 360), int(h * (255 - sat) / 255));
}

void MyColorPicker::setColAt(const QPoint &pt)
{
    setCol(hueAt(pt), satAt(pt));
}

void MyColorPicker::setCol(int h, int s)
{
    const int newHue = qBound(0, h, 359);
    const int newSat = qBound(0, s, 255);
    if (newHue == hue && newSat == sat)
        return;

    QRect dirty(crossPos(), QSize(20, 20));
    hue = newHue;
    sat = newSat;
    dirty |= QRect(crossPos(), QSize(20, 20));
    const QRect r = contentsRect();
    // Only the two cross-hair squares change; the field under them is cached.
    repaint(dirty.translated(r.left() - 9, r.top() - 9));
}

void MyColorPicker::mousePressEvent(QMouseEvent *event)
{
    setColAt(eventPosition(event) - contentsRect().topLeft());
    emit newCol(hue, sat);
}

void MyColorPicker::mouseMoveEvent(QMouseEvent *event)
{
    mousePressEvent(event);
}

void MyColorPicker::paintEvent(QPaintEvent *)
{
    // The window was moved to a screen of another pixel density.
    if (fieldPixmap.devicePixelRatio() != devicePixelRatioF())
        buildField();

    QPainter painter(this);
    drawFrame(&painter);
    const QRect r = contentsRect();
    painter.drawPixmap(r.topLeft(), fieldPixmap);

    const QPoint c = r.topLeft() + crossPos();
    painter.setPen(Qt::black);
    painter.fillRect(c.x() - 9, c.y(), 20, 2, Qt::black);
    painter.fillRect(c.x(), c.y() - 9, 2, 20, Qt::black);
}

void MyColorPicker::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    buildField();
}

// One image pixel per device pixel, so that the field stays sharp on a scaled
// screen; at a ratio of 1 each pixel is that of the point mappings.
void MyColorPicker::buildField()
{
    const qreal ratio = devicePixelRatioF();
    const int w = qRound(qMax(width() - 2 * frameWidth(), 0) * ratio);
    const int h = qRound(qMax(height() - 2 * frameWidth(), 0) * ratio);
    QImage image(w, h, QImage::Format_RGB32);
    if (image.isNull()) { // empty, or too big to allocate
        fieldPixmap = QPixmap();
        return;
    }

    // Hue depends on the column only and saturation on the row only. They
    // are bounded because content margins could make the image wider than
    // the area the mappings span.
    const QRect r = contentsRect();
    const qint64 hueSpan = qMax(qRound(r.width() * ratio) - 1, 1);
    const qint64 satSpan = qMax(qRound(r.height() * ratio) - 1, 1);
    QVector<int> hues(w);
    for (int x = 0; x < w; ++x)
        hues[x] = qBound(0, hueFor(x, hueSpan), 360);
    QColor color;
    for (int y = 0; y < h; ++y) {
        const int s = qBound(0, satFor(y, satSpan), 255);
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            color.setHsv(hues[x], s, 200);
            line[x] = color.rgb();
        }
    }
    fieldPixmap = QPixmap::fromImage(image);
    fieldPixmap.setDevicePixelRatio(ratio);
}
