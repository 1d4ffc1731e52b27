// SPDX-License-Identifier: MIT
#ifndef PROFILEFILE_H
#define PROFILEFILE_H

#include "lightsprofile.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// The lights profile as its owner writes it: a TOML file (lights.toml),
// read into a LightsProfile with every error placed by line and column, and
// a LightsProfile written back as such a file, every setting spelt out.
class ProfileFile
{
public:
    struct Error
    {
        int line = 0; // from 1; 0 for the file as a whole
        int column = 0;
        QString message;
    };

    struct Result
    {
        bool ok = false;
        bool found = false; // false: no file there, the default profile
        LightsProfile profile = LightsProfile::defaults();
        QVector<Error> errors; // where ok is false
    };

    // A larger file is refused rather than read.
    static constexpr qint64 MaxBytes = 1024 * 1024;

    // $XDG_CONFIG_HOME/brimsel-tool/lights.toml (~/.config/…), on Windows
    // %APPDATA%\Brimsel tool\lights.toml.
    static QString defaultPath();

    static Result read(const QString &path);
    // The text of a file; `name` goes into no message, it is for the parser.
    static Result parse(const QByteArray &text);

    // "FILE:LINE:COLUMN: MESSAGE", as compilers place their errors.
    static QString errorText(const QString &path, const Error &error);
    // The profile as a file that says every setting, each game's in full.
    static QString text(const LightsProfile &profile);
};

#endif // PROFILEFILE_H
