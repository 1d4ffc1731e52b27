// SPDX-License-Identifier: MIT
#include <QCoreApplication>
#include <QTextStream>

#include "brimselctl.h"

#include <cstdio>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <unistd.h>
#endif

int main(int argc, char *argv[])
{
#ifndef Q_OS_WIN
    // A closed standard descriptor would be taken by the next file opened
    // (an eventfd, a hidraw node), which would then get our text or be read
    // as --stream's input. In order, so each open lands on the one missing.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) == -1)
            open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    }
#endif
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    BrimselCtl ctl(out, err);
    return ctl.run(QCoreApplication::arguments());
}
