// SPDX-License-Identifier: MIT
// Time from a colour request leaving the window's thread to the first
// feature report reaching the stand-in accessory bus.
#include "devicelink.h"
#include "fakehidbus.h"
#include "hidworker.h"
#include "reportsender.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QThread>

#include <hidapi.h>

#include <algorithm>
#include <array>
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

// Stands where the window stands: its colours go through a DeviceLink to
// the accessories in `target`, as the window's do.
class LinkClient : public QObject
{
    Q_OBJECT
public:
    explicit LinkClient(HidWorker::Device target)
        : link([this, target](const QColor &color) {
              emit colorUpdateRequested(color, target);
              return true;
          })
    {
    }

    DeviceLink link;
    HidWorker *worker = nullptr; // known from its first state

signals:
    void colorUpdateRequested(QColor color, HidWorker::Device devices_to_update);
    void stateSeen();
    void done();

public slots:
    void setDeviceState(HidWorker::Device)
    {
        worker = qobject_cast<HidWorker *>(sender());
        emit stateSeen();
    }
    void clearUpdatingColor()
    {
        link.clearUpdatingColor();
        emit done();
    }
    void showError(QString) {}
};

// The worker's colour request without the bound: the same queued call into a
// thread of its own, then straight hidapi calls, twice per open accessory.
class DirectWorker : public QObject
{
    Q_OBJECT
public:
    ~DirectWorker() override
    {
        for (hid_device *handle : handles)
            hid_close(handle);
    }

signals:
    void colorUpdated();

public slots:
    void open()
    {
        for (size_t i = 0; i < handles.size(); ++i)
            handles[i] = hid_open(AccessoryTable::VendorId, kProducts[i], nullptr);
        emit colorUpdated();
    }
    void updateColor(QColor color, HidWorker::Device devices_to_update)
    {
        const HidWorker::ColorReport report = HidWorker::colorReport(color);
        for (size_t i = 0; i < handles.size(); ++i) {
            if (!(devices_to_update & (1 << i)) || !handles[i])
                continue;
            hid_send_feature_report(handles[i], report.data(), report.size());
            hid_send_feature_report(handles[i], report.data(), report.size());
        }
        emit colorUpdated();
    }

public:
    static constexpr unsigned short kProducts[3] = {AccessoryTable::HandbrakeProductId,
                                                    AccessoryTable::SqShifterProductId,
                                                    AccessoryTable::HShifterProductId};

private:
    std::array<hid_device *, 3> handles{};
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
    LinkClient client(target);
    std::atomic<qint64> doneNs{0};
    QEventLoop loop;
    QObject::connect(&client, &LinkClient::stateSeen, &loop, &QEventLoop::quit);
    QObject::connect(&client, &LinkClient::done, &loop, &QEventLoop::quit);
    client.link.start(&client);
    loop.exec(); // first poll pass done
    QObject::disconnect(&client, &LinkClient::stateSeen, &loop, &QEventLoop::quit);
    QObject::connect(
        client.worker, &HidWorker::colorUpdated, client.worker,
        [&doneNs] { doneNs = FakeHidBus::nowNs(); }, Qt::DirectConnection);

    Result result;
    QRandomGenerator rng(42);
    for (int i = 0; i < samples; ++i) {
        QThread::msleep(rng.bounded(maxPauseMs + 1));
        const int writesBefore = FakeHidBus::count(FakeHidBus::Call::Write);
        const qint64 start = FakeHidBus::nowNs();
        client.link.updateColor(QColor::fromRgb(rng.generate()));
        loop.exec();
        // The link's queued connection comes before the stamp's, so the loop
        // may end a moment before the worker has stamped.
        while (doneNs < start)
            QThread::yieldCurrentThread();
        result.toDoneMs.push_back(double(doneNs - start) / 1e6);
        const QVector<FakeHidBus::Event> writes = FakeHidBus::events(FakeHidBus::Call::Write);
        if (writes.size() > writesBefore)
            result.toReportMs.push_back(double(writes.at(writesBefore).timeNs - start) / 1e6);
    }
    client.link.stop();
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
// (through the bounded sender) and straight
// through hidapi, taking turns so that both see the same load. Medians of
// the whole round in microseconds.
void sendSideBySide(int rounds)
{
    FakeHidBus::reset();
    ReportSender::Handles handles;
    ReportSender sender;
    for (size_t i = 0; i < handles.size(); ++i) {
        FakeHidBus::plug(DirectWorker::kProducts[i], FakeHidBus::ReadMode::Immediate);
        handles[i] = hid_open(AccessoryTable::VendorId, DirectWorker::kProducts[i], nullptr);
    }
    const HidWorker::ColorReport report = HidWorker::colorReport(QColor(255, 0, 128));
    std::vector<double> bounded, direct;
    for (int round = 0; round < rounds; ++round) {
        qint64 start = FakeHidBus::nowNs();
        sender.sendTwice(handles, report.data(), report.size());
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

// A colour request to three open accessories, from the window's colour
// flow in this thread to the first report on the bus: through a DeviceLink,
// as the window sends it (its worker's writes go through the bounded
// sender), and through the direct worker, taking turns so that both see the
// same load. The worker's reads answer at once, so its passes rarely stand
// in the way.
void requestSideBySide(int rounds)
{
    FakeHidBus::reset();
    for (unsigned short product : DirectWorker::kProducts)
        FakeHidBus::plug(product, FakeHidBus::ReadMode::Immediate);

    const auto all = static_cast<HidWorker::Device>(7);
    LinkClient client(all);
    QThread directThread;
    auto *direct = new DirectWorker;
    direct->moveToThread(&directThread);
    Requester toDirect;
    QEventLoop loop;
    QObject::connect(&directThread, SIGNAL(started()), direct, SLOT(open()));
    QObject::connect(&directThread, SIGNAL(finished()), direct, SLOT(deleteLater()));
    QObject::connect(&toDirect, SIGNAL(colorUpdateRequested(QColor, HidWorker::Device)), direct,
                     SLOT(updateColor(QColor, HidWorker::Device)));
    QObject::connect(direct, &DirectWorker::colorUpdated, &loop, &QEventLoop::quit);
    QObject::connect(&client, &LinkClient::stateSeen, &loop, &QEventLoop::quit);
    QObject::connect(&client, &LinkClient::done, &loop, &QEventLoop::quit);
    directThread.start();
    loop.exec(); // handles open
    client.link.start(&client);
    loop.exec(); // first poll pass done; the worker's handles are open too
    QObject::disconnect(&client, &LinkClient::stateSeen, &loop, &QEventLoop::quit);

    std::vector<double> bounded, straight;
    QRandomGenerator rng(7);
    for (int round = 0; round < rounds; ++round) {
        for (bool throughLink : {true, false}) {
            QThread::usleep(200 + rng.bounded(800));
            const QColor color = QColor::fromRgb(rng.generate());
            const int writesBefore = FakeHidBus::count(FakeHidBus::Call::Write);
            const qint64 start = FakeHidBus::nowNs();
            if (throughLink)
                client.link.updateColor(color);
            else
                emit toDirect.colorUpdateRequested(color, all);
            loop.exec();
            const QVector<FakeHidBus::Event> writes = FakeHidBus::events(FakeHidBus::Call::Write);
            if (writes.size() > writesBefore)
                (throughLink ? bounded : straight)
                    .push_back(double(writes.at(writesBefore).timeNs - start) / 1e3);
        }
        FakeHidBus::takeEvents(); // keep the log short
    }
    client.link.stop();
    directThread.quit();
    directThread.wait();
    std::printf("request to first report, 3 open accessories, us: worker p50 %.1f, direct "
                "worker p50 %.1f (%.2fx)\n",
                percentile(bounded, 0.5), percentile(straight, 0.5),
                percentile(bounded, 0.5) / percentile(straight, 0.5));
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
    FakeHidBus::plug(AccessoryTable::HandbrakeProductId, Mode::Immediate);
    row("1 open, answering reads at once", measure(300, 20, HidWorker::Handbrake));

    FakeHidBus::reset();
    FakeHidBus::plug(AccessoryTable::HandbrakeProductId, Mode::WaitTimeout);
    FakeHidBus::plug(AccessoryTable::SqShifterProductId, Mode::WaitTimeout);
    FakeHidBus::plug(AccessoryTable::HShifterProductId, Mode::WaitTimeout);
    row("3 open, silent (reads wait 50 ms)", measure(120, 250, static_cast<HidWorker::Device>(7)));

    std::printf("report: to the first feature report; done: to colorUpdated() in the worker\n");
    std::printf("goal: report p50 under 0.3 ms while the worker is idle\n");

    sendSideBySide(2000);
    requestSideBySide(1000);
    std::printf(
        "goal: a request through the worker within 1.5x of one through the direct worker\n");
    return 0;
}

#include "bench_color_latency.moc"
