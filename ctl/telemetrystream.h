// SPDX-License-Identifier: MIT
#ifndef TELEMETRYSTREAM_H
#define TELEMETRYSTREAM_H

#include "assettocorsalink.h"
#include "colorstore.h"
#include "devicerelay.h"
#include "gt7link.h"
#include "hidworker.h"
#include "openrgbserver.h"
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

// brimsel-ctl's modes that own the lights until a signal ends them:
// --telemetry, where the game's telemetry, over UDP or from the sims that
// share it in memory, drives the lights, and --openrgb, the OpenRGB SDK
// server that keeps each accessory's colour and puts it back whenever the
// accessory comes; together, the game wins while it drives and the kept
// colours come back when it stops. Packets, snapshots and SDK requests are
// read in the calling thread as they come; the device link's worker
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
        bool telemetry = true; // the games' UDP and shared memory
        bool openRgb = false;
        QString openRgbEndpoint; // "[ADDRESS:]PORT" or "ADDRESS", empty for 127.0.0.1:6742
        QString stateFolder = ColorStore::defaultFolder(); // of the kept colours
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
    void saveColors();
    void stop(int signal);

private:
    // Opens the sockets; false, having said why, when none could be had.
    bool listen();
    bool openPeers(const QString &acHost, quint32 listenAddress);
    bool serveOpenRgb();
    OpenRgbSession::Controllers controllers() const;
    void keepColor(int index, QRgb color);
    void describeAccessories();
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
    ColorStore store;
    std::unique_ptr<OpenRgbServer> openRgb;
    QTimer saveTimer; // kept colours reach the disk at most this often
    bool unsaved = false;
    bool saveFailedSaid = false;
    // The connected accessories as the SDK's controllers: their slots, and
    // where the system has them.
    std::vector<int> controllerSlots;
    AccessoryTable::PerAccessory<QString> serials, locations;

    int announced = 0; // formats named since packets last stopped, one bit each
    qint64 lastReadable = 0;
    qint64 unreadable = 0;
    bool stateKnown = false;
    int connected = HidWorker::NoDevice;
    int stopSignal = 0;
};

#endif // TELEMETRYSTREAM_H
