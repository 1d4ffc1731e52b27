// SPDX-License-Identifier: MIT
#include "profilewatcher.h"

#include "profilefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <utility>

namespace {

// An editor's save comes as a truncate and writes, or a new file renamed
// over the old: read once it has settled.
constexpr int kSettleMs = 100;

} // namespace

ProfileWatcher::ProfileWatcher(const QString &path, std::function<void(const QString &)> say,
                               QObject *parent)
    : QObject(parent), file(path), say(std::move(say))
{
    settle.setSingleShot(true);
    settle.setInterval(kSettleMs);
    connect(&settle, SIGNAL(timeout()), this, SLOT(look()));
    connect(&watcher, SIGNAL(fileChanged(QString)), &settle, SLOT(start()));
    connect(&watcher, SIGNAL(directoryChanged(QString)), &settle, SLOT(start()));
    pollTimer.setInterval(PollMs);
    pollTimer.setTimerType(Qt::PreciseTimer);
    connect(&pollTimer, SIGNAL(timeout()), this, SLOT(poll()));
}

void ProfileWatcher::start()
{
    look();
    pollTimer.start();
}

void ProfileWatcher::poll()
{
    const QFileInfo info(file);
    const qint64 size = info.exists() ? info.size() : -1;
    // Settled first, as what the system tells: a poll between an editor's
    // truncate and its write would read an empty file, the defaults.
    if ((info.exists() != exists || info.lastModified() != lastModified || size != lastSize) &&
        !settle.isActive())
        settle.start();
}

void ProfileWatcher::watch()
{
    // Again at each look: a file renamed over the old one is a new file.
    if (QFileInfo::exists(file) && !watcher.files().contains(file))
        watcher.addPath(file);
    const QString folder = QFileInfo(file).absolutePath();
    if (QFileInfo(folder).isDir() && !watcher.directories().contains(folder))
        watcher.addPath(folder);
}

void ProfileWatcher::look()
{
    if (file.isEmpty())
        return;
    watch();
    const QFileInfo info(file);
    lastModified = info.lastModified();
    lastSize = info.exists() ? info.size() : -1;
    const QString shown = QDir::toNativeSeparators(file);
    QFile in(file);
    if (!in.exists()) {
        if (read && !exists)
            return;
        const bool first = !read;
        read = true;
        exists = false;
        lastText.clear();
        lastError.clear();
        if (first)
            return; // no profile: the defaults, as ever
        say(QStringLiteral("profile: %1 is gone; the lights follow the default profile")
                .arg(shown));
        if (current != LightsProfile::defaults()) {
            current = LightsProfile::defaults();
            emit changed();
        }
        return;
    }
    QByteArray text;
    bool readable = in.open(QIODevice::ReadOnly) && in.size() <= ProfileFile::MaxBytes;
    if (readable)
        text = in.read(ProfileFile::MaxBytes + 1);
    if (read && exists && readable && text == lastText)
        return;
    const bool first = !read;
    read = true;
    exists = true;
    lastText = text;
    const ProfileFile::Result result =
        readable ? ProfileFile::parse(text) : ProfileFile::read(file);
    if (!result.ok) {
        QStringList lines;
        for (const ProfileFile::Error &error : result.errors)
            lines << ProfileFile::errorText(file, error);
        const QString message = lines.join(QLatin1Char('\n'));
        if (message == lastError)
            return;
        lastError = message;
        for (int i = 0; i < lines.size(); ++i) {
            QString line = QStringLiteral("profile: %1").arg(lines[i]);
            if (i == lines.size() - 1)
                line += first ? QStringLiteral("; the lights follow the default profile")
                              : QStringLiteral("; the last good profile stays in force");
            say(line);
        }
        return;
    }
    // A file mended back to the profile in force is said too: its owner
    // waits to hear that it reads well again.
    const bool mended = !lastError.isEmpty();
    lastError.clear();
    if (first) {
        say(QStringLiteral("profile: following %1").arg(shown));
    } else if (result.profile != current || mended) {
        say(QStringLiteral("profile: %1 changed; applied").arg(shown));
    }
    if (result.profile != current) {
        current = result.profile;
        emit changed();
    }
}
