// SPDX-License-Identifier: MIT
#ifndef TELEMETRYSOURCES_H
#define TELEMETRYSOURCES_H

#include "assettocorsalink.h"
#include "endpoint.h"
#include "sharedmemorysource.h"
#include "telemetrydecoder.h"
#include "telemetrypeer.h"
#include "udpsocket.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <vector>

QT_BEGIN_NAMESPACE
class QSocketNotifier;
QT_END_NAMESPACE

// Where the agent hears the games: the UDP ports they send to, the games
// that send only when asked (Assetto Corsa, Gran Turismo), and the sims that
// share their telemetry in memory. Packets and snapshots are read in the
// calling thread as they come; each readable one is handed on, and a burst
// ends with one call of heard(), so that it costs one look at the lights.
class TelemetrySources : public QObject
{
    Q_OBJECT
public:
    // The ports the supported games send to unless told otherwise, and who
    // sends there; with no port given, each is listened on.
    struct GamePort
    {
        quint16 port;
        const char *games;
    };
    static constexpr GamePort DefaultPorts[] = {
        {20777, "F1, EA SPORTS WRC, DiRT"},
        {5606, "Automobilista 2, Project CARS 2"},
        {6776, "Richard Burns Rally"},
        {4444, "BeamNG.drive's OutGauge"},
    };

    struct Settings
    {
        Endpoint listen; // port 0: every port of gamePorts
        // The games' own ports unless told otherwise (a test beside the
        // user's games and tools).
        std::vector<GamePort> gamePorts{std::begin(DefaultPorts), std::end(DefaultPorts)};
        quint16 acPort = AssettoCorsaLink::Port;
        // Assetto Corsa's machine; when none is given, this one, unless a
        // port is given.
        std::optional<quint32> acHost;
        std::optional<quint32> gt7Console; // Gran Turismo's PlayStation, if any
        // Where the Proton bridge keeps the sims' shared memory (Linux)
        QString sharedMemoryFolder = SharedMemorySource::defaultFolder();
    };
    struct Host
    {
        std::function<qint64()> clock; // milliseconds, never going back
        std::function<void(const TelemetryDecoder::Sample &sample)> feed;
        std::function<void()> heard; // after a burst that held something readable
        std::function<void(const QString &message)> say;
    };

    TelemetrySources(const Settings &settings, Host host);
    ~TelemetrySources() override;

    // Opens the sockets; false, having said why, when a port that was asked
    // for cannot be had. Each game's port that another program holds (a
    // telemetry tool such as SimHub) is said and left out, and the rest
    // runs without it.
    bool open();
    // Reads as packets come, asks the games that must be asked and looks
    // for the sims, until stop().
    void start();
    // Tells the games that were asked to stop sending, and how many packets
    // could not be read.
    void stop();

private slots:
    void packetsWaiting();
    void peerPacketsWaiting();
    void askPeers();
    void readSharedMemory();

private:
    bool openPeers(std::optional<quint32> acHost, quint32 listenAddress);
    void readPackets(UdpSocket &receiver);
    // One packet read: named, counted, handed on.
    bool take(const TelemetryDecoder::Sample &sample, bool readable, long long size);

    const Settings settings;
    const Host host;
    std::vector<std::unique_ptr<UdpSocket>> receivers;
    std::vector<std::unique_ptr<TelemetryPeer>> peers;
    std::vector<std::unique_ptr<QSocketNotifier>> notifiers;
    QTimer askTimer;
    SharedMemorySource memory;
    QTimer memoryTimer;

    int announced = 0; // formats named since packets last stopped, one bit each
    qint64 lastReadable = 0;
    qint64 unreadable = 0;
};

#endif // TELEMETRYSOURCES_H
