// SPDX-License-Identifier: MIT
#include "colorstore.h"

#include <QDir>
#include <QFile>
#include <QColor>
#include <QSaveFile>
#include <QStringList>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

QString ColorStore::defaultFolder()
{
#ifdef Q_OS_WIN
    const QString local = qEnvironmentVariable("LOCALAPPDATA");
    return local.isEmpty() ? QString() : local + QStringLiteral("\\Brimsel tool");
#else
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    // Only an absolute path counts, as the base directory rules say.
    if (!QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/brimsel-tool");
#endif
}

ColorStore::ColorStore(const QString &folder) : folder(folder) {}

QString ColorStore::path() const
{
    return folder + QLatin1Char('/') + QLatin1String(FileName);
}

// One line per accessory: its key and #rrggbb, as "sq #ff0080".
bool ColorStore::load(QString *why)
{
    kept = {};
    QFile file(path());
    if (!file.exists())
        return true; // nothing set yet
    if (!file.open(QIODevice::ReadOnly) || file.size() > 4096) {
        *why = QStringLiteral("%1; none is kept until a colour is set")
                   .arg(file.size() > 4096 ? QStringLiteral("it is too long") : file.errorString());
        return false;
    }
    const QList<QByteArray> lines = file.readAll().split('\n');
    AccessoryTable::PerAccessory<bool> seen{};
    AccessoryTable::PerAccessory<QRgb> read{};
    // A line it does not know (a newer version's, a typo) costs that line
    // alone: the colours it knows stay kept.
    QStringList skipped;
    for (int number = 1; number <= lines.size(); ++number) {
        const QByteArray &line = lines[number - 1];
        if (line.trimmed().isEmpty())
            continue;
        const QList<QByteArray> fields = line.trimmed().split(' ');
        const AccessoryTable::Entry *entry =
            fields.size() == 2 ? AccessoryTable::forKey(QString::fromLatin1(fields[0])) : nullptr;
        bool ok = false;
        const uint value = fields.size() == 2 && fields[1].size() == 7 && fields[1][0] == '#'
                               ? fields[1].mid(1).toUInt(&ok, 16)
                               : 0;
        if (!entry || !ok) {
            skipped << QString::number(number);
            continue;
        }
        const size_t slot = size_t(&*entry - AccessoryTable::entries.data());
        seen[slot] = true;
        read[slot] = qRgb(int(value >> 16 & 0xff), int(value >> 8 & 0xff), int(value & 0xff));
    }
    kept = seen;
    colors = read;
    if (skipped.isEmpty())
        return true;
    const QString which =
        skipped.size() == 1
            ? QStringLiteral("line %1 is").arg(skipped.first())
            : QStringLiteral("lines %1 are").arg(skipped.join(QStringLiteral(", ")));
    *why = QStringLiteral("%1 not an accessory and a colour; the other lines are kept").arg(which);
    return false;
}

void ColorStore::set(int slot, QRgb color)
{
    kept[size_t(slot)] = true;
    colors[size_t(slot)] = qRgb(qRed(color), qGreen(color), qBlue(color));
}

bool ColorStore::save(QString *why) const
{
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        *why = QStringLiteral("cannot make the folder %1").arg(folder);
        return false;
    }
    QByteArray text;
    for (size_t slot = 0; slot < kept.size(); ++slot) {
        if (kept[slot])
            text += QByteArray(AccessoryTable::entries[slot].key) + ' ' +
                    QColor(colors[slot]).name().toLatin1() + '\n';
    }
    QSaveFile file(path());
    bool ok = file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.flush();
    // On disk before the rename makes it the file, or a power loss could
    // leave a new name over old or no bytes.
#ifdef Q_OS_WIN
    ok = ok && FlushFileBuffers(HANDLE(_get_osfhandle(file.handle())));
#else
    ok = ok && fsync(file.handle()) == 0;
#endif
    ok = ok && file.commit();
    if (!ok) {
        *why = file.errorString();
        return false;
    }
#ifndef Q_OS_WIN
    // The rename itself, on disk.
    const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        fsync(dir);
        ::close(dir);
    }
#endif
    return true;
}
