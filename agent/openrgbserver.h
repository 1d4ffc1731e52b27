// SPDX-License-Identifier: MIT
#ifndef OPENRGBSERVER_H
#define OPENRGBSERVER_H

#include "endpoint.h"
#include "openrgbsession.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

QT_BEGIN_NAMESPACE
class QSocketNotifier;
QT_END_NAMESPACE

// The lights agent's OpenRGB SDK server: any number of clients up
// to MaxClients, each served as its bytes come, none waiting on another. A
// client that breaks the protocol or stops reading while answers pile up
// is dropped alone, with one line said; what it sent or is owed is bounded.
class OpenRgbServer : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxClients = 32;
    static constexpr int MaxOutput = 256 * 1024; // owed to a client that does not read
    // With every place taken, the client silent longest makes room for a new
    // one once it has been silent this long: idle connections cannot lock
    // the others (--color among them) out.
    static constexpr int IdleMs = 2000;
    // Lines about clients turned away or dropped: this many a minute, then
    // a count.
    static constexpr int LinesPerMinute = 5;

    OpenRgbServer(OpenRgbSession::Host host, std::function<void(const QString &)> say);
    ~OpenRgbServer() override;

    // Listens at `at`; port 0 is the default, or the one after it
    // when the default is taken (said). False, having set error, when no
    // port could be had; inUse tells a port in use apart.
    bool listen(const Endpoint &at, QString *error, bool *inUse);
    Endpoint endpoint() const;
    // Tells every client that the controllers changed.
    void controllersChanged();
    int clientCount() const { return int(clients.size()); }

private slots:
    void acceptWaiting();
    void readWaiting(int socket);
    void writeWaiting(int socket);

private:
    struct Client;
    Client *find(qintptr socket);
    void flush(Client &client);
    void drop(Client &client, const QString &why);
    void removeDropped();
    bool makeRoom();
    // A line about a client, within LinesPerMinute.
    void tell(const QString &line);

    const OpenRgbSession::Host host;
    const std::function<void(const QString &)> say;
    qintptr listener;
    Endpoint bound;
    std::unique_ptr<QSocketNotifier> acceptNotifier;
    std::vector<std::unique_ptr<Client>> clients;
    QElapsedTimer clock;
    qint64 minuteStart = 0;
    int linesThisMinute = 0;
    int untold = 0;
};

#endif // OPENRGBSERVER_H
