// SPDX-License-Identifier: MIT
#include "brimselctl.h"

#include <QColor>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QRegularExpression>
#include <QTextStream>

#include "hidworker.h"

#include <hidapi.h>

namespace {

const char *const programName = "brimsel-ctl";

struct Kind
{
    HidWorker::Device bit;
    unsigned short productId;
    const char *name; // as the window shows it
    const char *key;  // as --device takes it
};

// The window's order: handbrake, SQ shifter, H shifter.
const Kind kinds[] = {
    {HidWorker::Handbrake, HidWorker::HandbrakeProductId, "Handbrake", "handbrake"},
    {HidWorker::SqShifter, HidWorker::SqShifterProductId, "SQ Shifter", "sq"},
    {HidWorker::HShifter, HidWorker::HShifterProductId, "H Shifter", "h"},
};

const Kind *kindForProduct(unsigned short productId)
{
    for (const Kind &kind : kinds) {
        if (kind.productId == productId)
            return &kind;
    }
    return nullptr;
}

QString hexId(unsigned short id)
{
    return QStringLiteral("0x%1").arg(id, 4, 16, QLatin1Char('0'));
}

QString hidErrorText(hid_device *device)
{
    const wchar_t *text = hid_error(device);
    return text ? QString::fromWCharArray(text) : QString();
}

// hidapi leaves an error text after a search that found nothing too, so only
// a failed hid_init tells that the library itself could not start. Returns
// what to print then, or nothing while the library works.
QString libraryError()
{
    if (hid_init() == 0)
        return QString();
    const QString reason = hidErrorText(nullptr);
    return QStringLiteral("%1: cannot look for accessories: USB HID support failed to start: %2\n")
        .arg(QLatin1String(programName),
             reason.isEmpty() ? QStringLiteral("unknown error") : reason);
}

// Only the documented forms are accepted, although QColor would take more
// (#rrrgggbbb, #aarrggbb), so that scripts written today keep working.
bool parseColor(const QString &text, QColor *color, QString *error)
{
    static const QRegularExpression hexForm(QStringLiteral("^#([0-9A-Fa-f]{3}|[0-9A-Fa-f]{6})$"));
    static const QRegularExpression rgbForm(
        QStringLiteral("^\\s*([0-9]+)\\s*,\\s*([0-9]+)\\s*,\\s*([0-9]+)\\s*$"));

    if (text.startsWith(QLatin1Char('#'))) {
        if (!hexForm.match(text).hasMatch()) {
            *error = QStringLiteral("\"%1\" is not a colour: after '#' come exactly 3 or 6 "
                                    "hexadecimal digits, as in #f08 or #ff0080")
                         .arg(text);
            return false;
        }
        *color = QColor(text);
        return true;
    }
    if (text.contains(QLatin1Char(','))) {
        const QRegularExpressionMatch match = rgbForm.match(text);
        int rgb[3] = {0, 0, 0};
        bool inRange = match.hasMatch();
        for (int i = 0; inRange && i < 3; ++i) {
            bool ok = false;
            rgb[i] = match.captured(i + 1).toInt(&ok);
            inRange = ok && rgb[i] <= 255;
        }
        if (!inRange) {
            *error = QStringLiteral("\"%1\" is not a colour: r,g,b takes three whole numbers "
                                    "from 0 to 255, as in 255,0,128")
                         .arg(text);
            return false;
        }
        *color = QColor(rgb[0], rgb[1], rgb[2]);
        return true;
    }
    // "transparent" is a name QColor knows, but an LED cannot show it.
    const QColor named(text);
    if (text.trimmed().isEmpty() || !named.isValid() || named.alpha() != 255) {
        *error = QStringLiteral("\"%1\" is not a colour: use #rgb, #rrggbb, r,g,b or a colour "
                                "name such as red or darkviolet")
                     .arg(text);
        return false;
    }
    *color = named;
    return true;
}

// Accessory names from a comma list, as a set of HidWorker::Device bits.
bool parseDevices(const QStringList &lists, int *devices, QString *error)
{
    *devices = 0;
    for (const QString &list : lists) {
        for (const QString &part : list.split(QLatin1Char(','))) {
            const QString key = part.trimmed().toLower();
            int bit = 0;
            for (const Kind &kind : kinds) {
                if (key == QLatin1String(kind.key))
                    bit = kind.bit;
            }
            if (!bit) {
                *error = QStringLiteral("\"%1\" is not an accessory name: use a comma list of "
                                        "handbrake, sq and h")
                             .arg(part);
                return false;
            }
            // A name given twice still means one write to that accessory.
            *devices |= bit;
        }
    }
    return true;
}

} // namespace

BrimselCtl::BrimselCtl(QTextStream &out, QTextStream &err) : out(out), err(err) {}

int BrimselCtl::run(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption listOption({QStringLiteral("l"), QStringLiteral("list")},
                                        QStringLiteral("List the connected accessories."));
    const QCommandLineOption colorOption({QStringLiteral("c"), QStringLiteral("color")},
                                         QStringLiteral("Set the accessories to COLOUR."),
                                         QStringLiteral("COLOUR"));
    const QCommandLineOption deviceOption({QStringLiteral("d"), QStringLiteral("device")},
                                          QStringLiteral("Only the accessories in NAMES."),
                                          QStringLiteral("NAMES"));
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Show the help."));
    const QCommandLineOption versionOption({QStringLiteral("v"), QStringLiteral("version")},
                                           QStringLiteral("Show the version."));
    parser.addOptions({listOption, colorOption, deviceOption, helpOption, versionOption});

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
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
    if (!parser.positionalArguments().isEmpty())
        return usageError(
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));

    const bool list = parser.isSet(listOption);
    const bool color = parser.isSet(colorOption);
    if (list && color)
        return usageError(QStringLiteral("give either --list or --color, not both"));
    if (!list && !color)
        return usageError(QStringLiteral("give --list or --color"));
    if (list) {
        if (parser.isSet(deviceOption))
            return usageError(QStringLiteral("--device goes with --color only"));
        return listDevices();
    }

    const QStringList colorValues = parser.values(colorOption);
    if (colorValues.size() > 1)
        return usageError(QStringLiteral("give --color once"));
    QColor newColor;
    QString error;
    if (!parseColor(colorValues.first(), &newColor, &error))
        return usageError(error);

    int devices = HidWorker::Handbrake | HidWorker::SqShifter | HidWorker::HShifter;
    const bool devicesNamed = parser.isSet(deviceOption);
    if (devicesNamed && !parseDevices(parser.values(deviceOption), &devices, &error))
        return usageError(error);
    return writeColor(newColor, devices, devicesNamed);
}

QString BrimselCtl::helpText()
{
    return QStringLiteral(
        "Usage: brimsel-ctl --list\n"
        "       brimsel-ctl --color COLOUR [--device NAMES]\n"
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
        "  -c, --color COLOUR   Set the LED colour of the accessories.\n"
        "  -d, --device NAMES   With --color, set only these accessories. NAMES is a\n"
        "                       comma list of handbrake, sq and h (any case).\n"
        "                       Without it, every connected accessory is set.\n"
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
        "The colour is sent twice to each accessory. It prints one line for each\n"
        "accessory it has set. If two accessories of one kind are connected, only\n"
        "the first one found is set, as in the window. Accessories named with\n"
        "--device that are not connected are reported on standard error.\n"
        "\n"
        "Exit status:\n"
        "  0  success\n"
        "  1  an accessory is connected but could not be opened (check the udev\n"
        "     rule), or a write to it failed\n"
        "  2  bad arguments: an unknown option, a bad colour or accessory name;\n"
        "     nothing is sent\n"
        "  3  none of the accessories asked for is connected (\"Device not found\"),\n"
        "     or USB HID support could not start (the message says why)\n"
        "\n"
        "Examples:\n"
        "  brimsel-ctl --list\n"
        "  brimsel-ctl --color '#ff0080'\n"
        "  brimsel-ctl --color 0,128,255 --device sq,h\n");
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
    return UsageError;
}

int BrimselCtl::listDevices()
{
    int found = 0;
    hid_device_info *devices = hid_enumerate(HidWorker::VendorId, 0);
    for (hid_device_info *info = devices; info; info = info->next) {
        const Kind *kind = kindForProduct(info->product_id);
        if (!kind)
            continue;
        const QString serial =
            info->serial_number ? QString::fromWCharArray(info->serial_number) : QString();
        out << kind->name << '\t' << hexId(info->product_id) << '\t'
            << QString::fromLocal8Bit(info->path ? info->path : "-") << '\t'
            << (serial.isEmpty() ? QStringLiteral("-") : serial) << '\n';
        ++found;
    }
    hid_free_enumeration(devices);
    const QString error = found ? QString() : libraryError();
    hid_exit();
    out.flush();
    if (!found) {
        err << (error.isEmpty() ? QStringLiteral("Device not found\n") : error);
        err.flush();
        return NotConnected;
    }
    return Success;
}

int BrimselCtl::writeColor(const QColor &color, int devices, bool devicesNamed)
{
    // Enumerate first, so that an accessory that is there but cannot be
    // opened (no access to its hidraw node) is not reported as missing.
    int present = 0;
    hid_device_info *infos = hid_enumerate(HidWorker::VendorId, 0);
    for (hid_device_info *info = infos; info; info = info->next) {
        if (const Kind *kind = kindForProduct(info->product_id))
            present |= kind->bit;
    }
    hid_free_enumeration(infos);
    if (!present) {
        const QString error = libraryError();
        if (!error.isEmpty()) {
            hid_exit();
            err << error;
            err.flush();
            return NotConnected;
        }
    }

    const HidWorker::ColorReport report = HidWorker::colorReport(color);
    int written = 0;
    bool failed = false;
    for (const Kind &kind : kinds) {
        if (!(devices & kind.bit))
            continue;
        if (!(present & kind.bit)) {
            if (devicesNamed)
                err << programName << ": " << kind.name << ": not connected\n";
            continue;
        }
        hid_device *device = hid_open(HidWorker::VendorId, kind.productId, nullptr);
        if (!device) {
            err << programName << ": " << kind.name << ": cannot open it: " << hidErrorText(nullptr)
                << '\n';
            failed = true;
            continue;
        }
        // Twice, as the window does; both sends must get through.
        const int first = hid_send_feature_report(device, report.data(), report.size());
        const int second = hid_send_feature_report(device, report.data(), report.size());
        if (first < 0 || second < 0) {
            err << programName << ": " << kind.name << ": write failed: " << hidErrorText(device)
                << '\n';
            failed = true;
        } else {
            out << kind.name << ": " << color.name() << '\n';
            ++written;
        }
        hid_close(device);
    }
    hid_exit();
    out.flush();
    if (!written && !failed && !devicesNamed)
        err << "Device not found\n";
    err.flush();

    if (failed)
        return WriteFailed;
    return written ? Success : NotConnected;
}
