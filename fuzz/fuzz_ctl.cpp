// SPDX-License-Identifier: MIT
// Argument lists given to brimsel-ctl, with some accessories plugged.
#include <QStringList>
#include <QTextStream>

#include "brimselctl.h"
#include "fakehidbus.h"
#include "fuzzsupport.h"
#include "hidworker.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ensureApplication();
    FakeHidBus::reset();
    FuzzInput in(data, size);
    const uint8_t plugged = in.byte();
    if (plugged & 1)
        FakeHidBus::plug(HidWorker::HandbrakeProductId, FakeHidBus::ReadMode::Immediate);
    if (plugged & 2)
        FakeHidBus::plug(HidWorker::SqShifterProductId, FakeHidBus::ReadMode::Immediate);
    if (plugged & 4)
        FakeHidBus::plug(HidWorker::HShifterProductId, FakeHidBus::ReadMode::Immediate);
    if (plugged & 8)
        FakeHidBus::failWrites(1);

    // Arguments are the input split at zero bytes.
    QStringList arguments{QStringLiteral("brimsel-ctl")};
    for (const QByteArray &arg : in.rest().split('\0'))
        arguments << QString::fromUtf8(arg);

    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    const int status = BrimselCtl(outStream, errStream).run(arguments);
    if (status < 0 || status > 3)
        abort();
    // A refused command line sends nothing, and every open is closed again.
    const int writes = FakeHidBus::count(FakeHidBus::Call::Write);
    if ((status == BrimselCtl::UsageError && writes != 0) || FakeHidBus::openHandles() != 0)
        abort();
    return 0;
}
