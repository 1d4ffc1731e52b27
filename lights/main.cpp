// SPDX-License-Identifier: MIT
// brimsel-lights: the lights agent with a tray icon and a Lights window.
#include "colorstore.h"
#include "lightsagent.h"
#include "lightstray.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>

#include <cstdio>
#include <memory>

namespace {

// Where the agent's messages go: standard error, and on Windows (no console
// there) lights.log beside the kept colours (%LOCALAPPDATA%\Brimsel tool),
// started again past 1 MiB with the last one kept beside it.
std::unique_ptr<QFile> openLog()
{
#ifdef Q_OS_WIN
    const QString folder = QDir::fromNativeSeparators(ColorStore::defaultFolder());
    if (folder.isEmpty())
        return nullptr;
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/lights.log");
    if (QFileInfo(path).size() > 1024 * 1024) {
        QFile::remove(path + QStringLiteral(".old"));
        QFile::rename(path, path + QStringLiteral(".old"));
    }
    auto log = std::make_unique<QFile>(path);
    if (!log->open(QIODevice::Append | QIODevice::Text))
        return nullptr;
    return log;
#else
    return nullptr;
#endif
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication::setDesktopFileName(QStringLiteral("org.example.brimsel_lights"));
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("brimsel-lights"));
    // The tray keeps it running with every window closed.
    QApplication::setQuitOnLastWindowClosed(false);

    const std::unique_ptr<QFile> log = openLog();
    LightsAgent::Options options;
    options.devices = HidWorker::Device(AccessoryTable::AllBits);
    options.openRgb = true;
    LightsAgent agent(options);
    const auto say = [&log](const QString &text) {
        const QByteArray line = "brimsel-lights: " + text.toUtf8() + '\n';
        std::fputs(line.constData(), stderr);
        if (log) {
            log->write(line);
            log->flush();
        }
    };
    QObject::connect(&agent, &LightsAgent::message, say);
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
    QObject::connect(&tray, &LightsTray::message, say);
    tray.show();
    const int status = app.exec();
    agent.stop();
    return status;
}
