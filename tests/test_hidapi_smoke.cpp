// SPDX-License-Identifier: MIT
// Runs with the real hidapi library on a machine without the accessories.
#include "hidworker.h"
#include "mainwindow.h"

#include <QSignalSpy>
#include <QStatusBar>
#include <QThread>
#include <QtTest>

#include <hidapi.h>

#include <memory>

class TestHidapiSmoke : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void workerReportsNothingAndStopsCleanly();
    void windowShowsDeviceNotFound();
};

void TestHidapiSmoke::initTestCase()
{
    for (unsigned short pid :
         {AccessoryTable::HandbrakeProductId, AccessoryTable::SqShifterProductId,
          AccessoryTable::HShifterProductId}) {
        hid_device_info *found = hid_enumerate(AccessoryTable::VendorId, pid);
        hid_free_enumeration(found);
        if (found)
            QSKIP("an accessory is plugged in; this test needs a machine without them");
    }
}

void TestHidapiSmoke::workerReportsNothingAndStopsCleanly()
{
    QThread thread;
    auto *worker = new HidWorker;
    worker->moveToThread(&thread);
    QObject receiver; // in this thread, so that the report is queued here
    QVector<int> reports;
    connect(&thread, SIGNAL(started()), worker, SLOT(process()));
    connect(&thread, SIGNAL(finished()), worker, SLOT(deleteLater()));
    connect(worker, &HidWorker::deviceStateChanged, &receiver,
            [&reports](HidWorker::Device d) { reports.append(int(d)); });
    bool destroyed = false;
    connect(worker, &QObject::destroyed, [&destroyed] { destroyed = true; });
    thread.start();

    QTRY_COMPARE_WITH_TIMEOUT(reports.size(), 1, 5000);
    QCOMPARE(reports.at(0), 0);
    QTest::qWait(350); // a few more passes: nothing to report
    QCOMPARE(reports.size(), 1);

    thread.quit();
    QVERIFY(thread.wait(3000));
    QVERIFY(destroyed);
}

void TestHidapiSmoke::windowShowsDeviceNotFound()
{
    auto window = std::make_unique<MainWindow>();
    window->show();
    QTRY_COMPARE_WITH_TIMEOUT(window->statusBar()->currentMessage(), QString("Device not found"),
                              5000);
    window.reset();
}

QTEST_MAIN(TestHidapiSmoke)
#include "test_hidapi_smoke.moc"
