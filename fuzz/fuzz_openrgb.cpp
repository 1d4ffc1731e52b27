// SPDX-License-Identifier: MIT
// Whatever an OpenRGB SDK client may send, cut anywhere, into the session
// that serves it: it answers, hands on colours or drops the client with a
// reason, and never holds more than a packet of what came in.
#include "fuzzsupport.h"
#include "openrgbsession.h"

#include <cstdio>
#include <cstdlib>

namespace {

#define check(...) checkAt((__VA_ARGS__), __LINE__)

void checkAt(bool ok, int line)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_openrgb.cpp:%d: check failed\n", line);
        abort();
    }
}

} // namespace

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
                                check(index >= 0 && index < count);
                                ++sets;
                            },
                            [](const QString &) {}});
    while (!in.atEnd()) {
        // A piece of the stream, of any length up to a little over a packet.
        const size_t piece = size_t(in.byte()) << (in.byte() % 9);
        const QByteArray bytes = in.bytes(piece);
        if (!session.take(bytes.constData(), size_t(bytes.size()))) {
            check(!session.why().isEmpty());
            break;
        }
        // Answers are small: a controller's data is well under a kilobyte.
        check(session.output().size() < 64 * 1024 * 1024);
        session.output().clear();
    }
    // One colour at most per update, and the smallest update (a single LED:
    // the header, an index and a colour) is 24 bytes.
    check(sets * 24 <= int(size));
    return 0;
}
