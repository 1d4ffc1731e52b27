// SPDX-License-Identifier: MIT
#include "colorstream.h"

#include <QTextStream>

#include "colorlinereader.h"
#include "ctloutput.h"
#include "stopsignals.h"

#include <atomic>
#include <cerrno>
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
        CtlOutput::say(stream->err, message);
}

ColorStream::ColorStream(int inputFd, HidWorker::Device devices, bool devicesNamed,
                         QTextStream &err)
    : inputFd(inputFd), devices(devices), devicesNamed(devicesNamed), err(err),
      input(std::make_shared<Input>()),
      relay(devices,
            {[this](int connected) { setDeviceState(connected); }, [this] { takeNewestColor(); },
             [this] { finishIfDone(); }, [this](const QString &message) { say(message); }})
{
}

ColorStream::~ColorStream()
{
    std::lock_guard<std::mutex> lock(input->mutex);
    input->stream = nullptr;
}

int ColorStream::run()
{
    StopSignals stopSignals;
    connect(&stopSignals, SIGNAL(stopRequested(int)), this, SLOT(stop(int)));
    {
        std::lock_guard<std::mutex> lock(input->mutex);
        input->stream = this;
    }
    // The thread reads its own copy of the descriptor, which it closes.
    const int fd = duplicateFd(inputFd);
    if (fd < 0)
        say(QStringLiteral("cannot read the input: %1").arg(qt_error_string(errno)));
    std::thread reader(&Input::read, input, fd);

    relay.start();
    loop.exec();

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
    relay.stop();

    if (stopSignal)
        return CtlOutput::StoppedBySignal + stopSignal;
    if (!everConnected)
        return CtlOutput::NotConnected;
    return input->badLines ? CtlOutput::BadLines : CtlOutput::Success;
}

void ColorStream::setDeviceState(int connected_devices)
{
    const int now = connected_devices & devices;
    // Only while the input lasts: an input that has ended (/dev/null) ends
    // the stream as soon as this is said.
    const QStringList lines =
        stateKnown ? CtlOutput::changeLines(connected, now)
                   : CtlOutput::missingLines(devices, devicesNamed, now,
                                             QStringLiteral(" until the input ends"));
    for (const QString &line : lines)
        say(line);
    if (stateKnown) {
        // One that came back shows the colour of the moment.
        if ((now & ~connected) && !takeNewestColor() && newestColor.isValid())
            relay.updateColor(newestColor);
    }
    stateKnown = true;
    connected = now;
    everConnected |= now;
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

void ColorStream::stop(int signal)
{
    stopSignal = signal;
    loop.quit();
}

bool ColorStream::takeNewestColor()
{
    const quint64 newest = input->newest.exchange(0);
    if (!(newest & Input::Fresh))
        return false;
    newestColor = QColor::fromRgb(QRgb(newest & 0xffffffffu));
    relay.updateColor(newestColor);
    return true;
}

void ColorStream::finishIfDone()
{
    // The state is known once the worker's first pass has reported, so
    // missing accessories are always told about.
    if (ended && stateKnown && !relay.isUpdating())
        loop.quit();
}

void ColorStream::say(const QString &message)
{
    std::lock_guard<std::mutex> lock(input->mutex);
    CtlOutput::say(err, message);
}
