// SPDX-License-Identifier: MIT
#ifndef COLORPARSER_H
#define COLORPARSER_H

#include <QRgb>
#include <QString>

// Reads a colour in one of the forms brimsel-ctl takes: #rgb, #rrggbb,
// r,g,b (0 to 255 each) or an SVG colour name, with any spaces and tabs
// before and after it. The hex and r,g,b forms are read by hand, as --stream
// reads them by the million.
class ColorParser
{
public:
    enum Result {
        Valid,
        BadHex,  // starts with '#'
        BadRgb,  // has a comma
        BadName, // anything else
    };

    static Result parse(const char *text, int length, QRgb *rgb);
    static Result parse(const QString &text, QRgb *rgb);
    // Why a text was refused; `shown` is the text as QuotedText shows it.
    static QString errorText(Result result, const QString &shown);
};

#endif // COLORPARSER_H
