// SPDX-License-Identifier: MIT
// The colour flow with a colour per accessory; the single colour of the
// window and --stream is tested through them.
#include <QtTest>

#include "colorcoalescer.h"

using Colors = ColorCoalescer::AccessoryColors;

class TestColorCoalescer : public QObject
{
    Q_OBJECT
private slots:
    void aColourPerAccessory();
};

void TestColorCoalescer::aColourPerAccessory()
{
    QVector<QPair<QRgb, int>> requests;
    ColorCoalescer flow([&](const QColor &color, int devices) {
        requests.append({color.rgb(), devices});
        return true;
    });
    const QColor off(Qt::black), red(Qt::red), green(Qt::green), blue(Qt::blue);
    // One request for the accessories that share a colour.
    flow.updateColors({off, off, off}, 7);
    QCOMPARE(requests, (QVector<QPair<QRgb, int>>{{off.rgb(), 7}}));
    // While it is out, each accessory's newest colour waits; none piles up.
    flow.updateColors({red, blue, blue}, 7);
    flow.updateColors({red, green, green}, 7);
    flow.updateColors({red, green, off}, 4); // the H shifter alone: back to what it has
    QCOMPARE(requests.size(), 1);
    flow.clearUpdatingColor();
    QCOMPARE(requests.last(), qMakePair(red.rgb(), 1));
    flow.clearUpdatingColor();
    QCOMPARE(requests.last(), qMakePair(green.rgb(), 2));
    flow.clearUpdatingColor();
    QCOMPARE(requests.size(), 3);
    QVERIFY(!flow.isUpdating());
    // Unchanged colours are not sent again, unless an accessory came back.
    flow.updateColors({red, green, off}, 7);
    QCOMPARE(requests.size(), 3);
    flow.resend(5);
    QCOMPARE(requests.last(), qMakePair(red.rgb(), 1));
    flow.clearUpdatingColor();
    QCOMPARE(requests.last(), qMakePair(off.rgb(), 4));
    flow.clearUpdatingColor();
    QVERIFY(!flow.isUpdating());
    QCOMPARE(requests.size(), 5);
}

QTEST_GUILESS_MAIN(TestColorCoalescer)
#include "test_colorcoalescer.moc"
