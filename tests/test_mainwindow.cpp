// SPDX-License-Identifier: MIT
#include "fakehidbus.h"
#include "queuedcallcounter.h"
#include "hidworker.h"
#include "mainwindow.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QSignalSpy>
#include <QSpacerItem>
#include <QStatusBar>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

using Call = FakeHidBus::Call;
using Mode = FakeHidBus::ReadMode;

namespace {

HidWorker::Device devices(int bits)
{
    return static_cast<HidWorker::Device>(bits);
}

QByteArray reportOf(const QColor &c)
{
    const HidWorker::ColorReport r = HidWorker::colorReport(c);
    return QByteArray(reinterpret_cast<const char *>(r.data()), int(r.size()));
}

// The colours the accessories received, one entry per write.
QVector<QByteArray> writtenReports()
{
    QVector<QByteArray> out;
    for (const FakeHidBus::Event &e : FakeHidBus::events(Call::Write))
        out.append(e.bytes);
    return out;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void interfaceIsBuiltAsLaidOut();
    void windowHasFixedSizeAndIcon();
    void startsWithDisabledBoxesAndEmptyStatus();

    void deviceStateEnablesBoxesAndShowsCount_data();
    void deviceStateEnablesBoxesAndShowsCount();
    void followsAccessoriesThroughTheWorker();
    void statusNamesAHidLibraryThatCannotStart();

    void colourGoesToCheckedBoxes();
    void colourWithNoBoxCheckedIsDropped();
    void coloursArrivingWhileSendingKeepOnlyTheLast();
    void uncheckingLastBoxDropsWaitingColour();
    void hungAccessoryIsShownInStatusBar();
    void countIsShownAgainWhenTheHangEnds();

    void shutDownWhileReadWaits();
    void destroyedWhileRequestInFlight();

private:
    // Builds the window and waits for the worker's first report.
    void makeWindow();
    void setState(HidWorker::Device state);
    void updateColor(const QColor &color);
    QCheckBox *box(const char *name) { return window->findChild<QCheckBox *>(name); }
    QString status() { return window->statusBar()->currentMessage(); }

    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QueuedCallCounter> queued;
};

void TestMainWindow::init()
{
    FakeHidBus::reset();
}

void TestMainWindow::cleanup()
{
    queued.reset();
    window.reset();
}

void TestMainWindow::makeWindow()
{
    window = std::make_unique<MainWindow>();
    queued = std::make_unique<QueuedCallCounter>(window.get());
    QTRY_VERIFY_WITH_TIMEOUT(queued->count >= 1, 5000);
}

void TestMainWindow::setState(HidWorker::Device state)
{
    QVERIFY(QMetaObject::invokeMethod(window.get(), "setDeviceState", Qt::DirectConnection,
                                      Q_ARG(HidWorker::Device, state)));
}

void TestMainWindow::updateColor(const QColor &color)
{
    QVERIFY(QMetaObject::invokeMethod(window.get(), "updateColor", Qt::DirectConnection,
                                      Q_ARG(QColor, color)));
}

void TestMainWindow::interfaceIsBuiltAsLaidOut()
{
    MainWindow w;
    QCOMPARE(w.objectName(), QString("MainWindow"));
    QCOMPARE(w.windowTitle(), QString("Brimsel tool"));

    auto *central = w.centralWidget();
    QVERIFY(central);
    QCOMPARE(central->objectName(), QString("centralWidget"));

    auto *horizontal = qobject_cast<QHBoxLayout *>(central->layout());
    QVERIFY(horizontal);
    QCOMPARE(horizontal->objectName(), QString("horizontalLayout"));
    QCOMPARE(horizontal->spacing(), 6);
    QCOMPARE(horizontal->contentsMargins(), QMargins(9, 6, 9, 3));
    QCOMPARE(horizontal->count(), 1);

    auto *main = qobject_cast<QHBoxLayout *>(horizontal->itemAt(0)->layout());
    QVERIFY(main);
    QCOMPARE(main->objectName(), QString("mainLayout"));
    QCOMPARE(main->spacing(), 20);
    QCOMPARE(main->count(), 2);

    auto *left = qobject_cast<QVBoxLayout *>(main->itemAt(0)->layout());
    auto *right = qobject_cast<QVBoxLayout *>(main->itemAt(1)->layout());
    QVERIFY(left && right);
    QCOMPARE(left->objectName(), QString("leftLayout"));
    QCOMPARE(right->objectName(), QString("rightLayout"));
    QCOMPARE(left->spacing(), 6);
    QCOMPARE(right->spacing(), 6);
    int l, t, r, b;
    left->getContentsMargins(&l, &t, &r, &b);
    QCOMPARE(QMargins(l, t, r, b), QMargins(0, 12, 0, 0)); // a nested layout's default is 0
    QCOMPARE(right->count(), 1);                           // the colour panel

    const char *names[] = {"checkBox_h", "checkBox_sq", "checkBox_hb"};
    const char *texts[] = {"H Shifter", "SQ Shifter", "Handbrake"};
    QCOMPARE(left->count(), 4);
    for (int i = 0; i < 3; ++i) {
        auto *box = qobject_cast<QCheckBox *>(left->itemAt(i)->widget());
        QVERIFY(box);
        QCOMPARE(box->objectName(), QString(names[i]));
        QCOMPARE(box->text(), QString(texts[i]));
        QCOMPARE(box->parentWidget(), central);
        QCOMPARE(box->font().pointSize(), 10);
        QVERIFY(!box->isEnabled());
        QVERIFY(!box->isChecked());
        QCOMPARE(left->stretch(i), 0);
        QCOMPARE(left->itemAt(i)->alignment(), Qt::Alignment());
    }
    QSpacerItem *spacer = left->itemAt(3)->spacerItem();
    QVERIFY(spacer);
    QCOMPARE(spacer->sizeHint(), QSize(20, 40));
    QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Minimum);
    QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);

    QStatusBar *bar = w.statusBar();
    QCOMPARE(bar->objectName(), QString("statusBar"));
    QCOMPARE(bar->parentWidget(), &w);
    QVERIFY(!bar->isSizeGripEnabled());
}

void TestMainWindow::windowHasFixedSizeAndIcon()
{
    const QIcon logo(":/logo_app_48.ico");
    QVERIFY(!logo.isNull());
    QVERIFY(logo.availableSizes().contains(QSize(48, 48)));

    MainWindow w;
    QVERIFY(!w.windowIcon().isNull());
    QVERIFY(w.windowIcon().availableSizes().contains(QSize(48, 48)));
    QCOMPARE(w.sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(w.sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(w.layout()->sizeConstraint(), QLayout::SetFixedSize);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.minimumSize(), w.maximumSize()); // the user cannot resize it
    QCOMPARE(w.size(), w.minimumSize());
}

void TestMainWindow::startsWithDisabledBoxesAndEmptyStatus()
{
    window = std::make_unique<MainWindow>();
    // The worker's report is queued; nothing shows before the event loop runs.
    QCOMPARE(status(), QString());
    for (const char *name : {"checkBox_h", "checkBox_sq", "checkBox_hb"})
        QVERIFY(!box(name)->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(status(), QString("Device not found"), 5000);
}

void TestMainWindow::deviceStateEnablesBoxesAndShowsCount_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("text");
    QTest::newRow("none") << 0 << "Device not found";
    QTest::newRow("handbrake") << 1 << "1 Device connected";
    QTest::newRow("SQ shifter") << 2 << "1 Device connected";
    QTest::newRow("handbrake and SQ") << 3 << "2 Devices connected";
    QTest::newRow("H shifter") << 4 << "1 Device connected";
    QTest::newRow("handbrake and H") << 5 << "2 Devices connected";
    QTest::newRow("SQ and H") << 6 << "2 Devices connected";
    QTest::newRow("all") << 7 << "3 Devices connected";
}

void TestMainWindow::deviceStateEnablesBoxesAndShowsCount()
{
    QFETCH(int, state);
    QFETCH(QString, text);
    makeWindow();
    // Check marks belong to the user: a state change never touches them.
    box("checkBox_sq")->setChecked(true);
    for (int before : {7, 0, state ^ 7}) {
        setState(devices(before));
        setState(devices(state));
        QCOMPARE(status(), text);
        QCOMPARE(box("checkBox_hb")->isEnabled(), bool(state & 1));
        QCOMPARE(box("checkBox_sq")->isEnabled(), bool(state & 2));
        QCOMPARE(box("checkBox_h")->isEnabled(), bool(state & 4));
        QVERIFY(!box("checkBox_hb")->isChecked());
        QVERIFY(box("checkBox_sq")->isChecked());
        QVERIFY(!box("checkBox_h")->isChecked());
    }
}

void TestMainWindow::followsAccessoriesThroughTheWorker()
{
    FakeHidBus::plug(AccessoryTable::HandbrakeProductId, Mode::Immediate);
    const int h = FakeHidBus::plug(AccessoryTable::HShifterProductId, Mode::Immediate);
    makeWindow();
    QTRY_COMPARE_WITH_TIMEOUT(status(), QString("2 Devices connected"), 5000);
    QVERIFY(box("checkBox_hb")->isEnabled());
    QVERIFY(!box("checkBox_sq")->isEnabled());
    QVERIFY(box("checkBox_h")->isEnabled());

    FakeHidBus::unplug(h);
    QTRY_COMPARE_WITH_TIMEOUT(status(), QString("1 Device connected"), 5000);
    QVERIFY(!box("checkBox_h")->isEnabled());
    QVERIFY(box("checkBox_hb")->isEnabled());
}

void TestMainWindow::statusNamesAHidLibraryThatCannotStart()
{
    FakeHidBus::failInit(QStringLiteral("no hid.dll"));
    makeWindow();
    const QString error("USB HID support failed to start: no hid.dll");
    QTRY_COMPARE_WITH_TIMEOUT(status(), error, 5000);
    // Later passes, failing again, leave it in place of "Device not found".
    QVERIFY(FakeHidBus::waitFor(Call::Init, FakeHidBus::count(Call::Init) + 2));
    QCOMPARE(status(), error);
}

void TestMainWindow::colourGoesToCheckedBoxes()
{
    FakeHidBus::plug(AccessoryTable::HandbrakeProductId, Mode::Immediate);
    FakeHidBus::plug(AccessoryTable::SqShifterProductId, Mode::Immediate);
    FakeHidBus::plug(AccessoryTable::HShifterProductId, Mode::Immediate);
    makeWindow();
    QSignalSpy requests(window.get(), SIGNAL(colorUpdateRequested(QColor, HidWorker::Device)));
    box("checkBox_h")->setChecked(true);
    box("checkBox_hb")->setChecked(true);
    updateColor(QColor(255, 0, 128));
    QCOMPARE(requests.count(), 1);
    QCOMPARE(requests.at(0).at(0).value<QColor>(), QColor(255, 0, 128));
    QCOMPARE(int(requests.at(0).at(1).value<HidWorker::Device>()), 5);

    // Through the worker to the accessories: handbrake twice, then H shifter twice.
    QVERIFY(FakeHidBus::waitFor(Call::Write, 4));
    QVector<unsigned short> targets;
    for (const FakeHidBus::Event &e : FakeHidBus::events(Call::Write)) {
        targets.append(e.productId);
        QCOMPARE(e.bytes, QByteArray("\x02\xff\x80\x00", 4));
    }
    QCOMPARE(targets, (QVector<unsigned short>{0x3103, 0x3103, 0x3104, 0x3104}));
}

void TestMainWindow::colourWithNoBoxCheckedIsDropped()
{
    makeWindow();
    QSignalSpy requests(window.get(), SIGNAL(colorUpdateRequested(QColor, HidWorker::Device)));
    updateColor(Qt::red);
    updateColor(Qt::blue);
    QCOMPARE(requests.count(), 0);
    // Ticking a box sends nothing by itself; the next colour goes out at once.
    box("checkBox_sq")->setChecked(true);
    QCOMPARE(requests.count(), 0);
    updateColor(Qt::green);
    QCOMPARE(requests.count(), 1);
    QCOMPARE(requests.at(0).at(0).value<QColor>(), QColor(Qt::green));
    QCOMPARE(int(requests.at(0).at(1).value<HidWorker::Device>()), 2);
}

void TestMainWindow::coloursArrivingWhileSendingKeepOnlyTheLast()
{
    FakeHidBus::plug(AccessoryTable::HandbrakeProductId, Mode::Immediate);
    makeWindow();
    QTRY_COMPARE_WITH_TIMEOUT(status(), QString("1 Device connected"), 5000);
    const int base = queued->count;
    QSignalSpy requests(window.get(), SIGNAL(colorUpdateRequested(QColor, HidWorker::Device)));
    box("checkBox_hb")->setChecked(true);

    const QColor colours[] = {QColor(1, 1, 1), QColor(2, 2, 2), QColor(3, 3, 3),
                              QColor(4, 4, 4), QColor(5, 5, 5), QColor(6, 6, 6)};
    for (const QColor &c : colours)
        updateColor(c);
    QCOMPARE(requests.count(), 1); // the rest wait for the first to finish

    // The first request's answer sends the waiting colour; the second's
    // leaves the window idle.
    QTRY_VERIFY_WITH_TIMEOUT(queued->count >= base + 2, 5000);
    QCOMPARE(queued->count, base + 2);
    QCOMPARE(requests.count(), 2);
    QCOMPARE(requests.at(1).at(0).value<QColor>(), colours[5]);
    QCOMPARE(writtenReports(), (QVector<QByteArray>{reportOf(colours[0]), reportOf(colours[0]),
                                                    reportOf(colours[5]), reportOf(colours[5])}));

    updateColor(Qt::red); // idle again: sent at once
    QCOMPARE(requests.count(), 3);
}

void TestMainWindow::uncheckingLastBoxDropsWaitingColour()
{
    makeWindow();
    const int base = queued->count;
    QSignalSpy requests(window.get(), SIGNAL(colorUpdateRequested(QColor, HidWorker::Device)));
    box("checkBox_hb")->setChecked(true);
    updateColor(Qt::red);
    updateColor(Qt::green); // waits
    box("checkBox_hb")->setChecked(false);
    QTRY_COMPARE_WITH_TIMEOUT(queued->count, base + 1, 5000);
    QCOMPARE(requests.count(), 1); // green was dropped

    box("checkBox_h")->setChecked(true);
    updateColor(Qt::blue); // the window is idle: sent at once
    QCOMPARE(requests.count(), 2);
    QCOMPARE(requests.at(1).at(0).value<QColor>(), QColor(Qt::blue));
    QCOMPARE(int(requests.at(1).at(1).value<HidWorker::Device>()), 4);
}

void TestMainWindow::hungAccessoryIsShownInStatusBar()
{
    FakeHidBus::plug(AccessoryTable::SqShifterProductId, Mode::Immediate);
    makeWindow();
    QTRY_COMPARE_WITH_TIMEOUT(status(), QString("1 Device connected"), 5000);
    box("checkBox_sq")->setChecked(true);
    FakeHidBus::delayWrites(1500);
    updateColor(Qt::red);
    QTRY_COMPARE_WITH_TIMEOUT(
        status(), QString("No answer from SQ Shifter: the colour may not have arrived"), 5000);
    cleanup();
    QTRY_COMPARE_WITH_TIMEOUT(FakeHidBus::openHandles(), 0, 5000);
}

void TestMainWindow::countIsShownAgainWhenTheHangEnds()
{
    FakeHidBus::plug(AccessoryTable::HandbrakeProductId, Mode::Immediate);
    FakeHidBus::plug(AccessoryTable::SqShifterProductId, Mode::Immediate);
    makeWindow();
    QTRY_COMPARE_WITH_TIMEOUT(status(), QString("2 Devices connected"), 5000);
    box("checkBox_sq")->setChecked(true);
    FakeHidBus::delayWrites(800);
    updateColor(Qt::red);
    QTRY_COMPARE_WITH_TIMEOUT(
        status(), QString("No answer from SQ Shifter: the colour may not have arrived"), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(status(), QString("2 Devices connected"), 5000);
}

void TestMainWindow::shutDownWhileReadWaits()
{
    FakeHidBus::plug(AccessoryTable::HandbrakeProductId, Mode::WaitTimeout);
    FakeHidBus::plug(AccessoryTable::SqShifterProductId, Mode::WaitTimeout);
    FakeHidBus::plug(AccessoryTable::HShifterProductId, Mode::WaitTimeout);
    makeWindow();
    QTRY_COMPARE_WITH_TIMEOUT(status(), QString("3 Devices connected"), 5000);

    // Right after the handbrake's read the SQ shifter's read starts and waits 50 ms.
    auto handbrakeReads = [] {
        int n = 0;
        for (const FakeHidBus::Event &e : FakeHidBus::events(Call::Read))
            n += e.productId == AccessoryTable::HandbrakeProductId;
        return n;
    };
    const int before = handbrakeReads();
    QTRY_VERIFY_WITH_TIMEOUT(handbrakeReads() > before, 5000);
    QElapsedTimer clock;
    clock.start();
    cleanup();
    qInfo("window destroyed after %lld ms", clock.elapsed());

    // The destructor waited for the thread: the worker is gone, and with it
    // every handle and the HID library.
    QCOMPARE(FakeHidBus::count(Call::Exit), 1);
    QCOMPARE(FakeHidBus::openHandles(), 0);
    QCOMPARE(FakeHidBus::count(Call::Close), 3);
}

void TestMainWindow::destroyedWhileRequestInFlight()
{
    FakeHidBus::plug(AccessoryTable::HandbrakeProductId, Mode::WaitTimeout);
    FakeHidBus::plug(AccessoryTable::SqShifterProductId, Mode::WaitTimeout);
    makeWindow();
    QTRY_COMPARE_WITH_TIMEOUT(status(), QString("2 Devices connected"), 5000);
    for (const char *name : {"checkBox_h", "checkBox_sq", "checkBox_hb"})
        box(name)->setChecked(true);
    updateColor(Qt::red);
    updateColor(Qt::green); // waiting behind the first
    cleanup();
    QCOMPARE(FakeHidBus::count(Call::Exit), 1);
    QCOMPARE(FakeHidBus::openHandles(), 0);

    // A window torn down before its worker's first pass shuts down as cleanly.
    FakeHidBus::reset();
    FakeHidBus::plug(AccessoryTable::HandbrakeProductId, Mode::WaitTimeout);
    window = std::make_unique<MainWindow>();
    cleanup();
    QCOMPARE(FakeHidBus::count(Call::Exit), 1);
    QCOMPARE(FakeHidBus::openHandles(), 0);
}

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
