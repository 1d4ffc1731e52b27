// SPDX-License-Identifier: MIT
#include <QApplication>
#include <QBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaEnum>
#include <QMetaProperty>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTranslator>

#include "mousedragger.h"
#include "mycolorluminancepicker.h"
#include "mycolorpicker.h"
#include "mycolorshower.h"
#include "mycolorwidget.h"
#include "qcolspinbox.h"

namespace {

using Options = MyColorWidget::MyColorWidgetOptions;

// Translates every text of the panel's context by putting a mark before it.
class MarkingTranslator : public QTranslator
{
public:
    QString translate(const char *context, const char *source, const char * = nullptr,
                      int = -1) const override
    {
        if (qstrcmp(context, "MyColorWidget") == 0)
            return QStringLiteral("T:") + QString::fromUtf8(source);
        return QString();
    }
    bool isEmpty() const override { return false; }
};

void press(QWidget *w, QPoint pos)
{
    MouseDragger(w).press(pos);
}

void moveHeld(QWidget *w, QPoint pos)
{
    MouseDragger(w).moveTo(pos);
}

void release(QWidget *w, QPoint pos)
{
    MouseDragger(w).release(pos);
}

bool isDark(QRgb p)
{
    return qGray(p) < 60;
}

} // namespace

class TestMyColorWidget : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void metaObjectShape();
    void constructionDefaults();
    void constructionWithColour();
    void setCurrentColorEmitsOnRealChanges();
    void setCurrentColorWithAlphaShown();
    void optionSemantics();
    void testOptionWithEmptyOption();
    void propertiesThroughMetaObject();
    void pressInFieldReachesEditors();
    void dragKeepingTheColourEmitsNothing();
    void dragInStripKeepsHueAndSaturation();
    void typedColourMovesFieldAndStrip();
    void languageChangeRetranslatesCaptions();
    void sizeStaysAtSizeHint();
    void mnemonicsMoveFocus();

private:
    QPoint fieldPoint(int x, int y) const
    {
        const int f = picker->frameWidth();
        return QPoint(x + f, y + f);
    }
    void showPanel()
    {
        panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(panel));
    }

    QPointer<MyColorWidget> panel; // may go with a host widget
    MyColorPicker *picker = nullptr;
    MyColorLuminancePicker *strip = nullptr;
    MyColorShower *shower = nullptr;
};

void TestMyColorWidget::init()
{
    panel = new MyColorWidget;
    picker = panel->findChild<MyColorPicker *>();
    strip = panel->findChild<MyColorLuminancePicker *>();
    shower = panel->findChild<MyColorShower *>();
    QVERIFY(picker && strip && shower);
}

void TestMyColorWidget::cleanup()
{
    delete panel;
    panel = nullptr;
}

void TestMyColorWidget::metaObjectShape()
{
    const QMetaObject *mo = &MyColorWidget::staticMetaObject;
    const QMetaEnum option = mo->enumerator(mo->indexOfEnumerator("MyColorWidgetOption"));
    QVERIFY(option.isValid());
    QVERIFY(!option.isFlag());
    QCOMPARE(option.keyToValue("ShowAlphaChannel"), 1);

    const QMetaProperty colour = mo->property(mo->indexOfProperty("currentColor"));
    QCOMPARE(colour.notifySignal().methodSignature(), QByteArray("currentColorChanged(QColor)"));
    const QMetaProperty options = mo->property(mo->indexOfProperty("options"));
    QVERIFY(options.isReadable() && options.isWritable() && !options.hasNotifySignal());
}

void TestMyColorWidget::constructionDefaults()
{
    QCOMPARE(panel->currentColor(), QColor(Qt::white));
    QCOMPARE(panel->currentColor().alpha(), 255);
    QCOMPARE(panel->options(), Options());
    QVERIFY(!panel->testOption(MyColorWidget::ShowAlphaChannel));
    QCOMPARE(panel->windowTitle(), QString("Select Color"));
    QCOMPARE(picker->frameStyle(), int(QFrame::Panel | QFrame::Sunken));
    QCOMPARE(strip->width(), 20);
    QCOMPARE(shower->htmlEdit->text(), QString("#ffffff"));
    QCOMPARE(shower->valEdit->value(), 255);
    QCOMPARE(shower->alphaEdit->value(), 255);

    showPanel();
    QVERIFY(!shower->alphaEdit->isVisible());
    QVERIFY(!shower->alphaLabel->isVisible());

    // White's hue -1 leaves the field's cross-hair at hue 0, saturation 0:
    // the bottom-right corner of the content area.
    const QImage field = picker->grab().toImage();
    const QPoint cross = fieldPoint(219, 199);
    QVERIFY(isDark(field.pixel(cross.x() - 5, cross.y())));
    QVERIFY(isDark(field.pixel(cross.x(), cross.y() - 5)));
    QVERIFY(!isDark(field.pixel(fieldPoint(127, 0) + QPoint(-5, 0))));

    // The strip points at value 255, the top of its span (row 4).
    const QImage stripImage = strip->grab().toImage();
    QVERIFY(isDark(stripImage.pixel(18, 4)));
    QVERIFY(!isDark(stripImage.pixel(18, stripImage.height() / 2)));
}

void TestMyColorWidget::constructionWithColour()
{
    MyColorWidget coloured(QColor(10, 20, 30, 40));
    auto *s = coloured.findChild<MyColorShower *>();
    QCOMPARE(coloured.currentColor(), QColor(10, 20, 30, 255));
    QCOMPARE(s->redEdit->value(), 10);
    QCOMPARE(s->htmlEdit->text(), QString("#0a141e"));
    QCOMPARE(s->alphaEdit->value(), 40);

    // A drag in the strip after construction keeps the field's hue and
    // saturation, so both were moved to the starting colour.
    coloured.show();
    QVERIFY(QTest::qWaitForWindowExposed(&coloured));
    auto *st = coloured.findChild<MyColorLuminancePicker *>();
    press(st, QPoint(10, 4));
    int h, sat, v;
    QColor(10, 20, 30).getHsv(&h, &sat, &v);
    QCOMPARE(coloured.currentColor(), QColor(QColor::fromHsv(h, sat, 255).rgb()));
}

void TestMyColorWidget::setCurrentColorEmitsOnRealChanges()
{
    QSignalSpy changed(panel, SIGNAL(currentColorChanged(QColor)));
    panel->setCurrentColor(Qt::white);
    QCOMPARE(changed.count(), 0);

    panel->setCurrentColor(QColor(1, 2, 3));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).value<QColor>(), QColor(1, 2, 3));
    panel->setCurrentColor(QColor(1, 2, 3));
    QCOMPARE(changed.count(), 1);

    panel->setCurrentColor(QColor(7, 8, 9, 0));
    QCOMPARE(changed.count(), 2);
    QCOMPARE(panel->currentColor(), QColor(7, 8, 9, 255));

    // Any colour model comes out as 8-bit RGB.
    panel->setCurrentColor(QColor::fromHsv(120, 255, 255));
    QCOMPARE(panel->currentColor().spec(), QColor::Rgb);
    QCOMPARE(panel->currentColor(), QColor(0, 255, 0));
}

void TestMyColorWidget::setCurrentColorWithAlphaShown()
{
    panel->setOptions(MyColorWidget::ShowAlphaChannel);
    QList<QColor> emitted;
    connect(panel, &MyColorWidget::currentColorChanged, this,
            [&](const QColor &c) { emitted << c; });

    panel->setCurrentColor(QColor(1, 2, 3, 100));
    // First the new red, green and blue with the old alpha, then the alpha.
    QCOMPARE(emitted, QList<QColor>({QColor(1, 2, 3, 255), QColor(1, 2, 3, 100)}));
    QCOMPARE(panel->currentColor(), QColor(1, 2, 3, 100));

    emitted.clear();
    panel->setCurrentColor(QColor(1, 2, 3, 100));
    QVERIFY(emitted.isEmpty());
    panel->setCurrentColor(QColor(1, 2, 3, 50));
    QCOMPARE(emitted, QList<QColor>({QColor(1, 2, 3, 50)}));
}

void TestMyColorWidget::optionSemantics()
{
    showPanel();
    QSignalSpy changed(panel, SIGNAL(currentColorChanged(QColor)));

    panel->setOptions(MyColorWidget::ShowAlphaChannel);
    QVERIFY(panel->testOption(MyColorWidget::ShowAlphaChannel));
    QVERIFY(shower->alphaLabel->isVisible());
    QVERIFY(shower->alphaEdit->isVisible());
    panel->setOptions(Options());
    QCOMPARE(panel->options(), Options());
    QVERIFY(!panel->testOption(MyColorWidget::ShowAlphaChannel));
    QVERIFY(!shower->alphaLabel->isVisible());
    QVERIFY(!shower->alphaEdit->isVisible());

    panel->setOption(MyColorWidget::ShowAlphaChannel, true);
    panel->setOption(MyColorWidget::ShowAlphaChannel, true);
    QCOMPARE(panel->options(), Options(MyColorWidget::ShowAlphaChannel));
    QVERIFY(shower->alphaEdit->isVisible());
    panel->setOption(MyColorWidget::ShowAlphaChannel, false);
    QCOMPARE(panel->options(), Options());
    QVERIFY(!shower->alphaEdit->isVisible());
    panel->setOption(MyColorWidget::ShowAlphaChannel, false);
    QCOMPARE(panel->options(), Options());

    // Options change no colour by themselves.
    QCOMPARE(changed.count(), 0);

    // With the option on, the alpha box counts from the next operation on.
    panel->setOption(MyColorWidget::ShowAlphaChannel);
    shower->alphaEdit->setValue(30);
    QCOMPARE(panel->currentColor(), QColor(255, 255, 255, 30));
    QCOMPARE(changed.count(), 1);
    panel->setOption(MyColorWidget::ShowAlphaChannel, false);
    QCOMPARE(panel->currentColor().alpha(), 30);
    shower->redEdit->setValue(250);
    QCOMPARE(panel->currentColor(), QColor(250, 255, 255, 255));
}

void TestMyColorWidget::testOptionWithEmptyOption()
{
    const auto none = MyColorWidget::MyColorWidgetOption(0);
    QVERIFY(panel->testOption(none));
    panel->setOption(MyColorWidget::ShowAlphaChannel);
    QVERIFY(!panel->testOption(none));
}

void TestMyColorWidget::propertiesThroughMetaObject()
{
    const QMetaObject *mo = panel->metaObject();
    const QMetaProperty options = mo->property(mo->indexOfProperty("options"));
    const QMetaProperty colour = mo->property(mo->indexOfProperty("currentColor"));
    showPanel();

    QVariant read = options.read(panel);
    QVERIFY(read.isValid());
    QCOMPARE(read.value<Options>(), Options());
    QCOMPARE(read.toInt(), 0);

    QVERIFY(options.write(panel, QVariant::fromValue(Options(MyColorWidget::ShowAlphaChannel))));
    QVERIFY(panel->testOption(MyColorWidget::ShowAlphaChannel));
    QVERIFY(shower->alphaEdit->isVisible());
    QCOMPARE(options.read(panel).value<Options>(), Options(MyColorWidget::ShowAlphaChannel));

    QVERIFY(options.write(panel, 0));
    QCOMPARE(panel->options(), Options());
    QVERIFY(!shower->alphaEdit->isVisible());

    QVERIFY(panel->setProperty("options", 1));
    QCOMPARE(panel->options(), Options(MyColorWidget::ShowAlphaChannel));
    QCOMPARE(panel->property("options").toInt(), 1);
    QVERIFY(panel->setProperty("options", QVariant::fromValue(Options())));
    QCOMPARE(panel->property("options").value<Options>(), Options());

    QSignalSpy changed(panel, SIGNAL(currentColorChanged(QColor)));
    QVERIFY(colour.write(panel, QColor(9, 99, 199)));
    QCOMPARE(panel->currentColor(), QColor(9, 99, 199));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(colour.read(panel).value<QColor>(), QColor(9, 99, 199));
    QVERIFY(panel->setProperty("currentColor", QColor(Qt::red)));
    QCOMPARE(panel->property("currentColor").value<QColor>(), QColor(255, 0, 0));
    QCOMPARE(shower->htmlEdit->text(), QString("#ff0000"));
    QCOMPARE(changed.count(), 2);
}

void TestMyColorWidget::pressInFieldReachesEditors()
{
    showPanel();
    QSignalSpy changed(panel, SIGNAL(currentColorChanged(QColor)));
    QSignalSpy hsv(strip, SIGNAL(newHsv(int, int, int)));

    press(picker, fieldPoint(110, 100));
    release(picker, fieldPoint(110, 100));
    QCOMPARE(hsv.count(), 1);
    QCOMPARE(hsv.at(0), QVariantList({180, 127, 255}));
    QCOMPARE(changed.count(), 1);
    const QColor expected = QColor(QColor::fromHsv(180, 127, 255).rgb());
    QCOMPARE(changed.at(0).at(0).value<QColor>(), expected);
    QCOMPARE(panel->currentColor(), expected);
    QCOMPARE(shower->hueEdit->value(), 180);
    QCOMPARE(shower->satEdit->value(), 127);
    QCOMPARE(shower->valEdit->value(), 255);
    QCOMPARE(shower->redEdit->value(), expected.red());
    QCOMPARE(shower->htmlEdit->text(), expected.name());

    // The drag goes on through the same chain.
    moveHeld(picker, fieldPoint(219, 0));
    QCOMPARE(changed.count(), 2);
    QCOMPARE(panel->currentColor(), QColor(255, 0, 0));
}

void TestMyColorWidget::dragKeepingTheColourEmitsNothing()
{
    showPanel();
    QSignalSpy changed(panel, SIGNAL(currentColorChanged(QColor)));
    press(picker, fieldPoint(-5, -5));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(panel->currentColor(), QColor(QColor::fromHsv(359, 255, 255).rgb()));

    // All of these clamp to the same hue and saturation.
    for (QPoint p : {QPoint(-5, -5), QPoint(-20, -9), QPoint(0, 0), QPoint(1, 0), QPoint(-1, -40)})
        moveHeld(picker, fieldPoint(p.x(), p.y()));
    release(picker, fieldPoint(-1, -40));
    QCOMPARE(changed.count(), 1);
}

void TestMyColorWidget::dragInStripKeepsHueAndSaturation()
{
    showPanel();
    press(picker, fieldPoint(110, 100));
    release(picker, fieldPoint(110, 100));

    QSignalSpy changed(panel, SIGNAL(currentColorChanged(QColor)));
    const int bottom = strip->height() - 5; // value 0
    press(strip, QPoint(10, 4));            // still 255: nothing
    QCOMPARE(changed.count(), 0);
    moveHeld(strip, QPoint(10, bottom));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(panel->currentColor(), QColor(0, 0, 0));
    QCOMPARE(shower->hueEdit->value(), 180);
    QCOMPARE(shower->satEdit->value(), 127);
    QCOMPARE(shower->valEdit->value(), 0);
    moveHeld(strip, QPoint(10, bottom + 30)); // clamped to 0 again: same colour
    QCOMPARE(changed.count(), 1);
    moveHeld(strip, QPoint(10, 4));
    release(strip, QPoint(10, 4));
    QCOMPARE(changed.count(), 2);
    QCOMPARE(panel->currentColor(), QColor(QColor::fromHsv(180, 127, 255).rgb()));
}

void TestMyColorWidget::typedColourMovesFieldAndStrip()
{
    showPanel();
    QSignalSpy changed(panel, SIGNAL(currentColorChanged(QColor)));
    shower->htmlEdit->selectAll();
    QTest::keyClicks(shower->htmlEdit, "#000080"); // hue 240, saturation 255, value 128
    QCOMPARE(changed.count(), 2);                  // "#000" on the way was black
    QCOMPARE(panel->currentColor(), QColor(0, 0, 128));

    // The strip now holds value 128: a press in the field keeps it.
    press(picker, fieldPoint(110, 100));
    release(picker, fieldPoint(110, 100));
    QCOMPARE(panel->currentColor(), QColor(QColor::fromHsv(180, 127, 128).rgb()));

    // A box edit moves the field: its cross-hair goes to hue 240, top row.
    shower->greenEdit->setValue(0);
    shower->redEdit->setValue(0);
    shower->blueEdit->setValue(255);
    const QImage field = picker->grab().toImage();
    const QPoint cross = fieldPoint(219 * (360 - 240) / 360, 0);
    QVERIFY(isDark(field.pixel(cross.x() - 5, cross.y())));
    QVERIFY(isDark(field.pixel(cross.x(), cross.y() + 5)));

    // And the strip: a press at its top gives the field's pair at 255.
    press(strip, QPoint(10, strip->height() - 5));
    QCOMPARE(panel->currentColor(), QColor(0, 0, 0));
    moveHeld(strip, QPoint(10, 4));
    QCOMPARE(panel->currentColor(), QColor(0, 0, 255));
}

void TestMyColorWidget::languageChangeRetranslatesCaptions()
{
    QCOMPARE(shower->hueLabel->text(), QString("Hu&e:"));
    MarkingTranslator translator;
    QVERIFY(QCoreApplication::installTranslator(&translator));
    QCoreApplication::processEvents(); // delivers the language change

    const QList<QLabel *> labels = {shower->hueLabel,   shower->satLabel,   shower->valLabel,
                                    shower->redLabel,   shower->greenLabel, shower->blueLabel,
                                    shower->alphaLabel, shower->htmlLabel};
    for (QLabel *label : labels)
        QVERIFY2(label->text().startsWith("T:"), qPrintable(label->text()));
    QCOMPARE(shower->alphaLabel->text(), QString("T:A&lpha channel:"));
    QCOMPARE(panel->windowTitle(), QString("Select Color"));

    QCoreApplication::removeTranslator(&translator);
    QCoreApplication::processEvents();
    QCOMPARE(shower->htmlLabel->text(), QString("&HTML:"));

    // A panel built while the translation is installed shows it in its title.
    QVERIFY(QCoreApplication::installTranslator(&translator));
    {
        MyColorWidget translated;
        QCOMPARE(translated.windowTitle(), QString("T:Select Color"));
    }
    QCoreApplication::removeTranslator(&translator);
}

void TestMyColorWidget::sizeStaysAtSizeHint()
{
    QWidget host;
    auto *layout = new QVBoxLayout(&host);
    delete panel;
    panel = new MyColorWidget;
    layout->addWidget(panel);
    host.resize(1200, 1000);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QCOMPARE(panel->size(), panel->sizeHint());
    panel->resize(900, 900);
    QTRY_COMPARE(panel->size(), panel->sizeHint());

    // The picker row: framed field 222 x 202, a 20 pixel strip right of it.
    picker = panel->findChild<MyColorPicker *>();
    strip = panel->findChild<MyColorLuminancePicker *>();
    QCOMPARE(picker->size(), QSize(222, 202));
    QVERIFY(strip->x() >= picker->geometry().right() + 1 + 10);
    QCOMPARE(strip->y(), picker->y() - (strip->height() - picker->height()) / 2);
    QVERIFY(panel->findChild<MyColorShower *>()->y() > picker->geometry().bottom());
}

void TestMyColorWidget::mnemonicsMoveFocus()
{
    panel->setOption(MyColorWidget::ShowAlphaChannel);
    showPanel();
    panel->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(panel));

    const QList<QPair<Qt::Key, QWidget *>> mnemonics = {
        {Qt::Key_E, shower->hueEdit},   {Qt::Key_S, shower->satEdit},
        {Qt::Key_V, shower->valEdit},   {Qt::Key_R, shower->redEdit},
        {Qt::Key_G, shower->greenEdit}, {Qt::Key_U, shower->blueEdit},
        {Qt::Key_L, shower->alphaEdit}, {Qt::Key_H, shower->htmlEdit}};
    for (const auto &m : mnemonics) {
        QTest::keyClick(panel, m.first, Qt::AltModifier);
        QVERIFY2(m.second->hasFocus(), qPrintable(QKeySequence(m.first).toString()));
    }

    // A hidden alpha box cannot take the focus.
    panel->setOption(MyColorWidget::ShowAlphaChannel, false);
    QTest::keyClick(panel, Qt::Key_H, Qt::AltModifier);
    QTest::keyClick(panel, Qt::Key_L, Qt::AltModifier);
    QVERIFY(shower->htmlEdit->hasFocus());
}

QTEST_MAIN(TestMyColorWidget)
#include "test_mycolorwidget.moc"
