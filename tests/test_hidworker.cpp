// SPDX-License-Identifier: MIT
#include "fakehidbus.h"
#include "hidlibrary.h"
#include "hidworker.h"

#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <memory>

using Call = FakeHidBus::Call;
using Mode = FakeHidBus::ReadMode;

namespace {

constexpr unsigned short kHandbrake = AccessoryTable::HandbrakeProductId;
constexpr unsigned short kSqShifter = AccessoryTable::SqShifterProductId;
constexpr unsigned short kHShifter = AccessoryTable::HShifterProductId;

QVector<FakeHidBus::Event> eventsSince(int first)
{
    const QVector<FakeHidBus::Event> all = FakeHidBus::events();
    return all.mid(first);
}

QVector<unsigned short> productsOf(const QVector<FakeHidBus::Event> &events, Call call)
{
    QVector<unsigned short> out;
    for (const FakeHidBus::Event &e : events) {
        if (e.call == call)
            out.append(e.productId);
    }
    return out;
}

int lastState(const QSignalSpy &spy)
{
    return spy.isEmpty() ? -1 : int(spy.last().at(0).value<HidWorker::Device>());
}

HidWorker::Device devices(int bits)
{
    return static_cast<HidWorker::Device>(bits);
}

// Stands where the window stands: sends requests to a worker in another
// thread and gets its signals queued into the test's thread.
class Relay : public QObject
{
    Q_OBJECT
signals:
    void colorUpdateRequested(QColor color, HidWorker::Device devices_to_update);
    void deviceStateChanged(HidWorker::Device connected_devices);
    void colorUpdated();
};

} // namespace

class TestHidWorker : public QObject
{
    Q_OBJECT
private slots:
    void init();

    void colorReport_data();
    void colorReport();
    void deviceTypeIsRegistered();

    void firstPassReportsOnceEvenWithNothingPlugged();
    void plugAndUnplugAreReportedOnce();
    void silentAccessoryStaysConnected();
    void twoAccessoriesWithOneProduct();

    void colourGoesTwiceToEachNamedOpenAccessoryInOrder_data();
    void colourGoesTwiceToEachNamedOpenAccessoryInOrder();
    void failedWriteIsIgnored();
    void accessoryVanishingBeforeWrite();
    void hungWriteIsCutShortAndReported();
    void failedOpensAndReads();
    void faultsInAnyOrderNeitherCrashNorLeak();
    void libraryThatCannotStartIsNamedOnce();

    void destructorClosesSlotsAndExits_data();
    void destructorClosesSlotsAndExits();

    void runsInItsOwnThread();
};

void TestHidWorker::init()
{
    FakeHidBus::reset();
}

void TestHidWorker::colorReport_data()
{
    QTest::addColumn<QColor>("color");
    QTest::addColumn<QByteArray>("report");
    QTest::newRow("red 255 green 0 blue 128")
        << QColor(255, 0, 128) << QByteArray("\x02\xff\x80\x00", 4);
    QTest::newRow("blue before green") << QColor(1, 2, 3) << QByteArray("\x02\x01\x03\x02", 4);
    QTest::newRow("alpha is not sent")
        << QColor(10, 20, 30, 0) << QByteArray("\x02\x0a\x1e\x14", 4);
    QTest::newRow("hsv converted to rgb")
        << QColor::fromHsv(120, 255, 255) << QByteArray("\x02\x00\x00\xff", 4);
    QTest::newRow("white") << QColor(Qt::white) << QByteArray("\x02\xff\xff\xff", 4);
}

void TestHidWorker::colorReport()
{
    QFETCH(QColor, color);
    QFETCH(QByteArray, report);
    const HidWorker::ColorReport bytes = HidWorker::colorReport(color);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size())), report);
}

void TestHidWorker::deviceTypeIsRegistered()
{
    HidWorker worker;
    const int id = QMetaType::type("HidWorker::Device");
    QVERIFY(id != QMetaType::UnknownType);
    QCOMPARE(id, qMetaTypeId<HidWorker::Device>());
    QCOMPARE(QMetaType::sizeOf(id), 4);
    QVERIFY(QMetaType::typeFlags(id) & QMetaType::IsEnumeration);
    QVERIFY(QMetaType::typeFlags(id) & QMetaType::MovableType);
    QVERIFY(!QMetaType::metaObjectForType(id));
}

void TestHidWorker::firstPassReportsOnceEvenWithNothingPlugged()
{
    HidWorker worker;
    QSignalSpy spy(&worker, SIGNAL(deviceStateChanged(HidWorker::Device)));
    QSignalSpy errors(&worker, SIGNAL(errorOccurred(QString)));
    worker.process();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(lastState(spy), 0);
    worker.process();
    worker.process();
    QCOMPARE(spy.count(), 1);

    // Each pass tries every accessory, in slot order, with no serial number.
    const QVector<unsigned short> order{kHandbrake, kSqShifter, kHShifter};
    QCOMPARE(productsOf(FakeHidBus::events(), Call::Open), order + order + order);
    QCOMPARE(FakeHidBus::count(Call::Read), 0);
    // Without a start check the worker never calls hid_init.
    QCOMPARE(FakeHidBus::count(Call::Init), 0);
    QCOMPARE(errors.count(), 0);
}

void TestHidWorker::plugAndUnplugAreReportedOnce()
{
    HidWorker worker;
    QSignalSpy spy(&worker, SIGNAL(deviceStateChanged(HidWorker::Device)));
    worker.process();

    const int h = FakeHidBus::plug(kHShifter, Mode::Immediate);
    worker.process();
    QCOMPARE(spy.count(), 2);
    QCOMPARE(lastState(spy), int(HidWorker::HShifter));

    int mark = FakeHidBus::events().size();
    worker.process();
    QCOMPARE(spy.count(), 2);
    // The open shifter is checked with a timed read, not opened again.
    QCOMPARE(productsOf(eventsSince(mark), Call::Open),
             (QVector<unsigned short>{kHandbrake, kSqShifter}));
    const QVector<FakeHidBus::Event> reads = FakeHidBus::events(Call::Read);
    QVERIFY(!reads.isEmpty());
    for (const FakeHidBus::Event &e : reads) {
        QCOMPARE(e.accessory, h);
        QCOMPARE(e.bufferSize, 64);
        QCOMPARE(e.timeoutMs, 50);
    }

    FakeHidBus::unplug(h);
    mark = FakeHidBus::events().size();
    worker.process();
    QCOMPARE(spy.count(), 3);
    QCOMPARE(lastState(spy), 0);
    const QVector<FakeHidBus::Event> pass = eventsSince(mark);
    QCOMPARE(FakeHidBus::openHandles(), 0);
    // Closed at once, and not reopened in the same pass.
    QCOMPARE(productsOf(pass, Call::Close), QVector<unsigned short>{kHShifter});
    QCOMPARE(productsOf(pass, Call::Open), (QVector<unsigned short>{kHandbrake, kSqShifter}));

    // From then on an open is tried in every pass.
    for (int i = 0; i < 3; ++i) {
        mark = FakeHidBus::events().size();
        worker.process();
        QCOMPARE(productsOf(eventsSince(mark), Call::Open),
                 (QVector<unsigned short>{kHandbrake, kSqShifter, kHShifter}));
    }
    QCOMPARE(spy.count(), 3);

    FakeHidBus::plug(kHShifter, Mode::Immediate);
    worker.process();
    QCOMPARE(spy.count(), 4);
    QCOMPARE(lastState(spy), int(HidWorker::HShifter));
}

void TestHidWorker::silentAccessoryStaysConnected()
{
    const int sq = FakeHidBus::plug(kSqShifter, Mode::WaitTimeout);
    HidWorker worker;
    QSignalSpy spy(&worker, SIGNAL(deviceStateChanged(HidWorker::Device)));
    worker.process();
    worker.process();
    FakeHidBus::queueInputReport(sq, QByteArray(64, '\x01'));
    worker.process();
    worker.process();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(lastState(spy), int(HidWorker::SqShifter));
    QVector<int> results;
    for (const FakeHidBus::Event &e : FakeHidBus::events(Call::Read))
        results.append(e.result);
    QCOMPARE(results, (QVector<int>{0, 64, 0}));
    QCOMPARE(FakeHidBus::count(Call::Close), 0);
}

void TestHidWorker::twoAccessoriesWithOneProduct()
{
    const int first = FakeHidBus::plug(kHandbrake, Mode::Immediate);
    const int second = FakeHidBus::plug(kHandbrake, Mode::Immediate);
    HidWorker worker;
    QSignalSpy spy(&worker, SIGNAL(deviceStateChanged(HidWorker::Device)));
    worker.process();
    worker.process();
    QCOMPARE(FakeHidBus::openHandles(), 1);
    worker.updateColor(QColor(1, 2, 3), HidWorker::Handbrake);
    for (const FakeHidBus::Event &e : FakeHidBus::events(Call::Write))
        QCOMPARE(e.accessory, first);
    QCOMPARE(FakeHidBus::count(Call::Write), 2);

    FakeHidBus::unplug(first);
    worker.process();
    QCOMPARE(lastState(spy), 0);
    worker.process(); // now the second one is the first match
    QCOMPARE(lastState(spy), int(HidWorker::Handbrake));
    QCOMPARE(spy.count(), 3);
    worker.updateColor(QColor(1, 2, 3), HidWorker::Handbrake);
    QCOMPARE(FakeHidBus::events(Call::Write).last().accessory, second);
}

void TestHidWorker::colourGoesTwiceToEachNamedOpenAccessoryInOrder_data()
{
    QTest::addColumn<QVector<unsigned short>>("plugged");
    QTest::addColumn<int>("request");
    QTest::addColumn<QVector<unsigned short>>("written");
    const QVector<unsigned short> all{kHShifter, kSqShifter,
                                      kHandbrake}; // plug order is not send order
    QTest::newRow("all named, all open")
        << all << 7 << QVector<unsigned short>{kHandbrake, kHandbrake, kSqShifter,
                                               kSqShifter, kHShifter,  kHShifter};
    QTest::newRow("handbrake and H shifter named")
        << all << 5 << QVector<unsigned short>{kHandbrake, kHandbrake, kHShifter, kHShifter};
    QTest::newRow("all named, only SQ open") << QVector<unsigned short>{kSqShifter} << 7
                                             << QVector<unsigned short>{kSqShifter, kSqShifter};
    QTest::newRow("named one not open")
        << QVector<unsigned short>{kSqShifter} << 1 << QVector<unsigned short>{};
    QTest::newRow("empty set") << all << 0 << QVector<unsigned short>{};
}

void TestHidWorker::colourGoesTwiceToEachNamedOpenAccessoryInOrder()
{
    QFETCH(QVector<unsigned short>, plugged);
    QFETCH(int, request);
    QFETCH(QVector<unsigned short>, written);
    for (unsigned short pid : plugged)
        FakeHidBus::plug(pid, Mode::Immediate);
    HidWorker worker;
    QSignalSpy done(&worker, SIGNAL(colorUpdated()));
    worker.process();
    const int mark = FakeHidBus::events().size();

    worker.updateColor(QColor(255, 0, 128), devices(request));
    QCOMPARE(done.count(), 1);
    const QVector<FakeHidBus::Event> traffic = eventsSince(mark);
    QCOMPARE(productsOf(traffic, Call::Write), written);
    // Nothing but the writes: no reads, opens or closes on a request.
    QCOMPARE(traffic.size(), written.size());
    for (const FakeHidBus::Event &e : traffic) {
        QCOMPARE(e.bytes, QByteArray("\x02\xff\x80\x00", 4));
        QCOMPARE(e.result, 4);
    }
}

void TestHidWorker::failedWriteIsIgnored()
{
    FakeHidBus::plug(kHandbrake, Mode::Immediate);
    HidWorker worker;
    QSignalSpy spy(&worker, SIGNAL(deviceStateChanged(HidWorker::Device)));
    QSignalSpy done(&worker, SIGNAL(colorUpdated()));
    worker.process();
    FakeHidBus::failWrites(1);
    worker.updateColor(Qt::red, HidWorker::Handbrake);
    QVector<int> results;
    for (const FakeHidBus::Event &e : FakeHidBus::events(Call::Write))
        results.append(e.result);
    QCOMPARE(results, (QVector<int>{-1, 4})); // the second send still goes out
    QCOMPARE(done.count(), 1);
    worker.process();
    QCOMPARE(spy.count(), 1); // still connected, handle kept
    QCOMPARE(FakeHidBus::count(Call::Close), 0);
}

void TestHidWorker::accessoryVanishingBeforeWrite()
{
    FakeHidBus::plug(kHandbrake, Mode::Immediate);
    FakeHidBus::plug(kHShifter, Mode::Immediate);
    HidWorker worker;
    QSignalSpy spy(&worker, SIGNAL(deviceStateChanged(HidWorker::Device)));
    QSignalSpy done(&worker, SIGNAL(colorUpdated()));
    worker.process();
    FakeHidBus::vanishOnWrites(1); // the handbrake goes between the read and the write
    worker.updateColor(Qt::green, devices(7));
    QCOMPARE(done.count(), 1);
    QVector<int> results;
    for (const FakeHidBus::Event &e : FakeHidBus::events(Call::Write))
        results.append(e.result);
    QCOMPARE(results, (QVector<int>{-1, -1, 4, 4}));
    worker.process();
    QCOMPARE(lastState(spy), int(HidWorker::HShifter));
    QCOMPARE(FakeHidBus::openHandles(), 1);
}

void TestHidWorker::hungWriteIsCutShortAndReported()
{
    FakeHidBus::plug(kHandbrake, Mode::Immediate);
    FakeHidBus::plug(kHShifter, Mode::Immediate);
    HidWorker worker;
    QSignalSpy done(&worker, SIGNAL(colorUpdated()));
    QSignalSpy errors(&worker, SIGNAL(errorOccurred(QString)));
    worker.process();
    FakeHidBus::failWrites(1); // fails at once: ignored, as ever
    worker.updateColor(Qt::red, HidWorker::Handbrake);
    QCOMPARE(errors.count(), 0);

    // The handbrake hangs far past the bound; the H shifter still gets its
    // colour and the request ends before the hung write does.
    FakeHidBus::delayWrites(1500);
    int mark = FakeHidBus::events().size();
    worker.updateColor(Qt::blue, devices(5));
    QCOMPARE(done.count(), 2);
    QCOMPARE(productsOf(eventsSince(mark), Call::Write),
             (QVector<unsigned short>{kHShifter, kHShifter}));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.last().at(0).toString(),
             QString("No answer from Handbrake: the colour may not have arrived"));

    // Meanwhile a pass opens nothing (Linux would hold the open until the
    // hung write ends) and still counts it; requests skip it at once, and
    // the hang is told of once, not once per colour.
    QSignalSpy state(&worker, SIGNAL(deviceStateChanged(HidWorker::Device)));
    FakeHidBus::plug(kSqShifter, Mode::Immediate);
    mark = FakeHidBus::events().size();
    worker.process();
    QCOMPARE(state.count(), 0);
    QCOMPARE(productsOf(eventsSince(mark), Call::Open), QVector<unsigned short>{});
    mark = FakeHidBus::events().size();
    worker.updateColor(Qt::green, HidWorker::Handbrake);
    worker.updateColor(Qt::green, devices(5));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(productsOf(eventsSince(mark), Call::Write),
             (QVector<unsigned short>{kHShifter, kHShifter}));

    // When it lets go, the hung handle is closed without a second send; the
    // next pass says so once, then the state, and the next colour reaches
    // the accessory twice again. Waited for without events: a timed pass
    // would open the accessories again as soon as the hang ends.
    const QDeadlineTimer deadline(5000);
    while (FakeHidBus::openHandles() != 1 && !deadline.hasExpired())
        QThread::msleep(1);
    QCOMPARE(FakeHidBus::openHandles(), 1);
    QCOMPARE(productsOf(eventsSince(mark), Call::Write),
             (QVector<unsigned short>{kHShifter, kHShifter, kHandbrake}));
    worker.process();
    QCOMPARE(lastState(state), 7);
    QCOMPARE(errors.count(), 2);
    QCOMPARE(errors.last().at(0).toString(), QString("Handbrake answering again"));
    const int writes = FakeHidBus::count(Call::Write);
    worker.updateColor(Qt::green, HidWorker::Handbrake);
    worker.process();
    QCOMPARE(FakeHidBus::count(Call::Write), writes + 2);
    QCOMPARE(errors.count(), 2);
    QCOMPARE(state.count(), 1);
}

void TestHidWorker::failedOpensAndReads()
{
    FakeHidBus::plug(kHandbrake, Mode::Immediate);
    HidWorker worker;
    QSignalSpy spy(&worker, SIGNAL(deviceStateChanged(HidWorker::Device)));
    FakeHidBus::failOpens(1);
    worker.process();
    QCOMPARE(lastState(spy), 0);
    worker.process();
    QCOMPARE(lastState(spy), int(HidWorker::Handbrake));
    FakeHidBus::failReads(1);
    worker.process(); // the read fails: closed, reported gone
    QCOMPARE(lastState(spy), 0);
    QCOMPARE(FakeHidBus::openHandles(), 0);
    worker.process(); // still plugged: reopened
    QCOMPARE(lastState(spy), int(HidWorker::Handbrake));
    QCOMPARE(spy.count(), 4);
}

void TestHidWorker::faultsInAnyOrderNeitherCrashNorLeak()
{
    const unsigned short products[] = {kHandbrake, kSqShifter, kHShifter};
    for (quint32 seed = 1; seed <= 20; ++seed) {
        FakeHidBus::reset();
        QRandomGenerator rng(seed);
        auto worker = std::make_unique<HidWorker>();
        QSignalSpy spy(worker.get(), SIGNAL(deviceStateChanged(HidWorker::Device)));
        QSignalSpy done(worker.get(), SIGNAL(colorUpdated()));
        QVector<int> plugged;
        int requests = 0;
        for (int step = 0; step < 60; ++step) {
            switch (rng.bounded(8)) {
            case 0:
                plugged.append(FakeHidBus::plug(products[rng.bounded(3)], Mode::Immediate));
                break;
            case 1:
                if (!plugged.isEmpty())
                    FakeHidBus::unplug(plugged.takeAt(int(rng.bounded(plugged.size()))));
                break;
            case 2:
                FakeHidBus::failOpens(int(rng.bounded(4)));
                break;
            case 3:
                FakeHidBus::failReads(int(rng.bounded(4)));
                break;
            case 4:
                FakeHidBus::failWrites(int(rng.bounded(4)));
                break;
            case 5:
                FakeHidBus::vanishOnWrites(int(rng.bounded(2)));
                break;
            case 6:
                worker->updateColor(QColor::fromRgb(rng.generate()), devices(int(rng.bounded(8))));
                QCOMPARE(done.count(), ++requests);
                break;
            default:
                worker->process();
                // Every open handle is reported, and nothing more.
                QCOMPARE(FakeHidBus::openHandles(), qPopulationCount(quint32(lastState(spy))));
                break;
            }
        }
        worker.reset();
        QCOMPARE(FakeHidBus::openHandles(), 0);
        QCOMPARE(FakeHidBus::count(Call::Exit), 1);
        for (const FakeHidBus::Event &e : FakeHidBus::events(Call::Close))
            QVERIFY2(e.result == 0, "a handle was closed twice");
        QCOMPARE(FakeHidBus::count(Call::Init), 0);
    }
}

void TestHidWorker::libraryThatCannotStartIsNamedOnce()
{
    FakeHidBus::failInit(QStringLiteral("resolve DLL functions"));
    HidWorker worker;
    worker.setStartCheck(HidLibrary::startError);
    QStringList seen;
    connect(&worker, &HidWorker::deviceStateChanged, this,
            [&seen](HidWorker::Device state) { seen << QString::number(state); });
    connect(&worker, &HidWorker::errorOccurred, this,
            [&seen](const QString &message) { seen << message; });
    for (int i = 0; i < 3; ++i)
        worker.process();
    // The error after the state, so that it is what the window shows, and once.
    QCOMPARE(seen, (QStringList{"0", "USB HID support failed to start: resolve DLL functions"}));
    QCOMPARE(FakeHidBus::count(Call::Init), 3);

    // Once the library starts, the unchanged state is reported again in place
    // of the error, and hid_init is not called any more.
    FakeHidBus::failInit(QString());
    worker.process();
    worker.process();
    QCOMPARE(seen.mid(2), QStringList{"0"});
    QCOMPARE(FakeHidBus::count(Call::Init), 4);
}

void TestHidWorker::destructorClosesSlotsAndExits_data()
{
    QTest::addColumn<QVector<unsigned short>>("plugged");
    QTest::addColumn<QVector<unsigned short>>("closed"); // 0: a null handle
    QTest::newRow("all slots empty")
        << QVector<unsigned short>{} << QVector<unsigned short>{0, 0, 0};
    QTest::newRow("all open") << QVector<unsigned short>{kHShifter, kHandbrake, kSqShifter}
                              << QVector<unsigned short>{kHandbrake, kSqShifter, kHShifter};
    QTest::newRow("only SQ open") << QVector<unsigned short>{kSqShifter}
                                  << QVector<unsigned short>{0, kSqShifter, 0};
}

void TestHidWorker::destructorClosesSlotsAndExits()
{
    QFETCH(QVector<unsigned short>, plugged);
    QFETCH(QVector<unsigned short>, closed);
    for (unsigned short pid : plugged)
        FakeHidBus::plug(pid, Mode::Immediate);
    auto worker = std::make_unique<HidWorker>();
    worker->process();
    const int mark = FakeHidBus::events().size();
    worker.reset();
    const QVector<FakeHidBus::Event> teardown = eventsSince(mark);
    QCOMPARE(teardown.size(), 4);
    QCOMPARE(productsOf(teardown, Call::Close), closed);
    QCOMPARE(teardown.last().call, Call::Exit);
    QCOMPARE(FakeHidBus::openHandles(), 0);
}

void TestHidWorker::runsInItsOwnThread()
{
    FakeHidBus::plug(kHandbrake, Mode::WaitTimeout);
    FakeHidBus::plug(kSqShifter, Mode::WaitTimeout);
    FakeHidBus::plug(kHShifter, Mode::WaitTimeout);

    QThread thread;
    auto *worker = new HidWorker;
    worker->moveToThread(&thread);
    Relay relay;
    connect(&thread, SIGNAL(started()), worker, SLOT(process()));
    connect(&thread, SIGNAL(finished()), worker, SLOT(deleteLater()));
    connect(worker, SIGNAL(deviceStateChanged(HidWorker::Device)), &relay,
            SIGNAL(deviceStateChanged(HidWorker::Device)));
    connect(worker, SIGNAL(colorUpdated()), &relay, SIGNAL(colorUpdated()));
    connect(&relay, SIGNAL(colorUpdateRequested(QColor, HidWorker::Device)), worker,
            SLOT(updateColor(QColor, HidWorker::Device)));
    QSignalSpy state(&relay, SIGNAL(deviceStateChanged(HidWorker::Device)));
    QSignalSpy done(&relay, SIGNAL(colorUpdated()));
    QSignalSpy destroyed(worker, SIGNAL(destroyed()));
    thread.start();

    QVERIFY(state.wait(5000));
    QCOMPARE(lastState(state), 7);

    // Passes keep coming, each re-armed 100 ms after the previous one ended.
    QVERIFY(FakeHidBus::waitFor(Call::Read, 9));
    const QVector<FakeHidBus::Event> reads = FakeHidBus::events(Call::Read);
    for (int i = 3; i < 9; i += 3)
        QVERIFY2(reads.at(i).timeNs - reads.at(i - 1).timeNs >= 95 * 1000000LL,
                 "a pass started less than 100 ms after the previous one");

    // A queued request crosses the thread boundary and is answered.
    emit relay.colorUpdateRequested(QColor(255, 0, 128), devices(7));
    QVERIFY(done.wait(5000));
    QCOMPARE(FakeHidBus::count(Call::Write), 6);

    // Stop while a read is waiting out its time-out.
    const int readsSoFar = FakeHidBus::count(Call::Read);
    QVERIFY(FakeHidBus::waitFor(Call::Read, readsSoFar + 1));
    thread.quit();
    QVERIFY(thread.wait(3000));
    QCOMPARE(destroyed.count(), 1); // deleted in its thread as the thread ended
    QCOMPARE(FakeHidBus::count(Call::Exit), 1);
    QCOMPARE(FakeHidBus::openHandles(), 0);
    QCOMPARE(state.count(), 1);
}

QTEST_GUILESS_MAIN(TestHidWorker)
#include "test_hidworker.moc"
