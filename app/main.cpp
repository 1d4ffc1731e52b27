// SPDX-License-Identifier: MIT
#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The window has a fixed size in pixels: on a high-DPI screen it must be
    // scaled with the screen, or it comes out tiny with oversized text.
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    // Lets Wayland compositors match the window to the desktop entry and icon.
    QApplication::setDesktopFileName(QStringLiteral("org.example.brimsel_tool"));

    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    return app.exec();
}
