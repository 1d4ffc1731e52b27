// SPDX-License-Identifier: MIT
#include "telemetrysources.h"

#include <QSocketNotifier>
#include <QStringList>
#include <QVariant>

#include "assettocorsalink.h"
#include "gt7link.h"
#include "telemetrylights.h"

namespace {

// More than the largest format, so that a longer packet shows as such.
constexpr size_t kBufferSize = 2048;
static_assert(kBufferSize > TelemetryDecoder::MaxPacketSize, "a longer packet must show");
constexpr int kPacketsPerWake = 64;
// Which receiver or peer a socket notifier watches.
const char *const kReceiverIndex = "receiverIndex";
const char *const kPeerIndex = "peerIndex";
static_assert(TelemetryDecoder::FormatCount <= 31, "one bit of an int per format announced");
// How often the games that send only when asked are looked after.
constexpr int kAskMs = 1000;

} // namespace

TelemetrySources::TelemetrySources(const Settings &settings, Host host)
    : settings(settings), host(std::move(host)), memory(settings.sharedMemoryFolder)
{
    memoryTimer.setSingleShot(true);
    memoryTimer.setTimerType(Qt::PreciseTimer);
    connect(&memoryTimer, SIGNAL(timeout()), this, SLOT(readSharedMemory()));
    connect(&askTimer, SIGNAL(timeout()), this, SLOT(askPeers()));
}

TelemetrySources::~TelemetrySources() = default;

bool TelemetrySources::open()
{
    const Endpoint &at = settings.listen;
    QString error;
    if (at.port) {
        receivers.emplace_back(new UdpSocket);
        if (receivers.back()->open(at, &error)) {
            host.say(QStringLiteral("listening for telemetry on %1").arg(at.text()));
            return openPeers(settings.acHost, at.address);
        }
        host.say(error);
        return false;
    }
    // Every game's port: one that another program holds is told of and left out.
    QStringList where;
    for (const GamePort &game : settings.gamePorts) {
        std::unique_ptr<UdpSocket> receiver(new UdpSocket);
        bool inUse = false;
        if (!receiver->open(Endpoint(at.address, game.port), &error, &inUse)) {
            host.say(inUse
                         ? QStringLiteral("%1; skipped (%2)").arg(error, QLatin1String(game.games))
                         : error);
            if (!inUse)
                return false;
            continue;
        }
        where << receiver->endpoint().text();
        receivers.push_back(std::move(receiver));
    }
    if (receivers.empty())
        host.say(QStringLiteral("no port to listen on: each game's port is in use; the games "
                                "that are asked and the sims' shared memory are still heard"));
    else
        host.say(
            QStringLiteral("listening for telemetry on %1").arg(where.join(QStringLiteral(", "))));
    return openPeers(settings.acHost.value_or(Endpoint::Loopback), at.address);
}

// The games that send only when asked: Assetto Corsa on acHost, if any, and
// Gran Turismo when a console is named, its packets to listenAddress.
bool TelemetrySources::openPeers(std::optional<quint32> acHost, quint32 listenAddress)
{
    QString error;
    if (acHost) {
        std::unique_ptr<AssettoCorsaLink> link(new AssettoCorsaLink);
        if (!link->open(*acHost, &error, settings.acPort)) {
            host.say(error);
            return false;
        }
        peers.push_back(std::move(link));
    }
    if (settings.gt7Console) {
        const quint32 console = *settings.gt7Console;
        // Its packets come from the console: where it can reach this machine.
        if (listenAddress == Endpoint::Loopback && console >> 24 != 127)
            listenAddress = Endpoint::Any;
        for (Gt7Link::Game game : {Gt7Link::GranTurismo7, Gt7Link::GranTurismoSport}) {
            std::unique_ptr<Gt7Link> link(new Gt7Link(game));
            if (!link->open(console, listenAddress, &error)) {
                host.say(error);
                return false;
            }
            peers.push_back(std::move(link));
        }
    }
    for (const std::unique_ptr<TelemetryPeer> &peer : peers)
        host.say(QStringLiteral("asking %1 for telemetry").arg(peer->description()));
    return true;
}

void TelemetrySources::start()
{
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
        askTimer.start(kAskMs);
        askPeers();
    }
    readSharedMemory();
}

void TelemetrySources::stop()
{
    notifiers.clear();
    memoryTimer.stop();
    askTimer.stop();
    for (const std::unique_ptr<TelemetryPeer> &peer : peers)
        peer->close(); // the game stops sending
    if (unreadable)
        host.say(QStringLiteral("telemetry: %1 packets could not be read").arg(unreadable));
}

void TelemetrySources::packetsWaiting()
{
    readPackets(*receivers[size_t(sender()->property(kReceiverIndex).toInt())]);
}

void TelemetrySources::readPackets(UdpSocket &receiver)
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
        host.heard();
}

void TelemetrySources::peerPacketsWaiting()
{
    TelemetryPeer &peer = *peers[size_t(sender()->property(kPeerIndex).toInt())];
    TelemetryDecoder::Sample sample;
    long long size;
    bool heard = false;
    TelemetryPeer::Read read;
    for (int n = 0; n < kPacketsPerWake &&
                    (read = peer.read(host.clock(), &sample, &size)) != TelemetryPeer::Nothing;
         ++n)
        heard = take(sample, read == TelemetryPeer::Readable, size) || heard;
    if (heard)
        host.heard();
}

void TelemetrySources::askPeers()
{
    const qint64 now = host.clock();
    for (const std::unique_ptr<TelemetryPeer> &peer : peers)
        peer->tick(now);
}

void TelemetrySources::readSharedMemory()
{
    const bool heard = memory.poll(
        host.clock(), [this](const TelemetryDecoder::Sample &s) { take(s, true, 0); }, host.say);
    if (heard)
        host.heard();
    memoryTimer.start(memory.msUntilPoll(host.clock()));
}

bool TelemetrySources::take(const TelemetryDecoder::Sample &sample, bool readable, long long size)
{
    if (!readable) {
        if (!unreadable++)
            host.say(QStringLiteral("telemetry: cannot read a packet of %1 bytes; such packets "
                                    "are ignored")
                         .arg(size));
        return false;
    }
    // Each format once while packets keep coming, so that two games
    // sending at once do not write a line per packet.
    const qint64 now = host.clock();
    if (now - lastReadable >= TelemetryLights::SilenceMs)
        announced = 0;
    lastReadable = now;
    if (!(announced & (1 << sample.format))) {
        announced |= 1 << sample.format;
        // With the name a profile knows the game by.
        const QStringList names = TelemetryDecoder::gameNames(sample.format);
        host.say(QStringLiteral("telemetry: %1, \"%2\" in a profile")
                     .arg(TelemetryDecoder::formatName(sample.format),
                          names.join(QStringLiteral("\" or \""))));
    }
    host.feed(sample);
    return true;
}
