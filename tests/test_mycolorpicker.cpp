// SPDX-License-Identifier: MIT
#include <QSignalSpy>
#include <QTest>

#include <climits>
#include <limits>

#include "mousedragger.h"
#include "mycolorpicker.h"
#include "paintspy.h"
#include "pixelprobe.h"
#include "warningcounter.h"

// The field as the panel sets it up: sunken panel frame, one pixel wide, so
// that content point (x, y) is widget point (x + 1, y + 1).
class TestMyColorPicker : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startsAtHue150Sat255();
    void sizeHintGivesContent220x200();
    void fieldImagePixels();
    void imageFollowsSizeNotPair();

    void setColClampsAndNeverEmits_data();
    void setColClampsAndNeverEmits();
    void setColRepaintsOnlyTheCrossSquares();

    void pressEmitsPair_data();
    void pressEmitsPair();
    void dragEmitsOnEveryMove();
    void samePressAgainEmitsButRepaintsNothing();

    void tinyContentAreas_data();
    void tinyContentAreas();
    void extremeInput();

private:
    static QPoint widgetPoint(const QPoint &content) { return content + QPoint(1, 1); }
    void press(const QPoint &content);
    // Whether the cross-hair stands at this content point, and only there.
    bool crossIsAt(const QPoint &content);

    MyColorPicker *field = nullptr;
};

void TestMyColorPicker::init()
{
    field = new MyColorPicker(nullptr);
    field->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    field->resize(field->sizeHint());
    field->show();
    QVERIFY(QTest::qWaitForWindowExposed(field));
}

void TestMyColorPicker::cleanup()
{
    delete field;
    field = nullptr;
}

void TestMyColorPicker::press(const QPoint &content)
{
    // QTest presses at the centre when given the null point; (-1, -1) is
    // content point (-1, -1), still sent through the sender instead.
    const QPoint p = widgetPoint(content);
    if (p.isNull())
        MouseDragger(field).press(p);
    else
        QTest::mousePress(field, Qt::LeftButton, Qt::NoModifier, p);
}

bool TestMyColorPicker::crossIsAt(const QPoint &content)
{
    PixelProbe probe(field);
    const QPoint c = widgetPoint(content);
    // Ends of both bars are black, the pixels just beyond them are not.
    const QPoint black[] = {{c.x() - 9, c.y()},  {c.x() + 10, c.y() + 1},
                            {c.x(), c.y()},      {c.x() + 1, c.y() - 9},
                            {c.x(), c.y() + 10}, {c.x() + 1, c.y() + 1}};
    const QPoint notBlack[] = {{c.x() - 10, c.y()},    {c.x() + 11, c.y() + 1},
                               {c.x(), c.y() - 10},    {c.x() + 1, c.y() + 11},
                               {c.x() - 1, c.y() - 1}, {c.x() + 2, c.y() + 2}};
    int inside = 0;
    for (const QPoint &p : black) {
        if (!probe.contains(p.x(), p.y()))
            continue;
        ++inside;
        if (!probe.isBlack(p.x(), p.y())) {
            qWarning("expected black at widget point (%d, %d)", p.x(), p.y());
            return false;
        }
    }
    for (const QPoint &p : notBlack) {
        if (probe.isBlack(p.x(), p.y())) {
            qWarning("expected no black at widget point (%d, %d)", p.x(), p.y());
            return false;
        }
    }
    // Nothing else is black: a bar cut by the edge has fewer pixels, never more.
    int blackCount = 0;
    for (int y = 0; y < probe.size().height(); ++y)
        for (int x = 0; x < probe.size().width(); ++x)
            blackCount += probe.isBlack(x, y);
    if (blackCount > 76) {
        qWarning("%d black pixels", blackCount);
        return false;
    }
    return inside > 0;
}

void TestMyColorPicker::startsAtHue150Sat255()
{
    QVERIFY(crossIsAt(QPoint(127, 0)));
}

void TestMyColorPicker::sizeHintGivesContent220x200()
{
    QCOMPARE(field->sizeHint(), QSize(222, 202));
    MyColorPicker bare(nullptr);
    QCOMPARE(bare.sizeHint(), QSize(220, 200));
}

void TestMyColorPicker::fieldImagePixels()
{
    PixelProbe probe(field);
    const auto at = [&](int x, int y) { return probe.rgb(x + 1, y + 1); };
    QCOMPARE(at(0, 0), qRgb(200, 0, 0));
    QCOMPARE(at(219, 0), qRgb(200, 0, 0));
    for (int x = 0; x < 220; ++x)
        QCOMPARE(at(x, 199), qRgb(200, 200, 200));
    // Hue falls from left to right: 180 (cyan) in the middle column.
    QCOMPARE(at(110, 0), qRgb(0, 200, 200));
    // The frame is not covered.
    QVERIFY(probe.rgb(0, 0) != qRgb(200, 0, 0));
    QVERIFY(probe.rgb(221, 100) != qRgb(200, 0, 0));
}

void TestMyColorPicker::imageFollowsSizeNotPair()
{
    field->setCol(0, 0);
    PixelProbe before(field);
    field->setCol(200, 200);
    PixelProbe after(field);
    // Away from both crosses the picture is the same.
    for (int y = 20; y < 140; y += 7)
        for (int x = 20; x < 180; x += 7)
            QCOMPARE(after.rgb(x, y), before.rgb(x, y));

    field->resize(122, 102);
    PixelProbe small(field);
    QCOMPARE(small.size(), QSize(122, 102));
    QCOMPARE(small.rgb(1, 1), qRgb(200, 0, 0));
    QCOMPARE(small.rgb(120, 1), qRgb(200, 0, 0));
    for (int x = 1; x < 121; ++x)
        QCOMPARE(small.rgb(x, 100), qRgb(200, 200, 200));
    QVERIFY(small.rgb(121, 50) != qRgb(200, 0, 0));
}

void TestMyColorPicker::setColClampsAndNeverEmits_data()
{
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("s");
    QTest::addColumn<QPoint>("cross");
    QTest::newRow("(-5, 300) is (0, 255)") << -5 << 300 << QPoint(219, 0);
    QTest::newRow("(400, 128) is (359, 128)") << 400 << 128 << QPoint(0, 99);
    QTest::newRow("(-1, 0) is (0, 0)") << -1 << 0 << QPoint(219, 199);
    QTest::newRow("(180, 127)") << 180 << 127 << QPoint(109, 99);
    QTest::newRow("INT_MIN") << INT_MIN << INT_MIN << QPoint(219, 199);
    QTest::newRow("INT_MAX") << INT_MAX << INT_MAX << QPoint(0, 0);
}

void TestMyColorPicker::setColClampsAndNeverEmits()
{
    QFETCH(int, h);
    QFETCH(int, s);
    QFETCH(QPoint, cross);
    QSignalSpy spy(field, SIGNAL(newCol(int, int)));
    field->setCol(h, s);
    QVERIFY(crossIsAt(cross));
    QCOMPARE(spy.count(), 0);
}

void TestMyColorPicker::setColRepaintsOnlyTheCrossSquares()
{
    PaintSpy paints(field);
    QSignalSpy spy(field, SIGNAL(newCol(int, int)));

    // From (150, 255) at (127, 0) to (140, 255) at (133, 0): synchronously,
    // the union of the two squares, cut to the widget.
    field->setCol(140, 255);
    QCOMPARE(paints.count(), 1);
    QCOMPARE(paints.last(), QRegion(QRect(QPoint(119, 0), QPoint(144, 11))));

    // Across the field: one rectangle, the bounding union.
    field->setCol(0, 0);
    QCOMPARE(paints.count(), 2);
    QCOMPARE(paints.last(), QRegion(QRect(QPoint(125, 0), QPoint(221, 201))));

    // The same pair (after clamping) repaints nothing, now or later.
    field->setCol(0, 0);
    field->setCol(-20, -20);
    QCoreApplication::processEvents();
    QCOMPARE(paints.count(), 2);
    QCOMPARE(spy.count(), 0);
}

void TestMyColorPicker::pressEmitsPair_data()
{
    QTest::addColumn<QPoint>("pressed");
    QTest::addColumn<int>("hue");
    QTest::addColumn<int>("sat");
    QTest::addColumn<QPoint>("cross");
    QTest::newRow("top-left") << QPoint(0, 0) << 359 << 255 << QPoint(0, 0);
    QTest::newRow("bottom-right") << QPoint(219, 199) << 0 << 0 << QPoint(219, 199);
    QTest::newRow("middle, cross one pixel off")
        << QPoint(110, 100) << 180 << 127 << QPoint(109, 99);
    QTest::newRow("start point, cross one pixel left")
        << QPoint(127, 0) << 152 << 255 << QPoint(126, 0);
    QTest::newRow("above and left") << QPoint(-5, -5) << 359 << 255 << QPoint(0, 0);
    QTest::newRow("below and right") << QPoint(300, 250) << 0 << 0 << QPoint(219, 199);
    QTest::newRow("top-right") << QPoint(219, 0) << 0 << 255 << QPoint(219, 0);
    QTest::newRow("bottom-left") << QPoint(0, 199) << 359 << 0 << QPoint(0, 199);
}

void TestMyColorPicker::pressEmitsPair()
{
    QFETCH(QPoint, pressed);
    QFETCH(int, hue);
    QFETCH(int, sat);
    QFETCH(QPoint, cross);
    QSignalSpy spy(field, SIGNAL(newCol(int, int)));
    PaintSpy paints(field);
    press(pressed);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), hue);
    QCOMPARE(spy.at(0).at(1).toInt(), sat);
    // Repainted before the signal returned control, not later.
    QCOMPARE(paints.count(), 1);
    QVERIFY(crossIsAt(cross));
}

void TestMyColorPicker::dragEmitsOnEveryMove()
{
    QSignalSpy spy(field, SIGNAL(newCol(int, int)));
    MouseDragger mouse(field);
    mouse.press(widgetPoint(QPoint(0, 0)));
    mouse.moveTo(widgetPoint(QPoint(110, 100)));
    mouse.moveTo(widgetPoint(QPoint(500, 500)));  // clamps to (0, 0)
    mouse.moveTo(widgetPoint(QPoint(600, 900)));  // still (0, 0): emits again
    mouse.moveTo(widgetPoint(QPoint(-90, 1000))); // (359, 0)
    mouse.release(widgetPoint(QPoint(-90, 1000)));
    QCOMPARE(spy.count(), 5);
    const QList<QPair<int, int>> expected = {{359, 255}, {180, 127}, {0, 0}, {0, 0}, {359, 0}};
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(spy.at(i).at(0).toInt(), expected.at(i).first);
        QCOMPARE(spy.at(i).at(1).toInt(), expected.at(i).second);
    }
    QVERIFY(crossIsAt(QPoint(0, 199)));
}

void TestMyColorPicker::samePressAgainEmitsButRepaintsNothing()
{
    press(QPoint(50, 60));
    QSignalSpy spy(field, SIGNAL(newCol(int, int)));
    PaintSpy paints(field);
    press(QPoint(50, 60));
    QCOMPARE(spy.count(), 1);
    QCoreApplication::processEvents();
    QCOMPARE(paints.count(), 0);
    // 360 - 360 * 50 / 219 = 278; 255 - 255 * 60 / 199 = 179.
    QCOMPARE(spy.at(0).at(0).toInt(), 278);
    QCOMPARE(spy.at(0).at(1).toInt(), 179);
}

void TestMyColorPicker::tinyContentAreas_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("0x0") << QSize(0, 0);
    QTest::newRow("1x1, frame only") << QSize(1, 1);
    QTest::newRow("2x2, frame only") << QSize(2, 2);
    QTest::newRow("content 1x1") << QSize(3, 3);
    QTest::newRow("content 2x2") << QSize(4, 4);
    QTest::newRow("content 3x1") << QSize(5, 3);
    QTest::newRow("content 1x300") << QSize(3, 302);
    QTest::newRow("content 300x0") << QSize(302, 2);
}

void TestMyColorPicker::tinyContentAreas()
{
    QFETCH(QSize, size);
    WarningCounter warnings;
    field->resize(size);
    QCoreApplication::processEvents();
    PixelProbe probe(field);
    QCOMPARE(probe.size(), size);

    QSignalSpy spy(field, SIGNAL(newCol(int, int)));
    MouseDragger mouse(field);
    const QPointF points[] = {{0, 0},     {1, 1},    {2, 2},   {-1, -1},
                              {400, 400}, {-3e9, 0}, {0, 3e9}, {size.width() / 2.0, 1}};
    for (const QPointF &p : points)
        mouse.press(p);
    field->setCol(INT_MIN, INT_MAX);
    field->setCol(359, 0);
    probe.regrab();
    QCOMPARE(spy.count(), int(std::size(points)));
    for (const QList<QVariant> &args : spy) {
        QVERIFY(args.at(0).toInt() >= 0 && args.at(0).toInt() <= 359);
        QVERIFY(args.at(1).toInt() >= 0 && args.at(1).toInt() <= 255);
    }
    QCOMPARE(warnings.count(), 0);

    // The smallest area the mappings are made for still gives the corners.
    if (size == QSize(4, 4)) {
        QCOMPARE(spy.at(1).at(0).toInt(), 359); // content (0, 0)
        QCOMPARE(spy.at(1).at(1).toInt(), 255);
        QCOMPARE(spy.at(2).at(0).toInt(), 0); // content (1, 1)
        QCOMPARE(spy.at(2).at(1).toInt(), 0);
    }
}

void TestMyColorPicker::extremeInput()
{
    WarningCounter warnings;
    QSignalSpy spy(field, SIGNAL(newCol(int, int)));
    MouseDragger mouse(field);
    const qreal huge = std::numeric_limits<qreal>::max();
    const qreal nan = std::numeric_limits<qreal>::quiet_NaN();
    mouse.press(QPointF(INT_MAX, INT_MAX));
    mouse.moveTo(QPointF(INT_MIN, INT_MIN));
    mouse.moveTo(QPointF(huge, huge));
    mouse.moveTo(QPointF(-huge, -huge));
    mouse.moveTo(QPointF(1e12, -1e12));
    mouse.moveTo(QPointF(nan, nan));
    mouse.release(QPointF(nan, nan));
    // Not a number counts as widget point 0, that is content point (-1, -1).
    const QList<QPair<int, int>> expected = {{0, 0},     {359, 255}, {0, 0},
                                             {359, 255}, {0, 255},   {359, 255}};
    QCOMPARE(spy.count(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(spy.at(i).at(0).toInt(), expected.at(i).first);
        QCOMPARE(spy.at(i).at(1).toInt(), expected.at(i).second);
    }
    QVERIFY(crossIsAt(QPoint(0, 0)));
    QCOMPARE(warnings.count(), 0);
}

QTEST_MAIN(TestMyColorPicker)
#include "test_mycolorpicker.moc"
