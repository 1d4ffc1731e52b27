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

using Clock = std::chrono::steady_clock;

// Which slots a writer that was given up on still holds. Outlives the
// sender: such a writer clears its slot when the kernel lets it go.
struct ReportSender::Hangs
{
    AccessoryTable::PerAccessory<std::atomic<bool>> slot{};
};

// Shared by the sender and its writer thread; whoever lets go last frees it.
struct ReportSender::Writer
{
    void run();
    // Abandoned in `slot`: close its handle once let go, then end.
    void letGo(std::unique_lock<std::mutex> &lock, int slot);

    std::mutex mutex;
    std::condition_variable wake;     // to the writer: a request, or the end
    std::condition_variable finished; // to the caller: the request is done
    std::thread thread;
    std::shared_ptr<Hangs> hangs;
    Handles handles{};
    std::vector<unsigned char> report;
    Outcomes outcomes{};
    int current = -1;               // the slot being sent to
    Clock::time_point currentSince; // when its first send started
    bool hasJob = false;
    bool stop = false;
    bool done = false;
    bool abandoned = false; // the caller gave up on `current`: its handle is the writer's
};

void ReportSender::Writer::run()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return hasJob || stop; });
        if (stop)
            return;
        for (int slot = 0; slot < Slots; ++slot) {
            hid_device *const handle = handles[size_t(slot)];
            if (!handle)
                continue;
            current = slot;
            currentSince = Clock::now();
            lock.unlock();
            const int first = hid_send_feature_report(handle, report.data(), report.size());
            lock.lock();
            // Once the caller has given up, a second wait on a hung accessory
            // helps nobody.
            if (abandoned)
                return letGo(lock, slot);
            lock.unlock();
            const int second = hid_send_feature_report(handle, report.data(), report.size());
            lock.lock();
            if (abandoned)
                return letGo(lock, slot);
            outcomes[size_t(slot)] = first < 0 || second < 0 ? Failed : Sent;
        }
        current = -1;
        done = true;
        hasJob = false;
        lock.unlock();
        finished.notify_one();
        lock.lock();
    }
}

void ReportSender::Writer::letGo(std::unique_lock<std::mutex> &lock, int slot)
{
    hid_device *const handle = handles[size_t(slot)];
    lock.unlock();
    hid_close(handle);
    // Out of hidapi before anyone is told the slot is free: whoever goes
    // next may be the one to shut the library down.
    HidSession::leave();
    hangs->slot[size_t(slot)].store(false);
}

ReportSender::ReportSender() : hangs(std::make_shared<Hangs>()) {}

ReportSender::~ReportSender()
{
    // Never inside a request here: that runs in the owner's thread, and a
    // writer that hung was let go of already.
    const std::shared_ptr<Writer> w = writer;
    if (!w)
        return;
    {
        std::lock_guard<std::mutex> lock(w->mutex);
        w->stop = true;
    }
    w->wake.notify_one();
    w->thread.join();
}

std::shared_ptr<ReportSender::Writer> ReportSender::currentWriter()
{
    if (!writer) {
        writer = std::make_shared<Writer>();
        writer->hangs = hangs;
        writer->thread = std::thread(&Writer::run, writer);
    }
    return writer;
}

ReportSender::Outcomes ReportSender::sendTwice(const Handles &handles, const unsigned char *data,
                                               size_t length, int timeoutMs)
{
    Outcomes outcomes;
    outcomes.fill(Skipped);
    Handles todo = handles;
    bool any = false;
    for (int slot = 0; slot < Slots; ++slot) {
        // Nothing more for a hung accessory until it lets go; the kernel
        // would only queue it.
        if (busy(slot))
            todo[size_t(slot)] = nullptr;
        any = any || todo[size_t(slot)];
    }
    const std::chrono::milliseconds timeout(timeoutMs);
    while (any) {
        const std::shared_ptr<Writer> w = currentWriter();
        std::unique_lock<std::mutex> lock(w->mutex);
        w->handles = todo;
        w->report.assign(data, data + length);
        w->done = false;
        w->current = -1;
        w->currentSince = Clock::now();
        w->hasJob = true;
        // Woken with the lock let go, so that it need not wait for the lock
        // again before its send.
        lock.unlock();
        w->wake.notify_one();
        lock.lock();

        // Each accessory gets the whole time-out: the deadline follows the
        // writer from one to the next.
        int hung = -1;
        Clock::time_point deadline = w->currentSince + timeout;
        while (!w->finished.wait_until(lock, deadline, [&w] { return w->done; })) {
            if (Clock::now() < w->currentSince + timeout) {
                deadline = w->currentSince + timeout;
                continue;
            }
            // A writer that has not even begun is stuck before its first slot.
            hung = w->current;
            if (hung < 0) {
                for (hung = 0; !todo[size_t(hung)]; ++hung) {
                }
                w->current = hung;
            }
            break;
        }
        for (int slot = 0; slot < Slots; ++slot) {
            if (todo[size_t(slot)] && (hung < 0 || slot < hung))
                outcomes[size_t(slot)] = w->outcomes[size_t(slot)];
        }
        if (hung < 0)
            break;

        // The writer keeps the hung handle and a place in hidapi until the
        // kernel lets go; a new writer takes the slots after it.
        w->abandoned = true;
        hangs->slot[size_t(hung)].store(true);
        HidSession::enter();
        lock.unlock();
        w->thread.detach();
        writer.reset();
        outcomes[size_t(hung)] = TimedOut;
        any = false;
        for (int slot = 0; slot < Slots; ++slot) {
            if (slot <= hung)
                todo[size_t(slot)] = nullptr;
            any = any || todo[size_t(slot)];
        }
    }
    return outcomes;
}

bool ReportSender::busy(int slot) const
{
    return hangs->slot[size_t(slot)].load();
}

bool ReportSender::busy() const
{
    for (int slot = 0; slot < Slots; ++slot) {
        if (busy(slot))
            return true;
    }
    return false;
}
