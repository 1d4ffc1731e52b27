// SPDX-License-Identifier: MIT
#include "brimselctl.h"

#include <QColor>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFileDevice>
#include <QTextStream>

#include "accessorytable.h"
#include "colorparser.h"
#include "colorstream.h"
#include "hidlibrary.h"
#include "hidoneshot.h"
#include "hidworker.h"
#include "quotedtext.h"
#include "reportsender.h"
#include "telemetrystream.h"

#include <algorithm>

namespace {

const char *const programName = "brimsel-ctl";

QString hexId(unsigned short id)
{
    return QStringLiteral("0x%1").arg(id, 4, 16, QLatin1Char('0'));
}

// Empty while the HID library works; otherwise what to print.
QString libraryError()
{
    const QString reason = HidLibrary::startError();
    if (reason.isEmpty())
        return reason;
    return QStringLiteral("%1: cannot look for accessories: USB HID support failed to start: %2\n")
        .arg(QLatin1String(programName), reason);
}

// Accessory names from a comma list, as a set of HidWorker::Device bits.
bool parseDevices(const QStringList &lists, int *devices, QString *error)
{
    *devices = 0;
    for (const QString &list : lists) {
        for (const QString &part : list.split(QLatin1Char(','))) {
            const QString key = part.trimmed().toLower();
            const AccessoryTable::Entry *kind = AccessoryTable::forKey(key);
            if (!kind) {
                *error = QStringLiteral("%1 is not an accessory name: use a comma list of "
                                        "handbrake, sq and h")
                             .arg(QuotedText::quote(part));
                return false;
            }
            // A name given twice still means one write to that accessory.
            *devices |= kind->bit;
        }
    }
    return true;
}

// --shift-at PERCENT and --idle COLOUR, each at most once.
bool parseTelemetryOptions(const QStringList &shiftAt, const QStringList &idle,
                           TelemetryStream::Options *options, QString *error)
{
    if (shiftAt.size() > 1 || idle.size() > 1) {
        *error = QStringLiteral("give --shift-at and --idle once each");
        return false;
    }
    if (!shiftAt.isEmpty()) {
        QString text = shiftAt.first().trimmed();
        if (text.endsWith(QLatin1Char('%')))
            text.chop(1);
        bool ok = false;
        const double percent = text.toDouble(&ok);
        if (!ok || !(percent > 0 && percent <= 100)) {
            *error = QStringLiteral("%1 is not a percentage: give a number above 0 and up to "
                                    "100, as in 97")
                         .arg(QuotedText::quote(shiftAt.first()));
            return false;
        }
        options->shiftAt = percent / 100;
    }
    if (!idle.isEmpty()) {
        QRgb rgb = 0;
        const ColorParser::Result parsed = ColorParser::parse(idle.first(), &rgb);
        if (parsed != ColorParser::Valid) {
            *error = ColorParser::errorText(parsed, QuotedText::quote(idle.first()));
            return false;
        }
        options->idle = rgb;
    }
    return true;
}

} // namespace

BrimselCtl::BrimselCtl(QTextStream &out, QTextStream &err) : out(out), err(err) {}

int BrimselCtl::run(const QStringList &arguments)
{
    const int status = runCommand(arguments);
    // A full disk or a closed pipe must not pass for a list or a colour shown.
    out.flush();
    if (out.status() == QTextStream::Ok)
        return status;
    const QFileDevice *file = qobject_cast<const QFileDevice *>(out.device());
    err << programName << ": cannot write the output"
        << (file ? QStringLiteral(": ") + file->errorString() : QString()) << '\n';
    err.flush();
    return status == Success ? OutputFailed : status;
}

int BrimselCtl::runCommand(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption listOption({QStringLiteral("l"), QStringLiteral("list")},
                                        QStringLiteral("List the connected accessories."));
    const QCommandLineOption colorOption(
        {QStringLiteral("c"), QStringLiteral("color"), QStringLiteral("colour")},
        QStringLiteral("Set the accessories to COLOUR."), QStringLiteral("COLOUR"));
    const QCommandLineOption streamOption(
        {QStringLiteral("s"), QStringLiteral("stream")},
        QStringLiteral("Set the accessories to each colour read from standard input."));
    const QCommandLineOption deviceOption({QStringLiteral("d"), QStringLiteral("device")},
                                          QStringLiteral("Only the accessories in NAMES."),
                                          QStringLiteral("NAMES"));
    const QCommandLineOption telemetryOption(
        {QStringLiteral("t"), QStringLiteral("telemetry")},
        QStringLiteral("Set the accessories from a game's UDP telemetry."));
    const QCommandLineOption shiftAtOption(QStringLiteral("shift-at"),
                                           QStringLiteral("Flash from PERCENT of the maximum RPM."),
                                           QStringLiteral("PERCENT"));
    const QCommandLineOption idleOption(QStringLiteral("idle"),
                                        QStringLiteral("The colour while nobody drives."),
                                        QStringLiteral("COLOUR"));
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Show the help."));
    const QCommandLineOption versionOption({QStringLiteral("v"), QStringLiteral("version")},
                                           QStringLiteral("Show the version."));
    parser.addOptions({listOption, colorOption, streamOption, telemetryOption, shiftAtOption,
                       idleOption, deviceOption, helpOption, versionOption});

    if (!parser.parse(arguments)) {
        // Qt's message would print an unknown option as it came.
        const QStringList unknown = parser.unknownOptionNames();
        if (unknown.isEmpty())
            return usageError(parser.errorText());
        // Qt gives the name alone: "x" for "-x" or for "--x".
        const QString asLong = QStringLiteral("--") + unknown.first();
        const bool isLong = std::any_of(arguments.begin(), arguments.end(), [&](const QString &a) {
            return a == asLong || a.startsWith(asLong + QLatin1Char('='));
        });
        return usageError(
            QStringLiteral("unknown option %1")
                .arg(QuotedText::quote(isLong ? asLong : QLatin1Char('-') + unknown.first())));
    }
    if (parser.isSet(helpOption)) {
        out << helpText();
        out.flush();
        return Success;
    }
    if (parser.isSet(versionOption)) {
        out << versionText();
        out.flush();
        return Success;
    }
    const bool telemetry = parser.isSet(telemetryOption);
    // --telemetry's [[ADDRESS:]PORT] is the one argument that stands alone.
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > (telemetry ? 1 : 0))
        return usageError(QStringLiteral("unexpected argument %1")
                              .arg(QuotedText::quote(positional.value(telemetry ? 1 : 0))));

    const bool list = parser.isSet(listOption);
    const bool color = parser.isSet(colorOption);
    const bool stream = parser.isSet(streamOption);
    if (int(list) + int(color) + int(stream) + int(telemetry) > 1)
        return usageError(
            QStringLiteral("give only one of --list, --color, --stream and --telemetry"));
    if (!list && !color && !stream && !telemetry)
        return usageError(QStringLiteral(
            "nothing to do: give --list to list the accessories, --color COLOUR to set "
            "their colour, --stream to set them to each colour read from standard input, "
            "or --telemetry to set them from a racing game's telemetry"));
    if (!telemetry && (parser.isSet(shiftAtOption) || parser.isSet(idleOption)))
        return usageError(QStringLiteral("--shift-at and --idle go with --telemetry only"));
    if (list) {
        if (parser.isSet(deviceOption))
            return usageError(
                QStringLiteral("--device goes with --color, --telemetry or --stream only"));
        return listDevices();
    }

    QRgb rgb = 0;
    if (color) {
        const QStringList colorValues = parser.values(colorOption);
        if (colorValues.size() > 1)
            return usageError(QStringLiteral("give --color once"));
        const ColorParser::Result parsed = ColorParser::parse(colorValues.first(), &rgb);
        if (parsed != ColorParser::Valid)
            return usageError(
                ColorParser::errorText(parsed, QuotedText::quote(colorValues.first())));
    }

    QString error;
    int devices = HidWorker::Handbrake | HidWorker::SqShifter | HidWorker::HShifter;
    const bool devicesNamed = parser.isSet(deviceOption);
    if (devicesNamed && !parseDevices(parser.values(deviceOption), &devices, &error))
        return usageError(error);
    if (telemetry) {
        TelemetryStream::Options options;
        options.endpoint = positional.value(0);
        options.devices = static_cast<HidWorker::Device>(devices);
        options.devicesNamed = devicesNamed;
        if (!parseTelemetryOptions(parser.values(shiftAtOption), parser.values(idleOption),
                                   &options, &error))
            return usageError(error);
        // A port that is taken shows before any accessory is touched.
        quint32 address;
        quint16 port;
        if (!TelemetryReceiver::parseEndpoint(options.endpoint, &address, &port, &error))
            return usageError(error);
        TelemetryStream telemetryStream(options, err);
        return telemetryStream.run();
    }
    if (stream) {
        ColorStream colorStream(inputFd, static_cast<HidWorker::Device>(devices), devicesNamed,
                                err);
        return colorStream.run();
    }
    return writeColor(QColor::fromRgb(rgb), devices, devicesNamed);
}

QString BrimselCtl::helpText()
{
    return QStringLiteral(
        "Usage: brimsel-ctl --list\n"
        "       brimsel-ctl --color COLOUR [--device NAMES]\n"
        "       brimsel-ctl --stream [--device NAMES]\n"
        "       brimsel-ctl --telemetry [[ADDRESS:]PORT] [--device NAMES]\n"
        "                   [--shift-at PERCENT] [--idle COLOUR]\n"
        "\n"
        "Lists the Brimsel sim-racing accessories (USB vendor 0x1209) that are\n"
        "connected, or sets the colour of their LEDs: the handbrake, the sequential\n"
        "(SQ) shifter and the H-pattern shifter. It sends the same report as the\n"
        "Brimsel tool window.\n"
        "\n"
        "Options:\n"
        "  -l, --list           List the connected accessories, one line each:\n"
        "                       name, product ID, hidraw path and serial number\n"
        "                       (\"-\" if it has none), separated by tabs.\n"
        "  -c, --color COLOUR   Set the LED colour of the accessories (--colour\n"
        "                       works too).\n"
        "  -s, --stream         Set the accessories to each colour read from\n"
        "                       standard input, one a line, as they come (below).\n"
        "  -t, --telemetry      Set the accessories from a racing game's UDP\n"
        "                       telemetry (below) until stopped.\n"
        "      --shift-at PERCENT\n"
        "                       With --telemetry, flash the shift light from PERCENT\n"
        "                       of the maximum RPM (default 97).\n"
        "      --idle COLOUR    With --telemetry, the colour while nobody drives\n"
        "                       (default #000000, off).\n"
        "  -d, --device NAMES   With --color, --stream or --telemetry, set only these\n"
        "                       accessories. NAMES is a comma list of handbrake, sq\n"
        "                       and h (any case). Without it, every connected\n"
        "                       accessory is set.\n"
        "  -h, --help           Show this help and exit.\n"
        "  -v, --version        Show the version and exit.\n"
        "\n"
        "COLOUR is one of:\n"
        "  #rgb, #rrggbb        hexadecimal, as in '#f08' or '#ff0080' (quote it:\n"
        "                       the shell takes an unquoted # for a comment)\n"
        "  r,g,b                red, green and blue, whole numbers from 0 to 255,\n"
        "                       as in 255,0,128\n"
        "  NAME                 a colour name, as in red, orange or darkviolet (the\n"
        "                       SVG colour names; any case)\n"
        "\n"
        "Spaces and tabs before and after a COLOUR are ignored.\n"
        "\n"
        "The colour is sent twice to each accessory. It prints one line for each\n"
        "accessory it has set. If two accessories of one kind are connected, only\n"
        "the first one found is set, as in the window. Accessories named with\n"
        "--device that are not connected are reported on standard error.\n"
        "\n"
        "With --stream it keeps the accessories open and reads one COLOUR a line\n"
        "until the input ends. Blank lines and lines that start with \"# \" are\n"
        "skipped. When colours come faster than the accessories take them, only\n"
        "the newest is sent next; the last one is always sent before it exits.\n"
        "Accessories that are missing or unplugged are looked for every 100 ms\n"
        "while the input lasts, and get the newest colour when they come back;\n"
        "standard error tells when one goes or comes, and gives the number of\n"
        "each line that is not a colour (or is longer than 1024 bytes, or holds a\n"
        "NUL byte), which is skipped. SIGINT, SIGTERM or SIGPIPE end it once the\n"
        "write under way is done.\n"
        "\n"
        "With --telemetry it listens for UDP packets on ADDRESS:PORT (default\n"
        "127.0.0.1:20777; 0.0.0.0 takes packets from other machines too) and tells\n"
        "the format by the size of each packet: Forza Data Out (232, 311, 324 and\n"
        "331 bytes), OutGauge of Live for Speed and BeamNG.drive (92 and 96) and\n"
        "the Codemasters format with extradata=\"3\" (264). The SQ and H shifters\n"
        "show a rev light: from 70 % of the maximum RPM green, from 85 % yellow,\n"
        "from 92 % red, from the shift point a blue flash (OutGauge: while the\n"
        "game's shift light is on; its maximum is the highest RPM seen since the car\n"
        "changed). The handbrake is red while it is pulled, or shows the rev light\n"
        "where the format has no handbrake (Forza's 232 bytes, Codemasters). At the\n"
        "start, after 2 s without a readable packet and while Forza's race is off,\n"
        "every accessory shows the idle colour. Standard error names each new\n"
        "format and says once that packets cannot be read. A port in use or an\n"
        "address that does not parse ends it with status 2 before any accessory\n"
        "is touched; SIGINT or SIGTERM end it once the write under way is done.\n"
        "\n"
        "An accessory that has not answered both sends within 500 ms is reported\n"
        "on standard error as not answering at once, and the others are still\n"
        "set. Linux lets no HID device be opened until it gives up on the hung\n"
        "one (5 s), so a run with hung accessories ends within 7 s there. Under\n"
        "Wine the sends to the other accessories also wait until the system gives\n"
        "up on the hung one, and finding each accessory can take Wine up to 2 s\n"
        "on a slow machine, so a run ends within 10 s.\n"
        "\n"
        "Exit status:\n"
        "  0  success\n"
        "  1  an accessory is connected but could not be opened (check the udev\n"
        "     rule), or a write to it failed or was not answered in time, or the\n"
        "     output could not be written (a message on standard error says so)\n"
        "  2  bad arguments: an unknown option, a bad colour or accessory name;\n"
        "     nothing is sent\n"
        "  3  none of the accessories asked for is connected (\"Device not found\"),\n"
        "     or USB HID support could not start (the message says why); with\n"
        "     --stream: none of them was connected at any time\n"
        "  4  with --stream: some lines were not colours and were skipped (3 comes\n"
        "     first)\n"
        "  128+N  with --stream or --telemetry: ended by signal N (130 SIGINT,\n"
        "         141 SIGPIPE, 143 SIGTERM)\n"
        "\n"
        "Examples:\n"
        "  brimsel-ctl --list\n"
        "  brimsel-ctl --color '#ff0080'\n"
        "  brimsel-ctl --color 0,128,255 --device sq,h\n"
        "  while :; do  # a slow rainbow\n"
        "      for i in $(seq 0 5 255); do echo \"$((255 - i)),$i,0\"; sleep 0.04; done\n"
        "      for i in $(seq 0 5 255); do echo \"0,$((255 - i)),$i\"; sleep 0.04; done\n"
        "      for i in $(seq 0 5 255); do echo \"$i,0,$((255 - i))\"; sleep 0.04; done\n"
        "  done | brimsel-ctl --stream\n"
        "  brimsel-ctl --telemetry 0.0.0.0:5300 --idle '#202020'\n");
}

QString BrimselCtl::versionText()
{
    return QStringLiteral("%1 %2\n").arg(QLatin1String(programName),
                                         QStringLiteral(BRIMSEL_VERSION));
}

QStringList BrimselCtl::missingLines(int devices, bool devicesNamed, int now, const QString &until)
{
    QStringList lines;
    if (!devicesNamed) {
        if (!(now & devices))
            lines << QStringLiteral("Device not found, waiting for an accessory%1").arg(until);
        return lines;
    }
    for (const AccessoryTable::Entry &kind : AccessoryTable::entries) {
        if ((devices & kind.bit) && !(now & kind.bit))
            lines << QStringLiteral("%1: not connected, waiting for it%2")
                         .arg(QLatin1String(kind.name), until);
    }
    return lines;
}

QStringList BrimselCtl::changeLines(int before, int now)
{
    QStringList lines;
    for (const AccessoryTable::Entry &kind : AccessoryTable::entries) {
        if ((now & kind.bit) != (before & kind.bit))
            lines << QStringLiteral("%1: %2").arg(
                QLatin1String(kind.name),
                (now & kind.bit) ? QStringLiteral("connected") : QStringLiteral("disconnected"));
    }
    return lines;
}

int BrimselCtl::usageError(const QString &message)
{
    err << programName << ": " << message << '\n'
        << "Try 'brimsel-ctl --help' for more information.\n";
    err.flush();
    return UsageError;
}

int BrimselCtl::listDevices()
{
    HidOneShot hid;
    const QVector<HidOneShot::Found> devices = hid.enumerate();
    for (const HidOneShot::Found &found : devices) {
        out << found.kind->name << '\t' << hexId(found.kind->productId) << '\t' << found.path
            << '\t' << (found.serial.isEmpty() ? QStringLiteral("-") : found.serial) << '\n';
    }
    const QString error = devices.isEmpty() ? libraryError() : QString();
    hid.finish();
    out.flush();
    if (devices.isEmpty()) {
        if (error.isEmpty())
            err << programName << ": Device not found\n";
        else
            err << error;
        err.flush();
        return NotConnected;
    }
    return Success;
}

int BrimselCtl::writeColor(const QColor &color, int devices, bool devicesNamed)
{
    // Enumerate first, so that an accessory that is there but cannot be
    // opened (no access to its hidraw node) is not reported as missing.
    HidOneShot hid;
    int present = 0;
    for (const HidOneShot::Found &found : hid.enumerate())
        present |= found.kind->bit;
    if (!present) {
        const QString error = libraryError();
        if (!error.isEmpty()) {
            hid.finish();
            err << error;
            err.flush();
            return NotConnected;
        }
    }

    const HidWorker::ColorReport report = HidWorker::colorReport(color);
    int written = 0;
    bool failed = false;
    for (const AccessoryTable::Entry &kind : AccessoryTable::entries) {
        if (!(devices & kind.bit))
            continue;
        if (!(present & kind.bit)) {
            if (devicesNamed)
                err << programName << ": " << kind.name << ": not connected\n";
            continue;
        }
        // Twice, as the window does; both sends must get through.
        QString error;
        switch (hid.sendTwice(kind, report.data(), report.size(), &error)) {
        case HidOneShot::OpenFailed:
            err << programName << ": " << kind.name << ": cannot open it: " << error << '\n';
            failed = true;
            break;
        case HidOneShot::TimedOut:
            err << programName << ": " << kind.name << ": no answer within "
                << ReportSender::DefaultTimeoutMs << " ms; the colour may not have been set\n";
            err.flush(); // now, not when the kernel lets the next accessory open
            failed = true;
            break;
        case HidOneShot::WriteFailed:
            err << programName << ": " << kind.name << ": write failed: " << error << '\n';
            failed = true;
            break;
        case HidOneShot::Written:
            out << kind.name << ": " << color.name() << '\n';
            ++written;
            break;
        }
    }
    hid.finish();
    out.flush();
    if (!written && !failed && !devicesNamed)
        err << programName << ": Device not found\n";
    err.flush();

    if (failed)
        return WriteFailed;
    return written ? Success : NotConnected;
}
