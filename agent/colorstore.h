// SPDX-License-Identifier: MIT
#ifndef COLORSTORE_H
#define COLORSTORE_H

#include "accessorytable.h"

#include <QRgb>
#include <QString>

// The colour each accessory was last given through the OpenRGB agent, kept
// in the user's state folder across replugs and restarts. The file is
// replaced whole (written aside, flushed to disk, renamed over), so that a
// crash or a power loss at any moment leaves the old file or the new one.
class ColorStore
{
public:
    // $XDG_STATE_HOME/brimsel-tool (~/.local/state/brimsel-tool), or
    // %LOCALAPPDATA%\Brimsel tool on Windows.
    static QString defaultFolder();
    static constexpr const char *FileName = "colors";

    explicit ColorStore(const QString &folder = defaultFolder());

    QString path() const;
    // Reads the file: false, with why, when it exists but cannot be read
    // (then nothing is kept until the next change) or has lines that are
    // not an accessory and a colour (the others are kept).
    bool load(QString *why);
    bool has(int slot) const { return kept[size_t(slot)]; }
    QRgb color(int slot) const { return colors[size_t(slot)]; }
    void set(int slot, QRgb color);
    // Writes what is kept; false, with why, when it could not be.
    bool save(QString *why) const;

private:
    const QString folder;
    AccessoryTable::PerAccessory<bool> kept{};
    AccessoryTable::PerAccessory<QRgb> colors{};
};

#endif // COLORSTORE_H
