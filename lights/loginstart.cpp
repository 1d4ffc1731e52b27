// SPDX-License-Identifier: MIT
#include "loginstart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_WIN
#include <shlobj.h>
#include <windows.h>

namespace {

QString knownFolder(const KNOWNFOLDERID &id)
{
    PWSTR path = nullptr;
    QString folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)))
        folder = QDir::fromNativeSeparators(QString::fromWCharArray(path));
    CoTaskMemFree(path);
    return folder;
}

QString shortcutIn(const KNOWNFOLDERID &id)
{
    const QString folder = knownFolder(id);
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/Brimsel lights.lnk");
}

} // namespace

QString LoginStart::entryPath()
{
    return shortcutIn(FOLDERID_Startup);
}

bool LoginStart::isOn()
{
    const QString common = shortcutIn(FOLDERID_CommonStartup);
    return QFileInfo::exists(entryPath()) || (!common.isEmpty() && QFileInfo::exists(common));
}

bool LoginStart::set(bool on, const QString &program, QString *why)
{
    const QString path = entryPath();
    if (path.isEmpty()) {
        *why = QStringLiteral("there is no Startup folder");
        return false;
    }
    if (on) {
        if (isOn())
            return true;
        QDir().mkpath(QFileInfo(path).path());
        // QFile::link makes a shell shortcut (.lnk) on Windows.
        QFile target(program);
        if (!target.link(path)) {
            *why = target.errorString();
            return false;
        }
        return true;
    }
    for (const QString &shortcut : {path, shortcutIn(FOLDERID_CommonStartup)}) {
        QFile file(shortcut);
        if (!shortcut.isEmpty() && file.exists() && !file.remove()) {
            // The installer's, for every user: only an administrator may remove it.
            *why = QStringLiteral("%1 (%2): the installer made it for every user; leave out "
                                  "\"Start the lights at login\" in the installer, or remove it "
                                  "as an administrator")
                       .arg(QDir::toNativeSeparators(shortcut), file.errorString());
            return false;
        }
    }
    return true;
}

#else

QString LoginStart::entryPath()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/brimsel-lights.desktop");
}

bool LoginStart::isOn()
{
    return QFileInfo::exists(entryPath());
}

bool LoginStart::set(bool on, const QString &program, QString *why)
{
    const QString path = entryPath();
    if (!on) {
        QFile file(path);
        if (file.exists() && !file.remove()) {
            *why = file.errorString();
            return false;
        }
        return true;
    }
    if (!QDir().mkpath(QFileInfo(path).path())) {
        *why = QStringLiteral("cannot make the folder %1").arg(QFileInfo(path).path());
        return false;
    }
    // Exec's quoting (a path with a space or a reserved character goes in
    // double quotes, with " ` $ and \ escaped), % doubled, and then the
    // value's own escaping of \.
    QString exec = program;
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = false;
    for (const QChar c : exec)
        quote = quote || reserved.contains(c);
    if (quote) {
        QString quoted;
        for (const QChar c : exec) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                c == QLatin1Char('\\'))
                quoted += QLatin1Char('\\');
            quoted += c;
        }
        exec = QLatin1Char('"') + quoted + QLatin1Char('"');
    }
    exec.replace(QLatin1Char('%'), QStringLiteral("%%"));
    exec.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *why = file.errorString();
        return false;
    }
    file.write(QStringLiteral("[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=Brimsel lights\n"
                              "Comment=The accessories' lights: games, RGB suites, kept colours\n"
                              "Exec=%1\n"
                              "Icon=org.example.brimsel_tool\n"
                              "Terminal=false\n"
                              "X-GNOME-Autostart-enabled=true\n")
                   .arg(exec)
                   .toUtf8());
    if (!file.commit()) {
        *why = file.errorString();
        return false;
    }
    return true;
}

#endif
