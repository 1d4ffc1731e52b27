// SPDX-License-Identifier: MIT
#include <QSignalSpy>
#include <QTest>

#include <climits>
#include <limits>

#include "mousedragger.h"
#include "mycolorluminancepicker.h"
#include "paintspy.h"
#include "pixelprobe.h"
#include "warningcounter.h"

// A strip 20 wide and 202 high, as in the panel: the gradient fills columns
// 1 to 13 and rows 4 to 197, the indicator lives in columns 15 to 19.
class TestMyColorLuminancePicker : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void newStripDrawsItsDefaults();
    void gradientRowsAndFrame();
    void indicatorTips_data();
    void indicatorTips();
    void settersDropTheCache();

    void pressSetsValue_data();
    void pressSetsValue();
    void pressOnCurrentValueDoesNothing();
    void dragBeyondTheEndsKeepsEmitting();
    void setColWithoutValueAlwaysEmits();
    void setColWithValueStoresUncheckedAndNeverEmits();

    void tinySizes_data();
    void tinySizes();
    void extremeInput();

private:
    static int spyValue(const QSignalSpy &spy, int i) { return spy.at(i).at(2).toInt(); }
    // Whether the indicator's tip is at row y, with its base on the right edge.
    bool tipAt(int y);
    QRgb windowText() const { return strip->palette().color(QPalette::WindowText).rgb(); }

    MyColorLuminancePicker *strip = nullptr;
};

void TestMyColorLuminancePicker::init()
{
    strip = new MyColorLuminancePicker(nullptr);
    strip->resize(20, 202);
    strip->show();
    QVERIFY(QTest::qWaitForWindowExposed(strip));
}

void TestMyColorLuminancePicker::cleanup()
{
    delete strip;
    strip = nullptr;
}

bool TestMyColorLuminancePicker::tipAt(int y)
{
    PixelProbe probe(strip);
    const QRgb ink = windowText();
    const auto inked = [&](int x, int row) { return probe.rgb(x, row) == ink; };
    // The tip is one pixel in column 15; the base spans rows y - 4 to y + 4
    // of the last column, and nothing of it is outside that.
    const bool ok = inked(15, y) && !inked(15, y - 1) && !inked(15, y + 1) && inked(16, y) &&
                    inked(19, y - 4) && inked(19, y + 4) && !inked(19, y - 5) && !inked(19, y + 5);
    if (!ok)
        qWarning("no indicator tip at row %d", y);
    return ok;
}

void TestMyColorLuminancePicker::newStripDrawsItsDefaults()
{
    PixelProbe probe(strip);
    QCOMPARE(probe.rgb(5, 4), QColor::fromHsv(100, 100, 255).rgb());
    QCOMPARE(probe.rgb(5, 197), QColor::fromHsv(100, 100, 0).rgb());
    QCOMPARE(probe.rgb(5, 100), QColor::fromHsv(100, 100, 129).rgb());
    QVERIFY(tipAt(121));
    // Its value is 100 too: the panel's setCol(h, s) reports it.
    QSignalSpy spy(strip, SIGNAL(newHsv(int, int, int)));
    strip->setCol(7, 8);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0), (QList<QVariant>{7, 8, 100}));
}

void TestMyColorLuminancePicker::gradientRowsAndFrame()
{
    strip->setCol(-1, 0, 0); // a grey ramp shows each row's value directly
    PixelProbe probe(strip);
    const int rows[] = {0, 1, 96, 192, 193};
    const int values[] = {255, 254, 129, 2, 0};
    for (int i = 0; i < 5; ++i) {
        const int v = values[i];
        for (int x = 1; x <= 13; ++x)
            QCOMPARE(probe.rgb(x, rows[i] + 4), qRgb(v, v, v));
    }
    // The frame surrounds the gradient without covering it.
    QVERIFY(probe.rgb(0, 100) != qRgb(129, 129, 129));
    QVERIFY(probe.rgb(14, 100) != qRgb(129, 129, 129));
    QVERIFY(probe.rgb(5, 3) != qRgb(255, 255, 255));
    QVERIFY(probe.rgb(5, 198) != qRgb(0, 0, 0));
    QCOMPARE(probe.rgb(0, 3), probe.rgb(0, 100));    // dark side, top and left
    QCOMPARE(probe.rgb(14, 100), probe.rgb(5, 198)); // light side, right and bottom
    QVERIFY(probe.rgb(0, 100) != probe.rgb(14, 100));
    // Above and below the frame the background stays.
    const QRgb background = strip->palette().color(QPalette::Window).rgb();
    QCOMPARE(probe.rgb(5, 0), background);
    QCOMPARE(probe.rgb(5, 2), background);
    QCOMPARE(probe.rgb(5, 199), background);
    QCOMPARE(probe.rgb(5, 201), background);
    QVERIFY(tipAt(197));
}

void TestMyColorLuminancePicker::indicatorTips_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("row");
    QTest::newRow("255") << 255 << 4;
    QTest::newRow("128") << 128 << 100;
    QTest::newRow("100") << 100 << 121;
    QTest::newRow("3, truncated from 194.7") << 3 << 194;
    QTest::newRow("0") << 0 << 197;
}

void TestMyColorLuminancePicker::indicatorTips()
{
    QFETCH(int, value);
    QFETCH(int, row);
    strip->setCol(0, 0, value);
    QVERIFY(tipAt(row));
}

void TestMyColorLuminancePicker::settersDropTheCache()
{
    strip->setCol(0, 255, 10);
    QCOMPARE(PixelProbe(strip).rgb(5, 4), qRgb(255, 0, 0));
    strip->setCol(240, 255, 10);
    QCOMPARE(PixelProbe(strip).rgb(5, 4), qRgb(0, 0, 255));
    strip->setCol(120, 255);
    QCOMPARE(PixelProbe(strip).rgb(5, 4), qRgb(0, 255, 0));

    // A new size gives a new gradient: value 0 now on row 97.
    strip->setCol(-1, 0, 0);
    strip->resize(20, 102);
    PixelProbe probe(strip);
    QCOMPARE(probe.rgb(5, 4), qRgb(255, 255, 255));
    QCOMPARE(probe.rgb(5, 97), qRgb(0, 0, 0));
    QVERIFY(probe.rgb(5, 98) != qRgb(0, 0, 0));
    QVERIFY(tipAt(97));
}

void TestMyColorLuminancePicker::pressSetsValue_data()
{
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("tip");
    QTest::newRow("row 4") << 4 << 255 << 4;
    QTest::newRow("row 197") << 197 << 0 << 197;
    QTest::newRow("row 100, tip one row up") << 100 << 129 << 99;
    QTest::newRow("row 198, -1 clamped") << 198 << 0 << 197;
    QTest::newRow("row 0, 260 clamped") << 0 << 255 << 4;
    QTest::newRow("far below") << 5000 << 0 << 197;
}

void TestMyColorLuminancePicker::pressSetsValue()
{
    QFETCH(int, y);
    QFETCH(int, value);
    QFETCH(int, tip);
    QSignalSpy spy(strip, SIGNAL(newHsv(int, int, int)));
    PaintSpy paints(strip);
    int paintsAtSignal = -1;
    connect(strip, &MyColorLuminancePicker::newHsv, this, [&] { paintsAtSignal = paints.count(); });
    // x plays no part; QTest would take (0, 0) for the centre.
    QTest::mousePress(strip, Qt::LeftButton, Qt::NoModifier, QPoint(3, y));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0), (QList<QVariant>{100, 100, value}));
    QCOMPARE(paintsAtSignal, 1); // the whole strip, before the signal
    QCOMPARE(paints.last(), QRegion(strip->rect()));
    QVERIFY(tipAt(tip));
}

void TestMyColorLuminancePicker::pressOnCurrentValueDoesNothing()
{
    QSignalSpy spy(strip, SIGNAL(newHsv(int, int, int)));
    PaintSpy paints(strip);
    // Row 122 maps to 100, the starting value.
    QTest::mousePress(strip, Qt::LeftButton, Qt::NoModifier, QPoint(3, 122));
    MouseDragger(strip, Qt::RightButton).moveTo(QPointF(17, 122.4));
    QCoreApplication::processEvents();
    QCOMPARE(spy.count(), 0);
    QCOMPARE(paints.count(), 0);
    // Row 121 does not.
    MouseDragger(strip).moveTo(QPointF(3, 121));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spyValue(spy, 0), 101);
}

void TestMyColorLuminancePicker::dragBeyondTheEndsKeepsEmitting()
{
    QSignalSpy spy(strip, SIGNAL(newHsv(int, int, int)));
    PaintSpy paints(strip);
    MouseDragger mouse(strip, Qt::MiddleButton);
    mouse.press(QPointF(3, 4));
    mouse.moveTo(QPointF(3, 0));
    mouse.moveTo(QPointF(3, -40));
    mouse.moveTo(QPointF(3, 3.5)); // rounds to row 4: 255 again, unchanged
    QCOMPARE(spy.count(), 3);
    QCOMPARE(paints.count(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(spy.at(i), (QList<QVariant>{100, 100, 255}));

    mouse.moveTo(QPointF(3, 197));
    mouse.moveTo(QPointF(3, 198));
    mouse.moveTo(QPointF(3, 900));
    mouse.moveTo(QPointF(3, 197.49)); // row 197: 0, unchanged
    mouse.release(QPointF(3, 197));
    QCOMPARE(spy.count(), 6);
    for (int i = 3; i < 6; ++i)
        QCOMPARE(spyValue(spy, i), 0);
    QVERIFY(tipAt(197));
}

void TestMyColorLuminancePicker::setColWithoutValueAlwaysEmits()
{
    QSignalSpy spy(strip, SIGNAL(newHsv(int, int, int)));
    PaintSpy paints(strip);
    strip->setCol(100, 100);
    QCOMPARE(paints.count(), 1);
    strip->setCol(100, 100);
    QCOMPARE(paints.count(), 2);
    strip->setCol(30, 40);
    QCOMPARE(spy.count(), 3);
    QCOMPARE(spy.at(0), (QList<QVariant>{100, 100, 100}));
    QCOMPARE(spy.at(1), (QList<QVariant>{100, 100, 100}));
    QCOMPARE(spy.at(2), (QList<QVariant>{30, 40, 100}));
}

void TestMyColorLuminancePicker::setColWithValueStoresUncheckedAndNeverEmits()
{
    QSignalSpy spy(strip, SIGNAL(newHsv(int, int, int)));
    PaintSpy paints(strip);
    strip->setCol(-1, 0, 77);
    QCOMPARE(paints.count(), 1);
    QCOMPARE(spy.count(), 0);
    // Hue -1 is kept: a grey ramp.
    PixelProbe probe(strip);
    QCOMPARE(probe.rgb(5, 4), qRgb(255, 255, 255));
    QCOMPARE(probe.rgb(5, 100), qRgb(129, 129, 129));

    // Out-of-range values are stored as given and come back out.
    strip->setCol(400, -3, 300);
    QCOMPARE(spy.count(), 0);
    strip->setCol(400, -3);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0), (QList<QVariant>{400, -3, 300}));
}

void TestMyColorLuminancePicker::tinySizes_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("0x0") << QSize(0, 0);
    QTest::newRow("1x1") << QSize(1, 1);
    QTest::newRow("7x9") << QSize(7, 9);
    QTest::newRow("8x9") << QSize(8, 9);
    QTest::newRow("7x10") << QSize(7, 10);
    QTest::newRow("8x10, smallest") << QSize(8, 10);
    QTest::newRow("20x5") << QSize(20, 5);
    QTest::newRow("3x300") << QSize(3, 300);
}

void TestMyColorLuminancePicker::tinySizes()
{
    QFETCH(QSize, size);
    WarningCounter warnings;
    strip->resize(size);
    QCoreApplication::processEvents();
    QSignalSpy spy(strip, SIGNAL(newHsv(int, int, int)));
    MouseDragger mouse(strip);
    const qreal ys[] = {0, 4, 5, 6, -1, 9, 1e9, -1e9, 150};
    for (qreal y : ys)
        mouse.press(QPointF(1, y));
    strip->setCol(INT_MAX, INT_MIN, INT_MAX);
    strip->setCol(359, 255, -1);
    PixelProbe probe(strip);
    QCOMPARE(probe.size(), size);
    for (const QList<QVariant> &args : spy)
        QVERIFY(args.at(2).toInt() >= 0 && args.at(2).toInt() <= 255);
    QCOMPARE(warnings.count(), 0);

    if (size == QSize(8, 10)) {
        // One step: 255 on row 4, 0 on row 5, a one-pixel gradient column.
        QCOMPARE(spyValue(spy, 0), 255);
        QCOMPARE(spyValue(spy, 2), 0);
        strip->setCol(-1, 0, 0);
        probe.regrab();
        QCOMPARE(probe.rgb(1, 4), qRgb(255, 255, 255));
        QCOMPARE(probe.rgb(1, 5), qRgb(0, 0, 0));
    }
}

void TestMyColorLuminancePicker::extremeInput()
{
    WarningCounter warnings;
    QSignalSpy spy(strip, SIGNAL(newHsv(int, int, int)));
    MouseDragger mouse(strip);
    const qreal huge = std::numeric_limits<qreal>::max();
    const qreal nan = std::numeric_limits<qreal>::quiet_NaN();
    const qreal ys[] = {INT_MAX, INT_MIN, huge, -huge, nan, 1e12, -1e12, -huge};
    const int values[] = {0, 255, 0, 255, 255, 0, 255, 255};
    for (qreal y : ys)
        mouse.moveTo(QPointF(INT_MIN, y));
    QCOMPARE(spy.count(), 8);
    for (int i = 0; i < 8; ++i)
        QCOMPARE(spyValue(spy, i), values[i]);

    // Whatever the slots are given, painting stays quiet and sane.
    const int extremes[] = {INT_MIN, INT_MIN + 1, -2, -1, 256, 360, 720, INT_MAX};
    for (int h : extremes)
        for (int v : extremes) {
            strip->setCol(h, v, v);
            strip->setCol(h, v);
        }
    QCOMPARE(warnings.count(), 0);
    strip->setCol(360, 255, INT_MIN); // hue 360 is drawn as hue 0
    QCOMPARE(PixelProbe(strip).rgb(5, 4), qRgb(255, 0, 0));
    strip->setCol(-7, 255, INT_MAX); // below -1: grey
    QCOMPARE(PixelProbe(strip).rgb(5, 4), qRgb(255, 255, 255));
    strip->resize(20, 100000); // far values then map beyond int
    strip->setCol(0, 0, INT_MIN);
    strip->setCol(0, 0, INT_MAX);
    QCOMPARE(warnings.count(), 0);
}

QTEST_MAIN(TestMyColorLuminancePicker)
#include "test_mycolorluminancepicker.moc"
