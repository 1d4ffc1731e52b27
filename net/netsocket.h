// SPDX-License-Identifier: MIT
#ifndef NETSOCKET_H
#define NETSOCKET_H

#include "endpoint.h"

#include <QString>

// What the TCP and UDP sockets share, on plain sockets (Winsock on Windows,
// where the static Qt has no Qt Network): Winsock started once for the
// process, sockets made non-blocking and close-on-exec, binding that another
// program cannot share, and the words for a socket error.
class NetSocket
{
public:
    enum Kind { Tcp, Udp };

    static const qintptr None;

    // A new socket, non-blocking and close-on-exec; None with error when
    // none could be had (Winsock that did not start, no descriptors).
    static qintptr open(Kind kind, QString *error);
    // Binds it so that no other program's socket shares the port; false
    // with "cannot listen on ADDRESS:PORT: why" otherwise. inUse tells a
    // port that another program holds apart.
    static bool bind(qintptr socket, Kind kind, const Endpoint &at, QString *error, bool *inUse);
    // Makes an accepted socket like the others.
    static void setUp(qintptr socket);
    static void close(qintptr socket);

    // The last socket error of this thread, and what it means.
    static int lastError();
    static bool wouldBlock(int code);
    static bool inUse(int code);
    static QString errorText(int code);
};

#endif // NETSOCKET_H
