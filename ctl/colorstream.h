// SPDX-License-Identifier: MIT
#ifndef COLORSTREAM_H
#define COLORSTREAM_H

#include "devicerelay.h"
#include "hidworker.h"

#include <QColor>
#include <QEventLoop>
#include <QObject>

#include <memory>

QT_BEGIN_NAMESPACE
class QTextStream;
QT_END_NAMESPACE

// brimsel-ctl --stream: colours from an input, one a line, to the
// accessories, as fast as they take them. A thread reads and parses the
// input and keeps only the newest colour; the window's worker writes it in
// a thread of its own, one request out at a time, as in the window; this
// object, in the calling thread, hands the newest colour on whenever the
// worker is free.
class ColorStream : public QObject
{
    Q_OBJECT
public:
    // Reads from inputFd (not closed here) until its end, writes messages to err.
    ColorStream(int inputFd, HidWorker::Device devices, bool devicesNamed, QTextStream &err);
    ~ColorStream() override;

    // Streams until the input ends or SIGINT, SIGTERM or SIGPIPE comes, and
    // returns brimsel-ctl's exit status.
    int run();

    // The requests it makes, for a benchmark to watch.
    DeviceRelay &deviceRelay() { return relay; }

private slots:
    void colorRead();
    void inputEnded();
    void stop(int signal);

private:
    struct Input;

    void setDeviceState(int connected_devices);
    bool takeNewestColor();
    void finishIfDone();
    void say(const QString &line);

    const int inputFd;
    const HidWorker::Device devices;
    const bool devicesNamed;
    QTextStream &err;
    std::shared_ptr<Input> input;
    DeviceRelay relay;
    QEventLoop loop;
    QColor newestColor; // the newest colour read, for accessories that come back
    bool stateKnown = false;
    int connected = HidWorker::NoDevice;
    int everConnected = HidWorker::NoDevice;
    bool ended = false;
    int stopSignal = 0;
};

#endif // COLORSTREAM_H
