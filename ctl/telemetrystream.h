// SPDX-License-Identifier: MIT
#ifndef TELEMETRYSTREAM_H
#define TELEMETRYSTREAM_H

#include "assettocorsalink.h"
#include "devicerelay.h"
#include "gt7link.h"
#include "hidworker.h"
#include "sharedmemorysource.h"
#include "telemetrydecoder.h"
#include "telemetrylights.h"
#include "telemetryreceiver.h"

#include <QColor>
#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

QT_BEGIN_NAMESPACE
class QTextStream;
QT_END_NAMESPACE

// brimsel-ctl --telemetry: the game's telemetry, over UDP or from the sims
// that share it in memory, drives the lights until a signal ends it. Packets
// and snapshots are read and decoded in the calling thread as they come; the device link's worker
// writes in its own thread, one request at a time, each accessory's newest colour waiting.
class TelemetryStream : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        QString endpoint; // "[ADDRESS:]PORT" or "ADDRESS", empty for every default port
        HidWorker::Device devices = HidWorker::NoDevice;
        bool devicesNamed = false;
        QRgb idle = qRgb(0, 0, 0);
        double shiftAt = TelemetryLights::DefaultShiftAt;
        bool shiftAtGiven = false; // then the games' own shift signals are not followed
        QString acHost;     // Assetto Corsa's machine; empty: this one, unless a port is given
        QString gt7Console; // Gran Turismo's PlayStation, if any
        // Where the Proton bridge keeps the sims' shared memory (Linux)
        QString sharedMemoryFolder = SharedMemorySource::defaultFolder();
    };

    TelemetryStream(const Options &options, QTextStream &err);
    ~TelemetryStream() override;

    // Listens until SIGINT or SIGTERM and returns brimsel-ctl's exit status:
    // 2 if it cannot listen, before any accessory is touched.
    int run();

private slots:
    void packetsWaiting();
    void peerPacketsWaiting();
    void askPeers();
    void readSharedMemory();
    void showLights();
    void stop(int signal);

private:
    // Opens the sockets; false, having said why, when none could be had.
    bool listen();
    bool openPeers(const QString &acHost, quint32 listenAddress);
    void readPackets(TelemetryReceiver &receiver);
    // One packet read: named, counted, fed to the lights.
    bool take(const TelemetryDecoder::Sample &sample, bool readable, long long size);
    void setDeviceState(int connected_devices);
    void say(const QString &message);

    const Options options;
    QTextStream &err;
    std::vector<std::unique_ptr<TelemetryReceiver>> receivers;
    std::vector<std::unique_ptr<TelemetryPeer>> peers;
    QTimer askTimer;
    SharedMemorySource memory;
    QTimer memoryTimer;
    TelemetryLights lights;
    QTimer lightTimer; // the next flash step or the fall-back to idle, or later
    qint64 lightDue = 0;
    QEventLoop loop;
    DeviceRelay relay; // a colour per accessory

    int announced = 0; // formats named since packets last stopped, one bit each
    qint64 lastReadable = 0;
    qint64 unreadable = 0;
    bool stateKnown = false;
    int connected = HidWorker::NoDevice;
    int stopSignal = 0;
};

#endif // TELEMETRYSTREAM_H
