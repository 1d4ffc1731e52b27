// SPDX-License-Identifier: MIT
#ifndef OPENRGBCLIENT_H
#define OPENRGBCLIENT_H

#include <QRgb>
#include <QString>
#include <QStringList>
#include <QVector>

#include <vector>

// The way to a running agent, brimsel-ctl --color's and the window's: an
// OpenRGB SDK client that looks for the agent on this machine and sets a
// colour through it, so that the agent keeps it. The agent is known by its
// controllers.
class OpenRgbClient
{
public:
    OpenRgbClient() = default;
    ~OpenRgbClient();
    OpenRgbClient(const OpenRgbClient &) = delete;
    OpenRgbClient &operator=(const OpenRgbClient &) = delete;

    // The agent's default port, and the one it takes when OpenRGB holds that.
    static std::vector<quint16> defaultPorts();

    // Tries each port of 127.0.0.1 in turn: true when one is the agent,
    // whose accessories controllerNames() then lists.
    bool findAgent(const std::vector<quint16> &ports, int timeoutMs = 1000);
    const QStringList &controllerNames() const { return names; }
    // Whether the agent has the accessory at that index connected; it
    // serves the others too, and keeps their colours for when they come.
    bool isConnected(int index) const { return connectedNow.value(index); }
    // Sets the controller's one LED, and reads it back: true only when the
    // agent has taken the colour and keeps it.
    bool setColor(int index, QRgb color, int timeoutMs = 1000);

private:
    bool tryPort(quint16 port, int timeoutMs);
    bool request(quint32 device, quint32 id, const QByteArray &data, QByteArray *reply,
                 int timeoutMs);
    bool readExactly(char *to, size_t size, int timeoutMs);
    void close();

    qintptr socket = -1;
    bool connected = false;
    quint32 version = 0;
    QStringList names;
    QVector<bool> connectedNow;
};

#endif // OPENRGBCLIENT_H
