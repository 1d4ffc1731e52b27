// SPDX-License-Identifier: MIT
#ifndef COLORLINEREADER_H
#define COLORLINEREADER_H

#include <QRgb>
#include <QString>

#include <cstddef>
#include <functional>

// Cuts a byte stream into lines and reads a colour from each, in the forms
// --color takes. Blank lines and lines that start with "# " are skipped; a
// line may end in CR LF; a last line without a newline still counts. It
// keeps at most one line of bytes, so memory stays flat whatever comes in.
class ColorLineReader
{
public:
    static constexpr int MaxLineLength = 1024; // bytes, without the line end

    using ColorRead = std::function<void(QRgb rgb)>;
    // A line that is not a colour: its number (from 1) and why.
    using BadLine = std::function<void(qint64 lineNumber, const QString &message)>;

    ColorLineReader(ColorRead colorRead, BadLine badLine);

    void feed(const char *data, size_t size);
    void finish(); // end of input

    qint64 lineCount() const { return lines; }
    qint64 badLineCount() const { return badLines; }

private:
    void takeLine(const char *text, int length);

    ColorRead colorRead;
    BadLine badLine;
    char partial[MaxLineLength];
    int partialLength = 0;
    bool tooLong = false; // the line being gathered passed MaxLineLength
    qint64 lines = 0;
    qint64 badLines = 0;
};

#endif // COLORLINEREADER_H
