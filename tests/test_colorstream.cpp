// SPDX-License-Identifier: MIT
#include <QTextStream>
#include <QtTest>

#include "brimselctl.h"
#include "ctloutput.h"
#include "fakehidbus.h"
#include "hidworker.h"

#include <csignal>
#include <functional>
#include <thread>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

using Call = FakeHidBus::Call;

namespace {

void makePipe(int fds[2])
{
#ifdef Q_OS_WIN
    const int result = _pipe(fds, 65536, _O_BINARY);
#else
    const int result = pipe(fds);
#endif
    if (result != 0)
        qFatal("no pipe");
}

void writeFd(int fd, const QByteArray &bytes)
{
#ifdef Q_OS_WIN
    const int written = _write(fd, bytes.constData(), unsigned(bytes.size()));
#else
    const auto written = write(fd, bytes.constData(), size_t(bytes.size()));
#endif
    if (written != bytes.size())
        qFatal("short write to the stream's input");
}

void closeFd(int fd)
{
#ifdef Q_OS_WIN
    _close(fd);
#else
    close(fd);
#endif
}

struct Outcome
{
    int status;
    QString err;
};

// The writing end of the stream's input, for a script that runs beside it.
class Feeder
{
public:
    explicit Feeder(int fd) : fd(fd) {}
    void write(const QByteArray &bytes) { writeFd(fd, bytes); }
    void close()
    {
        if (fd >= 0)
            closeFd(fd);
        fd = -1;
    }

private:
    int fd;
};

// Waits until the bus shows what the script needs before its next step.
// Gives up after 10 s, so that a fault fails the checks instead of hanging.
void waitUntil(const std::function<bool()> &ready)
{
    for (int i = 0; i < 5000 && !ready(); ++i)
        QThread::msleep(2);
}

int writes()
{
    return FakeHidBus::count(Call::Write);
}

QByteArray reportOf(QRgb rgb)
{
    const HidWorker::ColorReport r = HidWorker::colorReport(QColor(rgb));
    return QByteArray(reinterpret_cast<const char *>(r.data()), int(r.size()));
}

// The reports each accessory got, in order.
QVector<QByteArray> reportsTo(int accessory)
{
    QVector<QByteArray> out;
    for (const FakeHidBus::Event &e : FakeHidBus::events(Call::Write)) {
        if (e.accessory == accessory)
            out.append(e.bytes);
    }
    return out;
}

// Runs brimsel-ctl --stream on a pipe while `script` writes to it from
// another thread; the input ends when the script closes it, or after the
// program has stopped.
Outcome stream(const QStringList &arguments, const std::function<void(Feeder &)> &script)
{
    int fds[2];
    makePipe(fds);
    Feeder feeder(fds[1]);
    std::thread scriptThread([&] { script(feeder); });
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    BrimselCtl ctl(outStream, errStream);
    ctl.setInputDescriptor(fds[0]);
    const int status = ctl.run(QStringList{"brimsel-ctl", "--stream"} + arguments);
    scriptThread.join();
    feeder.close();
    closeFd(fds[0]);
    if (!out.isEmpty())
        qWarning("unexpected output: %s", qPrintable(out));
    return {status, err};
}

} // namespace

class TestColorStream : public QObject
{
    Q_OBJECT
private slots:
    void init() { FakeHidBus::reset(); }
    void cleanup()
    {
        QCOMPARE(FakeHidBus::openHandles(), 0);
        QCOMPARE(FakeHidBus::count(Call::Exit), 1);
    }

    void newestWins();
    void accessoryComesBackWithTheColourOfTheMoment();
    void badLinesAreSkipped();
    void blanksAndNulBytes();
    void noAccessory();
    void signalStopsAfterTheWriteInFlight();
};

void TestColorStream::newestWins()
{
    const int sq =
        FakeHidBus::plug(AccessoryTable::SqShifterProductId, FakeHidBus::ReadMode::Immediate);
    FakeHidBus::setReportTime(100000);
    const Outcome result = stream({}, [](Feeder &in) {
        in.write("#010101\n");
        waitUntil([] { return writes() >= 1; });
        // While the first is written, three more come: only the last waits.
        in.write("#020202\n#030303\n");
        in.write("#040404\n");
        in.close();
    });
    QCOMPARE(result.status, 0);
    QCOMPARE(result.err, QString());
    QCOMPARE(reportsTo(sq), (QVector<QByteArray>{reportOf(0x010101), reportOf(0x010101),
                                                 reportOf(0x040404), reportOf(0x040404)}));
}

void TestColorStream::accessoryComesBackWithTheColourOfTheMoment()
{
    const int hb =
        FakeHidBus::plug(AccessoryTable::HandbrakeProductId, FakeHidBus::ReadMode::Immediate);
    const int sq =
        FakeHidBus::plug(AccessoryTable::SqShifterProductId, FakeHidBus::ReadMode::Immediate);
    int sqAgain = 0;
    const Outcome result = stream({"--device", "handbrake,sq,h"}, [&](Feeder &in) {
        in.write("red\n");
        waitUntil([] { return writes() == 4; });
        FakeHidBus::unplug(sq);
        // Gone for the worker once it tries to open it again.
        waitUntil([] {
            const auto opens = FakeHidBus::events(Call::Open);
            return std::any_of(opens.begin(), opens.end(), [](const FakeHidBus::Event &e) {
                return e.productId == AccessoryTable::SqShifterProductId && !e.result;
            });
        });
        in.write("blue\n");
        waitUntil([] { return writes() == 6; }); // the handbrake only
        sqAgain =
            FakeHidBus::plug(AccessoryTable::SqShifterProductId, FakeHidBus::ReadMode::Immediate);
        waitUntil([] { return writes() >= 8; });
        in.close();
    });
    QCOMPARE(result.status, 0);
    const QByteArray red = reportOf(0xff0000), blue = reportOf(0x0000ff);
    QCOMPARE(reportsTo(sq), (QVector<QByteArray>{red, red}));
    QCOMPARE(reportsTo(sqAgain), (QVector<QByteArray>{blue, blue}));
    QCOMPARE(reportsTo(hb).mid(0, 4), (QVector<QByteArray>{red, red, blue, blue}));
    QCOMPARE(result.err,
             QString("brimsel-ctl: H Shifter: not connected, waiting for it until the input ends\n"
                     "brimsel-ctl: SQ Shifter: disconnected\n"
                     "brimsel-ctl: SQ Shifter: connected\n"));
}

void TestColorStream::badLinesAreSkipped()
{
    const int h =
        FakeHidBus::plug(AccessoryTable::HShifterProductId, FakeHidBus::ReadMode::Immediate);
    const QByteArray input = "red\n\n \t\n# a comment\nbluee\n" + QByteArray(2000, 'x') +
                             "\n\x01\xff\x1b[31m\\\r\n#\n0,0,255\r\n#0f0";
    const Outcome result = stream({}, [&](Feeder &in) {
        in.write(input);
        in.close();
    });
    QCOMPARE(result.status, int(CtlOutput::BadLines));
    QStringList messages = result.err.split('\n');
    messages.removeAll(QString());
    QCOMPARE(messages.size(), 4);
    QVERIFY2(messages[0].startsWith("brimsel-ctl: line 5: \"bluee\" is not a colour"),
             qPrintable(messages[0]));
    QCOMPARE(messages[1], QString("brimsel-ctl: line 6: longer than 1024 bytes"));
    QVERIFY2(messages[2].startsWith(R"(brimsel-ctl: line 7: "\x01\xff\x1b[31m\x5c" is not)"),
             qPrintable(messages[2]));
    QVERIFY(messages[3].startsWith("brimsel-ctl: line 8: \"#\" is not a colour"));
    // The last line, without a newline, is sent last.
    QCOMPARE(reportsTo(h).mid(reportsTo(h).size() - 2),
             (QVector<QByteArray>{reportOf(0x00ff00), reportOf(0x00ff00)}));
}

// Blanks around a colour are no part of it; a NUL byte makes a line no colour.
void TestColorStream::blanksAndNulBytes()
{
    const int h =
        FakeHidBus::plug(AccessoryTable::HShifterProductId, FakeHidBus::ReadMode::Immediate);
    const Outcome result = stream({}, [](Feeder &in) {
        in.write(" #0f0 \t\n");
        waitUntil([] { return writes() >= 1; });
        in.write(QByteArray("red\0bogus\n\tred\0\r\n  blue \n", 25));
        in.close();
    });
    QCOMPARE(result.status, int(CtlOutput::BadLines));
    QCOMPARE(result.err,
             QString("brimsel-ctl: line 2: \"red\\x00bogus\" is not a colour: use "
                     "#rgb, #rrggbb, r,g,b or a colour name such as red or darkviolet\n"
                     "brimsel-ctl: line 3: \"\\x09red\\x00\" is not a colour: use "
                     "#rgb, #rrggbb, r,g,b or a colour name such as red or darkviolet\n"));
    const QVector<QByteArray> got = reportsTo(h);
    QVERIFY(!got.isEmpty());
    QCOMPARE(got.first(), reportOf(0x00ff00));
    QCOMPARE(got.last(), reportOf(0x0000ff));
}

void TestColorStream::noAccessory()
{
    const Outcome result = stream({}, [](Feeder &in) {
        in.write("red\n");
        in.close();
    });
    QCOMPARE(result.status, int(CtlOutput::NotConnected));
    QCOMPARE(result.err, QString("brimsel-ctl: Device not found, waiting for an accessory until "
                                 "the input ends\n"));
    QCOMPARE(writes(), 0);
}

void TestColorStream::signalStopsAfterTheWriteInFlight()
{
    FakeHidBus::plug(AccessoryTable::SqShifterProductId, FakeHidBus::ReadMode::Immediate);
    FakeHidBus::setReportTime(200000);
    // The input stays open: the signal alone ends the stream.
    const Outcome result = stream({}, [](Feeder &in) {
        in.write("red\n");
        waitUntil([] { return writes() >= 1; });
        in.write("blue\n");
        std::raise(SIGTERM);
    });
    QCOMPARE(result.status, 128 + SIGTERM);
    // Both sends of red went out in full; blue, waiting, was dropped.
    QCOMPARE(writes(), 2);
    QCOMPARE(FakeHidBus::events(Call::Write).last().bytes, reportOf(0xff0000));
}

QTEST_GUILESS_MAIN(TestColorStream)
#include "test_colorstream.moc"
