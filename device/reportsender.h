// SPDX-License-Identifier: MIT
#ifndef REPORTSENDER_H
#define REPORTSENDER_H

#include "accessorytable.h"

#include <cstddef>
#include <memory>

struct hid_device_;

// Sends a feature report twice to each of up to three accessories and waits
// a bounded time for each. The kernel gives an accessory 5 s to answer each
// send, so one that has hung would hold the caller for 10 s. The sends run
// on a writer thread, started with the first request and kept, so that a
// colour costs no thread start. When an accessory overruns, the caller goes
// on: that writer keeps its handle, closes it once the kernel lets go and
// ends, and a new writer takes the accessories after it. A send that fails
// at once is just a failed send.
class ReportSender
{
public:
    enum Outcome {
        Sent,     // both sends went through
        Failed,   // a send failed; the caller keeps the handle
        TimedOut, // no answer in time; the handle now belongs to the writer
        Skipped,  // no handle, or its accessory still hangs from before
    };

    static constexpr int Slots = AccessoryTable::Count;
    using Handles = AccessoryTable::PerAccessory<hid_device_ *>;
    using Outcomes = AccessoryTable::PerAccessory<Outcome>;

    // Far longer than any accessory that answers at all needs, and short
    // enough that three hung ones stay within the window's 3 s shutdown wait.
    static constexpr int DefaultTimeoutMs = 500;

    ReportSender();
    // Ends the writer; ones that still hang end by themselves once let go.
    ~ReportSender();
    ReportSender(const ReportSender &) = delete;
    ReportSender &operator=(const ReportSender &) = delete;

    // Sends the report twice to each handle in slot order, skipping null
    // ones and slots that are busy().
    Outcomes sendTwice(const Handles &handles, const unsigned char *data, size_t length,
                       int timeoutMs = DefaultTimeoutMs);

    // Whether the slot's accessory timed out and has not let go yet. Callers
    // send it nothing more meanwhile, so that hung sends do not pile up in
    // the kernel.
    bool busy(int slot) const;
    bool busy() const; // any slot

private:
    struct Writer;
    struct Hangs;
    std::shared_ptr<Writer> currentWriter();

    std::shared_ptr<Hangs> hangs;
    std::shared_ptr<Writer> writer; // none until the first request, and after a hang
};

#endif // REPORTSENDER_H
