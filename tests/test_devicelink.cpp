// SPDX-License-Identifier: MIT
#include "devicerelay.h"
#include "fakehidbus.h"
#include "hidworker.h"

#include <QSignalSpy>
#include <QtTest>

using Call = FakeHidBus::Call;

namespace {

// The link through the relay that brimsel-ctl's modes use: every colour to all three.
struct Client
{
    QVector<int> states;
    QStringList messages;
    DeviceRelay link{AccessoryTable::AllBits,
                     {[this](int state) { states << state; }, nullptr, nullptr,
                      [this](const QString &message) { messages << message; }}};
};

} // namespace

class TestDeviceLink : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void hangIsToldOnceAndItsEndShowsTheState();
    void stopsWithinItsBoundWhileAWriteHangs();
    void presenceReadsOfASilentAccessoryDoNotWait();
};

void TestDeviceLink::init()
{
    FakeHidBus::reset();
    for (unsigned short pid :
         {AccessoryTable::HandbrakeProductId, AccessoryTable::SqShifterProductId,
          AccessoryTable::HShifterProductId})
        FakeHidBus::plug(pid, FakeHidBus::ReadMode::Immediate);
}

void TestDeviceLink::hangIsToldOnceAndItsEndShowsTheState()
{
    Client client;
    client.link.start();
    QTRY_COMPARE_WITH_TIMEOUT(client.states, QVector<int>{7}, 5000);
    FakeHidBus::delayWrites(1200);
    for (int i = 0; i < 20; ++i) {
        client.link.updateColor(QColor::fromRgb(QRgb(i)));
        QTest::qWait(20);
    }
    QTRY_VERIFY_WITH_TIMEOUT(client.messages.size() == 2, 5000);
    QCOMPARE(client.messages,
             (QStringList{"No answer from Handbrake: the colour may not have arrived",
                          "Handbrake answering again"}));
    // The state again after the message, so that it is what stays shown.
    QTRY_COMPARE_WITH_TIMEOUT(client.states, (QVector<int>{7, 7}), 5000);
    QVERIFY(client.link.stop());
    QCOMPARE(FakeHidBus::count(Call::Exit), 1);
}

void TestDeviceLink::stopsWithinItsBoundWhileAWriteHangs()
{
    Client client;
    client.link.start();
    QTRY_COMPARE_WITH_TIMEOUT(client.states, QVector<int>{7}, 5000);
    // Longer than the 3 s the link waits; the bus holds every close meanwhile.
    FakeHidBus::delayWrites(4500);
    client.link.updateColor(Qt::red);
    QTRY_COMPARE_WITH_TIMEOUT(client.messages.size(), 1, 5000);
    QVERIFY(client.link.stop());
    // The hung handle is the helper's, the open ones wait, and so does hid_exit.
    QCOMPARE(FakeHidBus::openHandles(), 3);
    QCOMPARE(FakeHidBus::count(Call::Exit), 0);

    QTRY_COMPARE_WITH_TIMEOUT(FakeHidBus::count(Call::Exit), 1, 5000);
    QCOMPARE(FakeHidBus::openHandles(), 0);
    const QVector<FakeHidBus::Event> events = FakeHidBus::events();
    QCOMPARE(events.last().call, Call::Exit);
    for (const FakeHidBus::Event &e : FakeHidBus::events(Call::Close))
        QCOMPARE(e.result, 0);
}

void TestDeviceLink::presenceReadsOfASilentAccessoryDoNotWait()
{
    FakeHidBus::reset();
    const int sq = FakeHidBus::plug(AccessoryTable::SqShifterProductId);
    Client client;
    client.link.start();
    QTRY_COMPARE_WITH_TIMEOUT(client.states, QVector<int>{2}, 5000);
    QVERIFY(FakeHidBus::waitFor(Call::Read, 3));
    for (const FakeHidBus::Event &e : FakeHidBus::events(Call::Read))
        QCOMPARE(e.timeoutMs, 0);
    // An unplug still shows at the next pass.
    FakeHidBus::unplug(sq);
    QTRY_COMPARE_WITH_TIMEOUT(client.states, (QVector<int>{2, 0}), 5000);
    QVERIFY(client.link.stop());
}

QTEST_GUILESS_MAIN(TestDeviceLink)
#include "test_devicelink.moc"
