// SPDX-License-Identifier: MIT
// Text typed into the HTML field, key by key, through its validator.
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <QValidator>

#include "fuzzsupport.h"
#include "mycolorshower.h"
#include "mycolorwidget.h"
#include "qcolspinbox.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ensureApplication();
    static MyColorWidget *panel = [] {
        auto *w = new MyColorWidget;
        w->show();
        return w;
    }();
    MyColorShower *shower = panel->findChild<MyColorShower *>();
    QLineEdit *edit = shower->htmlEdit;

    FuzzInput in(data, size);
    for (int keys = 0; keys < 64 && !in.atEnd(); ++keys) {
        const uint8_t b = in.byte();
        switch (b) {
        case 1:
            QTest::keyClick(edit, Qt::Key_Backspace);
            break;
        case 2:
            QTest::keyClick(edit, Qt::Key_Delete);
            break;
        case 3:
            QTest::keyClick(edit, Qt::Key_Left);
            break;
        case 4:
            QTest::keyClick(edit, Qt::Key_Home);
            break;
        case 5:
            QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier); // select all
            break;
        default: {
            // A key carrying any Latin-1 character as its text, as a keyboard
            // layout might produce.
            const int key =
                (b >= 0x20 && b < 0x7f) ? QChar(b).toUpper().unicode() : Qt::Key_unknown;
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(QChar(b)));
            QApplication::sendEvent(edit, &press);
            QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(QChar(b)));
            QApplication::sendEvent(edit, &release);
        }
        }
    }

    // Whatever was typed, the field holds acceptable text and the colour
    // stays opaque and in step with the boxes.
    QString text = edit->text();
    int pos = 0;
    if (edit->validator()->validate(text, pos) == QValidator::Invalid)
        abort();
    const QColor c = panel->currentColor();
    if (c.alpha() != 255 || shower->redEdit->value() != c.red() ||
        shower->greenEdit->value() != c.green() || shower->blueEdit->value() != c.blue())
        abort();
    return 0;
}
