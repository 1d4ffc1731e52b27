// SPDX-License-Identifier: MIT
// Figures of the window's worker over the real hidapi and kernel, in the VM
// lab (./build.sh vm-bench). Under qemu TCG absolute times say little, so
// each table also gives ratios.
#include "hidworker.h"
#include "labaccessories.h"
#include "mainwindow.h"

#include <QApplication>
#include <QStatusBar>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {

class Requester : public QObject
{
    Q_OBJECT
signals:
    void colorUpdateRequested(QColor color, HidWorker::Device devices_to_update);
};

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double median(std::vector<double> v)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A worker in its own thread, as the window runs it.
struct Worker
{
    QThread thread;
    HidWorker *worker = new HidWorker;
    Worker()
    {
        worker->moveToThread(&thread);
        QObject::connect(&thread, SIGNAL(started()), worker, SLOT(process()));
        QObject::connect(&thread, SIGNAL(finished()), worker, SLOT(deleteLater()));
        thread.start();
    }
    ~Worker()
    {
        thread.quit();
        thread.wait();
    }
};

// CPU of the whole process per second of a poll loop, after a settling second.
double idleCpuMsPerSecond(int seconds)
{
    Worker worker;
    runFor(1000);
    const double cpu = cpuSeconds();
    const double wall = LabAccessories::now();
    runFor(seconds * 1000);
    return (cpuSeconds() - cpu) * 1000 / (LabAccessories::now() - wall);
}

void plugAccessories(LabAccessories &lab, bool plug)
{
    const struct
    {
        const char *name;
        unsigned short product;
    } accessories[] = {{"hb", AccessoryTable::HandbrakeProductId},
                       {"sq", AccessoryTable::SqShifterProductId},
                       {"h", AccessoryTable::HShifterProductId}};
    for (const auto &a : accessories) {
        lab.command(plug ? QStringLiteral("plug %1 %2").arg(a.name).arg(a.product, 0, 16)
                         : QStringLiteral("unplug %1").arg(a.name));
        LabAccessories::waitForHidrawNodes(AccessoryTable::VendorId, a.product, plug ? 1 : 0);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    LabAccessories lab;
    if (!lab.isRunning()) {
        std::printf("uhid-accessory is not running\n");
        return 1;
    }

    std::printf("idle poll loop: CPU ms per second (whole process), 3 s each\n");
    std::printf("%-24s %12s %12s %14s\n", "other HID devices", "no accessory", "3 silent",
                "ratio to 0/none");
    double base = 0;
    int keyboards = 0;
    for (int others : {0, 10, 40}) {
        lab.command(QStringLiteral("keyboards %1").arg(others - keyboards));
        keyboards = others;
        QThread::msleep(500);
        const double none = idleCpuMsPerSecond(3);
        plugAccessories(lab, true);
        const double three = idleCpuMsPerSecond(3);
        plugAccessories(lab, false);
        if (others == 0)
            base = none;
        std::printf("%-24d %12.2f %12.2f %7.1f / %4.1f\n", others, none, three, none / base,
                    three / base);
    }

    // Colour request to the bytes at the accessory (the first SET_REPORT).
    plugAccessories(lab, true);
    std::vector<double> toBytes, toAll;
    {
        Worker worker;
        Requester requester;
        QObject::connect(&requester, SIGNAL(colorUpdateRequested(QColor, HidWorker::Device)),
                         worker.worker, SLOT(updateColor(QColor, HidWorker::Device)));
        runFor(1000);
        for (int i = 0; i < 20; ++i) {
            const qint64 mark = lab.mark();
            const double start = LabAccessories::now();
            emit requester.colorUpdateRequested(QColor(i, 2 * i, 3 * i), HidWorker::Device(7));
            if (!lab.waitFor(mark, "SET_REPORT", "h", 2))
                continue;
            toBytes.push_back(LabAccessories::timeOf(lab.lines(mark, "SET_REPORT", "hb").first()) -
                              start);
            toAll.push_back(LabAccessories::timeOf(lab.lines(mark, "SET_REPORT", "h").last()) -
                            start);
            runFor(37 * (i % 5)); // meet the poll loop at different points
        }
    }
    std::printf("colour request to bytes at the handbrake: median %.1f ms; to the H shifter's "
                "second report: %.1f ms (%zu samples)\n",
                median(toBytes) * 1000, median(toAll) * 1000, toBytes.size());
    plugAccessories(lab, false);

    // Plug-in to the window's status bar.
    std::vector<double> toStatus;
    {
        MainWindow window;
        window.show();
        runFor(1500);
        for (int i = 0; i < 5; ++i) {
            const qint64 mark = lab.mark();
            lab.command("plug hb 3103");
            const double deadline = LabAccessories::now() + 5;
            while (window.statusBar()->currentMessage() != QLatin1String("1 Device connected") &&
                   LabAccessories::now() < deadline)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            const QStringList plugged = lab.lines(mark, "PLUG", "hb");
            if (!plugged.isEmpty())
                toStatus.push_back(LabAccessories::now() - LabAccessories::timeOf(plugged.first()));
            lab.command("unplug hb");
            while (window.statusBar()->currentMessage() != QLatin1String("Device not found") &&
                   LabAccessories::now() < deadline + 5)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        }
    }
    std::printf("plug-in to status bar: median %.0f ms (%zu samples; a poll period is 100 ms "
                "plus the pass)\n",
                median(toStatus) * 1000, toStatus.size());
    return 0;
}

#include "bench_realstack.moc"
