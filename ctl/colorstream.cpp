// SPDX-License-Identifier: MIT
#include "colorstream.h"

#include <QTextStream>
#include <QTimer>

#include "accessorytable.h"
#include "brimselctl.h"
#include "colorlinereader.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <mutex>
#include <thread>
#include <vector>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <poll.h>
#include <unistd.h>
#endif

namespace {

constexpr int kReadSize = 64 * 1024;
constexpr int kSignalCheckMs = 50;

// Set by the signal handler, read by a timer: the only thing a handler may
// safely do is store to a lock-free atomic.
std::atomic<int> caughtSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void onSignal(int signal)
{
    caughtSignal = signal;
}

// Installs the handlers for as long as it lives; the old ones come back after.
class SignalHandlers
{
public:
    SignalHandlers()
    {
        caughtSignal = 0;
        for (size_t i = 0; i < kCount; ++i)
            previous[i] = std::signal(kSignals[i], onSignal);
    }
    ~SignalHandlers()
    {
        for (size_t i = 0; i < kCount; ++i)
            std::signal(kSignals[i], previous[i]);
    }

private:
#ifdef SIGPIPE
    // A closed standard error would otherwise kill the program mid-write.
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGPIPE};
#else
    static constexpr int kSignals[] = {SIGINT, SIGTERM};
#endif
    static constexpr size_t kCount = sizeof kSignals / sizeof kSignals[0];
    void (*previous[kCount])(int);
};

int duplicateFd(int fd)
{
#ifdef Q_OS_WIN
    return _dup(fd);
#else
    return dup(fd);
#endif
}

long long readFd(int fd, char *buffer, int size)
{
#ifdef Q_OS_WIN
    return _read(fd, buffer, unsigned(size));
#else
    return read(fd, buffer, size_t(size));
#endif
}

void closeFd(int fd)
{
#ifdef Q_OS_WIN
    _close(fd);
#else
    close(fd);
#endif
}

void writeMessage(QTextStream &err, const QString &message)
{
    err << "brimsel-ctl: " << message << '\n';
    err.flush();
}

} // namespace

// What the reading thread shares with the stream. The thread holds it too,
// so that it can outlive a stream stopped by a signal while a read waits.
struct ColorStream::Input
{
    static constexpr quint64 Fresh = quint64(1) << 32;

    void read(int fd);
    void post(const char *slot);
    void say(const QString &message);

    std::atomic<quint64> newest{0}; // Fresh | the newest colour not yet taken
    std::atomic<qint64> badLines{0};
    std::atomic<bool> finished{false};
    std::mutex mutex;              // guards stream and its error stream
    ColorStream *stream = nullptr; // null once the stream no longer listens
};

void ColorStream::Input::read(int fd)
{
    ColorLineReader reader(
        [this](QRgb rgb) {
            // Only the newest colour is kept; the stream is woken once per
            // colour it takes, not per line.
            if (!(newest.exchange(Fresh | rgb) & Fresh))
                post("colorRead");
        },
        [this](qint64 line, const QString &message) {
            say(QStringLiteral("line %1: %2").arg(line).arg(message));
        });
    std::vector<char> buffer(kReadSize);
    while (fd >= 0) {
        const long long n = readFd(fd, buffer.data(), kReadSize);
        if (n > 0) {
            reader.feed(buffer.data(), size_t(n));
            continue;
        }
        const int error = errno;
        if (n < 0 && error == EINTR)
            continue;
#ifndef Q_OS_WIN
        // Someone left the input non-blocking: wait for it as a blocking read would.
        if (n < 0 && (error == EAGAIN || error == EWOULDBLOCK)) {
            pollfd readable{fd, POLLIN, 0};
            if (poll(&readable, 1, -1) >= 0 || errno == EINTR)
                continue;
        }
#endif
        if (n < 0)
            say(QStringLiteral("cannot read the input: %1").arg(qt_error_string(error)));
        break;
    }
    reader.finish();
    if (fd >= 0)
        closeFd(fd);
    badLines = reader.badLineCount();
    // Before the post, so that the stream, told the input ended, joins.
    finished = true;
    post("inputEnded");
}

void ColorStream::Input::post(const char *slot)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (stream)
        QMetaObject::invokeMethod(stream, slot, Qt::QueuedConnection);
}

void ColorStream::Input::say(const QString &message)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (stream)
        writeMessage(stream->err, message);
}

ColorStream::ColorStream(int inputFd, HidWorker::Device devices, bool devicesNamed,
                         QTextStream &err)
    : inputFd(inputFd), devices(devices), devicesNamed(devicesNamed), err(err),
      input(std::make_shared<Input>()),
      link([this](const QColor &color) { return sendColor(color); })
{
}

ColorStream::~ColorStream()
{
    std::lock_guard<std::mutex> lock(input->mutex);
    input->stream = nullptr;
}

int ColorStream::run()
{
    SignalHandlers handlers;
    {
        std::lock_guard<std::mutex> lock(input->mutex);
        input->stream = this;
    }
    // The thread reads its own copy of the descriptor, which it closes.
    const int fd = duplicateFd(inputFd);
    if (fd < 0)
        say(QStringLiteral("cannot read the input: %1").arg(qt_error_string(errno)));
    std::thread reader(&Input::read, input, fd);

    link.start(this);

    QTimer signalCheck;
    connect(&signalCheck, SIGNAL(timeout()), this, SLOT(checkSignals()));
    signalCheck.start(kSignalCheckMs);
    loop.exec();
    signalCheck.stop();

    {
        std::lock_guard<std::mutex> lock(input->mutex);
        input->stream = nullptr;
    }
    // After a signal a read may still wait for input that never comes.
    if (ended || input->finished)
        reader.join();
    else
        reader.detach();
    // The write in flight finishes; a write that hung keeps its handle and
    // the HID library past the end of the thread, and nothing waits for it.
    link.stop();

    if (stopSignal)
        return BrimselCtl::StoppedBySignal + stopSignal;
    if (!everConnected)
        return BrimselCtl::NotConnected;
    return input->badLines ? BrimselCtl::BadLines : BrimselCtl::Success;
}

void ColorStream::setDeviceState(HidWorker::Device connected_devices)
{
    const int now = connected_devices & devices;
    // Only while the input lasts: an input that has ended (/dev/null) ends
    // the stream as soon as this is said.
    const QStringList lines =
        stateKnown ? BrimselCtl::changeLines(connected, now)
                   : BrimselCtl::missingLines(devices, devicesNamed, now,
                                              QStringLiteral(" until the input ends"));
    for (const QString &line : lines)
        say(line);
    if (stateKnown) {
        // One that came back shows the colour of the moment.
        if ((now & ~connected) && !takeNewestColor() && newestColor.isValid())
            link.updateColor(newestColor);
    }
    stateKnown = true;
    connected = now;
    everConnected |= now;
    finishIfDone();
}

void ColorStream::clearUpdatingColor()
{
    // Whatever the reader has newer goes next, not what waited here.
    takeNewestColor();
    link.clearUpdatingColor();
    finishIfDone();
}

void ColorStream::colorRead()
{
    takeNewestColor();
}

void ColorStream::inputEnded()
{
    ended = true;
    takeNewestColor();
    finishIfDone();
}

void ColorStream::checkSignals()
{
    if (const int signal = caughtSignal) {
        stopSignal = signal;
        loop.quit();
    }
}

bool ColorStream::sendColor(const QColor &color)
{
    emit colorUpdateRequested(color, devices);
    return true;
}

bool ColorStream::takeNewestColor()
{
    const quint64 newest = input->newest.exchange(0);
    if (!(newest & Input::Fresh))
        return false;
    newestColor = QColor::fromRgb(QRgb(newest & 0xffffffffu));
    link.updateColor(newestColor);
    return true;
}

void ColorStream::finishIfDone()
{
    // The state is known once the worker's first pass has reported, so
    // missing accessories are always told about.
    if (ended && stateKnown && !link.isUpdating())
        loop.quit();
}

void ColorStream::say(const QString &message)
{
    std::lock_guard<std::mutex> lock(input->mutex);
    writeMessage(err, message);
}

// A hung accessory or a HID library that cannot start, as the window's
// status bar would show it.
void ColorStream::showError(QString message)
{
    say(message);
}
