// SPDX-License-Identifier: MIT
#include "telemetrydecoder.h"

#include "acformat.h"
#include "codemastersformat.h"
#include "f1format.h"
#include "forzaformat.h"
#include "gt7format.h"
#include "outgaugeformat.h"
#include "pcars2format.h"
#include "rbrformat.h"
#include "wrcformat.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace {

struct Row
{
    // The format that owns a packet of this size and these first bytes, or Unknown.
    TelemetryDecoder::Format (*claims)(const unsigned char *data, size_t size);
    bool (*decode)(const unsigned char *data, size_t size, TelemetryDecoder::Sample *sample);
};

// In the order they are asked. 20777 is shared by F1, EA WRC and the
// Codemasters format, whose first float can look like any F1 year: an F1
// header beyond doubt goes first (F1 24's Motion Ex has WRC's size), then
// the formats of fixed sizes, then the rest of F1.
constexpr Row kFormats[] = {
    {F1Format::claimsByHeader, F1Format::decode},
    {ForzaFormat::claims, ForzaFormat::decode},
    {OutGaugeFormat::claims, OutGaugeFormat::decode},
    {CodemastersFormat::claims, CodemastersFormat::decode},
    {WrcFormat::claims, WrcFormat::decode},
    {RbrFormat::claims, RbrFormat::decode},
    {PCars2Format::claims, PCars2Format::decode},
    {AcFormat::claims, AcFormat::decode},
    {Gt7Format::claims, Gt7Format::decode},
    {F1Format::claims, F1Format::decode},
};

} // namespace

bool TelemetryDecoder::decode(const unsigned char *data, size_t size, Sample *sample)
{
    *sample = Sample();
    for (const Row &row : kFormats) {
        sample->format = row.claims(data, size);
        if (sample->format != Unknown)
            return row.decode(data, size, sample);
    }
    return false;
}

TelemetryDecoder::Format TelemetryDecoder::gameOf(Format format)
{
    if (format >= ForzaSled && format <= ForzaDashTyres)
        return ForzaSled;
    if (format == OutGaugeWithId)
        return OutGauge;
    if (format >= F1_2021 && format <= F1_2025)
        return F1_2021;
    if (format == ProjectCars2Memory)
        return ProjectCars2;
    return format;
}

void TelemetryDecoder::setCar(Car *car, const QString &name)
{
    car->fill(0);
    const QByteArray bytes = name.toUtf8();
    size_t n = std::min(size_t(bytes.size()), car->size() - 1);
    // Not in the middle of a character.
    while (n > 0 && n < size_t(bytes.size()) && (uchar(bytes[int(n)]) & 0xc0) == 0x80)
        --n;
    std::copy(bytes.constData(), bytes.constData() + n, car->begin());
}

void TelemetryDecoder::setCar(Car *car, long long number)
{
    car->fill(0);
    std::snprintf(car->data(), car->size(), "%lld", number);
}

void TelemetryDecoder::setCarUtf8(Car *car, const unsigned char *text, size_t bytes)
{
    car->fill(0);
    size_t n = 0;
    while (n < bytes && text[n])
        ++n;
    if (n >= car->size()) {
        n = car->size() - 1;
        while (n > 0 && (text[n] & 0xc0) == 0x80) // not in the middle of a character
            --n;
    }
    std::copy(text, text + n, car->begin());
}

void TelemetryDecoder::setCarUtf16(Car *car, const unsigned char *text, size_t units)
{
    // By hand: it runs for every snapshot of a sim, and allocates nothing.
    car->fill(0);
    size_t at = 0;
    for (size_t i = 0; i < units; ++i) {
        uint32_t c = uint32_t(text[2 * i] | text[2 * i + 1] << 8);
        if (c == 0)
            break;
        if (c >= 0xd800 && c < 0xdc00 && i + 1 < units) {
            const uint32_t low = uint32_t(text[2 * i + 2] | text[2 * i + 3] << 8);
            if (low >= 0xdc00 && low < 0xe000) {
                c = 0x10000 + ((c - 0xd800) << 10) + (low - 0xdc00);
                ++i;
            }
        }
        if (c >= 0xd800 && c < 0xe000)
            c = 0xfffd; // a lone half of a pair
        char bytes[4];
        size_t n;
        if (c < 0x80) {
            bytes[0] = char(c);
            n = 1;
        } else if (c < 0x800) {
            bytes[0] = char(0xc0 | c >> 6);
            bytes[1] = char(0x80 | (c & 0x3f));
            n = 2;
        } else if (c < 0x10000) {
            bytes[0] = char(0xe0 | c >> 12);
            bytes[1] = char(0x80 | (c >> 6 & 0x3f));
            bytes[2] = char(0x80 | (c & 0x3f));
            n = 3;
        } else {
            bytes[0] = char(0xf0 | c >> 18);
            bytes[1] = char(0x80 | (c >> 12 & 0x3f));
            bytes[2] = char(0x80 | (c >> 6 & 0x3f));
            bytes[3] = char(0x80 | (c & 0x3f));
            n = 4;
        }
        if (at + n >= car->size())
            break;
        std::copy(bytes, bytes + n, car->begin() + long(at));
        at += n;
    }
}

QString TelemetryDecoder::carName(const Car &car)
{
    return QString::fromUtf8(car.data(), int(std::find(car.begin(), car.end(), 0) - car.begin()));
}

QStringList TelemetryDecoder::gameNames(Format format)
{
    switch (format) {
    case Unknown:
    case FormatCount:
        break;
    case ForzaSled:
    case ForzaDash:
    case ForzaWorldDash:
    case ForzaDashTyres:
        return {QStringLiteral("Forza")};
    case OutGauge:
    case OutGaugeWithId:
        return {QStringLiteral("Live for Speed"), QStringLiteral("BeamNG.drive")};
    case Codemasters:
        return {QStringLiteral("DiRT Rally 2.0"), QStringLiteral("DiRT 4")};
    case F1_2021:
    case F1_2022:
    case F1_2023:
    case F1_2024:
    case F1_2025:
        return {QStringLiteral("F1 %1").arg(21 + (format - F1_2021))};
    case EaWrc:
        return {QStringLiteral("EA SPORTS WRC")};
    case ProjectCars2:
    case ProjectCars2Memory:
        return {QStringLiteral("Automobilista 2"), QStringLiteral("Project CARS 2")};
    case RichardBurnsRally:
        return {QStringLiteral("Richard Burns Rally")};
    case AssettoCorsa:
        return {QStringLiteral("Assetto Corsa")};
    case AssettoCorsaMemory:
        // One layout, written alike by both: it does not say which.
        return {QStringLiteral("Assetto Corsa Competizione"), QStringLiteral("Assetto Corsa")};
    case GranTurismo7:
        return {QStringLiteral("Gran Turismo 7")};
    case GranTurismoSport:
        return {QStringLiteral("Gran Turismo Sport")};
    case IRacing:
        return {QStringLiteral("iRacing")};
    case RFactor2Memory:
        return {QStringLiteral("rFactor 2")};
    case LeMansUltimate:
        return {QStringLiteral("Le Mans Ultimate")};
    case RaceRoom:
        return {QStringLiteral("RaceRoom")};
    case AssettoCorsaEvo:
        return {QStringLiteral("Assetto Corsa EVO")};
    }
    return {};
}

QStringList TelemetryDecoder::allGameNames()
{
    QStringList names;
    for (int f = Unknown + 1; f < FormatCount; ++f) {
        for (const QString &name : gameNames(Format(f))) {
            if (!names.contains(name))
                names << name;
        }
    }
    return names;
}

QString TelemetryDecoder::formatName(Format format)
{
    switch (format) {
    case Unknown:
    case FormatCount:
        break;
    case ForzaSled:
        return QStringLiteral("Forza Data Out, sled (232 bytes)");
    case ForzaDash:
        return QStringLiteral("Forza Data Out, dash (311 bytes)");
    case ForzaWorldDash:
        return QStringLiteral("Forza Data Out, open-world dash (324 bytes)");
    case ForzaDashTyres:
        return QStringLiteral("Forza Data Out, dash with tyre wear (331 bytes)");
    case OutGauge:
        return QStringLiteral("OutGauge (92 bytes)");
    case OutGaugeWithId:
        return QStringLiteral("OutGauge with ID (96 bytes)");
    case Codemasters:
        return QStringLiteral("Codemasters, extradata=3 (264 bytes)");
    case F1_2021:
    case F1_2022:
    case F1_2023:
    case F1_2024:
    case F1_2025:
        return QStringLiteral("F1, UDP format %1").arg(2021 + (format - F1_2021));
    case EaWrc:
        return QStringLiteral("EA SPORTS WRC (237 bytes)");
    case ProjectCars2:
        return QStringLiteral("Automobilista 2 / Project CARS 2");
    case RichardBurnsRally:
        return QStringLiteral("Richard Burns Rally, RSF (664 bytes)");
    case AssettoCorsa:
        return QStringLiteral("Assetto Corsa (328 bytes)");
    case GranTurismo7:
        return QStringLiteral("Gran Turismo 7 (296 bytes)");
    case GranTurismoSport:
        return QStringLiteral("GT Sport (296 bytes)");
    case IRacing:
        return QStringLiteral("iRacing, shared memory");
    case AssettoCorsaMemory:
        return QStringLiteral("Assetto Corsa / Competizione, shared memory");
    case ProjectCars2Memory:
        return QStringLiteral("Automobilista 2 / Project CARS 2, shared memory");
    case RFactor2Memory:
        return QStringLiteral("rFactor 2 map plug-in, shared memory");
    case LeMansUltimate:
        return QStringLiteral("Le Mans Ultimate, shared memory");
    case RaceRoom:
        return QStringLiteral("RaceRoom, shared memory");
    case AssettoCorsaEvo:
        return QStringLiteral("Assetto Corsa EVO, shared memory");
    }
    return QStringLiteral("unknown");
}

QString TelemetryDecoder::flagName(Flag flag)
{
    static const char *const names[FlagCount] = {
        "", "green", "white", "blue", "yellow", "safety_car", "chequered", "black", "red"};
    return QLatin1String(names[int(flag)]);
}

int TelemetryDecoder::raceInfo(Format format)
{
    if (format == ProjectCars2Memory) // the UDP packets tell less
        return FlagInfo | LimiterInfo | PitInfo | AbsInfo;
    switch (gameOf(format)) {
    case OutGauge:
        return LimiterInfo | AbsInfo | TcInfo;
    case F1_2021:
        return FlagInfo | LimiterInfo | DrsInfo;
    case ProjectCars2:
        return LimiterInfo;
    case GranTurismo7:
        return TcInfo;
    case IRacing:
        return FlagInfo | LimiterInfo | PitInfo | AbsInfo;
    case RFactor2Memory:
    case LeMansUltimate:
        return FlagInfo | LimiterInfo | PitInfo | DrsInfo;
    case AssettoCorsaMemory:
    case RaceRoom:
    case AssettoCorsaEvo:
        return FlagInfo | LimiterInfo | PitInfo | AbsInfo | TcInfo | DrsInfo;
    default:
        break;
    }
    return 0;
}
