// SPDX-License-Identifier: MIT
#include "openrgbserver.h"

#include "tcpsocket.h"

#include <QSocketNotifier>

#include <algorithm>

struct OpenRgbServer::Client
{
    Client(qintptr socket, const Endpoint &from, OpenRgbSession::Host host, qint64 now)
        : socket(socket), from(from), session(std::move(host)), lastHeard(now)
    {
    }
    qintptr socket;
    Endpoint from;
    OpenRgbSession session;
    qint64 lastHeard; // ms of the server's clock
    std::unique_ptr<QSocketNotifier> reads, writes;
    bool dropped = false;
};

OpenRgbServer::OpenRgbServer(OpenRgbSession::Host host, std::function<void(const QString &)> say)
    : host(std::move(host)), say(std::move(say)), listener(TcpSocket::None)
{
    clock.start();
}

OpenRgbServer::~OpenRgbServer()
{
    for (const std::unique_ptr<Client> &c : clients) {
        c->reads.reset();
        c->writes.reset();
        TcpSocket::close(c->socket);
    }
    acceptNotifier.reset();
    TcpSocket::close(listener);
}

bool OpenRgbServer::listen(const Endpoint &at, QString *error, bool *inUse)
{
    const Endpoint first(at.address, at.port ? at.port : OpenRgbProtocol::DefaultPort);
    listener = TcpSocket::listen(first, error, inUse);
    bound = first;
    if (listener == TcpSocket::None && !at.port && *inUse) {
        // OpenRGB's own server most likely: the next port, said.
        const QString taken = *error;
        bound.port = first.port + 1;
        listener = TcpSocket::listen(bound, error, inUse);
        if (listener != TcpSocket::None)
            say(QStringLiteral("openrgb: %1 is in use (OpenRGB's own server?); serving on %2 "
                               "instead")
                    .arg(first.text(), bound.text()));
        else
            *error = taken;
    }
    if (listener == TcpSocket::None)
        return false;
    acceptNotifier.reset(new QSocketNotifier(listener, QSocketNotifier::Read));
    connect(acceptNotifier.get(), SIGNAL(activated(int)), this, SLOT(acceptWaiting()));
    return true;
}

Endpoint OpenRgbServer::endpoint() const
{
    return bound;
}

void OpenRgbServer::acceptWaiting()
{
    Endpoint from;
    for (qintptr s; (s = TcpSocket::accept(listener, &from)) != TcpSocket::None;) {
        if (int(clients.size()) >= MaxClients && !makeRoom()) {
            TcpSocket::close(s);
            tell(QStringLiteral("openrgb: a client from %1 turned away: %2 are connected")
                     .arg(Endpoint::addressText(from.address))
                     .arg(MaxClients));
            continue;
        }
        clients.emplace_back(new Client(s, from, host, clock.elapsed()));
        Client &c = *clients.back();
        c.reads.reset(new QSocketNotifier(s, QSocketNotifier::Read));
        c.writes.reset(new QSocketNotifier(s, QSocketNotifier::Write));
        c.writes->setEnabled(false);
        connect(c.reads.get(), SIGNAL(activated(int)), this, SLOT(readWaiting(int)));
        connect(c.writes.get(), SIGNAL(activated(int)), this, SLOT(writeWaiting(int)));
    }
}

OpenRgbServer::Client *OpenRgbServer::find(qintptr socket)
{
    for (const std::unique_ptr<Client> &c : clients)
        if (c->socket == socket && !c->dropped)
            return c.get();
    return nullptr;
}

void OpenRgbServer::readWaiting(int socket)
{
    Client *c = find(socket);
    if (!c)
        return;
    char buffer[16384];
    // What waits, a bounded amount a wake, so that one client cannot keep
    // the loop from the others.
    for (int n = 0; n < 16; ++n) {
        const long long got = TcpSocket::receive(c->socket, buffer, sizeof buffer);
        if (got == -1)
            break;
        if (got <= 0) {
            // Gone, or gone while a notice was on its way: no fault of its.
            drop(*c, QString());
            break;
        }
        c->lastHeard = clock.elapsed();
        if (!c->session.take(buffer, size_t(got))) {
            drop(*c, c->session.why());
            break;
        }
    }
    if (!c->dropped)
        flush(*c);
    removeDropped();
}

void OpenRgbServer::writeWaiting(int socket)
{
    if (Client *c = find(socket))
        flush(*c);
    removeDropped();
}

void OpenRgbServer::flush(Client &c)
{
    QByteArray &out = c.session.output();
    while (!out.isEmpty()) {
        const long long sent = TcpSocket::send(c.socket, out.constData(), size_t(out.size()));
        if (sent < 0) {
            drop(c, QString()); // it left
            return;
        }
        if (sent == 0)
            break;
        out.remove(0, int(sent));
    }
    if (out.size() > MaxOutput) {
        drop(c, QStringLiteral("it stopped reading"));
        return;
    }
    c.writes->setEnabled(!out.isEmpty());
}

void OpenRgbServer::drop(Client &c, const QString &why)
{
    c.dropped = true;
    c.reads->setEnabled(false);
    c.writes->setEnabled(false);
    if (!why.isEmpty()) {
        const QString who = c.session.name().isEmpty()
                                ? QStringLiteral("a client")
                                : QStringLiteral("client %1").arg(c.session.name());
        tell(QStringLiteral("openrgb: %1 from %2 dropped: %3")
                 .arg(who, Endpoint::addressText(c.from.address), why));
    }
}

// The client silent longest goes, if it has been silent long enough.
bool OpenRgbServer::makeRoom()
{
    Client *idlest = nullptr;
    for (const std::unique_ptr<Client> &c : clients)
        if (!c->dropped && (!idlest || c->lastHeard < idlest->lastHeard))
            idlest = c.get();
    const qint64 idleMs = idlest ? clock.elapsed() - idlest->lastHeard : 0;
    if (!idlest || idleMs < IdleMs)
        return false;
    drop(*idlest, QStringLiteral("silent for %1 s, to make room").arg(idleMs / 1000));
    removeDropped();
    return true;
}

void OpenRgbServer::tell(const QString &line)
{
    const qint64 now = clock.elapsed();
    if (now - minuteStart >= 60000) {
        if (untold)
            say(QStringLiteral("openrgb: %1 more lines about clients in the last minute left "
                               "out")
                    .arg(untold));
        minuteStart = now;
        linesThisMinute = 0;
        untold = 0;
    }
    if (linesThisMinute < LinesPerMinute) {
        ++linesThisMinute;
        say(line);
    } else {
        ++untold;
    }
}

void OpenRgbServer::removeDropped()
{
    for (auto it = clients.begin(); it != clients.end();) {
        if ((*it)->dropped) {
            // The notifiers first: a closed descriptor may be reused at once.
            (*it)->reads.reset();
            (*it)->writes.reset();
            TcpSocket::close((*it)->socket);
            it = clients.erase(it);
        } else {
            ++it;
        }
    }
}

void OpenRgbServer::controllersChanged()
{
    const QByteArray notice = OpenRgbProtocol::packet(0, OpenRgbProtocol::DeviceListUpdated);
    for (const std::unique_ptr<Client> &c : clients) {
        if (c->dropped || !c->session.hearsNotices())
            continue;
        c->session.output() += notice;
        flush(*c);
    }
    removeDropped();
}
