// SPDX-License-Identifier: MIT
#include "hidlibrary.h"
#include "hidworker.h"
#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Name a HID library that cannot start rather than report no accessories.
    HidWorker::setStartCheck(HidLibrary::startError);
    MainWindow window;
    window.show();
    return app.exec();
}
