// SPDX-License-Identifier: MIT
#ifndef PROFILESETTINGS_H
#define PROFILESETTINGS_H

#include "lightsprofile.h"

#include <QByteArray>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>
#include <vector>

class ColorButton;
class LightsAgent;
class QCheckBox;
class QDoubleSpinBox;
class QGridLayout;
class QLabel;
class QLineEdit;

// The lights profile's main settings, for every game: the idle colour, what
// each accessory shows while a game drives, the rev light's stages, the
// flash, and the race's colours. A change is written to the profile file a
// moment later (the agent follows the file), over the file as it is then,
// so that an edit made by hand meanwhile is kept; a game or car whose
// setting was the same as the one changed follows it. A change to the file
// from outside shows here.
class ProfileSettings : public QWidget
{
    Q_OBJECT
public:
    // How long after the last change the file is written.
    static constexpr int WriteDelayMs = 300;

    explicit ProfileSettings(LightsAgent *agent, QWidget *parent = nullptr);

    // The profile as shown, changes not yet written included.
    const LightsProfile &profile() const { return shown; }
    bool hasUnwritten() const { return !pending.empty(); }
    QString statusText() const;

public slots:
    // Shows the profile the agent follows now.
    void load();
    // Writes the changes made here; false, said in the status line, when
    // the file cannot be read (an error in it) or written.
    bool writeNow();

private:
    using Change = std::function<void(LightsProfile &)>;
    void change(const Change &apply);
    // Sets a setting at every level that had the same value as every game's.
    template<typename Field, typename T> void changeSetting(Field field, const T &value);
    void showStages();
    void showSettings();
    void applyShowList(int slot);
    void applyRace(int row);
    void say(const QString &text, bool bad);

    LightsAgent *const agent;
    const QString path;
    LightsProfile shown;
    std::vector<Change> pending;
    QTimer writeTimer;
    QByteArray written; // the file as it was last written here

    QLabel *status;
    ColorButton *idle;
    std::array<QLineEdit *, 3> shows{};
    std::array<ColorButton *, 3> handbrakes{};
    QGridLayout *stagesGrid;
    std::optional<std::vector<LightsProfile::Stage>> stagesShown; // as the rows show them
    QWidget *stagesBox;
    ColorButton *flashColor;
    QDoubleSpinBox *flashFrom;
    QCheckBox *flashGame;
    QDoubleSpinBox *flashHz;
    struct RaceRow
    {
        QCheckBox *on;
        ColorButton *color;
        ColorButton *blink;
        QDoubleSpinBox *hz;
    };
    std::vector<RaceRow> race; // the flags from green to red, then the items
};

#endif // PROFILESETTINGS_H
