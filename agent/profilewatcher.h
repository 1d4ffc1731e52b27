// SPDX-License-Identifier: MIT
#ifndef PROFILEWATCHER_H
#define PROFILEWATCHER_H

#include "lightsprofile.h"

#include <QByteArray>
#include <QDateTime>
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

// Follows the lights profile file as its owner edits it: a change (editors
// that write a new file and rename it over the old count) is read within a
// second, and a profile that reads well replaces the one in force; one that
// does not is said once, and the last good one stays. No file is the
// default profile.
class ProfileWatcher : public QObject
{
    Q_OBJECT
public:
    // How often the file is looked at besides what the system tells: some
    // file systems (network shares, Wine's) tell nothing.
    static constexpr int PollMs = 250;

    ProfileWatcher(const QString &path, std::function<void(const QString &)> say,
                   QObject *parent = nullptr);

    // Reads the file now; at the start a broken file gives the defaults.
    void start();
    const LightsProfile &profile() const { return current; }
    QString path() const { return file; }

signals:
    void changed();

private slots:
    void look();
    void poll();

private:
    void watch();

    const QString file;
    const std::function<void(const QString &)> say;
    QFileSystemWatcher watcher;
    QTimer pollTimer;
    QDateTime lastModified; // as the last look found it; the poll reads only on a change
    qint64 lastSize = -1;
    QTimer settle; // an editor's write comes in pieces: read once it is done
    LightsProfile current = LightsProfile::defaults();
    bool read = false;
    bool exists = false;
    QByteArray lastText;
    QString lastError; // said once until the file changes again
};

#endif // PROFILEWATCHER_H
