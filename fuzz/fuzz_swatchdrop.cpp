// SPDX-License-Identifier: MIT
// Any MIME data dragged onto and dropped on the colour swatch.
#include <QApplication>
#include <QDropEvent>
#include <QMimeData>

#include "fuzzsupport.h"
#include "mycolorshower.h"
#include "mycolorwidget.h"
#include "qcolorshowlabel.h"
#include "qcolspinbox.h"

#include <cstdlib>

namespace {

QVariant variantFrom(FuzzInput &in)
{
    switch (in.byte() % 6) {
    case 0:
        return QVariant();
    case 1:
        return QVariant(QString::fromUtf8(in.bytes(32)));
    case 2:
        return QVariant(in.bytes(32));
    case 3:
        return QVariant(in.int32());
    case 4:
        return QVariant(QColor::fromRgba(QRgb(in.int32())));
    default:
        return QVariant(QColor(in.int32(), in.int32(), in.int32(), in.int32())); // maybe invalid
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ensureApplication();
    static MyColorWidget *panel = [] {
        auto *w = new MyColorWidget;
        w->show();
        QObject::connect(w->findChild<QColorShowLabel *>(), &QColorShowLabel::colorDropped,
                         [](QRgb rgb) {
                             if (qAlpha(rgb) != 0xff)
                                 abort();
                         });
        return w;
    }();
    MyColorShower *shower = panel->findChild<MyColorShower *>();
    QColorShowLabel *swatch = shower->swatch;

    static const char *const formats[] = {"application/x-color", "text/plain", "text/uri-list",
                                          "text/html", "application/octet-stream"};
    FuzzInput in(data, size);
    QMimeData mime;
    const uint8_t how = in.byte();
    if (how & 1)
        mime.setColorData(variantFrom(in));
    for (int i = 0; i < (how >> 1) % 4; ++i) {
        const uint8_t f = in.byte();
        const QString format =
            f < 200 ? QString::fromLatin1(formats[f % 5]) : QString::fromLatin1(in.bytes(24));
        mime.setData(format, in.bytes(64));
    }
    const QPoint at(in.int32(), in.int32());
    const auto action = Qt::DropAction(in.byte() & 0x7);

    QDragEnterEvent enter(at, action, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(swatch, &enter);
    QDropEvent drop(at, action, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(swatch, &drop);

    const QColor c = panel->currentColor();
    if (c.alpha() != 255 || shower->redEdit->value() != c.red() ||
        shower->greenEdit->value() != c.green() || shower->blueEdit->value() != c.blue())
        abort();
    return 0;
}
