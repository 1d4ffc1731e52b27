// SPDX-License-Identifier: MIT
#include "reportsender.h"

#include "hidsession.h"

#include <hidapi.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

// Shared by the sender and its writer thread; whoever lets go last frees it.
struct ReportSender::Writer
{
    void run();

    std::mutex mutex;
    std::condition_variable wake;     // to the writer: a job, or the end
    std::condition_variable finished; // to the caller: the job is done
    std::thread thread;
    hid_device *handle = nullptr;
    std::vector<unsigned char> report;
    int first = 0;
    int second = 0;
    bool hasJob = false;
    bool done = false;
    bool abandoned = false; // the caller gave up: the writer owns the handle
    bool stop = false;
    std::atomic<bool> hung{false};
};

void ReportSender::Writer::run()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return hasJob || stop; });
        if (!hasJob)
            return;
        lock.unlock();
        const int firstResult = hid_send_feature_report(handle, report.data(), report.size());
        lock.lock();
        first = firstResult;
        // Once the caller has given up, a second wait on a hung accessory helps nobody.
        if (!abandoned) {
            lock.unlock();
            const int secondResult = hid_send_feature_report(handle, report.data(), report.size());
            lock.lock();
            second = secondResult;
        } else {
            second = -1;
        }
        done = true;
        hasJob = false;
        finished.notify_all();
        if (!abandoned)
            continue;
        abandoned = false;
        hid_device *const hungHandle = handle;
        lock.unlock();
        hid_close(hungHandle);
        // Out of hidapi before anyone is told the sender is free: whoever goes
        // next may be the one to shut the library down.
        HidSession::leave();
        hung.store(false);
        lock.lock();
    }
}

ReportSender::ReportSender() : writer(std::make_shared<Writer>()) {}

ReportSender::~ReportSender()
{
    std::unique_lock<std::mutex> lock(writer->mutex);
    writer->stop = true;
    writer->wake.notify_one();
    const bool stillHung = writer->hasJob;
    lock.unlock();
    if (!writer->thread.joinable())
        return;
    if (stillHung)
        writer->thread.detach(); // ends once the kernel lets go
    else
        writer->thread.join();
}

ReportSender::Outcome ReportSender::sendTwice(hid_device_ *handle, const unsigned char *data,
                                              size_t length, int timeoutMs)
{
    Writer &w = *writer;
    std::unique_lock<std::mutex> lock(w.mutex);
    // Still waiting for an earlier send that hung: nothing more for it.
    if (w.hasJob)
        return Failed;
    if (!w.thread.joinable())
        w.thread = std::thread(&Writer::run, writer);
    HidSession::enter(); // left here when it is done, or by the writer after a hang
    w.handle = handle;
    w.report.assign(data, data + length);
    w.done = false;
    w.hasJob = true;
    w.wake.notify_one();
    if (w.finished.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&w] { return w.done; })) {
        const bool failed = w.first < 0 || w.second < 0;
        lock.unlock();
        HidSession::leave();
        return failed ? Failed : Sent;
    }
    w.abandoned = true;
    w.hung.store(true);
    return TimedOut;
}

bool ReportSender::busy() const
{
    return writer->hung.load();
}
