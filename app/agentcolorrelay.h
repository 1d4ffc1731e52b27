// SPDX-License-Identifier: MIT
#ifndef AGENTCOLORRELAY_H
#define AGENTCOLORRELAY_H

#include "hidworker.h"

#include <QColor>
#include <QMutex>
#include <QObject>
#include <QThread>

#include <memory>
#include <vector>

class OpenRgbClient;

// Gives each colour the window sends to a running lights agent too, so that
// the agent keeps it: the next game that stops, or the next replug, brings
// back the window's colour and not an older one. In a thread of its own:
// the window never waits for it, and with no agent nothing is tried for two
// seconds after a look found none. The newest colour wins, at most one
// every GatherMs.
class AgentColorRelay : public QObject
{
    Q_OBJECT
public:
    // lockFolder: where the agent's mark says its port; ports: where else
    // to look (the agent's defaults).
    explicit AgentColorRelay(const QString &lockFolder, std::vector<quint16> ports);
    ~AgentColorRelay() override;

    static constexpr int LookAgainMs = 2000;
    // How long a colour waits for newer ones before it is sent.
    static constexpr int GatherMs = 50;

public slots:
    // From any thread, at once.
    void give(QColor color, HidWorker::Device devices);

signals:
    // An agent took the colour for those accessories (for the tests).
    void taken(QColor color, int devices);

private:
    // In the thread: gives the newest colour, and the next after a pause.
    void drain();
    void send(QRgb rgb, int set);

    const QString lockFolder;
    const std::vector<quint16> ports;
    QThread thread;
    QObject *worker; // lives in thread; drain runs there
    QMutex mutex;
    bool pending = false;
    bool scheduled = false;
    QRgb color = 0;
    int devices = 0;
    // Used in the thread only.
    std::unique_ptr<OpenRgbClient> client;
    bool connected = false;
    qint64 lookAfter = 0;
};

#endif // AGENTCOLORRELAY_H
