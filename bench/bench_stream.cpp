// SPDX-License-Identifier: MIT
// brimsel-ctl --stream over the stand-in bus: parsing speed, the time from a
// line written to its first report, a writer flooding slow accessories, and
// memory over long inputs.
#include "colorlinereader.h"
#include "colorstream.h"
#include "fakehidbus.h"
#include "hidworker.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

using Mode = FakeHidBus::ReadMode;

double ms(qint64 ns)
{
    return double(ns) / 1e6;
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

// Line i carries colour i, so that a report tells which line it came from.
QByteArray numberedLines(int n)
{
    QByteArray out;
    out.reserve(n * 8);
    for (int i = 0; i < n; ++i)
        out += QString::asprintf("#%06x\n", i).toLatin1();
    return out;
}

// How a writer puts its lines into the pipe.
enum class Writer {
    LinePerWrite, // one write() per line, as a bridge that flushes each colour
    Bulk,         // 64 KiB at a time, as a generator with a stdio buffer
};

struct WriterResult
{
    qint64 startNs = 0;
    qint64 endNs = 0;
};

// Writes `lines` (8 bytes each) to fd, counting in `written`, then closes fd.
void writeAll(int fd, const QByteArray &lines, Writer how, std::atomic<int> *written,
              WriterResult *result)
{
    result->startNs = FakeHidBus::nowNs();
    const int step = how == Writer::Bulk ? 64 * 1024 : 8;
    for (int pos = 0; pos < lines.size(); pos += step) {
        const int n = std::min(step, int(lines.size()) - pos);
        if (write(fd, lines.constData() + pos, size_t(n)) != n)
            qFatal("short write");
        written->store((pos + n) / 8, std::memory_order_relaxed);
    }
    result->endNs = FakeHidBus::nowNs();
    close(fd);
}

qint64 rssKb()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// Parsing alone, from memory: lines a second for each form.
void parsing()
{
    std::printf("\n-- parsing, from memory (ColorLineReader, 64 KiB pieces)\n");
    QRandomGenerator rng(7);
    const struct
    {
        const char *label;
        std::function<QByteArray()> line;
    } forms[] = {
        {"#rrggbb", [&] { return QString::asprintf("#%06x\n", rng.bounded(1 << 24)).toLatin1(); }},
        {"#rgb", [&] { return QString::asprintf("#%03x\n", rng.bounded(1 << 12)).toLatin1(); }},
        {"r,g,b",
         [&] {
             return QString::asprintf("%d,%d,%d\n", rng.bounded(256), rng.bounded(256),
                                      rng.bounded(256))
                 .toLatin1();
         }},
        {"name (darkviolet, ...)",
         [&] {
             static const char *names[] = {"red", "darkviolet", "Orange", "lightgoldenrodyellow"};
             return QByteArray(names[rng.bounded(4)]) + '\n';
         }},
    };
    for (const auto &form : forms) {
        QByteArray input;
        const int n = 1000000;
        for (int i = 0; i < n; ++i)
            input += form.line();
        qint64 colours = 0;
        ColorLineReader reader([&](QRgb) { ++colours; }, [](qint64, const QString &) {});
        QElapsedTimer clock;
        clock.start();
        for (int pos = 0; pos < input.size(); pos += 65536)
            reader.feed(input.constData() + pos, size_t(std::min(65536, input.size() - pos)));
        reader.finish();
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        std::printf("%-24s %9lld lines %12.0f lines/s\n", form.label, colours,
                    double(colours) / seconds);
    }
}

// Runs the stream on `lines` written by `how`; returns what the bus saw.
struct StreamRun
{
    WriterResult writer;
    qint64 stopNs = 0;
    int status = -1;
    std::vector<int> sent;        // colour of each request, in order
    std::vector<double> lagLines; // lines written but not yet sent at each request
    qint64 peakRssKb = 0;
    qint64 startRssKb = 0;
};

// A stream that reads the read end of a pipe of its own; its messages are
// kept, unread. The read end closes with it.
struct PipedStream
{
    explicit PipedStream(HidWorker::Device devices)
        : errStream(&err), stream(openPipe(fds), devices, false, errStream)
    {
    }
    ~PipedStream() { close(fds[0]); }
    static int openPipe(int *ends)
    {
        if (pipe(ends) != 0)
            qFatal("no pipe");
        return ends[0];
    }

    int fds[2];
    QString err;
    QTextStream errStream;
    ColorStream stream;
};

StreamRun runStream(const QByteArray &lines, Writer how, HidWorker::Device devices,
                    bool sampleRss = false)
{
    PipedStream piped(devices);
    ColorStream &stream = piped.stream;
    const int *fds = piped.fds;
    StreamRun run;
    std::atomic<int> written{0};
    QObject::connect(&stream.deviceRelay(), &DeviceRelay::colorUpdateRequested,
                     [&](const QColor &color, HidWorker::Device) {
                         const int index = int(color.rgb() & 0xffffff);
                         run.sent.push_back(index);
                         run.lagLines.push_back(written.load() - 1 - index);
                     });
    std::atomic<bool> done{false};
    std::thread rss;
    run.startRssKb = rssKb();
    if (sampleRss) {
        rss = std::thread([&] {
            while (!done) {
                run.peakRssKb = std::max(run.peakRssKb, rssKb());
                QThread::msleep(20);
            }
        });
    }
    std::thread writer(writeAll, fds[1], std::cref(lines), how, &written, &run.writer);
    run.status = stream.run();
    run.stopNs = FakeHidBus::nowNs();
    done = true;
    writer.join();
    if (rss.joinable())
        rss.join();
    return run;
}

void latency()
{
    std::printf("\n-- from a line written to its first report, one line at a time\n");
    std::printf("%-42s %7s %9s %9s\n", "accessory", "samples", "p50 ms", "p99 ms");
    for (Mode mode : {Mode::Immediate, Mode::WaitTimeout}) {
        FakeHidBus::reset();
        FakeHidBus::plug(AccessoryTable::SqShifterProductId, mode);
        PipedStream piped(HidWorker::SqShifter);
        ColorStream &stream = piped.stream;
        const int *fds = piped.fds;
        std::vector<double> samples;
        std::thread writer([&] {
            QRandomGenerator rng(3);
            QThread::msleep(300); // the first poll pass is done
            for (int i = 0; i < 300; ++i) {
                QThread::msleep(2 + rng.bounded(20));
                const int before = FakeHidBus::count(FakeHidBus::Call::Write);
                const QByteArray line = QString::asprintf("#%06x\n", i).toLatin1();
                const qint64 start = FakeHidBus::nowNs();
                if (write(fds[1], line.constData(), size_t(line.size())) != line.size())
                    qFatal("short write");
                while (FakeHidBus::count(FakeHidBus::Call::Write) <= before)
                    QThread::usleep(100);
                samples.push_back(
                    ms(FakeHidBus::events(FakeHidBus::Call::Write)[before].timeNs - start));
            }
            close(fds[1]);
        });
        stream.run();
        writer.join();
        std::printf("%-42s %7zu %9.3f %9.3f\n",
                    mode == Mode::Immediate ? "idle (answers the presence read at once)"
                                            : "silent (presence read waits 50 ms)",
                    samples.size(), percentile(samples, 0.5), percentile(samples, 0.99));
    }
    std::printf("goal: p50 under 0.3 ms for the idle accessory\n");
}

struct FloodFigures
{
    double alone, writerFast, writerSlow, total, lag50, lagMax;
    size_t requests;
    bool lastArrived;
};

FloodFigures floodOnce(const QByteArray &lines, Writer how, int accessories)
{
    const int n = lines.size() / 8;
    FloodFigures f{};

    const unsigned short products[] = {AccessoryTable::HandbrakeProductId,
                                       AccessoryTable::SqShifterProductId,
                                       AccessoryTable::HShifterProductId};
    const auto plugAll = [&] {
        FakeHidBus::reset();
        for (int i = 0; i < accessories; ++i)
            FakeHidBus::plug(products[i], Mode::Immediate);
    };
    const auto devices = static_cast<HidWorker::Device>((1 << accessories) - 1);
    // Without report time: how long the writer takes with nothing in the way.
    plugAll();
    const StreamRun fast = runStream(lines, how, devices);
    const auto fastWrites = FakeHidBus::events(FakeHidBus::Call::Write);
    f.alone = fastWrites.isEmpty() ? -1 : ms(fastWrites.last().timeNs - fast.writer.startNs);
    plugAll();
    FakeHidBus::setReportTime(1000);
    const StreamRun run = runStream(lines, how, devices);

    // Every request carries a newer colour than the one before, and each
    // accessory got each request's colour twice, in that order.
    bool ordered = std::is_sorted(run.sent.begin(), run.sent.end()) &&
                   std::adjacent_find(run.sent.begin(), run.sent.end()) == run.sent.end();
    const auto writes = FakeHidBus::events(FakeHidBus::Call::Write);
    ordered = ordered && writes.size() == int(run.sent.size()) * 2 * accessories;
    for (int i = 0; ordered && i < writes.size(); ++i) {
        const HidWorker::ColorReport r =
            HidWorker::colorReport(QColor(QRgb(run.sent[size_t(i / (2 * accessories))])));
        ordered =
            writes[i].bytes == QByteArray(reinterpret_cast<const char *>(r.data()), int(r.size()));
    }
    f.lastArrived = ordered && !run.sent.empty() && run.sent.back() == n - 1;
    f.writerFast = ms(fast.writer.endNs - fast.writer.startNs);
    f.writerSlow = ms(run.writer.endNs - run.writer.startNs);
    // Until the last report has gone through.
    f.total = writes.isEmpty() ? -1 : ms(writes.last().timeNs - run.writer.startNs) + 1.0;
    f.requests = run.sent.size();
    f.lag50 = percentile(run.lagLines, 0.5);
    f.lagMax = percentile(run.lagLines, 1.0);
    return f;
}

void flood(Writer how, int accessories)
{
    const QByteArray lines = numberedLines(100000);
    std::vector<FloodFigures> runs;
    for (int i = 0; i < 5; ++i)
        runs.push_back(floodOnce(lines, how, accessories));
    const auto median = [&](double FloodFigures::*field) {
        std::vector<double> v;
        for (const FloodFigures &f : runs)
            v.push_back(f.*field);
        return percentile(v, 0.5);
    };
    bool allArrived = true;
    size_t requests = 0;
    for (const FloodFigures &f : runs) {
        allArrived = allArrived && f.lastArrived;
        requests = std::max(requests, f.requests);
    }
    const double alone = median(&FloodFigures::alone);
    const double total = median(&FloodFigures::total);
    const double budget = alone + 2.0 * accessories; // one report round
    std::printf("%-13s %3d %9.1f %9.1f %9.1f %9.1f %9.1f %7.1f %%  %8zu %6.0f %6.0f  %s\n",
                how == Writer::Bulk ? "64 KiB" : "line a write", accessories, alone,
                median(&FloodFigures::writerFast), median(&FloodFigures::writerSlow), total, budget,
                100.0 * (total - budget) / budget, requests, median(&FloodFigures::lag50),
                median(&FloodFigures::lagMax), allArrived ? "yes" : "NO");
}

// Runs a stream over a pipe that `produce` fills from a thread of its own,
// passing it the pipe's end and a hook to call between writes, which samples
// VmRSS. Returns the stream's time in seconds and the memory before and at
// its peak.
struct MemoryRun
{
    double seconds;
    qint64 beforeKb;
    qint64 peakKb;
};

MemoryRun streamMemory(const std::function<void(int, const std::function<void()> &)> &produce)
{
    PipedStream piped(HidWorker::SqShifter);
    const int *fds = piped.fds;
    const qint64 before = rssKb();
    std::atomic<qint64> peak{before};
    std::thread writer([&] {
        produce(fds[1], [&peak] { peak = std::max(peak.load(), rssKb()); });
        close(fds[1]);
    });
    QElapsedTimer clock;
    clock.start();
    piped.stream.run();
    writer.join();
    return {double(clock.nsecsElapsed()) / 1e9, before, peak.load()};
}

void writeBlock(int fd, const char *data, int size)
{
    if (write(fd, data, size_t(size)) != size)
        qFatal("short write");
}

void memory()
{
    std::printf("\n-- memory (VmRSS) while streaming, 1 accessory, no report time\n");
    FakeHidBus::reset();
    FakeHidBus::plug(AccessoryTable::SqShifterProductId, Mode::Immediate);
    for (int millions : {1, 10}) {
        // The same 1 M lines over and over, so that the input costs no memory.
        const QByteArray block = numberedLines(1000000);
        const MemoryRun run = streamMemory([&](int fd, const std::function<void()> &sample) {
            for (int m = 0; m < millions; ++m) {
                for (int pos = 0; pos < block.size(); pos += 65536) {
                    writeBlock(fd, block.constData() + pos,
                               std::min(65536, int(block.size()) - pos));
                    FakeHidBus::takeEvents(); // the bus's own log is not the stream's
                    sample();
                }
            }
        });
        std::printf("%3d M lines in %6.2f s: VmRSS %lld kB before, peak %lld kB (+%lld kB)\n",
                    millions, run.seconds, run.beforeKb, run.peakKb, run.peakKb - run.beforeKb);
    }
    const MemoryRun run = streamMemory([](int fd, const std::function<void()> &sample) {
        const QByteArray junk(65536, 'x');
        for (int i = 0; i < 1600; ++i) {
            writeBlock(fd, junk.constData(), junk.size());
            sample();
        }
    });
    std::printf("one 100 MB line, no newline:   VmRSS %lld kB before, peak %lld kB (+%lld kB)\n",
                run.beforeKb, run.peakKb, run.peakKb - run.beforeKb);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    std::printf("brimsel-ctl --stream, stand-in bus\n");
    parsing();
    std::printf("goal: at least 500000 lines/s\n");
    latency();

    std::printf("\n-- 100000 colours as fast as the writer can, accessories 1 ms a report\n");
    std::printf("%-13s %3s %9s %9s %9s %9s %9s %9s  %8s %6s %6s  %s\n", "writer", "acc", "alone ms",
                "wr fast", "wr slow", "total ms", "budget", "over", "requests", "lag50", "lagmax",
                "last");
    for (Writer how : {Writer::LinePerWrite, Writer::Bulk}) {
        for (int accessories : {1, 3})
            flood(how, accessories);
    }
    std::printf("medians of 5 runs. total: from the writer's start to the end of the last\n"
                "report; alone: the same with reports that take no time, i.e. reading the\n"
                "input alone; wr fast / wr slow: the writer's own time with reports of 0 / 1 ms;\n"
                "budget: alone + one report round (2 reports an accessory); over: total against\n"
                "budget (goal: within 10 %%); lag: lines written but not yet read when a request\n"
                "left; last: the last colour arrived and every report carried its request's\n"
                "colour, each request newer than the one before\n");
    memory();
    return 0;
}
