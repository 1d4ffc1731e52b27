// SPDX-License-Identifier: MIT
#ifndef QUOTEDTEXT_H
#define QUOTEDTEXT_H

#include <QByteArray>
#include <QString>

// Text from outside (an argument, a line of input) as it goes into a
// message: in double quotes, with control characters, bytes that are not
// UTF-8 and the backslash as \xNN, so that nothing reaches the terminal as a
// command, and cut after MaxShown characters with "...".
class QuotedText
{
public:
    static constexpr int MaxShown = 40;

    static QString quote(const char *text, int length);
    static QString quote(const QString &text);
};

#endif // QUOTEDTEXT_H
