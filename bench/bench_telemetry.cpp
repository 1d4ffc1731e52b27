// SPDX-License-Identifier: MIT
// brimsel-ctl --telemetry over the stand-in bus: decoding speed of each
// format, the time to read and decide on each sim's shared memory, the time
// from a packet that changes the stage to its first report, and the CPU the
// whole program takes beside --stream.
#include "brimselctl.h"
#include "fakehidbus.h"
#include "hidworker.h"
#include "profilefile.h"
#include "sharedmemorylayouts.h"
#include "sharedmemorysource.h"
#include "telemetrydecoder.h"
#include "telemetrylights.h"
#include "telemetrypackets.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Mode = FakeHidBus::ReadMode;
using P = TelemetryPackets;
constexpr quint16 kPort = 20799;

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

class Game
{
public:
    Game() : s(socket(AF_INET, SOCK_DGRAM, 0))
    {
        to.sin_family = AF_INET;
        to.sin_port = htons(kPort);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    ~Game() { close(s); }
    void send(const QByteArray &p)
    {
        sendto(s, p.constData(), size_t(p.size()), 0, reinterpret_cast<const sockaddr *>(&to),
               sizeof to);
    }

private:
    int s;
    sockaddr_in to{};
};

void decoding()
{
    std::printf("\n-- decoding, from memory, 256 packets of varying RPM per format\n");
    const struct
    {
        const char *name;
        std::function<QByteArray(float)> make;
    } formats[] = {
        {"Forza sled 232", [](float r) { return P::forza(232, true, r, 8000); }},
        {"Forza dash 311", [](float r) { return P::forza(311, true, r, 8000, 1); }},
        {"Forza open-world 324", [](float r) { return P::forza(324, true, r, 8000); }},
        {"Forza tyres 331", [](float r) { return P::forza(331, true, r, 8000); }},
        {"OutGauge 92", [](float r) { return P::outGauge(92, "XRT", r); }},
        {"OutGauge 96", [](float r) { return P::outGauge(96, "XRT", r, true); }},
        {"Codemasters 264", [](float r) { return P::codemasters(r, 8000); }},
        {"F1 24 Car Telemetry", [](float r) { return P::f1Telemetry(2024, 5, int(r), 50); }},
        {"F1 22 Car Status", [](float r) { return P::f1Status(2022, 5, int(r) + 9000); }},
        {"EA WRC 237", [](float r) { return P::wrc(r, 8000, 0.5f); }},
        {"Project CARS 2 559", [](float r) { return P::pcars2(559, int(r), 8000); }},
        {"RBR 664", [](float r) { return P::rbr(r); }},
        {"Assetto Corsa 328", [](float r) { return P::acCarInfo(r); }},
        {"Gran Turismo 7 296, decrypted", [](float r) { return P::gt7(r, 7500, 8000); }},
    };
    for (const auto &format : formats) {
        std::vector<QByteArray> packets;
        for (int i = 0; i < 256; ++i)
            packets.push_back(format.make(float(800 + i * 28)));
        const int rounds = 20000;
        double sum = 0;
        QElapsedTimer timer;
        timer.start();
        for (int r = 0; r < rounds; ++r) {
            for (const QByteArray &p : packets) {
                TelemetryDecoder::Sample s;
                if (TelemetryDecoder::decode(reinterpret_cast<const unsigned char *>(p.constData()),
                                             size_t(p.size()), &s))
                    sum += s.rpm + s.maxRpm;
            }
        }
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        std::printf("%-22s %10.0f packets/s%s\n", format.name, rounds * 256.0 / seconds,
                    sum > 0 ? "" : " (none read!)");
    }
    std::printf("goal: at least 1000000 packets/s each\n");
}

// Each sim's blocks in a tmpfs folder, as the Proton bridge keeps them; the
// sim writes a new snapshot between reads (not timed), then one look of the
// source and the lights' colours are timed.
void sharedMemory()
{
    std::printf("\n-- shared memory: one snapshot read, decoded and shown, %s\n",
                "files in /dev/shm as the bridge keeps them");
    std::printf("%-48s %7s %9s %9s\n", "sim", "samples", "p50 us", "p99 us");
    for (TelemetryDecoder::Format sim : SharedMemoryLayouts::sims()) {
        QTemporaryDir folder(QStringLiteral("/dev/shm/brimsel-bench-XXXXXX"));
        std::vector<std::vector<std::pair<QString, QByteArray>>> snapshots;
        for (quint32 tick = 1; tick <= 16; ++tick) {
            SharedMemoryLayouts::State state;
            state.tick = tick;
            state.rpm = 800.0f + float(tick) * 450.0f;
            state.shiftRpm = 7000;
            snapshots.push_back(SharedMemoryLayouts::blocks(sim, state));
        }
        if (!SharedMemoryLayouts::write(sim, folder.path(), SharedMemoryLayouts::State()))
            qFatal("cannot write to %s", qPrintable(folder.path()));
        std::vector<int> fds;
        for (const auto &block : snapshots[0])
            fds.push_back(open(qPrintable(folder.path() + QLatin1Char('/') + block.first), O_RDWR));
        qint64 now = 1000000;
        std::vector<std::unique_ptr<SharedMemoryGame>> one;
        one.push_back(SharedMemoryGame::make(sim));
        SharedMemorySource source(folder.path(), std::move(one));
        TelemetryLights lights(qRgb(0, 0, 0), 0.97, [&now] { return now; });
        int taken = 0;
        QRgb seen = 0;
        std::vector<double> samples;
        QElapsedTimer timer;
        for (int i = 0; i < 20000; ++i) {
            // The sim writes: only the bytes that differ from its last snapshot.
            const auto &next = snapshots[size_t(i) % snapshots.size()];
            const auto &last = snapshots[size_t(i + 15) % snapshots.size()];
            for (size_t b = 0; b < next.size(); ++b) {
                const QByteArray &n = next[b].second, &l = last[b].second;
                int first = 0, end = n.size();
                while (first < end && n[first] == l[first])
                    ++first;
                while (end > first && n[end - 1] == l[end - 1])
                    --end;
                if (end > first &&
                    pwrite(fds[b], n.constData() + first, size_t(end - first), first) < 0)
                    qFatal("short write");
            }
            now += SharedMemorySource::ReadMs;
            timer.start();
            source.poll(
                now,
                [&](const TelemetryDecoder::Sample &s) {
                    lights.feed(s);
                    ++taken;
                },
                [](const QString &line) { qFatal("%s", qPrintable(line)); });
            seen ^= lights.colors()[1];
            samples.push_back(double(timer.nsecsElapsed()) / 1e3);
        }
        for (int fd : fds)
            close(fd);
        std::printf("%-48s %7zu %9.2f %9.2f%s\n", qPrintable(TelemetryDecoder::formatName(sim)),
                    samples.size(), percentile(samples, 0.5), percentile(samples, 0.99),
                    taken > 19000 ? "" : " (snapshots missed!)");
    }
    std::printf("goal: under 20 us for each sim\n");
}

// An event loop in a process of its own for `seconds`, looking for every
// sim's shared memory with none running, or (look false) doing nothing:
// its CPU time in ms.
double cpuOfLookingForSims(int seconds, bool look)
{
    const pid_t child = fork();
    if (child == 0) {
        int argc = 1;
        char name[] = "look";
        char *argv[] = {name, nullptr};
        QCoreApplication app(argc, argv);
        SharedMemorySource source;
        QTimer timer;
        timer.setSingleShot(true);
        QElapsedTimer clock;
        clock.start();
        QObject::connect(&timer, &QTimer::timeout, [&] {
            source.poll(
                clock.elapsed(), [](const TelemetryDecoder::Sample &) {}, [](const QString &) {});
            timer.start(source.msUntilPoll(clock.elapsed()));
        });
        if (look)
            timer.start(0);
        QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
        _exit(app.exec());
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    return (double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
            double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3);
}

// A profile of `games` games (but `skip`) with `cars` cars each.
QByteArray bigProfile(int games, int cars, const QString &skip = QString())
{
    const QStringList names = TelemetryDecoder::allGameNames();
    QByteArray text = "idle = \"#101010\"\n[rev]\nstages = [ { from = 60, color = \"#00ff00\" }, "
                      "{ from = 80, color = \"#ffff00\" }, { from = 90, color = \"#ff0000\" } ]\n";
    for (int g = 0; g < games && g < names.size(); ++g) {
        if (names[g] == skip)
            continue;
        text += QString("[games.\"%1\"]\nrev.flash = { from = %2, color = \"#0000ff\", hz = 6 }\n"
                        "accessories.handbrake.show = [\"handbrake\", \"shift\", \"base\"]\n")
                    .arg(names[g])
                    .arg(90 + g % 10)
                    .toUtf8();
        for (int c = 0; c < cars; ++c)
            text += QString("[games.\"%1\".cars.\"car %2\"]\nmax_rpm = %3\n"
                            "rev.stages = [ { from = 75, color = \"#00ffff\" } ]\n")
                        .arg(names[g])
                        .arg(c)
                        .arg(7000 + 100 * c)
                        .toUtf8();
    }
    return text;
}

void profileLoading()
{
    std::printf("\n-- reading a lights profile (parse and check), median of 20\n");
    for (int games : {1, 10, 21}) {
        const QByteArray text = bigProfile(games, 4);
        std::vector<double> ms;
        for (int i = 0; i < 20; ++i) {
            QElapsedTimer timer;
            timer.start();
            const ProfileFile::Result r = ProfileFile::parse(text);
            ms.push_back(double(timer.nsecsElapsed()) / 1e6);
            if (!r.ok)
                std::printf("not read: %s\n", qPrintable(r.errors.value(0).message));
        }
        std::printf("%2d games, 4 cars each (%6d bytes) %9.3f ms\n", games, int(text.size()),
                    percentile(ms, 0.5));
    }
    // More than 50 games' worth: a profile knows 21 games, so the rest is cars.
    const QByteArray fifty = bigProfile(21, 50);
    std::vector<double> ms;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer timer;
        timer.start();
        ProfileFile::parse(fifty);
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("21 games, 50 cars each (%6d bytes) %9.3f ms\n", int(fifty.size()),
                percentile(ms, 0.5));
    std::printf("goal: a profile of 50 games under 10 ms\n");
}

// From the profile file written to the first report that shows it, the
// agent running with Codemasters packets coming 60 times a second.
void profileChange(const QString &folder)
{
    std::printf("\n-- from a profile written to the first report that shows it\n");
    FakeHidBus::reset();
    FakeHidBus::plug(AccessoryTable::SqShifterProductId, Mode::Immediate);
    const QString path = folder + "/lights.toml";
    auto write = [&](const char *color) {
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(bigProfile(21, 4, "DiRT Rally 2.0") +
                   QByteArray("[games.\"DiRT Rally 2.0\"]\nrev.stages = "
                              "[ { from = 50, color = \"") +
                   color + "\" } ]\n");
    };
    write("#ff00ff");
    std::vector<double> samples;
    std::thread game([&] {
        Game g;
        std::atomic<bool> sending{true};
        std::thread packets([&] {
            while (sending) {
                g.send(P::codemasters(6000, 8000)); // 75 %
                QThread::msleep(16);
            }
        });
        QThread::msleep(500);
        for (int i = 0; i < 20; ++i) {
            const bool even = i % 2 == 0;
            const QRgb want = even ? qRgb(0, 255, 255) : qRgb(255, 0, 255);
            const int before = FakeHidBus::count(FakeHidBus::Call::Write);
            const qint64 start = FakeHidBus::nowNs();
            write(even ? "#00ffff" : "#ff00ff");
            bool seen = false;
            for (int wait = 0; wait < 3000 && !seen; ++wait) {
                const QVector<FakeHidBus::Event> writes =
                    FakeHidBus::events(FakeHidBus::Call::Write);
                for (int w = before; w < writes.size() && !seen; ++w) {
                    const auto b =
                        reinterpret_cast<const unsigned char *>(writes[w].bytes.constData());
                    if (qRgb(b[1], b[3], b[2]) == want) {
                        samples.push_back(double(writes[w].timeNs - start) / 1e6);
                        seen = true;
                    }
                }
                QThread::msleep(1);
            }
            QThread::msleep(200);
        }
        sending = false;
        packets.join();
        std::raise(SIGTERM);
    });
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    BrimselCtl ctl(outStream, errStream);
    ctl.run({"brimsel-ctl", "--telemetry", QString::number(kPort), "--device", "sq", "--profile",
             path});
    game.join();
    std::printf("%-42s %7zu %9.1f ms p50 %9.1f ms max\n", "profile written to the first report",
                samples.size(), percentile(samples, 0.5), percentile(samples, 1.0));
    std::printf("goal: under 1 s\n");
}

void latency(const QString &profileFolder)
{
    std::printf("\n-- from a packet that changes the stage to the first report\n");
    std::printf("%-42s %7s %9s %9s %9s\n", "accessory", "samples", "p50 ms", "p90 ms", "p99 ms");
    // The last run with a profile of every game, four cars each.
    const QString profile = profileFolder + "/many-games.toml";
    QFile file(profile);
    file.open(QIODevice::WriteOnly);
    file.write(bigProfile(21, 4));
    file.close();
    const struct
    {
        Mode mode;
        bool withProfile;
    } runs[] = {{Mode::Immediate, false}, {Mode::WaitTimeout, false}, {Mode::Immediate, true}};
    for (const auto &run : runs) {
        const Mode mode = run.mode;
        const bool withProfile = run.withProfile;
        FakeHidBus::reset();
        FakeHidBus::plug(AccessoryTable::SqShifterProductId, mode);
        std::vector<double> samples;
        std::thread game([&] {
            Game g;
            QThread::msleep(300); // listening, and the first poll pass is done
            for (int i = 0; i < 300; ++i) {
                QThread::msleep(5 + i % 17);
                const int before = FakeHidBus::count(FakeHidBus::Call::Write);
                const qint64 start = FakeHidBus::nowNs();
                // Green and yellow by turns: every packet changes the stage.
                g.send(P::codemasters(i % 2 ? 6000 : 7000, 8000));
                while (FakeHidBus::count(FakeHidBus::Call::Write) <= before)
                    QThread::usleep(50);
                samples.push_back(
                    double(FakeHidBus::events(FakeHidBus::Call::Write)[before].timeNs - start) /
                    1e6);
            }
            std::raise(SIGTERM);
        });
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        BrimselCtl ctl(outStream, errStream);
        QStringList arguments{"brimsel-ctl", "--telemetry", QString::number(kPort), "--device",
                              "sq"};
        if (withProfile)
            arguments << "--profile" << profile;
        ctl.run(arguments);
        game.join();
        std::printf("%-42s %7zu %9.3f %9.3f %9.3f\n",
                    withProfile               ? "idle, a profile of 21 games and 84 cars"
                    : mode == Mode::Immediate ? "idle (answers the presence read at once)"
                                              : "silent (sends no input reports)",
                    samples.size(), percentile(samples, 0.5), percentile(samples, 0.9),
                    percentile(samples, 0.99));
    }
    std::printf("goal: p50 under 0.5 ms and p99 under 1 ms, idle and silent alike\n");
}

// The whole program in a process of its own, fed by `feed` for `seconds`;
// returns its CPU time in ms. With `real`, the brimsel-ctl that was built,
// on this machine's hidapi; otherwise in-process code over the stand-in bus
// with three silent accessories plugged.
double cpuOfRun(bool real, const QStringList &arguments, int seconds,
                const std::function<void(int inputFd, int second)> &feed)
{
    int fds[2];
    if (pipe(fds) != 0)
        qFatal("no pipe");
    const pid_t child = fork();
    if (child == 0 && real) {
        close(fds[1]);
        dup2(fds[0], STDIN_FILENO);
        const int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, STDERR_FILENO);
        std::vector<QByteArray> args{BRIMSEL_CTL};
        for (const QString &a : arguments)
            args.push_back(a.toLocal8Bit());
        std::vector<char *> argv;
        for (QByteArray &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (child == 0) {
        close(fds[1]);
        int argc = 1;
        char name[] = "brimsel-ctl";
        char *argv[] = {name, nullptr};
        QCoreApplication app(argc, argv);
        FakeHidBus::reset();
        FakeHidBus::plug(AccessoryTable::HandbrakeProductId);
        FakeHidBus::plug(AccessoryTable::SqShifterProductId);
        FakeHidBus::plug(AccessoryTable::HShifterProductId);
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        BrimselCtl ctl(outStream, errStream);
        ctl.setInputDescriptor(fds[0]);
        _exit(ctl.run(QStringList{"brimsel-ctl"} + arguments));
    }
    close(fds[0]);
    QThread::msleep(500); // started
    for (int second = 0; second < seconds; ++second)
        feed(fds[1], second);
    kill(child, SIGTERM);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    close(fds[1]);
    return (double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
            double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3);
}

void cpu(bool real)
{
    const int seconds = 10;
    std::printf("\n-- CPU of the whole program, %s, %d s each\n",
                real ? "the built brimsel-ctl on this machine's hidapi (no accessory)"
                     : "stand-in bus, three silent accessories",
                seconds);
    const double stream = cpuOfRun(real, {"--stream"}, seconds, [](int fd, int second) {
        const QByteArray line = second % 2 ? "#ff0000\n" : "#00ff00\n";
        if (write(fd, line.constData(), size_t(line.size())) != line.size())
            qFatal("short write");
        QThread::msleep(1000);
    });
    const auto telemetry = [&](const std::function<float(int)> &rpm) {
        return cpuOfRun(real, {"--telemetry", QString::number(kPort)}, seconds,
                        [&](int, int second) {
                            Game g;
                            QElapsedTimer timer;
                            timer.start();
                            for (int i = 0; i < 60; ++i) {
                                g.send(P::forza(311, true, rpm(second * 60 + i), 8000));
                                const qint64 next = (i + 1) * 1000 / 60;
                                QThread::msleep(std::max<qint64>(0, next - timer.elapsed()));
                            }
                        });
    };
    const auto quiet = [](int, int) { QThread::msleep(1000); };
    const double onePortQuiet =
        cpuOfRun(real, {"--telemetry", QString::number(kPort)}, seconds, quiet);
    const double allPortsQuiet = cpuOfRun(real, {"--telemetry"}, seconds, quiet);
    const double idling = telemetry([](int) { return 900.0f; });
    // Up through every stage and back, once every 2 s.
    const double revving =
        telemetry([](int i) { return 800.0f + 7200.0f * (1 - std::abs((i % 120) - 60) / 60.0f); });
    const auto line = [&](const char *what, double ms) {
        std::printf("%-52s %8.0f ms %6.2f %% %5.2fx\n", what, ms, ms / seconds / 10, ms / stream);
    };
    std::printf("%-52s %8s    %6s   %5s\n", "", "CPU", "of one core", "vs --stream");
    line("--stream, a line a second", stream);
    line("--telemetry PORT, no game", onePortQuiet);
    line("--telemetry, every default port, no game", allPortsQuiet);
    std::printf("%-52s %8.2fx   (goal: within 1.2x)\n", "every default port vs one",
                allPortsQuiet / onePortQuiet);
    // --telemetry always looks for the sims' shared memory: what that look
    // costs alone, and --telemetry PORT with it against the same without it.
    const double looking = cpuOfLookingForSims(seconds, true) - cpuOfLookingForSims(seconds, false);
    line("the look for the sims' shared memory alone, no sim", looking);
    std::printf("%-52s %8.2fx   (goal: within 1.2x)\n",
                "--telemetry PORT, no game: with the look vs less it",
                onePortQuiet / std::max(1.0, onePortQuiet - looking));
    line("--telemetry, 60 packets/s, engine idling", idling);
    line("--telemetry, 60 packets/s, revving through the stages", revving);
    std::printf("goal: --telemetry within 2x of --stream\n");
}

} // namespace

int main(int argc, char *argv[])
{
    std::printf("brimsel-ctl --telemetry, stand-in bus\n");
    // One-agent marks of its own, beside a user's agent.
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", runtime.path().toLocal8Bit()); // no lights profile of the user's
    decoding();
    sharedMemory();
    profileLoading();
    {
        QCoreApplication app(argc, argv);
        latency(runtime.path());
        profileChange(runtime.path());
    }
    cpu(false);
    cpu(true);
    return 0;
}
