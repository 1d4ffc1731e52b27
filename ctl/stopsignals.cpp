// SPDX-License-Identifier: MIT
#include "stopsignals.h"

#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>

#include <atomic>
#include <csignal>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// The only things a handler may safely touch: lock-free atomics and write().
std::atomic<int> caughtSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a lock-free flag");

#ifdef Q_OS_WIN
std::atomic<StopSignals *> current{nullptr};
// Set when the owner is done: the last save and the write under way.
HANDLE finished = nullptr;
// A console closed, a log-off or a shutdown ends the process as soon as
// the handler returns: it waits for the owner, within the system's grace.
constexpr DWORD kFinishMs = 4500;

// Runs in a thread of the system's own.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    StopSignals *target = current.load();
    if (!target)
        return FALSE;
    caughtSignal = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
    QMetaObject::invokeMethod(target, "wake", Qt::QueuedConnection);
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && finished)
        WaitForSingleObject(finished, kFinishMs);
    return TRUE;
}
#else
int wakePipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGPIPE}; // SIGPIPE: a closed standard error
constexpr size_t kSignalCount = sizeof kSignals / sizeof kSignals[0];
void (*previous[kSignalCount])(int);

extern "C" void onSignal(int signal)
{
    caughtSignal = signal;
    const char byte = 0;
    if (wakePipe[1] >= 0 && write(wakePipe[1], &byte, 1) < 0) {
        // Full: a wake-up is waiting already.
    }
}
#endif

constexpr int kFallbackCheckMs = 50;

} // namespace

StopSignals::StopSignals(QObject *parent) : QObject(parent)
{
    caughtSignal = 0;
#ifdef Q_OS_WIN
    current = this;
    if (!finished)
        finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    else
        ResetEvent(finished);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
    if (pipe(wakePipe) == 0) {
        for (int fd : wakePipe) {
            fcntl(fd, F_SETFD, FD_CLOEXEC);
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        }
        notifier = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, this);
        connect(notifier, SIGNAL(activated(int)), this, SLOT(wake()));
    } else {
        wakePipe[0] = wakePipe[1] = -1;
        fallback = new QTimer(this);
        connect(fallback, SIGNAL(timeout()), this, SLOT(wake()));
        fallback->start(kFallbackCheckMs);
    }
    for (size_t i = 0; i < kSignalCount; ++i)
        previous[i] = std::signal(kSignals[i], onSignal);
#endif
}

StopSignals::~StopSignals()
{
#ifdef Q_OS_WIN
    // The owner is done; a handler that waits may let the process end.
    if (finished)
        SetEvent(finished);
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    current = nullptr;
#else
    for (size_t i = 0; i < kSignalCount; ++i)
        std::signal(kSignals[i], previous[i]);
    delete notifier;
    notifier = nullptr;
    for (int &fd : wakePipe) {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
#endif
}

int StopSignals::caught() const
{
    return caughtSignal;
}

void StopSignals::wake()
{
#ifndef Q_OS_WIN
    char bytes[16];
    while (wakePipe[0] >= 0 && read(wakePipe[0], bytes, sizeof bytes) > 0) {
    }
#endif
    if (const int signal = caughtSignal)
        emit stopRequested(signal);
}
