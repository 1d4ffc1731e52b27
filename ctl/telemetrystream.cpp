// SPDX-License-Identifier: MIT
#include "telemetrystream.h"

#include <QSocketNotifier>
#include <QTextStream>

#include "ctloutput.h"
#include "stopsignals.h"

#include <chrono>

namespace {

// More than the largest format, so that a longer packet shows as such.
constexpr size_t kBufferSize = 2048;
constexpr int kPacketsPerWake = 64;
// Which receiver a socket notifier watches.
const char *const kReceiverIndex = "receiverIndex";

qint64 steadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

TelemetryStream::TelemetryStream(const Options &options, QTextStream &err)
    : options(options), err(err),
      lights(options.idle, options.shiftAt, steadyMs, !options.shiftAtGiven),
      relay({[this](int connected) { setDeviceState(connected); }, nullptr, nullptr,
             [this](const QString &message) { say(message); }})
{
    lightTimer.setSingleShot(true);
    lightTimer.setTimerType(Qt::PreciseTimer);
    connect(&lightTimer, SIGNAL(timeout()), this, SLOT(showLights()));
}

TelemetryStream::~TelemetryStream() = default;

bool TelemetryStream::listen()
{
    quint32 address;
    quint16 port;
    QString error;
    if (!TelemetryReceiver::parseEndpoint(options.endpoint, &address, &port, &error)) {
        say(error);
        return false;
    }
    if (port) {
        receivers.emplace_back(new TelemetryReceiver);
        if (receivers.back()->open(address, port, &error)) {
            say(QStringLiteral("listening for telemetry on %1").arg(receivers.back()->endpoint()));
            return options.acHost.isEmpty() || openAssettoCorsa(options.acHost);
        }
        say(error);
        return false;
    }
    // Every game's port: one that another program holds is told of and left out.
    QStringList where;
    for (const TelemetryReceiver::GamePort &game : TelemetryReceiver::DefaultPorts) {
        std::unique_ptr<TelemetryReceiver> receiver(new TelemetryReceiver);
        bool inUse = false;
        if (!receiver->open(address, game.port, &error, &inUse)) {
            say(inUse ? QStringLiteral("%1; skipped (%2)").arg(error, QLatin1String(game.games))
                      : error);
            if (!inUse)
                return false;
            continue;
        }
        where << receiver->endpoint();
        receivers.push_back(std::move(receiver));
    }
    if (receivers.empty()) {
        say(QStringLiteral("no port to listen on: each game's port is in use"));
        return false;
    }
    say(QStringLiteral("listening for telemetry on %1").arg(where.join(QStringLiteral(", "))));
    return openAssettoCorsa(options.acHost.isEmpty() ? QStringLiteral("127.0.0.1")
                                                     : options.acHost);
}

bool TelemetryStream::openAssettoCorsa(const QString &hostText)
{
    quint32 host;
    QString error;
    assettoCorsa.reset(new AssettoCorsaLink);
    if (!TelemetryReceiver::parseHost(hostText, &host, &error) ||
        !assettoCorsa->open(host, &error)) {
        say(error);
        return false;
    }
    say(QStringLiteral("asking Assetto Corsa at %1 for telemetry").arg(assettoCorsa->peer()));
    return true;
}

int TelemetryStream::run()
{
    if (!listen())
        return CtlOutput::UsageError;
    StopSignals stopSignals;
    connect(&stopSignals, SIGNAL(stopRequested(int)), this, SLOT(stop(int)));

    relay.start();

    std::vector<std::unique_ptr<QSocketNotifier>> notifiers;
    for (size_t i = 0; i < receivers.size(); ++i) {
        notifiers.emplace_back(
            new QSocketNotifier(receivers[i]->descriptor(), QSocketNotifier::Read));
        notifiers.back()->setProperty(kReceiverIndex, int(i));
        connect(notifiers.back().get(), SIGNAL(activated(int)), this, SLOT(packetsWaiting()));
    }
    if (assettoCorsa) {
        notifiers.emplace_back(
            new QSocketNotifier(assettoCorsa->descriptor(), QSocketNotifier::Read));
        connect(notifiers.back().get(), SIGNAL(activated(int)), this, SLOT(acPacketsWaiting()));
        connect(&acTimer, SIGNAL(timeout()), this, SLOT(askAssettoCorsa()));
        acTimer.start(1000);
        askAssettoCorsa();
    }

    // What each accessory shows is unknown until now: the idle colour, at once.
    showLights();
    loop.exec();
    notifiers.clear();
    lightTimer.stop();
    acTimer.stop();
    if (assettoCorsa)
        assettoCorsa->close(); // the game stops sending

    // The write in flight finishes; a write that hung keeps its handle and
    // the HID library past the end of the thread, as with --stream.
    relay.stop();
    if (unreadable)
        say(QStringLiteral("telemetry: %1 packets could not be read").arg(unreadable));
    return CtlOutput::StoppedBySignal + stopSignal;
}

void TelemetryStream::packetsWaiting()
{
    readPackets(*receivers[size_t(sender()->property(kReceiverIndex).toInt())]);
}

void TelemetryStream::readPackets(TelemetryReceiver &receiver)
{
    unsigned char buffer[kBufferSize];
    long long size;
    bool heard = false;
    // What waits, then one look at the lights: a burst costs one request.
    // A bounded number, so that a flood cannot keep the loop from the rest.
    for (int n = 0; n < kPacketsPerWake && (size = receiver.receive(buffer, sizeof buffer)) >= 0;
         ++n) {
        TelemetryDecoder::Sample sample;
        // One cut short by the buffer is of no format.
        const bool readable = size_t(size) <= sizeof buffer &&
                              TelemetryDecoder::decode(buffer, size_t(size), &sample);
        heard = take(sample, readable, size) || heard;
    }
    if (heard)
        showLights();
}

void TelemetryStream::acPacketsWaiting()
{
    TelemetryDecoder::Sample sample;
    long long size;
    bool heard = false;
    AssettoCorsaLink::Read read;
    for (int n = 0;
         n < kPacketsPerWake &&
         (read = assettoCorsa->read(steadyMs(), &sample, &size)) != AssettoCorsaLink::Nothing;
         ++n)
        heard = take(sample, read == AssettoCorsaLink::Readable, size) || heard;
    if (heard)
        showLights();
}

void TelemetryStream::askAssettoCorsa()
{
    assettoCorsa->tick(steadyMs());
}

bool TelemetryStream::take(const TelemetryDecoder::Sample &sample, bool readable, long long size)
{
    if (!readable) {
        if (!unreadable++)
            say(QStringLiteral("telemetry: cannot read a packet of %1 bytes; such packets "
                               "are ignored")
                    .arg(size));
        return false;
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
    return true;
}

void TelemetryStream::showLights()
{
    const TelemetryLights::Colors colors = lights.colors();
    ColorCoalescer::AccessoryColors wanted;
    for (size_t i = 0; i < colors.size(); ++i)
        wanted[i] = QColor::fromRgb(colors[i]);
    relay.updateColors(wanted, options.devices);
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

void TelemetryStream::setDeviceState(int connected_devices)
{
    const int now = connected_devices & options.devices;
    const QStringList lines =
        stateKnown ? CtlOutput::changeLines(connected, now)
                   : CtlOutput::missingLines(options.devices, options.devicesNamed, now, QString());
    for (const QString &line : lines)
        say(line);
    if (stateKnown) {
        // One that came back shows the colour of the moment.
        relay.resend(now & ~connected);
    }
    stateKnown = true;
    connected = now;
}

void TelemetryStream::stop(int signal)
{
    stopSignal = signal;
    loop.quit();
}

void TelemetryStream::say(const QString &message)
{
    CtlOutput::say(err, message);
}
