// SPDX-License-Identifier: MIT
#ifndef AGENTLOCK_H
#define AGENTLOCK_H

#include <QString>

// One lights agent per user: a mark that the running agent holds while it
// runs and that goes with it however it ends (a crash, a kill), so that a
// stale mark never blocks the next start. On Linux a lock on a file in
// $XDG_RUNTIME_DIR/brimsel-tool, on Windows a named mutex of the session;
// beside it, a line that tells a second agent who holds it.
class AgentLock
{
public:
    // $XDG_RUNTIME_DIR/brimsel-tool (or a folder of the user's in /tmp
    // without one); %LOCALAPPDATA%\Brimsel tool on Windows.
    static QString defaultFolder();

    // False only when no agent of the user's can be running: then a client
    // need not look for one. On Windows a refused connection to a closed
    // port takes about a second, so the mark is asked first; elsewhere the
    // look costs nothing and it says true.
    static bool mightBeHeld();

    // The port the agent says it serves the OpenRGB SDK on, from its mark's
    // line; 0 where none is said. The line may be a stopped agent's: a
    // client still finds out whether one answers there.
    static quint16 announcedPort(const QString &folder = defaultFolder());

    explicit AgentLock(const QString &folder = defaultFolder());
    ~AgentLock();
    AgentLock(const AgentLock &) = delete;
    AgentLock &operator=(const AgentLock &) = delete;

    // Takes the mark. False when another agent holds it: holder then says
    // which ("process 1234, the OpenRGB SDK on 127.0.0.1:6742"). Where no
    // mark can be made at all (a folder it cannot write), true: a lock of
    // its own must never keep the lights from running.
    bool take(QString *holder);
    // What this agent serves, for a second one to tell; empty for nothing.
    void announce(const QString &serving);
    void release();

private:
    QString infoPath() const;

    const QString folder;
#ifdef Q_OS_WIN
    void *mutex = nullptr;
#else
    int fd = -1;
#endif
    bool held = false;
};

#endif // AGENTLOCK_H
