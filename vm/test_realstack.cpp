// SPDX-License-Identifier: MIT
// The window and its worker over the real hidapi and kernel, in the VM lab:
// run by the guest's start-up script with uhid-accessory already running.
#include "hidworker.h"
#include "labaccessories.h"
#include "mainwindow.h"
#include "mycolorwidget.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QProcess>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

constexpr unsigned short kVendor = AccessoryTable::VendorId;
const QString kHungStatus = QStringLiteral("No answer from %1: the colour may not have arrived");

QString report(const QColor &c)
{
    return QString::asprintf("02 %02x %02x %02x", c.red(), c.blue(), c.green());
}

// Closes a window while its worker writes to hung accessories, the way the
// program ends: the loop returns and the window is destroyed. The colour goes
// once all three are shown, and the close once the first hung one has its
// write. A fixed schedule fails on a slow machine: a close that comes while
// the worker is still in a pass ends its thread with the colour still queued.
int closeWhileHung(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString firstHung = QString::fromLocal8Bit(argv[2]);
    LabAccessories lab;
    auto window = std::make_unique<MainWindow>();
    window->show();
    QElapsedTimer sinceStart;
    sinceStart.start();
    qint64 shownMs = -1;
    qint64 mark = 0;
    double colourAt = 0, writeAt = 0;
    QTimer step;
    QObject::connect(&step, &QTimer::timeout, [&] {
        if (shownMs < 0) {
            const bool allShown =
                window->statusBar()->currentMessage() == QLatin1String("3 Devices connected");
            if (!allShown && sinceStart.elapsed() < 30000)
                return;
            shownMs = sinceStart.elapsed();
            for (QCheckBox *box : window->findChildren<QCheckBox *>())
                box->setChecked(true);
            mark = lab.mark();
            colourAt = LabAccessories::now();
            window->findChild<MyColorWidget *>()->setCurrentColor(QColor(1, 2, 3));
            return;
        }
        const QStringList writes = lab.lines(mark, "SET_REPORT", firstHung);
        if (!writes.isEmpty())
            writeAt = LabAccessories::timeOf(writes.first());
        if (!writes.isEmpty() || sinceStart.elapsed() > shownMs + 30000) {
            step.stop();
            window->close();
        }
    });
    step.start(20);
    const int status = app.exec();
    QElapsedTimer clock;
    clock.start();
    window.reset();
    std::printf("window destroyed %lld ms after the close (all three shown after %lld ms, "
                "the first write %.0f ms after the colour)\n",
                clock.elapsed(), shownMs, writeAt > 0 ? (writeAt - colourAt) * 1000 : -1.0);
    std::fflush(stdout);
    return status;
}

} // namespace

class TestRealStack : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void plugInIsShownWithinAPass();
    void colourReachesEveryTickedAccessory();
    void unplugWhileIdle();
    void unplugDuringWrite();
    void replugIsNoticedAndNextColourArrives();
    void twoAccessoriesWithOneProduct();
    void accessoriesSendingInputReports();
    void errorAnswerIsIgnored();
    void hungAccessoryKeepsWindowResponsive();
    void closingWithHungWritesEndsTheProgram();
    void closingWithOneHungAndTwoOpenEndsTheProgram();

private:
    // Runs this program to close its window while the named accessories
    // hang, of the three plugged in; returns how long the destructor took.
    void closeProgramWhileHung(const QStringList &hung);
    void makeWindow();
    // Both plugged in, the window showing them, and both boxes ticked.
    void tickHandbrakeAndHShifter();
    void plug(const QString &name, unsigned short product, int count = 1);
    void unplug(const QString &name, unsigned short product, int remaining = 0);
    void setColor(const QColor &color);
    QCheckBox *box(const char *name) { return window->findChild<QCheckBox *>(name); }
    QString status() { return window->statusBar()->currentMessage(); }

    LabAccessories lab;
    std::unique_ptr<MainWindow> window;
};

void TestRealStack::initTestCase()
{
    QVERIFY2(lab.isRunning(), "uhid-accessory is not running");
    QCOMPARE(LabAccessories::hidrawNodes(kVendor, AccessoryTable::HandbrakeProductId), 0);
}

void TestRealStack::cleanup()
{
    window.reset();
    for (const char *name : {"hb", "sq", "h", "hb2"}) {
        lab.command(QStringLiteral("answer %1 ok").arg(name));
        lab.command(QStringLiteral("input %1 0").arg(name));
        lab.command(QStringLiteral("unplug %1").arg(name));
    }
    for (unsigned short pid :
         {AccessoryTable::HandbrakeProductId, AccessoryTable::SqShifterProductId,
          AccessoryTable::HShifterProductId})
        QVERIFY(LabAccessories::waitForHidrawNodes(kVendor, pid, 0));
    QCOMPARE(LabAccessories::openHidrawHandles(), 0);
}

void TestRealStack::makeWindow()
{
    window = std::make_unique<MainWindow>();
    window->show();
    QTRY_VERIFY_WITH_TIMEOUT(!status().isEmpty(), 10000);
}

void TestRealStack::plug(const QString &name, unsigned short product, int count)
{
    lab.command(QStringLiteral("plug %1 %2").arg(name).arg(product, 4, 16, QLatin1Char('0')));
    QVERIFY(LabAccessories::waitForHidrawNodes(kVendor, product, count));
}

void TestRealStack::unplug(const QString &name, unsigned short product, int remaining)
{
    lab.command(QStringLiteral("unplug %1").arg(name));
    QVERIFY(LabAccessories::waitForHidrawNodes(kVendor, product, remaining));
}

void TestRealStack::setColor(const QColor &color)
{
    window->findChild<MyColorWidget *>()->setCurrentColor(color);
}

void TestRealStack::tickHandbrakeAndHShifter()
{
    plug("hb", AccessoryTable::HandbrakeProductId);
    plug("h", AccessoryTable::HShifterProductId);
    makeWindow();
    QTRY_COMPARE_WITH_TIMEOUT(status(), QString("2 Devices connected"), 5000);
    box("checkBox_hb")->setChecked(true);
    box("checkBox_h")->setChecked(true);
}

void TestRealStack::plugInIsShownWithinAPass()
{
    makeWindow();
    QCOMPARE(status(), QString("Device not found"));
    QVERIFY(!box("checkBox_hb")->isEnabled());

    const qint64 mark = lab.mark();
    plug("hb", AccessoryTable::HandbrakeProductId);
    QTRY_COMPARE_WITH_TIMEOUT(status(), QString("1 Device connected"), 5000);
    const double shown = LabAccessories::now();
    QVERIFY(box("checkBox_hb")->isEnabled());
    QVERIFY(!box("checkBox_sq")->isEnabled());
    const QStringList plugged = lab.lines(mark, "PLUG", "hb");
    QCOMPARE(plugged.size(), 1);
    qInfo("plug-in to status bar: %.0f ms",
          (shown - LabAccessories::timeOf(plugged.first())) * 1000);
    // The worker opened it: the kernel told the accessory.
    QVERIFY(lab.waitFor(mark, "OPEN", "hb", 1));
    QCOMPARE(LabAccessories::openHidrawHandles(), 1);
}

void TestRealStack::colourReachesEveryTickedAccessory()
{
    plug("hb", AccessoryTable::HandbrakeProductId);
    plug("sq", AccessoryTable::SqShifterProductId);
    plug("h", AccessoryTable::HShifterProductId);
    makeWindow();
    QTRY_COMPARE_WITH_TIMEOUT(status(), QString("3 Devices connected"), 5000);
    box("checkBox_hb")->setChecked(true);
    box("checkBox_h")->setChecked(true);

    const qint64 mark = lab.mark();
    const QColor color(255, 0, 128);
    setColor(color);
    QVERIFY(lab.waitFor(mark, "SET_REPORT", "h", 2));
    QTest::qWait(500); // nothing more may follow
    QCOMPARE(lab.reports(mark, "hb"), QStringList({report(color), report(color)}));
    QCOMPARE(lab.reports(mark, "h"), QStringList({report(color), report(color)}));
    QCOMPARE(lab.reports(mark, "sq"), QStringList());
    // Feature report 2 as the kernel hands it over: the ID byte first.
    QVERIFY(lab.lines(mark, "SET_REPORT", "hb").first().contains("rnum=2 rtype=feature size=4"));
}

void TestRealStack::unplugWhileIdle()
{
    plug("hb", AccessoryTable::HandbrakeProductId);
    plug("sq", AccessoryTable::SqShifterProductId);
    makeWindow();
    QTRY_COMPARE_WITH_TIMEOUT(status(), QString("2 Devices connected"), 5000);
    QCOMPARE(LabAccessories::openHidrawHandles(), 2);

    unplug("sq", AccessoryTable::SqShifterProductId);
    QTRY_COMPARE_WITH_TIMEOUT(status(), QString("1 Device connected"), 5000);
    QVERIFY(!box("checkBox_sq")->isEnabled());
    QVERIFY(box("checkBox_hb")->isEnabled());
    QCOMPARE(LabAccessories::openHidrawHandles(), 1); // its handle was closed

    unplug("hb", AccessoryTable::HandbrakeProductId);
    QTRY_COMPARE_WITH_TIMEOUT(status(), QString("Device not found"), 5000);
    QCOMPARE(LabAccessories::openHidrawHandles(), 0);
}

void TestRealStack::unplugDuringWrite()
{
    tickHandbrakeAndHShifter();

    // The handbrake goes away instead of answering the first send.
    lab.command("answer hb vanish");
    const qint64 mark = lab.mark();
    setColor(QColor(10, 20, 30));
    QVERIFY(lab.waitFor(mark, "UNPLUG", "hb", 1));
    QTRY_COMPARE_WITH_TIMEOUT(status(), QString("1 Device connected"), 5000);
    QVERIFY(!box("checkBox_hb")->isEnabled());
    QCOMPARE(lab.reports(mark, "h"),
             QStringList({report(QColor(10, 20, 30)), report(QColor(10, 20, 30))}));
    QCOMPARE(lab.reports(mark, "hb").size(), 1);
    QCOMPARE(LabAccessories::openHidrawHandles(), 1);

    // The window is idle again: the next colour goes out.
    const qint64 next = lab.mark();
    setColor(QColor(40, 50, 60));
    QVERIFY(lab.waitFor(next, "SET_REPORT", "h", 2));
}

void TestRealStack::replugIsNoticedAndNextColourArrives()
{
    plug("sq", AccessoryTable::SqShifterProductId);
    makeWindow();
    QTRY_COMPARE_WITH_TIMEOUT(status(), QString("1 Device connected"), 5000);
    box("checkBox_sq")->setChecked(true);
    unplug("sq", AccessoryTable::SqShifterProductId);
    QTRY_COMPARE_WITH_TIMEOUT(status(), QString("Device not found"), 5000);
    QVERIFY(box("checkBox_sq")->isChecked());

    plug("sq", AccessoryTable::SqShifterProductId);
    QTRY_COMPARE_WITH_TIMEOUT(status(), QString("1 Device connected"), 5000);
    QVERIFY(box("checkBox_sq")->isEnabled());
    const qint64 mark = lab.mark();
    setColor(QColor(0, 255, 0));
    QVERIFY(lab.waitFor(mark, "SET_REPORT", "sq", 2));
    QCOMPARE(lab.reports(mark, "sq").first(), QString("02 00 00 ff"));
}

void TestRealStack::twoAccessoriesWithOneProduct()
{
    plug("hb", AccessoryTable::HandbrakeProductId, 1);
    plug("hb2", AccessoryTable::HandbrakeProductId, 2);
    makeWindow();
    QTRY_COMPARE_WITH_TIMEOUT(status(), QString("1 Device connected"), 5000);
    QCOMPARE(LabAccessories::openHidrawHandles(), 1);
    box("checkBox_hb")->setChecked(true);

    qint64 mark = lab.mark();
    setColor(QColor(1, 2, 3));
    QTRY_COMPARE_WITH_TIMEOUT(lab.reports(mark, "hb").size() + lab.reports(mark, "hb2").size(), 2,
                              5000);
    // Both went to the one that was opened.
    const bool firstUsed = lab.reports(mark, "hb").size() == 2;
    QVERIFY(firstUsed || lab.reports(mark, "hb2").size() == 2);

    // Unplug that one: reported gone, then the other is found and used.
    const QString used = firstUsed ? "hb" : "hb2";
    const QString other = firstUsed ? "hb2" : "hb";
    mark = lab.mark();
    unplug(used, AccessoryTable::HandbrakeProductId, 1);
    QVERIFY(lab.waitFor(mark, "OPEN", other, 1));
    QTRY_COMPARE_WITH_TIMEOUT(status(), QString("1 Device connected"), 5000);
    QCOMPARE(LabAccessories::openHidrawHandles(), 1);
    mark = lab.mark();
    setColor(QColor(4, 5, 6));
    QVERIFY(lab.waitFor(mark, "SET_REPORT", other, 2));
}

void TestRealStack::accessoriesSendingInputReports()
{
    plug("hb", AccessoryTable::HandbrakeProductId);
    plug("sq", AccessoryTable::SqShifterProductId);
    plug("h", AccessoryTable::HShifterProductId);
    lab.command("input sq 5");  // faster than the worker reads
    lab.command("input h 500"); // now and then; the handbrake stays silent
    makeWindow();
    QTRY_COMPARE_WITH_TIMEOUT(status(), QString("3 Devices connected"), 5000);
    QSignalSpy statusChanges(window->statusBar(), SIGNAL(messageChanged(QString)));
    QTest::qWait(2000);
    QCOMPARE(statusChanges.count(), 0); // nobody dropped out
    for (const char *name : {"checkBox_hb", "checkBox_sq", "checkBox_h"})
        box(name)->setChecked(true);
    const qint64 mark = lab.mark();
    setColor(QColor(9, 8, 7));
    QVERIFY(lab.waitFor(mark, "SET_REPORT", "h", 2));
    QCOMPARE(lab.reports(mark, "sq").size(), 2);
    QCOMPARE(lab.reports(mark, "hb").size(), 2);
}

void TestRealStack::errorAnswerIsIgnored()
{
    tickHandbrakeAndHShifter();
    lab.command("answer hb error");
    const qint64 mark = lab.mark();
    setColor(QColor(200, 100, 50));
    QVERIFY(lab.waitFor(mark, "SET_REPORT", "h", 2));
    // Both sends went out and were refused; nothing else changes.
    QCOMPARE(lab.reports(mark, "hb").size(), 2);
    QTest::qWait(500);
    QCOMPARE(status(), QString("2 Devices connected"));
    QCOMPARE(LabAccessories::openHidrawHandles(), 2);
}

void TestRealStack::hungAccessoryKeepsWindowResponsive()
{
    tickHandbrakeAndHShifter();
    lab.command("answer hb never");

    // The GUI thread's longest stall while the handbrake hangs.
    double lastTick = LabAccessories::now();
    double longestGap = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&] {
        const double t = LabAccessories::now();
        longestGap = std::max(longestGap, t - lastTick);
        lastTick = t;
    });
    ticker.start(10);

    qint64 mark = lab.mark();
    const double start = LabAccessories::now();
    setColor(QColor(255, 255, 0));
    QVERIFY(lab.waitFor(mark, "SET_REPORT", "h", 2, 10000));
    const double hArrived = LabAccessories::timeOf(lab.lines(mark, "SET_REPORT", "h").first());
    QTRY_COMPARE_WITH_TIMEOUT(status(), kHungStatus.arg("Handbrake"), 10000);
    qInfo("with the handbrake hung: H shifter set after %.0f ms, told after %.0f ms",
          (hArrived - start) * 1000, (LabAccessories::now() - start) * 1000);
    QVERIFY(box("checkBox_hb")->isEnabled()); // it is still there

    // A colour meanwhile reaches the H shifter at once; the hung handbrake is skipped.
    mark = lab.mark();
    setColor(QColor(0, 255, 255));
    QVERIFY(lab.waitFor(mark, "SET_REPORT", "h", 2, 10000));
    QCOMPARE(lab.reports(mark, "hb").size(), 0);
    qInfo("longest GUI stall: %.0f ms", longestGap * 1000);
    QVERIFY(longestGap < 1.0);

    // Once the kernel gives up (5 s), the hung handle is closed, the
    // handbrake opened afresh, and it takes colours again.
    lab.command("answer hb ok");
    QVERIFY(lab.waitFor(mark, "CLOSE", "hb", 1, 10000));
    QVERIFY(lab.waitFor(mark, "OPEN", "hb", 1, 10000));
    QTRY_COMPARE_WITH_TIMEOUT(LabAccessories::openHidrawHandles(), 2, 5000);
    mark = lab.mark();
    setColor(QColor(255, 0, 255));
    QVERIFY(lab.waitFor(mark, "SET_REPORT", "hb", 2, 10000));
    QCOMPARE(lab.reports(mark, "hb").first(), QString("02 ff ff 00"));
}

void TestRealStack::closeProgramWhileHung(const QStringList &hung)
{
    plug("hb", AccessoryTable::HandbrakeProductId);
    plug("sq", AccessoryTable::SqShifterProductId);
    plug("h", AccessoryTable::HShifterProductId);
    for (const QString &name : hung)
        lab.command(QStringLiteral("answer %1 never").arg(name));
    const qint64 mark = lab.mark();
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QCoreApplication::applicationFilePath(), {"--close-while-hung", hung.first()});
    if (!lab.waitFor(mark, "SET_REPORT", hung.first(), 1, 40000)) {
        const QString state = program.state() == QProcess::Running ? QStringLiteral("running")
                              : program.exitStatus() == QProcess::CrashExit
                                  ? QStringLiteral("crashed")
                                  : QString::number(program.exitCode());
        program.kill();
        program.waitForFinished(5000);
        QFAIL(
            qPrintable(QStringLiteral("no write reached %1; the program printed [%2], %3; "
                                      "opens of it: %4")
                           .arg(hung.first(),
                                QString::fromUtf8(program.readAllStandardOutput()).trimmed(), state)
                           .arg(lab.lines(mark, "OPEN", hung.first()).size())));
    }
    const double hungAt = LabAccessories::now();
    QVERIFY(program.waitForFinished(30000));
    const double ended = LabAccessories::now();
    const QString output = QString::fromUtf8(program.readAllStandardOutput()).trimmed();
    qInfo("%s hung: %s; the program ended %.0f ms after the first write hung",
          qPrintable(hung.join(',')), qPrintable(output), (ended - hungAt) * 1000);
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    const int destroyMs = output.section(' ', 2, 2).toInt();
    QVERIFY2(destroyMs < 3000, "the window waited out its whole shutdown bound");
}

void TestRealStack::closingWithHungWritesEndsTheProgram()
{
    closeProgramWhileHung({"hb", "sq", "h"});
}

// The two that answer still hold open handles, which Linux will not let
// anyone close until the hung write ends.
void TestRealStack::closingWithOneHungAndTwoOpenEndsTheProgram()
{
    closeProgramWhileHung({"hb"});
}

int main(int argc, char *argv[])
{
    if (argc > 2 && qstrcmp(argv[1], "--close-while-hung") == 0)
        return closeWhileHung(argc, argv);
    QApplication app(argc, argv);
    TestRealStack test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_realstack.moc"
