// SPDX-License-Identifier: MIT
#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

#include <climits>
#include <cmath>
#include <limits>

#include "mousedragger.h"
#include "paintspy.h"
#include "pixelprobe.h"
#include "qcolorshowlabel.h"

class TestQColorShowLabel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startsEmptyAndFramed();
    void setColorStoresOnly();
    void paintsColourInsideFrame();

    void dragNeedsMoreThanStartDistance();
    void dragStartsWithAnyButton();
    void onlyOneDragPerPress();
    void secondPressResetsStartPoint();
    void dragCarriesColourAndImage();
    void dragObjectsDoNotPileUp();

    void dropOfColourWithAlpha();
    void dropOfConvertibleData();
    void refusesDataWithoutColour_data();
    void refusesDataWithoutColour();
    void dragBackOntoItselfEmitsOnce();

    void farAwayMousePositionsAreSafe();

private:
    int dragsStarted(); // drags made since the last call
    QDrag *lastDrag();
    bool sendEnter(QMimeData *mime);
    bool sendDrop(QMimeData *mime);

    QColorShowLabel *swatch = nullptr;
    int dragDistance = 0;
};

void TestQColorShowLabel::initTestCase()
{
    // The signal names its argument by the typedef; the spy needs to know it.
    qRegisterMetaType<QRgb>("QRgb");
}

void TestQColorShowLabel::init()
{
    swatch = new QColorShowLabel(nullptr);
    swatch->resize(120, 60);
    swatch->setColor(QColor(10, 200, 30));
    swatch->show();
    QVERIFY(QTest::qWaitForWindowExposed(swatch));
    dragDistance = QApplication::startDragDistance();
    QVERIFY(dragDistance > 0);
}

void TestQColorShowLabel::cleanup()
{
    delete swatch;
    swatch = nullptr;
}

int TestQColorShowLabel::dragsStarted()
{
    const int n = swatch->findChildren<QDrag *>().size();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return n;
}

QDrag *TestQColorShowLabel::lastDrag()
{
    const QList<QDrag *> drags = swatch->findChildren<QDrag *>();
    return drags.isEmpty() ? nullptr : drags.last();
}

bool TestQColorShowLabel::sendEnter(QMimeData *mime)
{
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(swatch, &enter);
    return enter.isAccepted();
}

bool TestQColorShowLabel::sendDrop(QMimeData *mime)
{
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(swatch, &drop);
    return drop.isAccepted();
}

void TestQColorShowLabel::startsEmptyAndFramed()
{
    // A fresh swatch has no colour to give: the drag carries an invalid one.
    QColorShowLabel fresh(nullptr);
    QCOMPARE(fresh.frameStyle(), int(QFrame::Panel | QFrame::Sunken));
    QVERIFY(fresh.acceptDrops());
    fresh.resize(50, 30);
    MouseDragger mouse(&fresh);
    mouse.press(QPointF(5, 5));
    mouse.moveTo(QPointF(5 + dragDistance + 1, 5));
    QDrag *drag = fresh.findChild<QDrag *>();
    QVERIFY(drag);
    QVERIFY(!drag->mimeData()->colorData().value<QColor>().isValid());
}

void TestQColorShowLabel::setColorStoresOnly()
{
    PaintSpy paints(swatch);
    QSignalSpy dropped(swatch, SIGNAL(colorDropped(QRgb)));
    swatch->setColor(QColor(255, 0, 0));
    QCoreApplication::processEvents();
    QCOMPARE(paints.count(), 0);
    QCOMPARE(dropped.count(), 0);
    // The stored colour is what the next paint shows.
    PixelProbe probe(swatch);
    QCOMPARE(probe.rgb(60, 30), qRgb(255, 0, 0));
}

void TestQColorShowLabel::paintsColourInsideFrame()
{
    swatch->setColor(QColor(0, 0, 255));
    PixelProbe probe(swatch);
    QCOMPARE(probe.rgb(1, 1), qRgb(0, 0, 255));
    QCOMPARE(probe.rgb(118, 58), qRgb(0, 0, 255));
    QCOMPARE(probe.rgb(60, 30), qRgb(0, 0, 255));
    // The one-pixel sunken frame surrounds it.
    QVERIFY(probe.rgb(0, 30) != qRgb(0, 0, 255));
    QVERIFY(probe.rgb(119, 30) != qRgb(0, 0, 255));
    QVERIFY(probe.rgb(60, 0) != qRgb(0, 0, 255));
    QVERIFY(probe.rgb(60, 59) != qRgb(0, 0, 255));
}

void TestQColorShowLabel::dragNeedsMoreThanStartDistance()
{
    MouseDragger mouse(swatch);
    QTest::mousePress(swatch, Qt::LeftButton, Qt::NoModifier, QPoint(30, 20));
    // Exactly the start distance, split over x and y, is not enough.
    const int dx = dragDistance / 2;
    const int dy = dragDistance - dx;
    mouse.moveTo(QPointF(30 + dx, 20 + dy));
    mouse.moveTo(QPointF(30 - dx, 20 - dy));
    mouse.moveTo(QPointF(30 - dx, 20 + dy));
    QCOMPARE(dragsStarted(), 0);
    // One pixel more starts one.
    mouse.moveTo(QPointF(30 + dx, 20 + dy + 1));
    QCOMPARE(dragsStarted(), 1);
}

void TestQColorShowLabel::dragStartsWithAnyButton()
{
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
        MouseDragger mouse(swatch, button);
        QTest::mousePress(swatch, button, Qt::NoModifier, QPoint(30, 20));
        mouse.moveTo(QPointF(30, 20 + dragDistance + 1));
        QCOMPARE(dragsStarted(), 1);
        QTest::mouseRelease(swatch, button, Qt::NoModifier, QPoint(30, 20 + dragDistance + 1));
    }
}

void TestQColorShowLabel::onlyOneDragPerPress()
{
    MouseDragger mouse(swatch);
    QTest::mousePress(swatch, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    for (int x = 10; x < 110; x += 5)
        mouse.moveTo(QPointF(x, 10));
    QCOMPARE(dragsStarted(), 1);
    mouse.moveTo(QPointF(10, 50));
    QCOMPARE(dragsStarted(), 0);
    // A new press arms it again.
    QTest::mousePress(swatch, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    mouse.moveTo(QPointF(100, 10));
    QCOMPARE(dragsStarted(), 1);
}

void TestQColorShowLabel::secondPressResetsStartPoint()
{
    MouseDragger mouse(swatch);
    mouse.moveTo(QPointF(100, 50)); // no press yet
    QTest::mousePress(swatch, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QTest::mouseRelease(swatch, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    mouse.moveTo(QPointF(100, 50)); // released
    QCOMPARE(dragsStarted(), 0);
    QTest::mousePress(swatch, Qt::LeftButton, Qt::NoModifier, QPoint(60, 30));
    // Far from the first press, but only the start distance from the second.
    mouse.moveTo(QPointF(60 + dragDistance, 30));
    QCOMPARE(dragsStarted(), 0);
    mouse.moveTo(QPointF(60 + dragDistance + 1, 30));
    QCOMPARE(dragsStarted(), 1);
}

void TestQColorShowLabel::dragCarriesColourAndImage()
{
    const QColor colour(250, 120, 5, 255);
    swatch->setColor(colour);
    MouseDragger mouse(swatch);
    QTest::mousePress(swatch, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    mouse.moveTo(QPointF(40, 40));
    QDrag *drag = lastDrag();
    QVERIFY(drag);

    QCOMPARE(drag->parent(), swatch);
    QCOMPARE(drag->supportedActions(), Qt::DropActions(Qt::CopyAction));
    const QDrag untouched(nullptr);
    QCOMPARE(drag->hotSpot(), untouched.hotSpot());
    const QVariant data = drag->mimeData()->colorData();
    QCOMPARE(data.userType(), int(QMetaType::QColor));
    QCOMPARE(data.value<QColor>(), colour);

    const QImage image = drag->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(image.size(), QSize(30, 20));
    for (int x = 0; x < 30; ++x) {
        QCOMPARE(image.pixel(x, 0), qRgb(0, 0, 0));
        QCOMPARE(image.pixel(x, 19), qRgb(0, 0, 0));
    }
    for (int y = 0; y < 20; ++y) {
        QCOMPARE(image.pixel(0, y), qRgb(0, 0, 0));
        QCOMPARE(image.pixel(29, y), qRgb(0, 0, 0));
    }
    for (int y = 1; y < 19; ++y)
        for (int x = 1; x < 29; ++x)
            QCOMPARE(image.pixel(x, y), colour.rgba());
    // The swatch keeps its colour whatever became of the drag.
    PixelProbe probe(swatch);
    QCOMPARE(probe.rgb(60, 30), colour.rgb());
}

void TestQColorShowLabel::dragObjectsDoNotPileUp()
{
    // Each drag lives until the event loop runs; none outlives that.
    MouseDragger mouse(swatch);
    for (int i = 0; i < 5; ++i) {
        mouse.press(QPointF(10, 10));
        mouse.moveTo(QPointF(50, 10));
        mouse.release(QPointF(50, 10));
    }
    QCOMPARE(swatch->findChildren<QDrag *>().size(), 5);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(swatch->findChildren<QDrag *>().size(), 0);
}

void TestQColorShowLabel::dropOfColourWithAlpha()
{
    PaintSpy paints(swatch);
    QSignalSpy dropped(swatch, SIGNAL(colorDropped(QRgb)));
    int paintsAtSignal = -1;
    connect(swatch, &QColorShowLabel::colorDropped, this, [&] { paintsAtSignal = paints.count(); });

    QMimeData mime;
    mime.setColorData(QColor(40, 90, 160, 128));
    QVERIFY(sendEnter(&mime));
    QVERIFY(sendDrop(&mime));

    QCOMPARE(dropped.count(), 1);
    QCOMPARE(dropped.at(0).at(0).value<QRgb>(), qRgba(40, 90, 160, 255));
    // Painted at once, before the signal went out.
    QCOMPARE(paintsAtSignal, 1);
    QCOMPARE(paints.count(), 1);

    // Painted with its alpha: the background shows through.
    PixelProbe probe(swatch);
    const QColor shown = probe.color(60, 30);
    QVERIFY(shown.rgb() != qRgb(40, 90, 160));
    QVERIFY(shown.red() > 40 && shown.green() > 90 && shown.blue() > 160);

    // The stored colour keeps its alpha and is what a drag now exports.
    MouseDragger mouse(swatch);
    mouse.press(QPointF(10, 10));
    mouse.moveTo(QPointF(50, 10));
    QDrag *drag = lastDrag();
    QVERIFY(drag);
    QCOMPARE(drag->mimeData()->colorData().value<QColor>(), QColor(40, 90, 160, 128));
}

void TestQColorShowLabel::dropOfConvertibleData()
{
    // Colour data that is not a QColor yet is converted.
    QSignalSpy dropped(swatch, SIGNAL(colorDropped(QRgb)));
    QMimeData mime;
    mime.setColorData(QString("#102030"));
    QVERIFY(sendEnter(&mime));
    QVERIFY(sendDrop(&mime));
    QCOMPARE(dropped.count(), 1);
    QCOMPARE(dropped.at(0).at(0).value<QRgb>(), qRgb(0x10, 0x20, 0x30));
}

void TestQColorShowLabel::refusesDataWithoutColour_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("plain text") << 0;
    QTest::newRow("colour type, garbage bytes") << 1;
    QTest::newRow("colour type, empty payload") << 2;
    QTest::newRow("colour data that is a number") << 3;
    QTest::newRow("colour data that is no colour name") << 4;
    QTest::newRow("no MIME data at all") << 5;
}

void TestQColorShowLabel::refusesDataWithoutColour()
{
    QFETCH(int, kind);
    QMimeData mime;
    switch (kind) {
    case 0:
        mime.setText("red");
        break;
    case 1:
        mime.setData("application/x-color", QByteArray("\x01\xff\x7f garbage\0\x80", 13));
        break;
    case 2:
        mime.setData("application/x-color", QByteArray());
        break;
    case 3:
        mime.setColorData(42);
        break;
    case 4:
        mime.setColorData(QString("no such colour"));
        break;
    }
    QMimeData *sent = kind == 5 ? nullptr : &mime;

    PaintSpy paints(swatch);
    QSignalSpy dropped(swatch, SIGNAL(colorDropped(QRgb)));
    QVERIFY(!sendEnter(sent));
    QVERIFY(!sendDrop(sent));
    QCOMPARE(dropped.count(), 0);
    QCOMPARE(paints.count(), 0);
    PixelProbe probe(swatch);
    QCOMPARE(probe.rgb(60, 30), qRgb(10, 200, 30));
}

void TestQColorShowLabel::dragBackOntoItselfEmitsOnce()
{
    MouseDragger mouse(swatch);
    mouse.press(QPointF(10, 10));
    mouse.moveTo(QPointF(50, 10));
    QDrag *drag = lastDrag();
    QVERIFY(drag);

    QSignalSpy dropped(swatch, SIGNAL(colorDropped(QRgb)));
    QVERIFY(sendEnter(drag->mimeData()));
    QVERIFY(sendDrop(drag->mimeData()));
    QCOMPARE(dropped.count(), 1);
    QCOMPARE(dropped.at(0).at(0).value<QRgb>(), qRgb(10, 200, 30));
}

void TestQColorShowLabel::farAwayMousePositionsAreSafe()
{
    const qreal huge = std::numeric_limits<qreal>::max();
    const qreal nan = std::numeric_limits<qreal>::quiet_NaN();
    const QPointF far[] = {QPointF(huge, -huge),      QPointF(-huge, huge),
                           QPointF(INT_MAX, INT_MIN), QPointF(INT_MIN, INT_MAX),
                           QPointF(1e300, 1e300),     QPointF(-3e9, 3e9),
                           QPointF(nan, nan),         QPointF(INFINITY, -INFINITY)};
    MouseDragger mouse(swatch);
    for (const QPointF &a : far) {
        for (const QPointF &b : far) {
            mouse.press(a);
            mouse.moveTo(b);
            mouse.moveTo(a);
            mouse.release(b);
        }
    }
    QVERIFY(dragsStarted() > 0);
    // Far apart points start a drag; the same point twice does not.
    mouse.press(QPointF(INT_MIN, INT_MIN));
    mouse.moveTo(QPointF(INT_MAX, INT_MAX));
    QCOMPARE(dragsStarted(), 1);
    mouse.press(QPointF(-huge, 0));
    mouse.moveTo(QPointF(-huge, 0));
    QCOMPARE(dragsStarted(), 0);
}

QTEST_MAIN(TestQColorShowLabel)
#include "test_qcolorshowlabel.moc"
