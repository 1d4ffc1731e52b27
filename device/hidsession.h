// SPDX-License-Identifier: MIT
#ifndef HIDSESSION_H
#define HIDSESSION_H

#include <mutex>

struct hid_device_;

// Who is inside hidapi: each worker, each writer left with a hung send and each
// one-shot call holds a place. hid_exit runs only once the last one has
// left and someone has asked for it, never under a call still running (on
// Windows it unloads hid.dll). A program that ends while a call hangs ends
// without it. Process-wide and thread-safe; its state is never destroyed,
// so that a writer still running during static destruction finds it.
class HidSession
{
public:
    static void enter();
    // Leaves; the last one out closes the handles left to it and runs
    // hid_exit if it was asked for.
    static void leave();
    // Leaves and asks for hid_exit: now if this was the last one inside.
    static void leaveAndExit();
    // A handle that must not be closed while a write hangs (Linux holds
    // every hidraw close until then): closed by the last one out, before
    // hid_exit.
    static void closeLater(hid_device_ *handle);
    // How many are inside now.
    static int users();
    // hidapi keeps one error for the calls made without a device (init,
    // enumerate, open, exit) for the whole process: such a call, with the
    // reading of its error, holds this so that threads take turns.
    static std::unique_lock<std::mutex> globalCall();
};

#endif // HIDSESSION_H
