// SPDX-License-Identifier: MIT
#include <QCoreApplication>
#include <QTextStream>

#include "brimselctl.h"

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    BrimselCtl ctl(out, err);
    return ctl.run(QCoreApplication::arguments());
}
