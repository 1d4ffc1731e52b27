// SPDX-License-Identifier: MIT
#include "colorcoalescer.h"

#include <QtTest>

class TestColorCoalescer : public QObject
{
    Q_OBJECT
private slots:
    void oneOutTheNewestWaitsARefusedOneIsDropped();
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

QTEST_GUILESS_MAIN(TestColorCoalescer)
#include "test_colorcoalescer.moc"
