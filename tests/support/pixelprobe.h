// SPDX-License-Identifier: MIT
#ifndef PIXELPROBE_H
#define PIXELPROBE_H

#include <QColor>
#include <QImage>

class QWidget;

// A snapshot of what a widget paints, taken with QWidget::grab(), read one
// pixel at a time in the widget's own coordinates.
class PixelProbe
{
public:
    explicit PixelProbe(QWidget *widget);

    // Takes a new snapshot of the same widget.
    void regrab();

    QSize size() const { return image.size(); }
    bool contains(int x, int y) const { return image.valid(x, y); }

    // Red, green and blue with the alpha byte forced to 0xFF; 0 outside.
    QRgb rgb(int x, int y) const;
    QColor color(int x, int y) const { return QColor(rgb(x, y)); }
    bool isBlack(int x, int y) const { return contains(x, y) && rgb(x, y) == qRgb(0, 0, 0); }

private:
    QWidget *widget;
    QImage image;
};

#endif // PIXELPROBE_H
