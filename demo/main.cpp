// SPDX-License-Identifier: MIT
// The real window driven by stand-in accessories, for trying the tool (and
// taking its screenshots) without the hardware.
#include <QApplication>

#include "mainwindow.h"
#include "virtualaccessorieswindow.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The accessories are plugged before the window's worker first polls.
    VirtualAccessoriesWindow accessories;
    MainWindow window;
    window.show();
    accessories.move(window.frameGeometry().topRight() + QPoint(12, 0));
    accessories.show();
    return app.exec();
}
