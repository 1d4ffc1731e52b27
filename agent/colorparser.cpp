// SPDX-License-Identifier: MIT
#include "colorparser.h"

#include <QByteArray>
#include <QColor>

#include <cstring>

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// ASCII white space only, as \s in the patterns this parser replaced.
bool isSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Exactly 3 or 6 hex digits after the '#'; #rrrgggbbb and #aarrggbb, which
// QColor would take, are refused.
bool parseHex(const char *text, int length, QRgb *rgb)
{
    if (length != 4 && length != 7)
        return false;
    int digits[6];
    for (int i = 1; i < length; ++i) {
        if ((digits[i - 1] = hexDigit(text[i])) < 0)
            return false;
    }
    if (length == 4)
        *rgb = qRgb(digits[0] * 17, digits[1] * 17, digits[2] * 17);
    else
        *rgb = qRgb(digits[0] * 16 + digits[1], digits[2] * 16 + digits[3],
                    digits[4] * 16 + digits[5]);
    return true;
}

// Three runs of digits, each 0 to 255 (leading zeros allowed), separated
// by commas; white space around each number.
bool parseRgb(const char *text, int length, QRgb *rgb)
{
    const char *p = text;
    const char *const end = text + length;
    int values[3];
    for (int i = 0; i < 3; ++i) {
        while (p != end && isSpace(*p))
            ++p;
        if (p == end || !isDigit(*p))
            return false;
        int value = 0;
        for (; p != end && isDigit(*p); ++p)
            value = qMin(value * 10 + (*p - '0'), 256); // 256 stands for "too big"
        if (value > 255)
            return false;
        values[i] = value;
        while (p != end && isSpace(*p))
            ++p;
        if (i < 2) {
            if (p == end || *p != ',')
                return false;
            ++p;
        }
    }
    if (p != end)
        return false;
    *rgb = qRgb(values[0], values[1], values[2]);
    return true;
}

} // namespace

ColorParser::Result ColorParser::parse(const char *text, int length, QRgb *rgb)
{
    // Blanks around a colour, as a script or a copied value may leave them.
    while (length > 0 && isBlank(text[0])) {
        ++text;
        --length;
    }
    while (length > 0 && isBlank(text[length - 1]))
        --length;
    if (length > 0 && text[0] == '#')
        return parseHex(text, length, rgb) ? Valid : BadHex;
    if (length > 0 && memchr(text, ',', size_t(length)))
        return parseRgb(text, length, rgb) ? Valid : BadRgb;
    // Names are QColor's (any case, spaces ignored). "transparent" is one,
    // but an LED cannot show it. QColor would stop reading a name at a NUL.
    if (length > 0 && memchr(text, '\0', size_t(length)))
        return BadName;
    const QString name = QString::fromUtf8(text, length);
    const QColor named(name);
    if (name.trimmed().isEmpty() || !named.isValid() || named.alpha() != 255)
        return BadName;
    *rgb = named.rgb();
    return Valid;
}

ColorParser::Result ColorParser::parse(const QString &text, QRgb *rgb)
{
    const QByteArray bytes = text.toUtf8();
    return parse(bytes.constData(), bytes.size(), rgb);
}

QString ColorParser::errorText(Result result, const QString &shown)
{
    switch (result) {
    case Valid:
        break;
    case BadHex:
        return QStringLiteral("%1 is not a colour: after '#' come exactly 3 or 6 "
                              "hexadecimal digits, as in #f08 or #ff0080")
            .arg(shown);
    case BadRgb:
        return QStringLiteral("%1 is not a colour: r,g,b takes three whole numbers "
                              "from 0 to 255, as in 255,0,128")
            .arg(shown);
    case BadName:
        return QStringLiteral("%1 is not a colour: use #rgb, #rrggbb, r,g,b or a colour "
                              "name such as red or darkviolet")
            .arg(shown);
    }
    return QString();
}
