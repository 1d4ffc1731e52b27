// SPDX-License-Identifier: MIT
#ifndef REPORTSENDER_H
#define REPORTSENDER_H

#include <cstddef>
#include <memory>

struct hid_device_;

// Sends a feature report twice to one accessory and waits a bounded time for
// it. The kernel gives an accessory 5 s to answer each send, so one that has
// hung would hold the caller for 10 s. The sends run on a writer thread of
// the sender's own, started with the first send and kept, so that a colour
// costs no thread start; when they overrun, the caller goes on and the
// writer keeps the handle, closing it once the kernel lets go. A send that
// fails at once is just a failed send.
class ReportSender
{
public:
    enum Outcome {
        Sent,     // both sends went through
        Failed,   // a send failed, or the writer still hangs; the caller keeps the handle
        TimedOut, // no answer in time; the handle now belongs to the writer
    };

    // Far longer than any accessory that answers at all needs, and short
    // enough that three hung ones stay within the window's 3 s shutdown wait.
    static constexpr int DefaultTimeoutMs = 500;

    ReportSender();
    // Ends the writer; one that still hangs ends by itself once it is let go.
    ~ReportSender();
    ReportSender(const ReportSender &) = delete;
    ReportSender &operator=(const ReportSender &) = delete;

    Outcome sendTwice(hid_device_ *handle, const unsigned char *data, size_t length,
                      int timeoutMs = DefaultTimeoutMs);

    // Whether a send that timed out through this sender is still waiting for
    // its accessory. Callers send it nothing more meanwhile, so that hung
    // sends do not pile up in the kernel.
    bool busy() const;

private:
    struct Writer;
    std::shared_ptr<Writer> writer;
};

#endif // REPORTSENDER_H
