// SPDX-License-Identifier: MIT
#include "brimselctl.h"

#include <QColor>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDir>
#include <QFileDevice>
#include <QFileInfo>
#include <QTextStream>

#include "accessorytable.h"
#include "agentlock.h"
#include "colorparser.h"
#include "colorstream.h"
#include "ctloutput.h"
#include "endpoint.h"
#include "hidoneshot.h"
#include "lightsagenthost.h"
#include "profilefile.h"
#include "quotedtext.h"

#include <algorithm>

namespace {

const char *const programName = CtlOutput::ProgramName;

QString hexId(unsigned short id)
{
    return QStringLiteral("0x%1").arg(id, 4, 16, QLatin1Char('0'));
}

// Empty while the HID library works; otherwise what to print.
QString libraryError(HidOneShot &hid)
{
    const QString reason = hid.startError();
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

bool parseColor(const QString &text, QRgb *rgb, QString *error)
{
    const ColorParser::Result parsed = ColorParser::parse(text, rgb);
    if (parsed == ColorParser::Valid)
        return true;
    *error = ColorParser::errorText(parsed, QuotedText::quote(text));
    return false;
}

// --shift-at PERCENT and --idle COLOUR, each at most once.
bool parseTelemetryOptions(const QStringList &shiftAt, const QStringList &idle,
                           LightsAgent::Options *options, QString *error)
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
        options->shiftAtGiven = true;
    }
    if (!idle.isEmpty() && !parseColor(idle.first(), &options->idle, error))
        return false;
    options->idleGiven = !idle.isEmpty();
    return true;
}

} // namespace

// The options, as QCommandLineParser reads them.
struct BrimselCtl::Arguments
{
    Arguments();
    // False with the message for the user when they do not parse.
    bool parse(const QStringList &arguments, QString *error);

    QStringList raw; // as given, to tell whose an argument that stands alone is
    QCommandLineParser parser;
    const QCommandLineOption list{{QStringLiteral("l"), QStringLiteral("list")},
                                  QStringLiteral("List the connected accessories.")};
    const QCommandLineOption color{
        {QStringLiteral("c"), QStringLiteral("color"), QStringLiteral("colour")},
        QStringLiteral("Set the accessories to COLOUR."),
        QStringLiteral("COLOUR")};
    const QCommandLineOption stream{
        {QStringLiteral("s"), QStringLiteral("stream")},
        QStringLiteral("Set the accessories to each colour read from standard input.")};
    const QCommandLineOption device{{QStringLiteral("d"), QStringLiteral("device")},
                                    QStringLiteral("Only the accessories in NAMES."),
                                    QStringLiteral("NAMES")};
    const QCommandLineOption telemetry{
        {QStringLiteral("t"), QStringLiteral("telemetry")},
        QStringLiteral("Set the accessories from a game's telemetry.")};
    const QCommandLineOption openRgb{QStringLiteral("openrgb"),
                                     QStringLiteral("Serve the accessories over the OpenRGB SDK.")};
    const QCommandLineOption shiftAt{QStringLiteral("shift-at"),
                                     QStringLiteral("Flash from PERCENT of the maximum RPM."),
                                     QStringLiteral("PERCENT")};
    const QCommandLineOption ac{QStringLiteral("ac"),
                                QStringLiteral("Ask Assetto Corsa on HOST for its telemetry."),
                                QStringLiteral("HOST")};
    const QCommandLineOption gt7{
        QStringLiteral("gt7"),
        QStringLiteral("Keep Gran Turismo on the console at ADDRESS sending."),
        QStringLiteral("ADDRESS")};
    const QCommandLineOption idle{QStringLiteral("idle"),
                                  QStringLiteral("The colour while nobody drives."),
                                  QStringLiteral("COLOUR")};
    const QCommandLineOption profile{QStringLiteral("profile"),
                                     QStringLiteral("Follow the lights profile FILE."),
                                     QStringLiteral("FILE")};
    const QCommandLineOption checkProfile{
        QStringLiteral("check-profile"),
        QStringLiteral("Print the lights profile as the agent reads it.")};
    const QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show the help.")};
    const QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version.")};
};

BrimselCtl::Arguments::Arguments()
{
    parser.addOptions({list, color, stream, telemetry, openRgb, shiftAt, idle, ac, gt7, device,
                       profile, checkProfile, help, version});
}

bool BrimselCtl::Arguments::parse(const QStringList &arguments, QString *error)
{
    raw = arguments;
    if (parser.parse(arguments))
        return true;
    // Qt's message would print an unknown option as it came.
    const QStringList unknown = parser.unknownOptionNames();
    if (unknown.isEmpty()) {
        *error = parser.errorText();
        return false;
    }
    // Qt gives the name alone: "x" for "-x" or for "--x".
    const QString asLong = QStringLiteral("--") + unknown.first();
    const bool isLong = std::any_of(arguments.begin(), arguments.end(), [&](const QString &a) {
        return a == asLong || a.startsWith(asLong + QLatin1Char('='));
    });
    *error = QStringLiteral("unknown option %1")
                 .arg(QuotedText::quote(isLong ? asLong : QLatin1Char('-') + unknown.first()));
    return false;
}

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
    return status == CtlOutput::Success ? CtlOutput::OutputFailed : status;
}

int BrimselCtl::runCommand(const QStringList &arguments)
{
    Arguments parsed;
    Command command;
    QString error;
    if (!parsed.parse(arguments, &error) || !check(parsed, &command, &error))
        return usageError(error);
    return dispatch(command);
}

// What the options ask for, or false with the message for the user.
bool BrimselCtl::check(const Arguments &a, Command *command, QString *error)
{
    const QCommandLineParser &parser = a.parser;
    if (parser.isSet(a.help)) {
        command->mode = Command::Help;
        return true;
    }
    if (parser.isSet(a.version)) {
        command->mode = Command::Version;
        return true;
    }
    const bool telemetry = parser.isSet(a.telemetry);
    const bool openRgb = parser.isSet(a.openRgb);
    if (parser.isSet(a.checkProfile))
        return checkProfileCommand(a, command, error);
    // The [[ADDRESS:]PORT] of --telemetry and of --openrgb are the arguments
    // that stand alone: each right after its option when both are given.
    QString telemetryEndpoint, openRgbEndpoint;
    if (!endpoints(a, telemetry, openRgb, &telemetryEndpoint, &openRgbEndpoint, error))
        return false;
    const bool list = parser.isSet(a.list);
    const bool color = parser.isSet(a.color);
    const bool stream = parser.isSet(a.stream);
    const bool lights = telemetry || openRgb;
    if (int(list) + int(color) + int(stream) + int(lights) > 1) {
        *error = QStringLiteral(
            "give only one of --list, --color, --stream and --telemetry (with --openrgb or not)");
        return false;
    }
    if (!list && !color && !stream && !lights) {
        *error = QStringLiteral(
            "nothing to do: give --list to list the accessories, --color COLOUR to set "
            "their colour, --stream to set them to each colour read from standard input, "
            "--telemetry to set them from a racing game's telemetry, or --openrgb to serve "
            "them to RGB programs");
        return false;
    }
    if (!telemetry && (parser.isSet(a.shiftAt) || parser.isSet(a.ac) || parser.isSet(a.gt7))) {
        *error = QStringLiteral("--shift-at, --ac and --gt7 go with --telemetry only");
        return false;
    }
    if (!lights && (parser.isSet(a.idle) || parser.isSet(a.profile))) {
        *error = QStringLiteral("--idle and --profile go with --telemetry or --openrgb only");
        return false;
    }
    if (list) {
        if (parser.isSet(a.device)) {
            *error = QStringLiteral(
                "--device goes with --color, --stream, --telemetry or --openrgb only");
            return false;
        }
        command->mode = Command::List;
        return true;
    }

    if (color) {
        const QStringList colorValues = parser.values(a.color);
        if (colorValues.size() > 1) {
            *error = QStringLiteral("give --color once");
            return false;
        }
        if (!parseColor(colorValues.first(), &command->rgb, error))
            return false;
    }
    command->devicesNamed = parser.isSet(a.device);
    if (command->devicesNamed && !parseDevices(parser.values(a.device), &command->devices, error))
        return false;
    command->mode = color ? Command::Color : stream ? Command::Stream : Command::Telemetry;
    if (!lights)
        return true;

    LightsAgent::Options &options = command->agent;
    options.telemetry = telemetry;
    options.openRgb = openRgb;
    options.devices = static_cast<HidWorker::Device>(command->devices);
    return agentOptions(a, telemetryEndpoint, openRgbEndpoint, &options, error);
}

// The agent's settings: the shift point, the idle colour and where it
// listens, or false with the message for the user.
bool BrimselCtl::agentOptions(const Arguments &a, const QString &telemetryEndpoint,
                              const QString &openRgbEndpoint, LightsAgent::Options *options,
                              QString *error)
{
    const QCommandLineParser &parser = a.parser;
    if (!parseTelemetryOptions(parser.values(a.shiftAt), parser.values(a.idle), options, error))
        return false;
    const QStringList profiles = parser.values(a.profile);
    if (profiles.size() > 1) {
        *error = QStringLiteral("give --profile once");
        return false;
    }
    if (!profiles.isEmpty()) {
        // A file named that is not there is a mistake, not the default profile.
        const QFileInfo file(profiles.first());
        if (!file.isFile()) {
            *error =
                QStringLiteral("--profile: no file %1").arg(QuotedText::quote(profiles.first()));
            return false;
        }
        options->profilePath = file.absoluteFilePath();
    }
    const QStringList acHosts = parser.values(a.ac), consoles = parser.values(a.gt7);
    if (acHosts.size() > 1 || consoles.size() > 1) {
        *error = QStringLiteral("give --ac and --gt7 once each");
        return false;
    }
    // A bad address shows before any accessory is touched; a port that is
    // taken does too, from the agent itself.
    TelemetrySources::Settings &sources = options->sources;
    if (!Endpoint::parse(telemetryEndpoint, &sources.listen, error) ||
        !Endpoint::parse(openRgbEndpoint, &options->openRgbEndpoint, error))
        return false;
    quint32 address;
    if (!acHosts.value(0).isEmpty()) {
        if (!Endpoint::parseHost(acHosts.first(), &address, error))
            return false;
        sources.acHost = address;
    }
    if (!consoles.value(0).isEmpty()) {
        if (!Endpoint::parseHost(consoles.first(), &address, error))
            return false;
        sources.gt7Console = address;
    }
    return true;
}

// --check-profile [FILE], alone.
bool BrimselCtl::checkProfileCommand(const Arguments &a, Command *command, QString *error)
{
    const QCommandLineParser &parser = a.parser;
    for (const QCommandLineOption *other : {&a.list, &a.color, &a.stream, &a.telemetry, &a.openRgb,
                                            &a.shiftAt, &a.idle, &a.ac, &a.gt7, &a.device}) {
        if (parser.isSet(*other)) {
            *error = QStringLiteral("--check-profile goes alone, with a FILE or --profile FILE");
            return false;
        }
    }
    const QStringList files = parser.positionalArguments() + parser.values(a.profile);
    if (files.size() > 1) {
        *error = QStringLiteral("--check-profile checks one file");
        return false;
    }
    command->mode = Command::CheckProfile;
    command->profilePath = files.isEmpty() ? ProfileFile::defaultPath() : files.first();
    return true;
}

int BrimselCtl::checkProfile(const QString &path)
{
    const ProfileFile::Result result = ProfileFile::read(path);
    const QString shown = QDir::toNativeSeparators(path);
    if (!result.ok) {
        // As compilers place their errors, so that editors can go to them.
        for (const ProfileFile::Error &error : result.errors)
            err << ProfileFile::errorText(path, error) << '\n';
        err << programName << ": " << result.errors.size()
            << (result.errors.size() == 1 ? " error" : " errors") << " in " << shown
            << "; the agent keeps the profile it had\n";
        err.flush();
        return CtlOutput::UsageError;
    }
    out << (result.found ? QStringLiteral("# %1, as the agent reads it, the defaults filled in\n")
                         : QStringLiteral("# No file %1: the default profile\n"))
               .arg(shown)
        << ProfileFile::text(result.profile);
    return CtlOutput::Success;
}

bool BrimselCtl::endpoints(const Arguments &a, bool telemetry, bool openRgb,
                           QString *telemetryEndpoint, QString *openRgbEndpoint, QString *error)
{
    const QStringList positional = a.parser.positionalArguments();
    const int allowed = int(telemetry) + int(openRgb);
    if (positional.size() > allowed) {
        *error = QStringLiteral("unexpected argument %1")
                     .arg(QuotedText::quote(positional.value(allowed)));
        return false;
    }
    int from = 1;
    for (const QString &value : positional) {
        // Its place in the command line, after the last one's.
        const int at = int(a.raw.indexOf(value, from));
        const QString before = at > 0 ? a.raw.at(at - 1) : QString();
        from = at + 1;
        QString *endpoint = !openRgb                                    ? telemetryEndpoint
                            : !telemetry                                ? openRgbEndpoint
                            : before == "--openrgb"                     ? openRgbEndpoint
                            : before == "--telemetry" || before == "-t" ? telemetryEndpoint
                                                                        : nullptr;
        if (!endpoint || !endpoint->isEmpty()) {
            *error = QStringLiteral("%1: give it right after --telemetry or --openrgb")
                         .arg(QuotedText::quote(value));
            return false;
        }
        *endpoint = value;
    }
    return true;
}

int BrimselCtl::dispatch(const Command &command)
{
    switch (command.mode) {
    case Command::Help:
        out << helpText();
        break;
    case Command::Version:
        out << versionText();
        break;
    case Command::List:
        return listDevices();
    case Command::CheckProfile:
        return checkProfile(command.profilePath);
    case Command::Color:
        return writeColor(QColor::fromRgb(command.rgb), command.devices, command.devicesNamed);
    case Command::Stream: {
        ColorStream colorStream(inputFd, static_cast<HidWorker::Device>(command.devices),
                                command.devicesNamed, err);
        return colorStream.run();
    }
    case Command::Telemetry: {
        LightsAgent::Options options = command.agent;
        options.sources.gamePorts = gamePorts;
        options.sources.acPort = assettoCorsaPort;
        LightsAgentHost host(options, command.devicesNamed, err);
        return host.run();
    }
    }
    out.flush();
    return CtlOutput::Success;
}

QString BrimselCtl::helpText()
{
    return QStringLiteral(
        "Usage: brimsel-ctl --list\n"
        "       brimsel-ctl --color COLOUR [--device NAMES]\n"
        "       brimsel-ctl --stream [--device NAMES]\n"
        "       brimsel-ctl --telemetry [ADDRESS|[ADDRESS:]PORT] [--device NAMES]\n"
        "                   [--shift-at PERCENT] [--idle COLOUR] [--ac HOST]\n"
        "                   [--gt7 ADDRESS] [--profile FILE]\n"
        "       brimsel-ctl --openrgb [[ADDRESS:]PORT] [--telemetry ...] [--idle COLOUR]\n"
        "                   [--device NAMES] [--profile FILE]\n"
        "       brimsel-ctl --check-profile [FILE]\n"
        "\n"
        "Lists the Brimsel sim-racing accessories (USB vendor 0x1209) that are\n"
        "connected, or sets the colour of their LEDs: the handbrake, the sequential\n"
        "(SQ) shifter and the H-pattern shifter. It sends the same report as the\n"
        "Brimsel tool window.\n"
        "\n"
        "Options:\n"
        "  -l, --list           List the connected accessories, one line each:\n"
        "                       name, product ID, hidraw path and serial number\n"
        "                       (\"-\" if it has none), separated by tabs; one\n"
        "                       that cannot be opened ends with \"cannot be opened\".\n"
        "  -c, --color COLOUR   Set the LED colour of the accessories (--colour\n"
        "                       works too).\n"
        "  -s, --stream         Set the accessories to each colour read from\n"
        "                       standard input, one a line, as they come (below).\n"
        "  -t, --telemetry      Set the accessories from a racing game's telemetry,\n"
        "                       over UDP or from the sims' shared memory (below),\n"
        "                       until stopped.\n"
        "      --openrgb        Serve the accessories to RGB programs over the OpenRGB\n"
        "                       SDK until stopped, and keep the colour each was last\n"
        "                       given (below).\n"
        "      --shift-at PERCENT\n"
        "                       With --telemetry, flash the shift light from PERCENT\n"
        "                       of the maximum RPM (default 97, or the game's own\n"
        "                       shift signal where it sends one).\n"
        "      --idle COLOUR    With --telemetry, the colour while nobody drives\n"
        "                       (default #000000, off); with --openrgb, of an\n"
        "                       accessory that has no kept colour yet.\n"
        "      --ac HOST        With --telemetry, ask Assetto Corsa on HOST for its\n"
        "                       telemetry (default this machine, unless a PORT is\n"
        "                       given).\n"
        "      --gt7 ADDRESS    With --telemetry, keep Gran Turismo 7 (or GT Sport)\n"
        "                       on the PlayStation at ADDRESS sending its telemetry.\n"
        "      --profile FILE   With --telemetry or --openrgb, follow the lights\n"
        "                       profile FILE instead of the usual one (below).\n"
        "      --check-profile [FILE]\n"
        "                       Print the lights profile (FILE, or the usual one)\n"
        "                       as the agent reads it, every setting spelt out, and\n"
        "                       exit 0; or print each error with its line and\n"
        "                       column and exit 2.\n"
        "  -d, --device NAMES   With --color, --stream, --telemetry or --openrgb, set\n"
        "                       only these accessories. NAMES is a comma list of\n"
        "                       handbrake, sq and h (any case). Without it, every\n"
        "                       connected accessory is set.\n"
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
        "With --telemetry it listens for UDP packets: with no PORT on every port the\n"
        "supported games send to by default, 20777 (F1, EA SPORTS WRC, DiRT; give it\n"
        "to Forza and Live for Speed too), 5606 (Automobilista 2, Project CARS 2),\n"
        "6776 (Richard Burns Rally) and 4444 (BeamNG.drive), skipping one that\n"
        "another program holds; with a PORT on that one. ADDRESS is 127.0.0.1 by\n"
        "default; 0.0.0.0 takes packets from other machines too. It tells the format\n"
        "by the size of each packet, and by the header where there is one: Forza Data\n"
        "Out (232, 311, 324 and 331 bytes), OutGauge of Live for Speed and\n"
        "BeamNG.drive (92 and 96), the Codemasters format with extradata=\"3\" (264),\n"
        "EA's F1 2021 to F1 25, EA SPORTS WRC (237), Automobilista 2 and Project CARS\n"
        "2, and Richard Burns Rally with RSF (664). Assetto Corsa sends only when\n"
        "asked: it is asked on port 9996 of this machine (or of --ac HOST) every 3 s\n"
        "until it answers, and told to stop on exit. Gran Turismo 7 and GT Sport send\n"
        "to whoever keeps a heartbeat going: with --gt7 the console gets one every 2\n"
        "s, and its packets (296 bytes, encrypted) come back to ports 33740 and 33340\n"
        "(on every address when the console is another machine). The SQ and H\n"
        "shifters show a rev light: from 70 % of the maximum RPM green, from 85 %\n"
        "yellow, from 92 % red, from the shift point a blue flash; where the game\n"
        "sends a shift signal (OutGauge's shift light, F1's rev lights, EA WRC's\n"
        "shift window, Assetto Corsa's rev limiter, Gran Turismo's rev indicator) the\n"
        "flash follows it unless --shift-at is given. OutGauge, RBR and Assetto Corsa\n"
        "have no maximum: the highest RPM since the car changed stands in. The\n"
        "handbrake is red while it is pulled, else the flag out, else the rev light\n"
        "where the format has no handbrake (Forza's 232 bytes, Codemasters, F1,\n"
        "Assetto Corsa); the shifters show the pit limiter over the rev light. After\n"
        "2 s without a readable packet and while the game says nobody drives, every\n"
        "accessory shows the idle colour; at the start too where --idle is given,\n"
        "otherwise each is left as it is until a game has driven. Standard error\n"
        "names each new format and says once that packets cannot be read. A PORT in\n"
        "use or an address that does not parse ends it with status 2 before any\n"
        "accessory is touched; with every default port held by other programs it\n"
        "still reads the sims' shared memory (and serves --openrgb). SIGINT or\n"
        "SIGTERM end it once the write under way is done.\n"
        "\n"
        "Beside the UDP ports, --telemetry looks once a second for the sims that\n"
        "share their telemetry in memory, and reads one it finds 60 times a second:\n"
        "iRacing (Windows only), Assetto Corsa and Assetto Corsa Competizione,\n"
        "Automobilista 2 and Project CARS 2 (\"Project CARS 2\" shared memory), Le\n"
        "Mans Ultimate, rFactor 2 through its shared memory map plug-in, RaceRoom\n"
        "($R3E) and Assetto Corsa EVO. On Linux\n"
        "it reads the files that the Proton bridge for each sim keeps in /dev/shm.\n"
        "Only data that moves drives the lights: a sim that stops writing for 2 s is\n"
        "let go and looked for again. iRacing's shift lights give its maximum and\n"
        "its shift signal; iRacing, Automobilista 2 and Assetto Corsa EVO have a\n"
        "handbrake. Flags, pit limiter, pit lane, ABS/TC at work and DRS come from\n"
        "F1, iRacing, Assetto Corsa, Competizione, EVO, Automobilista 2, rFactor 2,\n"
        "Le Mans Ultimate and RaceRoom, some of them from OutGauge and Gran Turismo\n"
        "7 (which game tells what: docs/profile.md). While one\n"
        "game drives, another that says nobody drives does not take the lights.\n"
        "\n"
        "What the lights show while a game drives comes from the lights profile,\n"
        "$XDG_CONFIG_HOME/brimsel-tool/lights.toml (~/.config/brimsel-tool/lights.toml;\n"
        "%APPDATA%\\Brimsel tool\\lights.toml on Windows), a TOML file: the idle\n"
        "colour, the rev light's stages and flash, and for each accessory a list of\n"
        "what it shows (rev, shift, handbrake, flag, limiter, pit, abs, tc, drs,\n"
        "base, off; the first that has something to show wins; base is its kept\n"
        "colour, else the idle colour), the race's colours and blink rates ([race]:\n"
        "yellow, blue, limiter, ...), for every game, one game or one car. No file\n"
        "is the behaviour above; a\n"
        "change applies within a second; a file with errors is reported once and\n"
        "the last good profile stays. --shift-at and --idle win over the profile.\n"
        "Standard error names each game and car as a profile names them.\n"
        "\n"
        "With --openrgb it serves the OpenRGB SDK (protocol versions up to 3) on\n"
        "127.0.0.1:6742, or on ADDRESS:PORT; when no PORT is given and 6742 is taken\n"
        "(OpenRGB's own server), on 6743, and says so. Each accessory it sets is a\n"
        "controller at a fixed index, plugged in or not (its description then ends\n"
        "in \"not connected\"), of type Accessory, vendor Brimsel, with one zone, one\n"
        "LED and one mode, \"Direct\"; clients are told when one comes or goes. The\n"
        "colour a client sets, also for one that is away, is kept in\n"
        "$XDG_STATE_HOME/brimsel-tool/colors\n"
        "(~/.local/state/brimsel-tool/colors; %LOCALAPPDATA%\\Brimsel tool\\colors on\n"
        "Windows) and given to the accessory at the start and whenever it is plugged\n"
        "in again. A client that breaks the protocol or stops reading is dropped\n"
        "alone, with a line on standard error. With --telemetry too, the game's\n"
        "colours win while it drives, and the kept colours come back when it stops\n"
        "(when both are given, each PORT goes right after its option). While the\n"
        "agent runs, --color sets the colour through it, so that it is kept (for one\n"
        "named with --device that is not plugged in, until it comes); with no agent\n"
        "it writes to the accessories itself. The window always writes to them\n"
        "itself, and gives a running agent each colour too, which keeps it.\n"
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
        "     nothing is sent; with --check-profile: the profile has errors\n"
        "  3  none of the accessories asked for is connected (\"Device not found\"),\n"
        "     or USB HID support could not start (the message says why); with\n"
        "     --stream: none of them was connected at any time\n"
        "  4  with --stream: some lines were not colours and were skipped (3 comes\n"
        "     first)\n"
        "  5  with --telemetry or --openrgb: an agent of this user's runs already\n"
        "     (the message gives its process ID and port); nothing is sent\n"
        "  128+N  with --stream, --telemetry or --openrgb: ended by signal N (130\n"
        "         SIGINT, 141 SIGPIPE, 143 SIGTERM)\n"
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

int BrimselCtl::usageError(const QString &message)
{
    err << programName << ": " << message << '\n'
        << "Try 'brimsel-ctl --help' for more information.\n";
    err.flush();
    return CtlOutput::UsageError;
}

int BrimselCtl::listDevices()
{
    HidOneShot hid;
    const QVector<HidOneShot::Found> devices = hid.enumerate();
    QStringList closed;
    for (const HidOneShot::Found &found : devices) {
        out << found.kind->name << '\t' << hexId(found.kind->productId) << '\t' << found.path
            << '\t' << (found.serial.isEmpty() ? QStringLiteral("-") : found.serial);
        // Listed, but of no use until the user acts: marked in a fifth
        // field, and what to do said once on standard error.
        if (!hid.canOpen(found.path)) {
            out << "\tcannot be opened";
            const QString line = CtlOutput::cannotOpenLine(found.kind->name);
            if (!closed.contains(line))
                closed << line;
        }
        out << '\n';
    }
    const QString error = devices.isEmpty() ? libraryError(hid) : QString();
    hid.finish();
    out.flush();
    for (const QString &line : closed)
        CtlOutput::say(err, line);
    if (devices.isEmpty()) {
        if (error.isEmpty())
            err << programName << ": Device not found\n";
        else
            err << error;
        err.flush();
        return CtlOutput::NotConnected;
    }
    return CtlOutput::Success;
}

int BrimselCtl::writeColor(const QColor &color, int devices, bool devicesNamed)
{
    // Through the agent where one runs, so that it keeps the colour. It
    // writes the accessories connected now, and writes them again when they
    // come back; one named that is not connected gets the colour when it
    // comes.
    OpenRgbClient agent;
    if (AgentLock::mightBeHeld() && agent.findAgent(agentPorts)) {
        int present = 0, served = 0;
        for (const AccessoryTable::Entry &kind : AccessoryTable::entries) {
            const int index = int(agent.controllerNames().indexOf(QLatin1String(kind.name)));
            served |= index >= 0 ? kind.bit : 0;
            present |= index >= 0 && agent.isConnected(index) ? kind.bit : 0;
        }
        return writeEach(
            devices, devicesNamed, present,
            [&](const AccessoryTable::Entry &kind, QString *message) {
                const int index = int(agent.controllerNames().indexOf(QLatin1String(kind.name)));
                *message = QStringLiteral("the agent did not take the colour");
                return agent.setColor(index, color.rgb());
            },
            color, devicesNamed ? served & ~present : 0);
    }

    // Enumerate first, so that an accessory that is there but cannot be
    // opened (no access to its hidraw node) is not reported as missing.
    HidOneShot hid;
    int present = 0;
    for (const HidOneShot::Found &found : hid.enumerate())
        present |= found.kind->bit;
    if (!present) {
        const QString error = libraryError(hid);
        if (!error.isEmpty()) {
            hid.finish();
            err << error;
            err.flush();
            return CtlOutput::NotConnected;
        }
    }
    const int status = writeEach(
        devices, devicesNamed, present,
        [&](const AccessoryTable::Entry &kind, QString *message) {
            return hid.setColor(kind, color, message) == HidOneShot::Written;
        },
        color);
    hid.finish();
    return status;
}

// --color's lines and status, whichever way the colour goes: `write` sets
// one accessory that is present, or says in message why it could not.
int BrimselCtl::writeEach(
    int devices, bool devicesNamed, int present,
    const std::function<bool(const AccessoryTable::Entry &, QString *)> &write, const QColor &color,
    int keptForLater)
{
    int written = 0;
    bool failed = false;
    for (const AccessoryTable::Entry &kind : AccessoryTable::entries) {
        if (!(devices & kind.bit))
            continue;
        QString message;
        if ((keptForLater & kind.bit) && !(present & kind.bit) && write(kind, &message)) {
            CtlOutput::say(err, QStringLiteral("%1: not connected; the agent keeps %2 for it")
                                    .arg(QLatin1String(kind.name), color.name()));
            ++written;
            continue;
        }
        if (!(present & kind.bit)) {
            if (devicesNamed)
                err << programName << ": " << kind.name << ": not connected\n";
            continue;
        }
        if (write(kind, &message)) {
            out << kind.name << ": " << color.name() << '\n';
            ++written;
            continue;
        }
        // Now, not when the kernel lets the next accessory open.
        CtlOutput::say(err, QStringLiteral("%1: %2").arg(QLatin1String(kind.name), message));
        failed = true;
    }
    out.flush();
    if (!written && !failed && !devicesNamed)
        err << programName << ": Device not found\n";
    err.flush();

    if (failed)
        return CtlOutput::WriteFailed;
    return written ? CtlOutput::Success : CtlOutput::NotConnected;
}
