// SPDX-License-Identifier: MIT
#include "fuzzsupport.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>

void fuzzCheck(bool ok, const char *file, int line)
{
    if (ok)
        return;
    const char *name = std::strrchr(file, '/');
    std::fprintf(stderr, "%s:%d: check failed\n", name ? name + 1 : file, line);
    abort();
}

void ensureApplication()
{
    if (QApplication::instance())
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    new QApplication(argc, argv); // lives for the whole run
}

double FuzzInput::real()
{
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits = (bits << 8) | byte();
    double d;
    memcpy(&d, &bits, sizeof d);
    return d;
}

QByteArray FuzzInput::bytes(size_t max)
{
    const size_t n = std::min(max, size - std::min(pos, size));
    QByteArray out(reinterpret_cast<const char *>(data + pos), int(n));
    pos += n;
    return out;
}
