// SPDX-License-Identifier: MIT
#include "profilefile.h"

#include "accessorytable.h"
#include "colorparser.h"
#include "telemetrybytes.h"
#include "telemetrydecoder.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QStringList>

#include <algorithm>
#include <cstring>

// Errors as values: a profile that does not parse is a message, not an
// exception through the event loop.
#define TOML_EXCEPTIONS 0
#include <toml++/toml.h>

namespace {

using Settings = LightsProfile::Settings;

// Enough for any rev light; a list longer than this is a mistake.
constexpr size_t kMaxStages = 32;
constexpr size_t kMaxSignalColors = 8;

QString qs(std::string_view text)
{
    return QString::fromUtf8(text.data(), int(text.size()));
}

QString quoted(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        out += c;
    }
    return out + QLatin1Char('"');
}

QString colorText(QRgb color)
{
    return QColor(color).name();
}

QString number(double value)
{
    return QString::number(value, 'g', 10);
}

// What one table of the file says, at any level.
class Reader
{
public:
    QVector<ProfileFile::Error> errors;

    void error(const toml::source_region &where, const QString &message)
    {
        errors.append({int(where.begin.line), int(where.begin.column), message});
    }
    void error(const toml::node &node, const QString &message) { error(node.source(), message); }

    bool color(const toml::node &node, const QString &what, QRgb *out)
    {
        const auto text = node.value<std::string>();
        if (!text) {
            error(node,
                  QStringLiteral("%1 must be a colour in quotes, such as \"#ff0000\"").arg(what));
            return false;
        }
        QRgb rgb = 0;
        const QString value = qs(*text);
        const ColorParser::Result result = ColorParser::parse(value, &rgb);
        if (result != ColorParser::Valid) {
            error(node, QStringLiteral("%1: %2").arg(
                            what, ColorParser::errorText(result, quoted(value))));
            return false;
        }
        *out = rgb;
        return true;
    }

    bool percent(const toml::node &node, const QString &what, double *out)
    {
        const auto value = node.value<double>();
        if (!node.is_number() || !value || !(*value >= 0 && *value <= 100)) {
            error(node, QStringLiteral("%1 must be a number from 0 to 100 (percent of the "
                                       "maximum RPM)")
                            .arg(what));
            return false;
        }
        *out = *value;
        return true;
    }

    const toml::table *table(const toml::node &node, const QString &what)
    {
        if (const toml::table *t = node.as_table())
            return t;
        error(node, QStringLiteral("%1 must be a table").arg(what));
        return nullptr;
    }

    void unknown(const toml::key &key, const QString &where, const QString &expected)
    {
        error(key.source(), QStringLiteral("unknown key %1 in %2; expected %3")
                                .arg(quoted(qs(key.str())), where, expected));
    }

    void stages(const toml::node &node, Settings *s)
    {
        const toml::array *list = node.as_array();
        if (!list) {
            error(node, QStringLiteral("rev.stages must be a list of { from = PERCENT, color = "
                                       "\"COLOUR\" }"));
            return;
        }
        if (list->size() > kMaxStages) {
            error(node, QStringLiteral("rev.stages has %1 stages; at most %2")
                            .arg(list->size())
                            .arg(kMaxStages));
            return;
        }
        std::vector<LightsProfile::Stage> read;
        bool good = true;
        for (const toml::node &item : *list) {
            const toml::table *t = table(item, QStringLiteral("each of rev.stages"));
            if (!t) {
                good = false;
                continue;
            }
            LightsProfile::Stage stage{-1, 0};
            bool hasColor = false;
            for (const auto &[key, value] : *t) {
                if (key == "from")
                    good = percent(value, QStringLiteral("a stage's from"), &stage.from) && good;
                else if (key == "color" || key == "colour")
                    good = (hasColor =
                                color(value, QStringLiteral("a stage's color"), &stage.color)) &&
                           good;
                else {
                    unknown(key, QStringLiteral("a stage"), QStringLiteral("from or color"));
                    good = false;
                }
            }
            if (stage.from < 0 || !hasColor) {
                if (good)
                    error(item, QStringLiteral("a stage needs both from and color"));
                good = false;
            }
            read.push_back(stage);
        }
        if (!good)
            return;
        std::stable_sort(read.begin(), read.end(),
                         [](const LightsProfile::Stage &a, const LightsProfile::Stage &b) {
                             return a.from < b.from;
                         });
        s->stages = read;
    }

    void flash(const toml::node &node, Settings *s)
    {
        const toml::table *t = table(node, QStringLiteral("rev.flash"));
        if (!t)
            return;
        Settings next = *s;
        bool good = true;
        bool gameGiven = false;
        for (const auto &[key, value] : *t) {
            if (key == "from") {
                const auto text = value.value<std::string>();
                if (value.is_string() && text && *text == "game") {
                    next.flashFollowsGame = true;
                    gameGiven = true;
                } else if (value.is_string()) {
                    error(value, QStringLiteral("rev.flash's from must be a percent of the "
                                                "maximum RPM or \"game\""));
                    good = false;
                } else {
                    good =
                        percent(value, QStringLiteral("rev.flash's from"), &next.flashFrom) && good;
                    if (!gameGiven)
                        next.flashFollowsGame = false;
                }
            } else if (key == "game") {
                const auto follow = value.value<bool>();
                if (!value.is_boolean() || !follow) {
                    error(value, QStringLiteral("rev.flash's game must be true or false"));
                    good = false;
                } else {
                    next.flashFollowsGame = *follow;
                    gameGiven = true;
                }
            } else if (key == "color" || key == "colour") {
                good = color(value, QStringLiteral("rev.flash's color"), &next.flashColor) && good;
            } else if (key == "hz") {
                const auto hz = value.value<double>();
                if (!value.is_number() || !hz || !(*hz > 0 && *hz <= LightsProfile::MaxFlashHz)) {
                    error(value, QStringLiteral("rev.flash's hz must be a number above 0, at "
                                                "most %1 (lit and dark, each 1/hz s)")
                                     .arg(number(LightsProfile::MaxFlashHz)));
                    good = false;
                } else {
                    next.flashHz = *hz;
                }
            } else {
                unknown(key, QStringLiteral("rev.flash"),
                        QStringLiteral("from, game, color or hz"));
                good = false;
            }
        }
        if (good)
            *s = next;
    }

    void rev(const toml::node &node, Settings *s)
    {
        const toml::table *t = table(node, QStringLiteral("rev"));
        if (!t)
            return;
        for (const auto &[key, value] : *t) {
            if (key == "stages")
                stages(value, s);
            else if (key == "flash")
                flash(value, s);
            else
                unknown(key, QStringLiteral("[rev]"), QStringLiteral("stages or flash"));
        }
    }

    void accessory(const toml::node &node, const QString &name, LightsProfile::Accessory *a)
    {
        const toml::table *t = table(node, QStringLiteral("accessories.%1").arg(name));
        if (!t)
            return;
        for (const auto &[key, value] : *t) {
            if (key == "show") {
                const toml::array *list = value.as_array();
                std::vector<LightsProfile::Show> shows;
                bool good = list && !list->empty() && list->size() <= 16;
                if (!good)
                    error(value, QStringLiteral("show must be a list such as [\"rev\", \"base\"]"));
                for (size_t i = 0; good && i < list->size(); ++i) {
                    const toml::node &item = *list->get(i);
                    const auto text = item.value<std::string>();
                    LightsProfile::Show show;
                    if (!item.is_string() || !text ||
                        !LightsProfile::showFromName(qs(*text), &show)) {
                        QStringList names;
                        for (int n = 0; n < LightsProfile::ShowCount; ++n)
                            names << quoted(LightsProfile::showName(LightsProfile::Show(n)));
                        error(item, QStringLiteral("show lists what the accessory shows: %1")
                                        .arg(names.join(QStringLiteral(", "))));
                        good = false;
                    } else {
                        shows.push_back(show);
                    }
                }
                if (good)
                    a->show = shows;
            } else if (key == "handbrake") {
                color(value, QStringLiteral("handbrake"), &a->handbrake);
            } else {
                unknown(key, QStringLiteral("[accessories.%1]").arg(name),
                        QStringLiteral("show or handbrake"));
            }
        }
    }

    void accessories(const toml::node &node, Settings *s)
    {
        const toml::table *t = table(node, QStringLiteral("accessories"));
        if (!t)
            return;
        for (const auto &[key, value] : *t) {
            const QString name = qs(key.str());
            const AccessoryTable::Entry *kind = AccessoryTable::forKey(name);
            if (!kind || name != QLatin1String(kind->key)) {
                unknown(key, QStringLiteral("[accessories]"), QStringLiteral("handbrake, sq or h"));
                continue;
            }
            accessory(value, name, &s->accessories[size_t(kind - AccessoryTable::entries.data())]);
        }
    }

    // "#rrggbb", "none", or { colors = [...], hz = N }: colours in turn.
    void signal(const toml::node &node, const QString &what, LightsProfile::Signal *out)
    {
        const QString shape =
            QStringLiteral("%1 must be a colour such as \"#ffbf00\", \"none\", or "
                           "{ colors = [\"#ffbf00\", \"#000000\"], hz = 2 }")
                .arg(what);
        if (node.is_string()) {
            if (node.value<std::string>() == std::string("none")) {
                *out = {};
                return;
            }
            QRgb rgb;
            if (color(node, what, &rgb))
                *out = {{rgb}, 0};
            return;
        }
        const toml::table *t = node.as_table();
        if (!t) {
            error(node, shape);
            return;
        }
        LightsProfile::Signal next{{}, 2};
        bool good = true;
        bool hasColors = false;
        for (const auto &[key, value] : *t) {
            if (key == "colors" || key == "colours") {
                const toml::array *list = value.as_array();
                if (!list || list->size() > kMaxSignalColors) {
                    error(value, QStringLiteral("%1's colors must be a list of at most %2 colours")
                                     .arg(what)
                                     .arg(kMaxSignalColors));
                    good = false;
                    continue;
                }
                hasColors = true;
                for (const toml::node &item : *list) {
                    QRgb rgb;
                    if (color(item, QStringLiteral("each of %1's colors").arg(what), &rgb))
                        next.colors.push_back(rgb);
                    else
                        good = false;
                }
            } else if (key == "hz") {
                const auto hz = value.value<double>();
                if (!value.is_number() || !hz || !(*hz > 0 && *hz <= LightsProfile::MaxFlashHz)) {
                    error(value, QStringLiteral("%1's hz must be a number above 0, at most %2 "
                                                "(each colour 1/hz s)")
                                     .arg(what, number(LightsProfile::MaxFlashHz)));
                    good = false;
                } else {
                    next.hz = *hz;
                }
            } else {
                unknown(key, what, QStringLiteral("colors or hz"));
                good = false;
            }
        }
        if (good && !hasColors) {
            error(node, shape);
            good = false;
        }
        if (good) {
            if (next.colors.size() < 2)
                next.hz = 0;
            *out = next;
        }
    }

    void race(const toml::node &node, Settings *s)
    {
        const toml::table *t = table(node, QStringLiteral("race"));
        if (!t)
            return;
        for (const auto &[key, value] : *t) {
            const QString name = qs(key.str());
            bool known = false;
            for (int f = 1; f < TelemetryDecoder::FlagCount && !known; ++f) {
                if (name == TelemetryDecoder::flagName(TelemetryDecoder::Flag(f))) {
                    signal(value, QStringLiteral("race.%1").arg(name), &s->race.flags[size_t(f)]);
                    known = true;
                }
            }
            for (int i = 0; i < LightsProfile::RaceItemCount && !known; ++i) {
                if (name == LightsProfile::raceItemName(LightsProfile::RaceItem(i))) {
                    signal(value, QStringLiteral("race.%1").arg(name), &s->race.items[size_t(i)]);
                    known = true;
                }
            }
            if (!known)
                unknown(key, QStringLiteral("[race]"), raceKeys().join(QStringLiteral(", ")));
        }
    }

    static QStringList raceKeys()
    {
        QStringList keys;
        for (int f = 1; f < TelemetryDecoder::FlagCount; ++f)
            keys << TelemetryDecoder::flagName(TelemetryDecoder::Flag(f));
        for (int i = 0; i < LightsProfile::RaceItemCount; ++i)
            keys << LightsProfile::raceItemName(LightsProfile::RaceItem(i));
        return keys;
    }

    void maxRpm(const toml::node &node, Settings *s)
    {
        const auto value = node.value<double>();
        if (!node.is_number() || !value || !(*value > 0 && *value <= TelemetryBytes::MaxRpm)) {
            error(node, QStringLiteral("max_rpm must be a number of RPM above 0, at most %1")
                            .arg(number(double(TelemetryBytes::MaxRpm))));
            return;
        }
        s->maxRpm = *value;
    }

    // rev, accessories, race and max_rpm; what else a level may hold is the caller's.
    bool setting(const toml::key &key, const toml::node &value, Settings *s, bool rpm)
    {
        if (key == "rev")
            rev(value, s);
        else if (key == "accessories")
            accessories(value, s);
        else if (key == "race")
            race(value, s);
        else if (rpm && key == "max_rpm")
            maxRpm(value, s);
        else
            return false;
        return true;
    }

    void car(const toml::key &key, const toml::node &node, LightsProfile::Game *game)
    {
        const toml::table *t = table(node, QStringLiteral("a car"));
        if (!t)
            return;
        Settings s = game->settings;
        for (const auto &[k, value] : *t) {
            if (!setting(k, value, &s, true))
                unknown(k, QStringLiteral("a car's table"),
                        QStringLiteral("rev, accessories, race or max_rpm"));
        }
        game->cars[qs(key.str())] = s;
    }

    void game(const toml::key &key, const toml::node &node, LightsProfile *profile)
    {
        const QString name = qs(key.str());
        QString known;
        for (const QString &n : TelemetryDecoder::allGameNames()) {
            if (n.compare(name, Qt::CaseInsensitive) == 0)
                known = n;
        }
        if (known.isEmpty()) {
            QStringList names;
            for (const QString &n : TelemetryDecoder::allGameNames())
                names << quoted(n);
            error(key.source(), QStringLiteral("no game is called %1; the games are %2")
                                    .arg(quoted(name), names.join(QStringLiteral(", "))));
            return;
        }
        const toml::table *t = table(node, QStringLiteral("a game"));
        if (!t)
            return;
        LightsProfile::Game &entry = profile->games[known.toCaseFolded()];
        entry.name = known;
        entry.settings = profile->settings;
        const toml::node *cars = nullptr;
        for (const auto &[k, value] : *t) {
            if (k == "cars")
                cars = &value; // after the game's own settings, which they take
            else if (!setting(k, value, &entry.settings, true))
                unknown(k, QStringLiteral("[games.%1]").arg(quoted(known)),
                        QStringLiteral("rev, accessories, race, max_rpm or cars"));
        }
        if (cars) {
            if (const toml::table *c = table(*cars, QStringLiteral("cars"))) {
                for (const auto &[k, value] : *c)
                    car(k, value, &entry);
            }
        }
    }

    void top(const toml::table &root, LightsProfile *profile)
    {
        const toml::node *games = nullptr;
        for (const auto &[key, value] : root) {
            if (key == "idle") {
                if (color(value, QStringLiteral("idle"), &profile->idle))
                    profile->idleSet = true;
            } else if (key == "games") {
                games = &value; // once the settings they start from are read
            } else if (!setting(key, value, &profile->settings, false)) {
                unknown(key, QStringLiteral("the profile"),
                        key == "max_rpm" ? QStringLiteral("max_rpm in a game's or car's table")
                                         : QStringLiteral("idle, rev, accessories, race or games"));
            }
        }
        if (games) {
            if (const toml::table *g = table(*games, QStringLiteral("games"))) {
                for (const auto &[key, value] : *g)
                    game(key, value, profile);
            }
        }
    }
};

// The file in ASCII alone, for the parser: toml++ 3.3's Unicode tables
// reach undefined behaviour for many characters beyond ASCII (é among
// them), wherever its look-ahead meets them. Such characters in strings
// become \u escapes (a literal string that holds them is made a basic one),
// in comments a '_'; TOML allows them nowhere else. Lines stay where they
// were, and each byte keeps the column it came from, so that errors point
// into the file as its owner sees it.
struct AsciiText
{
    QByteArray text;
    QVector<int> column;      // of each byte of text, in the file's characters, from 1
    ProfileFile::Error error; // line 0: none

    // The file's column of a place in text, as the parser gives it.
    int fileColumn(int line, int asciiColumn) const
    {
        int start = 0;
        for (int l = 1; l < line && start >= 0; ++l) {
            start = text.indexOf('\n', start);
            start = start < 0 ? -1 : start + 1;
        }
        if (start < 0 || start >= column.size())
            return asciiColumn;
        const int at = start + std::max(asciiColumn, 1) - 1;
        if (at < column.size())
            return column[at];
        return column.last() + (at - int(column.size()) + 1); // past the end
    }
};

AsciiText asciiText(const QByteArray &in)
{
    enum State { Bare, Comment, Basic, Literal, MultiBasic, MultiLiteral };
    AsciiText out;
    State state = Bare;
    int line = 1, col = 1;
    const auto put = [&](const QByteArray &bytes) {
        out.text += bytes;
        for (int k = 0; k < bytes.size(); ++k)
            out.column.append(col);
    };
    const auto startsWith = [&](int i, const char *s) {
        return in.mid(i, int(std::strlen(s))) == QByteArray(s);
    };
    // A literal string whose text goes beyond ASCII is written as a basic
    // one: its backslashes and quotes escaped, the rest as it comes.
    bool literalAsBasic = false;
    for (int i = 0; i < in.size();) {
        const uchar b = uchar(in[i]);
        uint cp = b;
        int n = 1;
        if (b >= 0x80) {
            n = b >= 0xf0 && b < 0xf5   ? 4
                : b >= 0xe0 && b < 0xf0 ? 3
                : b >= 0xc2 && b < 0xe0 ? 2
                                        : 0;
            cp = n == 4 ? b & 0x07u : n == 3 ? b & 0x0fu : b & 0x1fu;
            for (int k = 1; k < n; ++k) {
                const uchar c = i + k < in.size() ? uchar(in[i + k]) : 0;
                if ((c & 0xc0) != 0x80)
                    n = 0;
                cp = cp << 6 | (c & 0x3fu);
            }
            if (n == 0 || (n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10ffff)) ||
                (cp >= 0xd800 && cp < 0xe000)) {
                out.error = {line, col, QStringLiteral("this is not UTF-8 text")};
                return out;
            }
        }
        // Quotes that open or close, taken whole.
        const char *quote = nullptr;
        State next = state;
        switch (state) {
        case Bare:
            if (startsWith(i, "\"\"\"")) {
                quote = "\"\"\"";
                next = MultiBasic;
            } else if (startsWith(i, "'''")) {
                quote = "'''";
                next = MultiLiteral;
            } else if (b == '"') {
                quote = "\"";
                next = Basic;
            } else if (b == '\'') {
                quote = "'";
                next = Literal;
            } else if (b == '#') {
                next = Comment;
            } else if (cp >= 0x80) {
                out.error = {
                    line, col,
                    QStringLiteral("a character beyond ASCII outside quotes and comments")};
                return out;
            }
            break;
        case Comment:
            if (b == '\n')
                next = Bare;
            break;
        case Basic:
        case MultiBasic:
            if (b == '\\' && i + 1 < in.size() && uchar(in[i + 1]) < 0x80 && in[i + 1] != '\n') {
                put(in.mid(i, 2));
                i += 2;
                col += 2;
                continue;
            }
            if (state == MultiBasic && startsWith(i, "\"\"\"")) {
                quote = "\"\"\"";
                next = Bare;
            } else if (state == Basic && (b == '"' || b == '\n')) {
                next = Bare;
            }
            break;
        case Literal:
        case MultiLiteral:
            if (state == MultiLiteral && startsWith(i, "'''")) {
                quote = "'''";
                next = Bare;
            } else if (state == Literal && b == '\'') {
                quote = "'";
                next = Bare;
            } else if (state == Literal && b == '\n') {
                next = Bare;
            }
            break;
        }
        if (quote) {
            const int length = int(std::strlen(quote));
            if (next == Literal || next == MultiLiteral) {
                // Beyond ASCII before it closes: then written as a basic string.
                const int end = in.indexOf(quote, i + length);
                const QByteArray body = in.mid(i + length, end < 0 ? -1 : end - i - length);
                literalAsBasic = std::any_of(body.begin(), body.end(),
                                             [](char c) { return uchar(c) >= 0x80; }) &&
                                 (next == MultiLiteral || !body.contains('\n'));
            }
            const bool asBasic = literalAsBasic && (next == Literal || next == MultiLiteral ||
                                                    state == Literal || state == MultiLiteral);
            put(asBasic ? QByteArray(length, '"') : QByteArray(quote));
            if (next == Bare)
                literalAsBasic = false;
            state = next;
            i += length;
            col += length;
            continue;
        }
        state = next;
        if (cp >= 0x80) {
            if (state == Comment) {
                put("_");
            } else {
                // In a string: escaped, to the same text.
                put(cp > 0xffff ? "\\U" + QByteArray::number(cp, 16).rightJustified(8, '0')
                                : "\\u" + QByteArray::number(cp, 16).rightJustified(4, '0'));
            }
        } else if (literalAsBasic && (state == Literal || state == MultiLiteral) &&
                   (b == '\\' || b == '"')) {
            put(QByteArray("\\") + char(b));
        } else {
            put(QByteArray(1, char(b)));
        }
        i += n;
        if (b == '\n') {
            ++line;
            col = 1;
        } else {
            ++col;
        }
    }
    return out;
}

QString signalText(const LightsProfile::Signal &signal)
{
    if (signal.colors.empty())
        return QStringLiteral("\"none\"");
    if (signal.colors.size() == 1)
        return QStringLiteral("\"%1\"").arg(colorText(signal.colors.front()));
    QStringList colors;
    for (QRgb c : signal.colors)
        colors << QStringLiteral("\"%1\"").arg(colorText(c));
    return QStringLiteral("{ colors = [%1], hz = %2 }")
        .arg(colors.join(QStringLiteral(", ")), number(signal.hz));
}

QString settingsText(const Settings &s, const QString &prefix)
{
    QString out;
    const QString at = prefix.isEmpty() ? QString() : prefix + QLatin1Char('.');
    if (s.maxRpm > 0 && !prefix.isEmpty())
        out += QStringLiteral("[%1]\nmax_rpm = %2\n\n").arg(prefix, number(s.maxRpm));
    out += QStringLiteral("[%1rev]\n").arg(at);
    QStringList stages;
    for (const LightsProfile::Stage &stage : s.stages)
        stages << QStringLiteral("{ from = %1, color = \"%2\" }")
                      .arg(number(stage.from), colorText(stage.color));
    out += QStringLiteral("stages = [ %1 ]\n").arg(stages.join(QStringLiteral(", ")));
    out += QStringLiteral("flash = { from = %1, game = %2, color = \"%3\", hz = %4 }\n")
               .arg(number(s.flashFrom),
                    s.flashFollowsGame ? QStringLiteral("true") : QStringLiteral("false"),
                    colorText(s.flashColor), number(s.flashHz));
    for (size_t slot = 0; slot < s.accessories.size(); ++slot) {
        const LightsProfile::Accessory &a = s.accessories[slot];
        QStringList shows;
        for (LightsProfile::Show show : a.show)
            shows << quoted(LightsProfile::showName(show));
        out += QStringLiteral("\n[%1accessories.%2]\nshow = [%3]\nhandbrake = \"%4\"\n")
                   .arg(at, QLatin1String(AccessoryTable::entries[slot].key),
                        shows.join(QStringLiteral(", ")), colorText(a.handbrake));
    }
    out += QStringLiteral("\n[%1race]\n").arg(at);
    for (int f = 1; f < TelemetryDecoder::FlagCount; ++f)
        out += QStringLiteral("%1 = %2\n")
                   .arg(TelemetryDecoder::flagName(TelemetryDecoder::Flag(f)),
                        signalText(s.race.flags[size_t(f)]));
    for (int i = 0; i < LightsProfile::RaceItemCount; ++i)
        out += QStringLiteral("%1 = %2\n")
                   .arg(LightsProfile::raceItemName(LightsProfile::RaceItem(i)),
                        signalText(s.race.items[size_t(i)]));
    return out;
}

} // namespace

QString ProfileFile::defaultPath()
{
#ifdef Q_OS_WIN
    const QString roaming = qEnvironmentVariable("APPDATA");
    return roaming.isEmpty() ? QString() : roaming + QStringLiteral("\\Brimsel tool\\lights.toml");
#else
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    // Only an absolute path counts, as the base directory rules say.
    if (!QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/brimsel-tool/lights.toml");
#endif
}

ProfileFile::Result ProfileFile::read(const QString &path)
{
    Result result;
    QFile file(path);
    if (path.isEmpty() || !file.exists()) {
        result.ok = true;
        return result;
    }
    result.found = true;
    if (!file.open(QIODevice::ReadOnly)) {
        result.errors.append({0, 0, QStringLiteral("cannot read it: %1").arg(file.errorString())});
        return result;
    }
    if (file.size() > MaxBytes) {
        result.errors.append(
            {0, 0,
             QStringLiteral("%1 bytes; a profile has at most %2").arg(file.size()).arg(MaxBytes)});
        return result;
    }
    Result parsed = parse(file.read(MaxBytes + 1));
    parsed.found = true;
    return parsed;
}

ProfileFile::Result ProfileFile::parse(const QByteArray &text)
{
    Result result;
    const AsciiText ascii = asciiText(text);
    if (ascii.error.line > 0) {
        result.errors.append(ascii.error);
        return result;
    }
    toml::parse_result parsed =
        toml::parse(std::string_view(ascii.text.constData(), size_t(ascii.text.size())));
    if (!parsed) {
        const toml::parse_error &e = parsed.error();
        const int line = int(e.source().begin.line);
        result.errors.append(
            {line, ascii.fileColumn(line, int(e.source().begin.column)), qs(e.description())});
        return result;
    }
    Reader reader;
    LightsProfile profile = LightsProfile::defaults();
    reader.top(parsed.table(), &profile);
    // In the order of the file: the tables come sorted by key.
    result.errors = reader.errors;
    for (Error &e : result.errors)
        e.column = ascii.fileColumn(e.line, e.column);
    std::stable_sort(result.errors.begin(), result.errors.end(),
                     [](const Error &a, const Error &b) {
                         return a.line != b.line ? a.line < b.line : a.column < b.column;
                     });
    result.ok = reader.errors.isEmpty();
    if (result.ok)
        result.profile = profile;
    return result;
}

QString ProfileFile::errorText(const QString &path, const Error &error)
{
    const QString file = QDir::toNativeSeparators(path);
    if (error.line <= 0)
        return QStringLiteral("%1: %2").arg(file, error.message);
    return QStringLiteral("%1:%2:%3: %4")
        .arg(file)
        .arg(error.line)
        .arg(error.column)
        .arg(error.message);
}

QString ProfileFile::text(const LightsProfile &profile)
{
    // Unsaid, the idle colour waits for a game: at the start, an accessory
    // with no kept colour is left as it is.
    QString out = profile.idleSet
                      ? QStringLiteral("idle = \"%1\"\n\n").arg(colorText(profile.idle))
                      : QStringLiteral("# idle = \"%1\" once a game has driven; at the start, "
                                       "no colour for an accessory with none kept\n\n")
                            .arg(colorText(profile.idle));
    out += settingsText(profile.settings, QString());
    for (const auto &game : profile.games) {
        const QString prefix = QStringLiteral("games.%1").arg(quoted(game.second.name));
        out += QLatin1Char('\n') + settingsText(game.second.settings, prefix);
        for (const auto &car : game.second.cars)
            out += QLatin1Char('\n') +
                   settingsText(car.second,
                                QStringLiteral("%1.cars.%2").arg(prefix, quoted(car.first)));
    }
    return out;
}
