// SPDX-License-Identifier: MIT
#include "labaccessories.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <ctime>

namespace {

QString fromEnvironment(const char *name, const char *fallback)
{
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? QString::fromLatin1(fallback) : value;
}

template<typename Done> bool waitUntil(Done done, int timeoutMs)
{
    const double deadline = LabAccessories::now() + timeoutMs / 1000.0;
    while (!done()) {
        if (LabAccessories::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return true;
}

} // namespace

LabAccessories::LabAccessories()
    : fifo(fromEnvironment("BRIMSEL_LAB_FIFO", "/run/lab/accessories.ctl")),
      log(fromEnvironment("BRIMSEL_LAB_LOG", "/run/lab/accessories.log"))
{
}

bool LabAccessories::isRunning() const
{
    return QFileInfo(fifo).exists() && QFileInfo(log).exists();
}

void LabAccessories::command(const QString &line)
{
    QFile control(fifo);
    if (control.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        control.write((line + QLatin1Char('\n')).toUtf8());
}

qint64 LabAccessories::mark() const
{
    return QFileInfo(log).size();
}

QStringList LabAccessories::lines(qint64 since, const QString &event, const QString &name) const
{
    QFile file(log);
    QStringList out;
    if (!file.open(QIODevice::ReadOnly) || !file.seek(since))
        return out;
    const QString prefix = event + QLatin1Char(' ') + name;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        const int space = line.indexOf(QLatin1Char(' '));
        const QString rest = line.mid(space + 1);
        if (rest == prefix || rest.startsWith(prefix + QLatin1Char(' ')))
            out.append(line);
    }
    return out;
}

QStringList LabAccessories::reports(qint64 since, const QString &name) const
{
    QStringList out;
    for (const QString &line : lines(since, QStringLiteral("SET_REPORT"), name)) {
        const int start = line.indexOf(QLatin1String("data=")) + 5;
        const int end = line.indexOf(QLatin1String(" answer="));
        out.append(line.mid(start, end - start));
    }
    return out;
}

bool LabAccessories::waitFor(qint64 since, const QString &event, const QString &name, int count,
                             int timeoutMs) const
{
    return waitUntil([&] { return lines(since, event, name).size() >= count; }, timeoutMs);
}

int LabAccessories::hidrawNodes(unsigned short vendor, unsigned short product)
{
    const QString pattern = QStringLiteral("0003:%1:%2.*")
                                .arg(vendor, 4, 16, QLatin1Char('0'))
                                .arg(product, 4, 16, QLatin1Char('0'))
                                .toUpper();
    int n = 0;
    const QDir hid(QStringLiteral("/sys/bus/hid/devices"));
    for (const QString &device : hid.entryList({pattern}, QDir::Dirs | QDir::System))
        n += QDir(hid.filePath(device) + QStringLiteral("/hidraw")).entryList({"hidraw*"}).size();
    return n;
}

bool LabAccessories::waitForHidrawNodes(unsigned short vendor, unsigned short product, int count,
                                        int timeoutMs)
{
    return waitUntil([&] { return hidrawNodes(vendor, product) == count; }, timeoutMs);
}

int LabAccessories::openHidrawHandles()
{
    int n = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &fd : fds.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        if (QFileInfo(fds.filePath(fd)).symLinkTarget().startsWith(QLatin1String("/dev/hidraw")))
            ++n;
    }
    return n;
}

double LabAccessories::now()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double LabAccessories::timeOf(const QString &line)
{
    return line.section(QLatin1Char(' '), 0, 0).toDouble();
}
