// SPDX-License-Identifier: MIT
#include <QTest>

#include "fakehidbus.h"
#include "mainwindow.h"
#include "mycolorluminancepicker.h"
#include "mycolorpicker.h"

// The window on a screen scaled by 2 (CTest sets QT_SCALE_FACTOR=2): the
// field and the strip keep their size in logical pixels and are drawn with
// one colour step per device pixel, not as doubled pixels.
class TestHighDpi : public QObject
{
    Q_OBJECT

private slots:
    void fieldAndStripAreSharp();

private:
    // Colour changes between neighbours along a line of the image.
    static int steps(const QImage &image, QPoint from, QPoint step, int count);
};

int TestHighDpi::steps(const QImage &image, QPoint from, QPoint step, int count)
{
    int changes = 0;
    for (QPoint p = from; count-- > 1; p += step)
        changes += image.pixel(p) != image.pixel(p + step);
    return changes;
}

void TestHighDpi::fieldAndStripAreSharp()
{
    QCOMPARE(qApp->devicePixelRatio(), 2.0);
    FakeHidBus::reset();
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *field = window.findChild<MyColorPicker *>();
    auto *strip = window.findChild<MyColorLuminancePicker *>();
    QVERIFY(field && strip);
    QCOMPARE(field->size(), QSize(222, 202));
    QCOMPARE(strip->width(), 20);

    // Content area 220 x 200 from device pixel (2, 2): both top corners red
    // and the bottom row grey, as at scale 1, with 440 device columns that a
    // drawing at logical resolution would fill with at most 219 steps.
    const QImage fieldImage = field->grab().toImage();
    QCOMPARE(fieldImage.size(), QSize(444, 404));
    QCOMPARE(QColor(fieldImage.pixel(2, 2)), QColor(200, 0, 0));
    QCOMPARE(QColor(fieldImage.pixel(441, 2)), QColor(200, 0, 0));
    QCOMPARE(QColor(fieldImage.pixel(221, 401)), QColor(200, 200, 200));
    QVERIFY2(steps(fieldImage, QPoint(2, 200), QPoint(1, 0), 440) > 219,
             "the field is drawn at logical resolution");

    // The gradient inside the strip's frame: logical rows 4 to H - 5.
    const QImage stripImage = strip->grab().toImage();
    const int rows = strip->height() - 8;
    QCOMPARE(stripImage.size(), strip->size() * 2);
    QVERIFY2(steps(stripImage, QPoint(4, 8), QPoint(0, 1), 2 * rows) > rows - 1,
             "the strip is drawn at logical resolution");
}

QTEST_MAIN(TestHighDpi)
#include "test_highdpi.moc"
