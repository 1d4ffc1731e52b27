// SPDX-License-Identifier: MIT
#include "agentcolorrelay.h"
#include "agentlock.h"
#include "mainwindow.h"
#include "openrgbclient.h"

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
    // Where a lights agent runs, it keeps each colour the window sends.
    AgentColorRelay relay(AgentLock::defaultFolder(), OpenRgbClient::defaultPorts());
    QObject::connect(&window, &MainWindow::colorUpdateRequested, &relay, &AgentColorRelay::give);
    window.show();
    return app.exec();
}
