// SPDX-License-Identifier: MIT
// Sizes, mouse positions and slot arguments given to the hue/saturation
// field and the value strip, then a paint of each.
#include <QApplication>
#include <QMouseEvent>

#include "fuzzsupport.h"
#include "mycolorluminancepicker.h"
#include "mycolorpicker.h"

namespace {

void sendMouse(QWidget *w, FuzzInput &in)
{
    const QPointF at(in.real(), in.real());
    const bool press = in.byte() & 1;
    QMouseEvent e(press ? QEvent::MouseButtonPress : QEvent::MouseMove, at, at, at, Qt::LeftButton,
                  Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

QSize sizeFrom(FuzzInput &in)
{
    return QSize(in.byte() + (in.byte() & 1) * 256, in.byte() + (in.byte() & 1) * 256);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ensureApplication();
    static MyColorPicker *field = [] {
        auto *w = new MyColorPicker(nullptr);
        w->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        w->show();
        return w;
    }();
    static MyColorLuminancePicker *strip = [] {
        auto *w = new MyColorLuminancePicker(nullptr);
        w->show();
        return w;
    }();

    FuzzInput in(data, size);
    for (int ops = 0; ops < 32 && !in.atEnd(); ++ops) {
        switch (in.byte() % 7) {
        case 0:
            field->resize(sizeFrom(in));
            break;
        case 1:
            sendMouse(field, in);
            break;
        case 2:
            field->setCol(in.int32(), in.int32());
            break;
        case 3:
            strip->resize(sizeFrom(in));
            break;
        case 4:
            sendMouse(strip, in);
            break;
        case 5:
            strip->setCol(in.int32(), in.int32(), in.int32());
            break;
        default:
            strip->setCol(in.int32(), in.int32());
        }
    }
    field->grab();
    strip->grab();
    return 0;
}
