// SPDX-License-Identifier: MIT
#include "colorlinereader.h"

#include "colorparser.h"
#include "quotedtext.h"

#include <cstring>
#include <utility>

namespace {

bool isBlank(const char *text, int length)
{
    for (int i = 0; i < length; ++i) {
        if (text[i] != ' ' && (text[i] < '\t' || text[i] > '\r'))
            return false;
    }
    return true;
}

} // namespace

ColorLineReader::ColorLineReader(ColorRead colorRead, BadLine badLine)
    : colorRead(std::move(colorRead)), badLine(std::move(badLine))
{
}

void ColorLineReader::feed(const char *data, size_t size)
{
    const char *p = data;
    const char *const end = data + size;
    while (p != end) {
        const char *newline = static_cast<const char *>(memchr(p, '\n', size_t(end - p)));
        const char *const stop = newline ? newline : end;
        const size_t length = size_t(stop - p);
        if (!partialLength && !tooLong && newline && length <= size_t(MaxLineLength)) {
            takeLine(p, int(length)); // whole line in the buffer: no copy
        } else {
            if (!tooLong && partialLength + length <= size_t(MaxLineLength)) {
                memcpy(partial + partialLength, p, length);
                partialLength += int(length);
            } else {
                tooLong = true;
            }
            if (newline) {
                takeLine(partial, partialLength);
                partialLength = 0;
                tooLong = false;
            }
        }
        p = newline ? newline + 1 : end;
    }
}

void ColorLineReader::finish()
{
    if (partialLength || tooLong)
        takeLine(partial, partialLength);
    partialLength = 0;
    tooLong = false;
}

void ColorLineReader::takeLine(const char *text, int length)
{
    ++lines;
    if (tooLong) {
        ++badLines;
        badLine(lines, QStringLiteral("longer than %1 bytes").arg(MaxLineLength));
        return;
    }
    if (length && text[length - 1] == '\r')
        --length;
    if (isBlank(text, length) || (length >= 2 && text[0] == '#' && text[1] == ' '))
        return;
    QRgb rgb = 0;
    const ColorParser::Result result = ColorParser::parse(text, length, &rgb);
    if (result == ColorParser::Valid) {
        colorRead(rgb);
        return;
    }
    ++badLines;
    badLine(lines, ColorParser::errorText(result, QuotedText::quote(text, length)));
}
