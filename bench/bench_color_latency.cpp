// SPDX-License-Identifier: MIT
// Time from a colour request leaving the window's thread to the first
// feature report reaching the stand-in accessory bus.
#include "fakehidbus.h"
#include "hidworker.h"
#include "reportsender.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QThread>

#include <hidapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

namespace {

class Requester : public QObject
{
    Q_OBJECT
signals:
    void colorUpdateRequested(QColor color, HidWorker::Device devices_to_update);
};

struct Result
{
    std::vector<double> toReportMs;
    std::vector<double> toDoneMs;
};

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

// Runs `samples` requests with random pauses between them, so that they
// meet the poll loop at every point of its cycle.
Result measure(int samples, int maxPauseMs, HidWorker::Device target)
{
    QThread thread;
    auto *worker = new HidWorker;
    worker->moveToThread(&thread);
    Requester requester;
    std::atomic<qint64> doneNs{0};
    QEventLoop loop;
    QObject::connect(&thread, SIGNAL(started()), worker, SLOT(process()));
    QObject::connect(&thread, SIGNAL(finished()), worker, SLOT(deleteLater()));
    QObject::connect(&requester, SIGNAL(colorUpdateRequested(QColor, HidWorker::Device)), worker,
                     SLOT(updateColor(QColor, HidWorker::Device)));
    QObject::connect(
        worker, &HidWorker::colorUpdated, worker, [&doneNs] { doneNs = FakeHidBus::nowNs(); },
        Qt::DirectConnection);
    QObject::connect(worker, &HidWorker::colorUpdated, &loop, &QEventLoop::quit);
    QObject::connect(worker, &HidWorker::deviceStateChanged, &loop, &QEventLoop::quit);
    thread.start();
    loop.exec(); // first poll pass done

    Result result;
    QRandomGenerator rng(42);
    for (int i = 0; i < samples; ++i) {
        QThread::msleep(rng.bounded(maxPauseMs + 1));
        const int writesBefore = FakeHidBus::count(FakeHidBus::Call::Write);
        const qint64 start = FakeHidBus::nowNs();
        emit requester.colorUpdateRequested(QColor::fromRgb(rng.generate()), target);
        loop.exec();
        result.toDoneMs.push_back(double(doneNs - start) / 1e6);
        const QVector<FakeHidBus::Event> writes = FakeHidBus::events(FakeHidBus::Call::Write);
        if (writes.size() > writesBefore)
            result.toReportMs.push_back(double(writes.at(writesBefore).timeNs - start) / 1e6);
    }
    thread.quit();
    thread.wait();
    return result;
}

void row(const char *label, const Result &r)
{
    auto cell = [](const std::vector<double> &v, double p) {
        return v.empty() ? QString("-") : QString::number(percentile(v, p), 'f', 3);
    };
    std::printf("%-34s %7zu %10s %10s %10s %10s\n", label, r.toDoneMs.size(),
                qPrintable(cell(r.toReportMs, 0.5)), qPrintable(cell(r.toReportMs, 0.99)),
                qPrintable(cell(r.toDoneMs, 0.5)), qPrintable(cell(r.toDoneMs, 0.99)));
}

// One colour to three open accessories, the way updateColor sends it
// (through the bounded sender) and straight through hidapi, taking turns so
// that both see the same load. Medians of the whole round in microseconds.
void sendSideBySide(int rounds)
{
    FakeHidBus::reset();
    hid_device *handles[3];
    ReportSender senders[3];
    const unsigned short products[] = {HidWorker::HandbrakeProductId, HidWorker::SqShifterProductId,
                                       HidWorker::HShifterProductId};
    for (int i = 0; i < 3; ++i) {
        FakeHidBus::plug(products[i], FakeHidBus::ReadMode::Immediate);
        handles[i] = hid_open(HidWorker::VendorId, products[i], nullptr);
    }
    const HidWorker::ColorReport report = HidWorker::colorReport(QColor(255, 0, 128));
    std::vector<double> bounded, direct;
    for (int round = 0; round < rounds; ++round) {
        qint64 start = FakeHidBus::nowNs();
        for (int i = 0; i < 3; ++i)
            senders[i].sendTwice(handles[i], report.data(), report.size());
        bounded.push_back(double(FakeHidBus::nowNs() - start) / 1e3);
        start = FakeHidBus::nowNs();
        for (hid_device *handle : handles) {
            hid_send_feature_report(handle, report.data(), report.size());
            hid_send_feature_report(handle, report.data(), report.size());
        }
        direct.push_back(double(FakeHidBus::nowNs() - start) / 1e3);
    }
    for (hid_device *handle : handles)
        hid_close(handle);
    std::printf("one colour to 3 open accessories, us: bounded sender p50 %.1f, direct hidapi "
                "p50 %.1f (%.2fx)\n",
                percentile(bounded, 0.5), percentile(direct, 0.5),
                percentile(bounded, 0.5) / percentile(direct, 0.5));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    using Mode = FakeHidBus::ReadMode;
    std::printf("colour request latency in ms, stand-in bus\n");
    std::printf("%-34s %7s %10s %10s %10s %10s\n", "accessories", "samples", "report p50",
                "report p99", "done p50", "done p99");

    FakeHidBus::reset();
    row("none open", measure(300, 20, static_cast<HidWorker::Device>(7)));

    FakeHidBus::reset();
    FakeHidBus::plug(HidWorker::HandbrakeProductId, Mode::Immediate);
    row("1 open, answering reads at once", measure(300, 20, HidWorker::Handbrake));

    FakeHidBus::reset();
    FakeHidBus::plug(HidWorker::HandbrakeProductId, Mode::WaitTimeout);
    FakeHidBus::plug(HidWorker::SqShifterProductId, Mode::WaitTimeout);
    FakeHidBus::plug(HidWorker::HShifterProductId, Mode::WaitTimeout);
    row("3 open, silent (reads wait 50 ms)", measure(120, 250, static_cast<HidWorker::Device>(7)));

    std::printf("report: to the first feature report; done: to colorUpdated() in the worker\n");
    std::printf("goal: report p50 under 0.3 ms while the worker is idle\n");

    sendSideBySide(2000);
    std::printf("goal: the bounded sender within 1.5x of direct hidapi\n");
    return 0;
}

#include "bench_color_latency.moc"
