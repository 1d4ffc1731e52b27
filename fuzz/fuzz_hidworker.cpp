// SPDX-License-Identifier: MIT
// Sequences of accessory behaviour at the HID boundary (plugs, unplugs,
// failing opens, reads and writes, a library that cannot start) driving the
// worker's poll passes and colour requests.
#include <QCoreApplication>

#include "fakehidbus.h"
#include "fuzzsupport.h"
#include "hidlibrary.h"
#include "hidworker.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ensureApplication();
    QCoreApplication::processEvents(); // let earlier workers' timers go
    FakeHidBus::reset();
    static const unsigned short products[] = {AccessoryTable::HandbrakeProductId,
                                              AccessoryTable::SqShifterProductId,
                                              AccessoryTable::HShifterProductId, 0x3105};
    FuzzInput in(data, size);
    {
        HidWorker worker;
        worker.setStartCheck(HidLibrary::startError);
        for (int ops = 0; ops < 64 && !in.atEnd(); ++ops) {
            const uint8_t op = in.byte();
            const uint8_t arg = in.byte();
            switch (op % 10) {
            case 0:
                FakeHidBus::plug(products[arg % 4], FakeHidBus::ReadMode::Immediate);
                break;
            case 1:
                FakeHidBus::unplugProduct(products[arg % 4]);
                break;
            case 2:
                FakeHidBus::failOpens(arg % 4);
                break;
            case 3:
                FakeHidBus::failReads(arg % 4);
                break;
            case 4:
                FakeHidBus::failWrites(arg % 4);
                break;
            case 5:
                FakeHidBus::vanishOnWrites(arg % 2);
                break;
            case 6:
                FakeHidBus::queueInputReport(arg % 8, in.bytes(80));
                break;
            case 7:
                worker.process();
                break;
            case 8:
                FakeHidBus::failInit(arg % 2 ? QStringLiteral("cannot start") : QString());
                break;
            default:
                worker.updateColor(QColor::fromRgba(QRgb(in.int32())),
                                   HidWorker::Device(arg % 2 ? arg & 7 : in.int32()));
            }
            if (FakeHidBus::openHandles() > 3) // one handle per accessory kind at most
                abort();
        }
    }
    // The worker closes what it opened and shuts the library down.
    if (FakeHidBus::openHandles() != 0 || FakeHidBus::count(FakeHidBus::Call::Exit) != 1)
        abort();
    return 0;
}
