// SPDX-License-Identifier: MIT
#include "pixelprobe.h"

#include <QPixmap>
#include <QWidget>

PixelProbe::PixelProbe(QWidget *widget) : widget(widget)
{
    regrab();
}

void PixelProbe::regrab()
{
    image = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QRgb PixelProbe::rgb(int x, int y) const
{
    if (!image.valid(x, y))
        return 0;
    return image.pixel(x, y) | 0xff000000u;
}
