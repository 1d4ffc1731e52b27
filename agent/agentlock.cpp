// SPDX-License-Identifier: MIT
#include "agentlock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

constexpr const char *kFileName = "agent.lock";

// "process 1234" and what it serves, from the holder's line.
QString holderText(const QByteArray &line)
{
    const QString text = QString::fromUtf8(line).trimmed();
    const QString pid = text.section(QLatin1Char(' '), 0, 0);
    const QString serving = text.section(QLatin1Char(' '), 1);
    bool ok = false;
    pid.toLongLong(&ok);
    if (!ok)
        return QStringLiteral("its process not known");
    return serving.isEmpty()
               ? QStringLiteral("process %1").arg(pid)
               : QStringLiteral("process %1, the OpenRGB SDK on %2").arg(pid, serving);
}

QByteArray lineFor(const QString &serving)
{
    QByteArray line = QByteArray::number(QCoreApplication::applicationPid());
    if (!serving.isEmpty())
        line += ' ' + serving.toUtf8();
    return line + '\n';
}

} // namespace

QString AgentLock::defaultFolder()
{
#ifdef Q_OS_WIN
    const QString local = qEnvironmentVariable("LOCALAPPDATA");
    return local.isEmpty() ? QString() : local + QStringLiteral("\\Brimsel tool");
#else
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime))
        return runtime + QStringLiteral("/brimsel-tool");
    return QDir::tempPath() + QStringLiteral("/brimsel-tool-%1").arg(getuid());
#endif
}

AgentLock::AgentLock(const QString &folder) : folder(folder) {}

AgentLock::~AgentLock()
{
    release();
}

quint16 AgentLock::announcedPort(const QString &folder)
{
    QFile info(folder + QLatin1Char('/') + QLatin1String(kFileName));
    if (folder.isEmpty() || !info.open(QIODevice::ReadOnly))
        return 0;
    // "1234 127.0.0.1:6742"
    const QString serving =
        QString::fromUtf8(info.read(256)).trimmed().section(QLatin1Char(' '), 1);
    bool ok = false;
    const uint port = serving.section(QLatin1Char(':'), -1).toUInt(&ok);
    return ok && port > 0 && port <= 65535 ? quint16(port) : 0;
}

QString AgentLock::infoPath() const
{
    return folder + QLatin1Char('/') + QLatin1String(kFileName);
}

#ifdef Q_OS_WIN

namespace {
// Local\: one per logged-on session, as the Startup folder starts one.
const wchar_t *const kMutexName = L"Local\\BrimselToolLightsAgent";
} // namespace

bool AgentLock::mightBeHeld()
{
    HANDLE m = OpenMutexW(SYNCHRONIZE, FALSE, kMutexName);
    if (m) {
        CloseHandle(m);
        return true;
    }
    return GetLastError() != ERROR_FILE_NOT_FOUND;
}

bool AgentLock::take(QString *holder)
{
    release();
    HANDLE m = CreateMutexW(nullptr, TRUE, kMutexName);
    if (!m)
        return true;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(m);
        QFile info(infoPath());
        *holder = holderText(info.open(QIODevice::ReadOnly) ? info.readLine(256) : QByteArray());
        return false;
    }
    mutex = m;
    held = true;
    announce(QString());
    return true;
}

void AgentLock::announce(const QString &serving)
{
    if (!held || folder.isEmpty() || !QDir().mkpath(folder))
        return;
    QFile info(infoPath());
    if (info.open(QIODevice::WriteOnly | QIODevice::Truncate))
        info.write(lineFor(serving));
}

void AgentLock::release()
{
    if (mutex) {
        ReleaseMutex(HANDLE(mutex));
        CloseHandle(HANDLE(mutex));
    }
    mutex = nullptr;
    held = false;
}

#else

bool AgentLock::mightBeHeld()
{
    return true;
}

bool AgentLock::take(QString *holder)
{
    release();
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return true;
    fd = ::open(QFile::encodeName(infoPath()).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return true;
    // Held by the open file, so the kernel lets go of it however we end.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK;
        char line[256] = {};
        const ssize_t n = busy ? pread(fd, line, sizeof line - 1, 0) : 0;
        ::close(fd);
        fd = -1;
        if (!busy)
            return true;
        *holder = holderText(QByteArray(line, n > 0 ? int(n) : 0));
        return false;
    }
    held = true;
    announce(QString());
    return true;
}

void AgentLock::announce(const QString &serving)
{
    if (!held)
        return;
    const QByteArray line = lineFor(serving);
    if (ftruncate(fd, 0) == 0 && pwrite(fd, line.constData(), size_t(line.size()), 0) < 0)
        return; // what it says is a courtesy; the lock is what counts
}

void AgentLock::release()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    held = false;
}

#endif
