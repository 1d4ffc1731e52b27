// SPDX-License-Identifier: MIT
#include "testagent.h"

#include "testports.h"

#include <QTemporaryDir>

LightsAgent::Options TestAgent::options(const QTemporaryDir &dir)
{
    LightsAgent::Options o;
    o.devices = HidWorker::Device(AccessoryTable::AllBits);
    o.openRgb = true;
    o.openRgbEndpoint = Endpoint(Endpoint::Loopback, TestPorts::freeTcp());
    o.sources.listen = Endpoint(Endpoint::Loopback, TestPorts::freeUdp());
    o.sources.sharedMemoryFolder = dir.path();
    o.stateFolder = dir.filePath("state");
    o.lockFolder = dir.path();
    o.profilePath = dir.filePath("lights.toml");
    return o;
}
