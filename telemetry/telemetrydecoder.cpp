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
    }
    return QStringLiteral("unknown");
}
