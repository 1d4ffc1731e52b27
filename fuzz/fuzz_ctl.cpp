// SPDX-License-Identifier: MIT
// Argument lists given to brimsel-ctl, and the input of brimsel-ctl --stream,
// with some accessories plugged.
#include <QColor>
#include <QRegularExpression>
#include <QStringList>
#include <QTextStream>

#include "brimselctl.h"
#include "ctloutput.h"
#include "colorlinereader.h"
#include "colorparser.h"
#include "fakehidbus.h"
#include "fuzzsupport.h"
#include "hidworker.h"

#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

namespace {

void check(bool ok)
{
    if (!ok)
        abort();
}

// The patterns the hand-written parser replaced: it must agree with them.
ColorParser::Result referenceParse(QString text, QRgb *rgb)
{
    static const QRegularExpression blanks(QStringLiteral("^[ \t]+|[ \t]+$"));
    text.remove(blanks);
    static const QRegularExpression hexForm(QStringLiteral("^#([0-9A-Fa-f]{3}|[0-9A-Fa-f]{6})$"));
    static const QRegularExpression rgbForm(
        QStringLiteral("^\\s*([0-9]+)\\s*,\\s*([0-9]+)\\s*,\\s*([0-9]+)\\s*$"));
    if (text.startsWith(QLatin1Char('#'))) {
        if (text.endsWith(QLatin1Char('\n')) || !hexForm.match(text).hasMatch())
            return ColorParser::BadHex;
        *rgb = QColor(text).rgb();
        return ColorParser::Valid;
    }
    if (text.contains(QLatin1Char(','))) {
        const QRegularExpressionMatch match = rgbForm.match(text);
        if (!match.hasMatch())
            return ColorParser::BadRgb;
        int v[3];
        for (int i = 0; i < 3; ++i) {
            bool ok = false;
            v[i] = match.captured(i + 1).toInt(&ok);
            if (!ok || v[i] > 255)
                return ColorParser::BadRgb;
        }
        *rgb = qRgb(v[0], v[1], v[2]);
        return ColorParser::Valid;
    }
    if (text.contains(QChar::Null))
        return ColorParser::BadName;
    return ColorParser::parse(text, rgb); // names are QColor's either way
}

struct Read
{
    QVector<QRgb> colours;
    QStringList bad;
};

// The line reader's results must not depend on how the input is cut up.
Read readInPieces(const QByteArray &input, int piece)
{
    Read read;
    ColorLineReader reader(
        [&](QRgb rgb) { read.colours << rgb; },
        [&](qint64 line, const QString &message) { read.bad << QString::number(line) + message; });
    for (int pos = 0; pos < input.size(); pos += piece)
        reader.feed(input.constData() + pos, size_t(qMin(piece, input.size() - pos)));
    reader.finish();
    check(reader.badLineCount() == read.bad.size());
    return read;
}

void fuzzStream(uint8_t flags, const QByteArray &input)
{
    for (const QByteArray &line : input.split('\n')) {
        QRgb mine = 0, theirs = 0;
        const ColorParser::Result result = ColorParser::parse(line.constData(), line.size(), &mine);
        check(result == referenceParse(QString::fromUtf8(line.constData(), line.size()), &theirs));
        check(result != ColorParser::Valid || mine == theirs);
    }
    const Read whole = readInPieces(input, qMax(1, input.size()));
    for (int piece : {1, 7, 1500}) {
        const Read pieces = readInPieces(input, piece);
        check(pieces.colours == whole.colours && pieces.bad == whole.bad);
    }

    // The whole program on a pipe that holds the input.
    const QByteArray sent = input.left(60000);
    int fds[2];
    check(pipe(fds) == 0);
    check(write(fds[1], sent.constData(), size_t(sent.size())) == sent.size());
    close(fds[1]);
    QStringList arguments{QStringLiteral("brimsel-ctl"), QStringLiteral("--stream")};
    if (flags & 8)
        arguments << QStringLiteral("--device") << QStringLiteral("sq,h");
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    BrimselCtl ctl(outStream, errStream);
    ctl.setInputDescriptor(fds[0]);
    const int status = ctl.run(arguments);
    close(fds[0]);
    const Read read = sent.size() == input.size() ? whole : readInPieces(sent, 4096);
    const bool reachable = (flags & 8) ? (flags & 6) : (flags & 7);
    check(status == (!reachable           ? CtlOutput::NotConnected
                     : read.bad.isEmpty() ? CtlOutput::Success
                                          : CtlOutput::BadLines));
    // The last colour always arrives; nothing stays open.
    const auto writes = FakeHidBus::events(FakeHidBus::Call::Write);
    if (reachable && !read.colours.isEmpty()) {
        const HidWorker::ColorReport r = HidWorker::colorReport(QColor(read.colours.last()));
        check(writes.last().bytes ==
              QByteArray(reinterpret_cast<const char *>(r.data()), int(r.size())));
    }
    check(out.isEmpty() && FakeHidBus::openHandles() == 0 &&
          FakeHidBus::count(FakeHidBus::Call::Exit) == 1);
}

// --telemetry listens until it is stopped, so an argument list that may ask
// for it is left out (its decoder has a target of its own). Short options
// come in clusters ("-lt"), so any cluster with a t counts; the short name
// also works after two dashes ("--t", "--t=1").
bool mayStartTelemetry(const QStringList &arguments)
{
    for (const QString &arg : arguments.mid(1)) {
        if (arg == QLatin1String("--"))
            break;
        if (arg.startsWith(QLatin1String("--"))) {
            const QString name = arg.mid(2).section(QLatin1Char('='), 0, 0);
            if (name == QLatin1String("t") || name == QLatin1String("telemetry"))
                return true;
        } else if (arg.startsWith(QLatin1Char('-')) && arg.contains(QLatin1Char('t'))) {
            return true;
        }
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ensureApplication();
    FakeHidBus::reset();
    FuzzInput in(data, size);
    const uint8_t plugged = in.byte();
    if (plugged & 1)
        FakeHidBus::plug(AccessoryTable::HandbrakeProductId, FakeHidBus::ReadMode::Immediate);
    if (plugged & 2)
        FakeHidBus::plug(AccessoryTable::SqShifterProductId, FakeHidBus::ReadMode::Immediate);
    if (plugged & 4)
        FakeHidBus::plug(AccessoryTable::HShifterProductId, FakeHidBus::ReadMode::Immediate);
    if (plugged & 16) {
        fuzzStream(plugged, in.rest());
        return 0;
    }
    if (plugged & 8)
        FakeHidBus::failWrites(1);

    // Arguments are the input split at zero bytes.
    QStringList arguments{QStringLiteral("brimsel-ctl")};
    for (const QByteArray &arg : in.rest().split('\0'))
        arguments << QString::fromUtf8(arg);
    if (mayStartTelemetry(arguments))
        return 0;

    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    BrimselCtl ctl(outStream, errStream);
    // --stream here gets an empty input, never the fuzzer's own.
    static const int emptyInput = open("/dev/null", O_RDONLY);
    ctl.setInputDescriptor(emptyInput);
    // --color never reaches the user's agent, where one runs here.
    ctl.setAgentPorts({});
    const int status = ctl.run(arguments);
    if (status < 0 || status > 3)
        abort();
    // A refused command line sends nothing, and every open is closed again.
    const int writes = FakeHidBus::count(FakeHidBus::Call::Write);
    if ((status == CtlOutput::UsageError && writes != 0) || FakeHidBus::openHandles() != 0)
        abort();
    return 0;
}
