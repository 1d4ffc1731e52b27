// SPDX-License-Identifier: MIT
// brimsel-lights: the lights agent with a tray icon and a Lights window.
#include "lightsagent.h"
#include "lightstray.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication::setDesktopFileName(QStringLiteral("org.example.brimsel_lights"));
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("brimsel-lights"));
    // The tray keeps it running with every window closed.
    QApplication::setQuitOnLastWindowClosed(false);

    LightsAgent::Options options;
    options.devices = HidWorker::Device(AccessoryTable::AllBits);
    options.openRgb = true;
    LightsAgent agent(options);
    QObject::connect(&agent, &LightsAgent::message, [](const QString &text) {
        std::fprintf(stderr, "brimsel-lights: %s\n", qPrintable(text));
    });
    if (!agent.start()) {
        // Another agent runs (brimsel-ctl, or the lights already), or a
        // port is taken: said, and no second agent.
        const bool another = agent.anotherRuns();
        QMessageBox::information(
            nullptr, QObject::tr("Brimsel lights"),
            another ? QObject::tr("The lights agent runs already (brimsel-lights or brimsel-ctl "
                                  "--openrgb): its tray icon or command line is where it is "
                                  "told things.")
                    : QObject::tr("The lights agent cannot start; see its messages."));
        return another ? 5 : 2;
    }
    LightsTray tray(&agent);
    tray.show();
    const int status = app.exec();
    agent.stop();
    return status;
}
