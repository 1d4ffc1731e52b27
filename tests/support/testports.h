// SPDX-License-Identifier: MIT
#ifndef TESTPORTS_H
#define TESTPORTS_H

#include <QtGlobal>

// Ports of the loopback for a test's own servers, never the programs'
// defaults, which a user's agent, OpenRGB or games may hold here.
class TestPorts
{
public:
    // A port nobody uses now; the program binds it a moment later.
    static quint16 freeTcp();
    static quint16 freeUdp();
};

#endif // TESTPORTS_H
