// SPDX-License-Identifier: MIT
#include "colorcoalescer.h"

#include <QtTest>

class TestColorCoalescer : public QObject
{
    Q_OBJECT
private slots:
    void oneOutTheNewestWaitsARefusedOneIsDropped();
    void aColourPerAccessory();
};

void TestColorCoalescer::oneOutTheNewestWaitsARefusedOneIsDropped()
{
    bool accept = true;
    QList<QColor> tried;
    ColorCoalescer flow([&](const QColor &c) {
        tried << c;
        return accept;
    });
    flow.clearUpdatingColor(); // done while idle: nothing goes
    flow.updateColor(Qt::red);
    flow.updateColor(Qt::green);
    flow.updateColor(Qt::blue); // replaces green
    QVERIFY(flow.isUpdating());
    flow.clearUpdatingColor(); // blue goes
    flow.updateColor(Qt::cyan);
    accept = false;
    flow.clearUpdatingColor(); // cyan is refused and not kept
    flow.clearUpdatingColor();
    flow.updateColor(Qt::black); // refused from idle
    QVERIFY(!flow.isUpdating());
    accept = true;
    flow.updateColor(Qt::white);
    QVERIFY(flow.isUpdating());
    QCOMPARE(tried, (QList<QColor>{Qt::red, Qt::blue, Qt::cyan, Qt::black, Qt::white}));
}

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
