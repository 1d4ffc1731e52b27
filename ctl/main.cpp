// SPDX-License-Identifier: MIT
#include <QCoreApplication>
#include <QTextStream>

#include "brimselctl.h"
#include "hidlibrary.h"
#include "hidworker.h"

#include <cstdio>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <unistd.h>
#endif

int main(int argc, char *argv[])
{
#ifndef Q_OS_WIN
    // With standard input closed, the next file opened would take its place
    // and --stream would read that; an empty input is what was meant.
    if (fcntl(STDIN_FILENO, F_GETFD) == -1)
        open("/dev/null", O_RDONLY);
#endif
    QCoreApplication app(argc, argv);
    // For --stream, whose worker then names a HID library that cannot start.
    HidWorker::setStartCheck(HidLibrary::startError);
    QTextStream out(stdout);
    QTextStream err(stderr);
    BrimselCtl ctl(out, err);
    return ctl.run(QCoreApplication::arguments());
}
