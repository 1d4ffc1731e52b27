// SPDX-License-Identifier: MIT
#ifndef STOPSIGNALS_H
#define STOPSIGNALS_H

#include <QObject>

QT_BEGIN_NAMESPACE
class QSocketNotifier;
class QTimer;
QT_END_NAMESPACE

// The way a long-running mode of brimsel-ctl is asked to stop: SIGINT,
// SIGTERM and SIGPIPE on POSIX (through a self-pipe, so that nothing looks
// for a signal while none comes), Ctrl+C, Ctrl+Break, closing the console,
// log-off and shutdown on Windows (through the console handler, which holds
// off the end Windows deals after the last three until this object is gone,
// 4.5 s at most: destroy it once the last write is done). For as long as it
// lives; the old handlers come back after it. One at a time.
class StopSignals : public QObject
{
    Q_OBJECT
public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

    // The number of the signal that came (Ctrl+C counts as SIGINT, the other
    // console events as SIGTERM), or 0.
    int caught() const;

signals:
    // In the thread that made this object, after a signal came.
    void stopRequested(int signal);

private slots:
    void wake();

private:
    QSocketNotifier *notifier = nullptr;
    QTimer *fallback = nullptr; // where no pipe could be had
};

#endif // STOPSIGNALS_H
