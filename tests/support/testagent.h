// SPDX-License-Identifier: MIT
#ifndef TESTAGENT_H
#define TESTAGENT_H

#include "lightsagent.h"

class QTemporaryDir;

// A lights agent's options for a test: every accessory, the OpenRGB SDK and
// the games' telemetry on free loopback ports, and its files (state, mark,
// profile, the sims' shared memory) in the test's own folder.
class TestAgent
{
public:
    static LightsAgent::Options options(const QTemporaryDir &dir);
};

#endif // TESTAGENT_H
