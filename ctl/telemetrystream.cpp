// SPDX-License-Identifier: MIT
#include "telemetrystream.h"

#include <QSocketNotifier>
#include <QTextStream>

#include "accessorytable.h"
#include "brimselctl.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <memory>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

constexpr int kSignalCheckMs = 50;
// More than the largest format, so that a longer packet shows as such.
constexpr size_t kBufferSize = 2048;
constexpr int kPacketsPerWake = 64;

std::atomic<int> caughtSignal{0};
#ifndef Q_OS_WIN
// The handler wakes the loop through a pipe, so that no timer has to look
// for a signal 20 times a second beside the packets.
int signalPipe[2] = {-1, -1};
#endif

extern "C" void onTelemetrySignal(int signal)
{
    caughtSignal = signal;
#ifndef Q_OS_WIN
    const char byte = 0;
    if (signalPipe[1] >= 0 && write(signalPipe[1], &byte, 1) < 0) {
        // Full: a wake-up is waiting already.
    }
#endif
}

// The handlers live as long as the run; the old ones come back after it.
class SignalScope
{
public:
    SignalScope()
    {
        caughtSignal = 0;
#ifndef Q_OS_WIN
        if (pipe(signalPipe) == 0) {
            for (int fd : signalPipe) {
                fcntl(fd, F_SETFD, FD_CLOEXEC);
                fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
            }
        } else {
            signalPipe[0] = signalPipe[1] = -1;
        }
#endif
        previousInt = std::signal(SIGINT, onTelemetrySignal);
        previousTerm = std::signal(SIGTERM, onTelemetrySignal);
#ifdef SIGPIPE
        previousPipe = std::signal(SIGPIPE, onTelemetrySignal);
#endif
    }
    ~SignalScope()
    {
        std::signal(SIGINT, previousInt);
        std::signal(SIGTERM, previousTerm);
#ifdef SIGPIPE
        std::signal(SIGPIPE, previousPipe);
#endif
#ifndef Q_OS_WIN
        for (int &fd : signalPipe) {
            if (fd >= 0)
                close(fd);
            fd = -1;
        }
#endif
    }

    // A descriptor that becomes readable when a signal came, or -1: then
    // the caller has to look for one now and then.
    static int wakeDescriptor()
    {
#ifndef Q_OS_WIN
        return signalPipe[0];
#else
        return -1;
#endif
    }

private:
    void (*previousInt)(int);
    void (*previousTerm)(int);
#ifdef SIGPIPE
    void (*previousPipe)(int);
#endif
};

qint64 steadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

TelemetryStream::TelemetryStream(const Options &options, QTextStream &err)
    : options(options), err(err), lights(options.idle, options.shiftAt, steadyMs),
      link([this](const QColor &color, int devices) { return sendColor(color, devices); })
{
    lightTimer.setSingleShot(true);
    lightTimer.setTimerType(Qt::PreciseTimer);
    connect(&lightTimer, SIGNAL(timeout()), this, SLOT(showLights()));
}

TelemetryStream::~TelemetryStream() = default;

int TelemetryStream::run()
{
    QString error;
    if (!receiver.open(options.endpoint, &error)) {
        say(error);
        return BrimselCtl::UsageError;
    }
    SignalScope signalScope;
    say(QStringLiteral("listening for telemetry on %1").arg(receiver.endpoint()));

    link.start(this);

    QSocketNotifier notifier(receiver.descriptor(), QSocketNotifier::Read);
    connect(&notifier, SIGNAL(activated(int)), this, SLOT(readPackets()));
    QTimer signalCheck;
    connect(&signalCheck, SIGNAL(timeout()), this, SLOT(checkSignals()));
    std::unique_ptr<QSocketNotifier> signalWake;
    if (SignalScope::wakeDescriptor() >= 0) {
        signalWake.reset(new QSocketNotifier(SignalScope::wakeDescriptor(), QSocketNotifier::Read));
        connect(signalWake.get(), SIGNAL(activated(int)), this, SLOT(checkSignals()));
    } else {
        signalCheck.start(kSignalCheckMs);
    }

    // What each accessory shows is unknown until now: the idle colour, at once.
    showLights();
    loop.exec();
    signalCheck.stop();
    signalWake.reset();
    notifier.setEnabled(false);
    lightTimer.stop();

    // The write in flight finishes; a write that hung keeps its handle and
    // the HID library past the end of the thread, as with --stream.
    link.stop();
    if (unreadable)
        say(QStringLiteral("telemetry: %1 packets could not be read").arg(unreadable));
    return BrimselCtl::StoppedBySignal + stopSignal;
}

void TelemetryStream::readPackets()
{
    unsigned char buffer[kBufferSize];
    long long size;
    bool heard = false;
    // What waits, then one look at the lights: a burst costs one request.
    // A bounded number, so that a flood cannot keep the loop from the rest.
    for (int n = 0; n < kPacketsPerWake && (size = receiver.receive(buffer, sizeof buffer)) >= 0;
         ++n) {
        TelemetryDecoder::Sample sample;
        if (!TelemetryDecoder::decode(buffer, size_t(size), &sample)) {
            if (!unreadable++)
                say(QStringLiteral("telemetry: cannot read a packet of %1 bytes; such packets "
                                   "are ignored")
                        .arg(size));
            continue;
        }
        // Each format once while packets keep coming, so that two games
        // sending at once do not write a line per packet.
        const qint64 now = steadyMs();
        if (now - lastReadable >= TelemetryLights::SilenceMs)
            announced = 0;
        lastReadable = now;
        if (!(announced & (1 << sample.format))) {
            announced |= 1 << sample.format;
            say(QStringLiteral("telemetry: %1").arg(TelemetryDecoder::formatName(sample.format)));
        }
        lights.feed(sample);
        heard = true;
    }
    if (heard)
        showLights();
}

void TelemetryStream::showLights()
{
    const TelemetryLights::Colors colors = lights.colors();
    ColorCoalescer::AccessoryColors wanted;
    for (size_t i = 0; i < colors.size(); ++i)
        wanted[i] = QColor::fromRgb(colors[i]);
    link.updateColors(wanted, options.devices);
    // Every packet moves the fall-back to idle on, but the timer is set again
    // only for an earlier moment: at 60 packets a second, resetting it each
    // time would cost more than the rest of the packet's work.
    const int wait = lights.msUntilChange();
    const qint64 due = steadyMs() + wait;
    if (wait < 0) {
        lightTimer.stop();
    } else if (!lightTimer.isActive() || due < lightDue) {
        lightDue = due;
        lightTimer.start(wait);
    }
}

bool TelemetryStream::sendColor(const QColor &color, int devices)
{
    emit colorUpdateRequested(color, HidWorker::Device(devices));
    return true;
}

void TelemetryStream::setDeviceState(HidWorker::Device connected_devices)
{
    const int now = connected_devices & options.devices;
    const QStringList lines =
        stateKnown
            ? BrimselCtl::changeLines(connected, now)
            : BrimselCtl::missingLines(options.devices, options.devicesNamed, now, QString());
    for (const QString &line : lines)
        say(line);
    if (stateKnown) {
        // One that came back shows the colour of the moment.
        link.resend(now & ~connected);
    }
    stateKnown = true;
    connected = now;
}

void TelemetryStream::clearUpdatingColor()
{
    link.clearUpdatingColor();
}

void TelemetryStream::checkSignals()
{
    if (const int signal = caughtSignal) {
        stopSignal = signal;
        loop.quit();
    }
}

void TelemetryStream::showError(QString message)
{
    say(message);
}

void TelemetryStream::say(const QString &message)
{
    err << "brimsel-ctl: " << message << '\n';
    err.flush();
}
