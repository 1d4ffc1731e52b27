// SPDX-License-Identifier: MIT
#include "reportsender.h"

#include "hidsession.h"

#include <hidapi.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Shared by the caller and the helper thread; whoever finishes last frees it.
struct Job
{
    std::mutex mutex;
    std::condition_variable finished;
    hid_device *handle = nullptr;
    std::vector<unsigned char> report;
    int first = 0;
    int second = 0;
    bool done = false;
    bool abandoned = false;
    std::shared_ptr<std::atomic<bool>> inFlight; // set when abandoned
};

void run(const std::shared_ptr<Job> &job)
{
    const int first = hid_send_feature_report(job->handle, job->report.data(), job->report.size());
    bool abandoned;
    {
        std::lock_guard<std::mutex> lock(job->mutex);
        job->first = first;
        abandoned = job->abandoned;
    }
    // Once the caller has given up, a second wait on a hung accessory helps nobody.
    const int second =
        abandoned ? -1
                  : hid_send_feature_report(job->handle, job->report.data(), job->report.size());
    {
        std::lock_guard<std::mutex> lock(job->mutex);
        job->second = second;
        job->done = true;
        abandoned = job->abandoned;
    }
    job->finished.notify_all();
    if (abandoned)
        hid_close(job->handle);
    // Out of hidapi before anyone is told the sender is free: whoever goes
    // next may be the one to shut the library down.
    HidSession::leave();
    if (abandoned)
        job->inFlight->store(false);
}

} // namespace

ReportSender::Outcome ReportSender::sendTwice(hid_device_ *handle, const unsigned char *data,
                                              size_t length, int timeoutMs)
{
    auto job = std::make_shared<Job>();
    job->handle = handle;
    job->report.assign(data, data + length);
    HidSession::enter(); // left by the helper
    std::thread helper(run, job);

    std::unique_lock<std::mutex> lock(job->mutex);
    if (job->finished.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [&job] { return job->done; })) {
        lock.unlock();
        helper.join();
        return (job->first < 0 || job->second < 0) ? Failed : Sent;
    }
    job->abandoned = true;
    inFlight = std::make_shared<std::atomic<bool>>(true);
    job->inFlight = inFlight;
    lock.unlock();
    helper.detach();
    return TimedOut;
}

bool ReportSender::busy() const
{
    return inFlight && inFlight->load();
}
