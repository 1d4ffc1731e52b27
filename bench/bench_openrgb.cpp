// SPDX-License-Identifier: MIT
// brimsel-ctl --openrgb over the stand-in bus: from a client's LED update to
// the first report at an idle accessory, floods of updates from one client
// and from eight (the newest colour wins: how far behind the accessory is
// when they stop), and the CPU of an idle agent with eight clients beside
// --stream idling.
#include "brimselctl.h"
#include "fakehidbus.h"
#include "openrgbprotocol.h"
#include "tcpsocket.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using P = OpenRgbProtocol;
constexpr quint16 kPort = 16742;

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

qintptr connectClient()
{
    for (int i = 0; i < 100; ++i) {
        const qintptr s = TcpSocket::connectTo(Endpoint(Endpoint::Loopback, kPort), 1000);
        if (s != TcpSocket::None) {
            QByteArray v;
            P::putU32(v, 3);
            const QByteArray ask = P::packet(0, P::RequestProtocolVersion, v);
            TcpSocket::send(s, ask.constData(), size_t(ask.size()));
            return s;
        }
        QThread::msleep(20);
    }
    qFatal("no agent");
}

// Each accessory is a controller at a fixed index, plugged in or not.
constexpr int kSqShifter = 1;

void sendColor(qintptr s, int index, QRgb color)
{
    QByteArray d;
    P::putU32(d, 10);
    P::putU16(d, 1);
    P::putColor(d, color);
    const QByteArray p = P::packet(quint32(index), P::UpdateLeds, d);
    TcpSocket::send(s, p.constData(), size_t(p.size()));
}

// Runs the agent in this process while `script` runs in a thread of its own.
void withAgent(const std::function<void()> &script)
{
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
    std::thread t([&] {
        script();
        std::raise(SIGTERM);
    });
    QString out, err;
    QTextStream o(&out), e(&err);
    BrimselCtl ctl(o, e);
    ctl.run({"brimsel-ctl", "--openrgb", QString::number(kPort)});
    t.join();
}

void latency()
{
    std::printf("\n-- from a client's LED update to the first report, idle accessory\n");
    FakeHidBus::reset();
    FakeHidBus::plug(0x3102, FakeHidBus::ReadMode::Immediate);
    std::vector<double> samples;
    withAgent([&] {
        const qintptr s = connectClient();
        QThread::msleep(300);
        for (int i = 0; i < 300; ++i) {
            QThread::msleep(3 + i % 7);
            const int before = FakeHidBus::count(FakeHidBus::Call::Write);
            const qint64 start = FakeHidBus::nowNs();
            sendColor(s, kSqShifter, i % 2 ? qRgb(255, 0, 0) : qRgb(0, 0, 255));
            while (FakeHidBus::count(FakeHidBus::Call::Write) <= before)
                QThread::usleep(20);
            samples.push_back(
                double(FakeHidBus::events(FakeHidBus::Call::Write)[before].timeNs - start) / 1e6);
        }
        TcpSocket::close(s);
    });
    std::printf("samples %zu, p50 %.3f ms, p90 %.3f ms, p99 %.3f ms (goal: p50 under 1 ms)\n",
                samples.size(), percentile(samples, 0.5), percentile(samples, 0.9),
                percentile(samples, 0.99));
}

double cpuMs(int who)
{
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

void flood(int clients)
{
    const int seconds = 3, perSecond = 1000;
    FakeHidBus::reset();
    const int sq = FakeHidBus::plug(0x3102, FakeHidBus::ReadMode::Immediate);
    FakeHidBus::setReportTime(1000); // a millisecond a report, as a real accessory
    double lagMs = -1, cpu = 0;
    int sent = 0;
    const double before = cpuMs(RUSAGE_SELF);
    withAgent([&] {
        std::vector<qintptr> s;
        for (int c = 0; c < clients; ++c)
            s.push_back(connectClient());
        QThread::msleep(300);
        QElapsedTimer timer;
        timer.start();
        QRgb last = 0;
        for (int tick = 0; tick < seconds * perSecond; ++tick) {
            for (int c = 0; c < clients; ++c) {
                last = qRgb(tick % 256, c, 7);
                sendColor(s[size_t(c)], kSqShifter, last);
                ++sent;
            }
            const qint64 due = qint64(tick + 1) * 1000000 / perSecond;
            const qint64 wait = due - timer.nsecsElapsed() / 1000;
            if (wait > 0)
                QThread::usleep(unsigned(wait));
        }
        // How long until the accessory shows the newest colour.
        const QByteArray want =
            QByteArray::fromHex("02") + char(qRed(last)) + char(qBlue(last)) + char(qGreen(last));
        const qint64 stop = FakeHidBus::nowNs();
        for (int i = 0; i < 5000 && lagMs < 0; ++i) {
            const auto writes = FakeHidBus::events(FakeHidBus::Call::Write);
            if (!writes.isEmpty() && writes.last().accessory == sq && writes.last().bytes == want)
                lagMs = double(writes.last().timeNs - stop) / 1e6;
            QThread::usleep(200);
        }
        for (qintptr x : s)
            TcpSocket::close(x);
    });
    cpu = cpuMs(RUSAGE_SELF) - before;
    FakeHidBus::setReportTime(0);
    std::printf("%d client(s) at %d updates/s each for %d s: %d sent, %d reports written; newest "
                "colour at the accessory %.1f ms after the last update; CPU %.0f ms (%.1f %% of "
                "a core, the clients' threads included)\n",
                clients, perSecond, seconds, sent, FakeHidBus::count(FakeHidBus::Call::Write),
                lagMs, cpu, cpu / seconds / 10);
}

// The program in a process of its own for `seconds`: its CPU time in ms.
double cpuOfRun(const QStringList &arguments, int seconds, int clients)
{
    int fds[2];
    if (pipe(fds) != 0)
        qFatal("no pipe");
    const pid_t child = fork();
    if (child == 0) {
        close(fds[1]);
        int argc = 1;
        char name[] = "brimsel-ctl";
        char *argv[] = {name, nullptr};
        QCoreApplication app(argc, argv);
        QTemporaryDir state;
        qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
        FakeHidBus::reset();
        FakeHidBus::plug(0x3103);
        FakeHidBus::plug(0x3102);
        FakeHidBus::plug(0x3104);
        QString out, err;
        QTextStream o(&out), e(&err);
        BrimselCtl ctl(o, e);
        ctl.setInputDescriptor(fds[0]);
        _exit(ctl.run(QStringList{"brimsel-ctl"} + arguments));
    }
    close(fds[0]);
    std::vector<qintptr> s;
    for (int c = 0; c < clients; ++c)
        s.push_back(connectClient());
    QThread::msleep(500);
    for (int second = 0; second < seconds; ++second) {
        const QByteArray line = second % 2 ? "#ff0000\n" : "#00ff00\n";
        if (clients == 0 && write(fds[1], line.constData(), size_t(line.size())) != line.size())
            qFatal("short write");
        QThread::msleep(1000);
    }
    kill(child, SIGTERM);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    close(fds[1]);
    for (qintptr x : s)
        TcpSocket::close(x);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

} // namespace

int main(int argc, char *argv[])
{
    std::printf("brimsel-ctl --openrgb, stand-in bus\n");
    // One-agent marks of its own, beside a user's agent.
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", runtime.path().toLocal8Bit()); // no lights profile of the user's
    {
        QCoreApplication app(argc, argv);
        latency();
        std::printf("\n-- floods of updates (the accessory takes 1 ms a report)\n");
        flood(1);
        flood(8);
    }
    const int seconds = 10;
    std::printf("\n-- CPU, %d s each, three silent accessories\n", seconds);
    const double stream = cpuOfRun({"--stream"}, seconds, 0);
    const double agent = cpuOfRun({"--openrgb", QString::number(kPort)}, seconds, 8);
    std::printf("--stream, a line a second: %.0f ms\n--openrgb, 8 idle clients: %.0f ms, %.2fx "
                "(goal: within 2x)\n",
                stream, agent, agent / stream);
    return 0;
}
