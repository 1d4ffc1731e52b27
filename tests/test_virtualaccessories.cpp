// SPDX-License-Identifier: MIT
#include <QCheckBox>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include "fakehidbus.h"
#include "hidworker.h"
#include "virtualaccessorieswindow.h"

// The demo's accessory window shows what the stand-in accessories received.
class TestVirtualAccessories : public QObject
{
    Q_OBJECT
private slots:
    void init() { FakeHidBus::reset(); }

    void decodesTheReportBytes()
    {
        const HidWorker::ColorReport r = HidWorker::colorReport(QColor(255, 0, 128));
        const QByteArray bytes(reinterpret_cast<const char *>(r.data()), int(r.size()));
        QCOMPARE(VirtualAccessoriesWindow::colorOfReport(bytes), QColor(255, 0, 128));
        QVERIFY(
            !VirtualAccessoriesWindow::colorOfReport(QByteArray("\x01\x00\x00\x00", 4)).isValid());
        QVERIFY(!VirtualAccessoriesWindow::colorOfReport(bytes.left(3)).isValid());
    }

    void showsTheLastColourAndCountPerAccessory()
    {
        VirtualAccessoriesWindow window;
        HidWorker worker; // in this thread: its passes run when called
        QSignalSpy state(&worker, SIGNAL(deviceStateChanged(HidWorker::Device)));
        worker.process();
        QCOMPARE(state.count(), 1);
        QCOMPARE(state.at(0).at(0).value<HidWorker::Device>(), HidWorker::Device(7));

        worker.updateColor(QColor(10, 20, 30),
                           HidWorker::Device(HidWorker::Handbrake | HidWorker::HShifter));
        worker.updateColor(QColor(255, 0, 128), HidWorker::HShifter);
        auto label = [&](const char *name) { return window.findChild<QLabel *>(name)->text(); };
        QTRY_COMPARE(label("count2"), QStringLiteral("4"));
        QCOMPARE(label("hex2"), QStringLiteral("#ff0080"));
        QCOMPARE(label("count0"), QStringLiteral("2"));
        QCOMPARE(label("hex0"), QStringLiteral("#0a141e"));
        QCOMPARE(label("count1"), QStringLiteral("0"));
    }

    void untickingUnplugs()
    {
        VirtualAccessoriesWindow window;
        HidWorker worker;
        QSignalSpy state(&worker, SIGNAL(deviceStateChanged(HidWorker::Device)));
        worker.process();
        window.findChild<QCheckBox *>("plugged1")->setChecked(false);
        worker.process(); // the read on the pulled accessory fails
        QCOMPARE(state.count(), 2);
        QCOMPARE(state.at(1).at(0).value<HidWorker::Device>(), HidWorker::Device(5));
        window.findChild<QCheckBox *>("plugged1")->setChecked(true);
        worker.process();
        QCOMPARE(state.last().at(0).value<HidWorker::Device>(), HidWorker::Device(7));
    }
};

QTEST_MAIN(TestVirtualAccessories)
#include "test_virtualaccessories.moc"
