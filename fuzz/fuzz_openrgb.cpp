// SPDX-License-Identifier: MIT
// Whatever an OpenRGB SDK client may send, cut anywhere, into the session
// that serves it: it answers, hands on colours or drops the client with a
// reason, and never holds more than a packet of what came in.
#include "fuzzsupport.h"
#include "openrgbsession.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const int count = in.byte() % 4;
    int sets = 0;
    OpenRgbSession session({[count] {
                                OpenRgbSession::Controllers list(static_cast<size_t>(count));
                                for (auto &c : list)
                                    c.name = QStringLiteral("SQ Shifter");
                                return list;
                            },
                            [&](int index, QRgb) {
                                FUZZ_CHECK(index >= 0 && index < count);
                                ++sets;
                            },
                            [](const QString &) {}});
    while (!in.atEnd()) {
        // A piece of the stream, of any length up to a little over a packet.
        const size_t piece = size_t(in.byte()) << (in.byte() % 9);
        const QByteArray bytes = in.bytes(piece);
        if (!session.take(bytes.constData(), size_t(bytes.size()))) {
            FUZZ_CHECK(!session.why().isEmpty());
            break;
        }
        // Answers are small: a controller's data is well under a kilobyte.
        FUZZ_CHECK(session.output().size() < 64 * 1024 * 1024);
        session.output().clear();
    }
    // One colour at most per update, and the smallest update (a single LED:
    // the header, an index and a colour) is 24 bytes.
    FUZZ_CHECK(sets * 24 <= int(size));
    return 0;
}
