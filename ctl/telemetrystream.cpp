// SPDX-License-Identifier: MIT
#include "telemetrystream.h"

#include <QDir>
#include <QSocketNotifier>
#include <QTextStream>

#include "ctloutput.h"
#include "hidoneshot.h"
#include "stopsignals.h"

#include <chrono>

namespace {

// More than the largest format, so that a longer packet shows as such.
constexpr size_t kBufferSize = 2048;
constexpr int kPacketsPerWake = 64;
// Which receiver or peer a socket notifier watches.
const char *const kReceiverIndex = "receiverIndex";
const char *const kPeerIndex = "peerIndex";
static_assert(TelemetryDecoder::FormatCount <= 31, "one bit of an int per format announced");
// How often the games that send only when asked are looked after.
constexpr int kAskMs = 1000;
// A client may set colours a thousand times a second: the disk sees the
// newest at most this often, and at the end.
constexpr int kSaveMs = 500;

qint64 steadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

TelemetryStream::TelemetryStream(const Options &options, QTextStream &err)
    : options(options), err(err), memory(options.sharedMemoryFolder),
      lights(options.idle, options.shiftAt, steadyMs, !options.shiftAtGiven),
      relay({[this](int connected) { setDeviceState(connected); }, nullptr, nullptr,
             [this](const QString &message) { say(message); }}),
      store(options.stateFolder)
{
    saveTimer.setSingleShot(true);
    saveTimer.setInterval(kSaveMs);
    connect(&saveTimer, SIGNAL(timeout()), this, SLOT(saveColors()));
    lightTimer.setSingleShot(true);
    lightTimer.setTimerType(Qt::PreciseTimer);
    connect(&lightTimer, SIGNAL(timeout()), this, SLOT(showLights()));
    memoryTimer.setSingleShot(true);
    memoryTimer.setTimerType(Qt::PreciseTimer);
    connect(&memoryTimer, SIGNAL(timeout()), this, SLOT(readSharedMemory()));
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
            return openPeers(options.acHost, address);
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
    return openPeers(options.acHost.isEmpty() ? QStringLiteral("127.0.0.1") : options.acHost,
                     address);
}

// The games that send only when asked: Assetto Corsa on acHost, if any, and
// Gran Turismo when a console is named, its packets to listenAddress.
bool TelemetryStream::openPeers(const QString &acHost, quint32 listenAddress)
{
    quint32 host;
    QString error;
    if (!acHost.isEmpty()) {
        std::unique_ptr<AssettoCorsaLink> link(new AssettoCorsaLink);
        if (!TelemetryReceiver::parseHost(acHost, &host, &error) || !link->open(host, &error)) {
            say(error);
            return false;
        }
        peers.push_back(std::move(link));
    }
    if (!options.gt7Console.isEmpty()) {
        quint32 console;
        if (!TelemetryReceiver::parseHost(options.gt7Console, &console, &error)) {
            say(error);
            return false;
        }
        // Its packets come from the console: where it can reach this machine.
        if (listenAddress == 0x7f000001 && console >> 24 != 127)
            listenAddress = 0;
        for (Gt7Link::Game game : {Gt7Link::GranTurismo7, Gt7Link::GranTurismoSport}) {
            std::unique_ptr<Gt7Link> link(new Gt7Link(game));
            if (!link->open(console, listenAddress, &error)) {
                say(error);
                return false;
            }
            peers.push_back(std::move(link));
        }
    }
    for (const std::unique_ptr<TelemetryPeer> &peer : peers)
        say(QStringLiteral("asking %1 for telemetry").arg(peer->description()));
    return true;
}

bool TelemetryStream::serveOpenRgb()
{
    quint32 address;
    quint16 port;
    QString error;
    if (!TelemetryReceiver::parseEndpoint(options.openRgbEndpoint, &address, &port, &error)) {
        say(error);
        return false;
    }
    if (!store.load(&error))
        say(QStringLiteral("openrgb: cannot read the kept colours in %1: %2; none is kept until "
                           "a colour is set")
                .arg(QDir::toNativeSeparators(store.path()), error));
    OpenRgbSession::Host host{[this] { return controllers(); },
                              [this](int index, QRgb color) { keepColor(index, color); },
                              [this](const QString &message) { say(message); }};
    openRgb.reset(new OpenRgbServer(host, [this](const QString &message) { say(message); }));
    bool inUse = false;
    if (!openRgb->listen(address, port, &error, &inUse)) {
        say(error);
        return false;
    }
    say(QStringLiteral("openrgb: serving the OpenRGB SDK on %1").arg(openRgb->endpoint()));
    return true;
}

OpenRgbSession::Controllers TelemetryStream::controllers() const
{
    OpenRgbSession::Controllers list;
    for (int slot : controllerSlots) {
        OpenRgbProtocol::Controller c;
        c.name = QLatin1String(AccessoryTable::entries[size_t(slot)].name);
        c.serial = serials[size_t(slot)];
        c.location = locations[size_t(slot)];
        c.color = store.has(slot) ? store.color(slot) : options.idle;
        list.push_back(c);
    }
    return list;
}

void TelemetryStream::keepColor(int index, QRgb color)
{
    store.set(controllerSlots[size_t(index)], color);
    unsaved = true;
    if (!saveTimer.isActive())
        saveTimer.start();
    showLights();
}

void TelemetryStream::saveColors()
{
    QString why;
    if (!unsaved)
        return;
    unsaved = false;
    if (!store.save(&why) && !saveFailedSaid) {
        saveFailedSaid = true;
        say(QStringLiteral("openrgb: cannot keep the colours in %1: %2")
                .arg(QDir::toNativeSeparators(store.path()), why));
    }
}

// Which accessories are the controllers, and where the system has each.
void TelemetryStream::describeAccessories()
{
    controllerSlots.clear();
    for (size_t slot = 0; slot < AccessoryTable::entries.size(); ++slot)
        if (connected & AccessoryTable::entries[slot].bit)
            controllerSlots.push_back(int(slot));
    serials = {};
    locations = {};
    HidOneShot hid;
    for (const HidOneShot::Found &found : hid.enumerate()) {
        const size_t slot = size_t(found.kind - AccessoryTable::entries.data());
        if (locations[slot].isEmpty()) { // the first of a kind, as the worker takes it
            serials[slot] = found.serial;
            locations[slot] = found.path;
        }
    }
    hid.finish();
}

int TelemetryStream::run()
{
    if (options.telemetry && !listen())
        return CtlOutput::UsageError;
    if (options.openRgb && !serveOpenRgb())
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
    for (size_t i = 0; i < peers.size(); ++i) {
        notifiers.emplace_back(new QSocketNotifier(peers[i]->descriptor(), QSocketNotifier::Read));
        notifiers.back()->setProperty(kPeerIndex, int(i));
        connect(notifiers.back().get(), SIGNAL(activated(int)), this, SLOT(peerPacketsWaiting()));
    }
    if (!peers.empty()) {
        connect(&askTimer, SIGNAL(timeout()), this, SLOT(askPeers()));
        askTimer.start(kAskMs);
        askPeers();
    }

    // What each accessory shows is unknown until now: the idle colour, at once.
    showLights();
    if (options.telemetry)
        readSharedMemory();
    loop.exec();
    notifiers.clear();
    lightTimer.stop();
    memoryTimer.stop();
    saveTimer.stop();
    saveColors();
    openRgb.reset();
    askTimer.stop();
    for (const std::unique_ptr<TelemetryPeer> &peer : peers)
        peer->close(); // the game stops sending

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

void TelemetryStream::peerPacketsWaiting()
{
    TelemetryPeer &peer = *peers[size_t(sender()->property(kPeerIndex).toInt())];
    TelemetryDecoder::Sample sample;
    long long size;
    bool heard = false;
    TelemetryPeer::Read read;
    for (int n = 0; n < kPacketsPerWake &&
                    (read = peer.read(steadyMs(), &sample, &size)) != TelemetryPeer::Nothing;
         ++n)
        heard = take(sample, read == TelemetryPeer::Readable, size) || heard;
    if (heard)
        showLights();
}

void TelemetryStream::askPeers()
{
    const qint64 now = steadyMs();
    for (const std::unique_ptr<TelemetryPeer> &peer : peers)
        peer->tick(now);
}

void TelemetryStream::readSharedMemory()
{
    const bool heard = memory.poll(
        steadyMs(), [this](const TelemetryDecoder::Sample &s) { take(s, true, 0); },
        [this](const QString &message) { say(message); });
    if (heard)
        showLights();
    memoryTimer.start(memory.msUntilPoll(steadyMs()));
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
    // While no game drives, the agent's kept colours.
    const bool kept = openRgb && !lights.isDriving();
    ColorCoalescer::AccessoryColors wanted;
    for (size_t i = 0; i < colors.size(); ++i)
        wanted[i] = QColor::fromRgb(kept && store.has(int(i)) ? store.color(int(i)) : colors[i]);
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
    const bool changed = !stateKnown || now != connected;
    stateKnown = true;
    connected = now;
    if (openRgb && changed) {
        describeAccessories();
        openRgb->controllersChanged();
    }
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
