// SPDX-License-Identifier: MIT
#ifndef COLORPARSER_H
#define COLORPARSER_H

#include <QRgb>
#include <QString>

// Reads a colour in one of the forms brimsel-ctl takes: #rgb, #rrggbb,
// r,g,b (0 to 255 each) or an SVG colour name. The hex and r,g,b forms are
// read by hand, as --stream reads them by the million.
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
    // Why `text`, as shown to the user, was refused.
    static QString errorText(Result result, const QString &text);
};

#endif // COLORPARSER_H
