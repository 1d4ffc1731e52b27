// SPDX-License-Identifier: MIT
// CPU cost of the worker's poll loop with no accessory plugged in, on the
// real hidapi library: every pass tries to open all three accessories.
#include "hidworker.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <hidapi.h>

#include <cstdio>
#include <ctime>

namespace {

double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// The floor under the worker: the three open attempts of a pass, every
// 100 ms, without Qt, timers or threads.
double bareOpensMsPerSecond(int seconds)
{
    const double cpuStart = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    for (int pass = 0; pass < seconds * 10; ++pass) {
        for (unsigned short pid :
             {AccessoryTable::HandbrakeProductId, AccessoryTable::SqShifterProductId,
              AccessoryTable::HShifterProductId}) {
            if (hid_device *d = hid_open(AccessoryTable::VendorId, pid, nullptr))
                hid_close(d);
        }
        QThread::msleep(100);
    }
    const double cpu = processCpuSeconds() - cpuStart;
    hid_exit();
    return cpu * 1000 / (double(wall.nsecsElapsed()) / 1e9);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;

    QThread thread;
    auto *worker = new HidWorker;
    worker->moveToThread(&thread);
    QObject::connect(&thread, SIGNAL(started()), worker, SLOT(process()));
    QObject::connect(&thread, SIGNAL(finished()), worker, SLOT(deleteLater()));
    int reports = 0;
    QObject::connect(worker, &HidWorker::deviceStateChanged, &app,
                     [&reports](HidWorker::Device) { ++reports; });
    thread.start();

    // Skip the first second: library start-up is not the steady state.
    double cpuStart = 0;
    QElapsedTimer wall;
    QTimer::singleShot(1000, &app, [&] {
        cpuStart = processCpuSeconds();
        wall.start();
        QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    });
    app.exec();
    const double cpu = processCpuSeconds() - cpuStart;
    const double elapsed = double(wall.nsecsElapsed()) / 1e9;

    thread.quit();
    thread.wait();

    const double msPerSecond = cpu * 1000 / elapsed;
    const double bare = bareOpensMsPerSecond(seconds);
    std::printf("idle poll loop, real hidapi, no accessory, %.1f s each (%d state report%s)\n",
                elapsed, reports, reports == 1 ? "" : "s");
    std::printf("%-40s %10s %14s\n", "", "CPU ms/s", "% of one core");
    std::printf("%-40s %10.3f %14.3f\n", "worker thread poll loop (whole process)", msPerSecond,
                msPerSecond / 10);
    std::printf("%-40s %10.3f %14.3f\n", "bare loop: 3 hid_open every 100 ms", bare, bare / 10);
    std::printf("goal: under 0.2 %% of one core\n");
    return 0;
}
