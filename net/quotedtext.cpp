// SPDX-License-Identifier: MIT
#include "quotedtext.h"

namespace {

// Length of the well-formed UTF-8 sequence at p (at most `left` bytes), or 0:
// no overlong forms, no surrogates, nothing past U+10FFFF.
int sequenceLength(const unsigned char *p, int left)
{
    const unsigned char c = p[0];
    int length = 0;
    unsigned char low = 0x80, high = 0xbf; // the range of the second byte
    if (c < 0x80)
        return 1;
    if (c >= 0xc2 && c <= 0xdf) {
        length = 2;
    } else if (c >= 0xe0 && c <= 0xef) {
        length = 3;
        if (c == 0xe0)
            low = 0xa0;
        else if (c == 0xed)
            high = 0x9f;
    } else if (c >= 0xf0 && c <= 0xf4) {
        length = 4;
        if (c == 0xf0)
            low = 0x90;
        else if (c == 0xf4)
            high = 0x8f;
    } else {
        return 0;
    }
    if (left < length || p[1] < low || p[1] > high)
        return 0;
    for (int i = 2; i < length; ++i) {
        if (p[i] < 0x80 || p[i] > 0xbf)
            return 0;
    }
    return length;
}

void appendEscaped(QString &out, const unsigned char *p, int length)
{
    for (int i = 0; i < length; ++i)
        out += QStringLiteral("\\x%1").arg(p[i], 2, 16, QLatin1Char('0'));
}

} // namespace

QString QuotedText::quote(const char *text, int length)
{
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
    const unsigned char *const end = p + length;
    QString out(QLatin1Char('"'));
    int shown = 0;
    for (; p != end && shown < MaxShown; ++shown) {
        const int n = sequenceLength(p, int(end - p));
        if (n == 0) {
            appendEscaped(out, p, 1);
            ++p;
            continue;
        }
        // C0 and C1 controls, DEL and the backslash that the escapes use.
        const bool control = (n == 1 && (p[0] < 0x20 || p[0] == 0x7f || p[0] == '\\')) ||
                             (n == 2 && p[0] == 0xc2 && p[1] < 0xa0);
        if (control)
            appendEscaped(out, p, n);
        else
            out += QString::fromUtf8(reinterpret_cast<const char *>(p), n);
        p += n;
    }
    if (p != end)
        out += QStringLiteral("...");
    out += QLatin1Char('"');
    return out;
}

QString QuotedText::quote(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    return quote(bytes.constData(), bytes.size());
}
