// SPDX-License-Identifier: MIT
#ifndef LOGINSTART_H
#define LOGINSTART_H

#include <QString>

// Whether the lights start at login: an XDG autostart entry on Linux
// ($XDG_CONFIG_HOME/autostart, by default ~/.config/autostart); on Windows
// a "Brimsel lights" shortcut in the Startup folder, the user's own or the
// one the installer puts in every user's.
class LoginStart
{
public:
    // The entry's path; empty where there is nowhere to put it.
    static QString entryPath();
    static bool isOn();
    // Writes the entry, starting `program`, or removes it; false, with why.
    static bool set(bool on, const QString &program, QString *why);
};

#endif // LOGINSTART_H
