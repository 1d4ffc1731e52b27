// SPDX-License-Identifier: MIT
#include "loginstart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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
