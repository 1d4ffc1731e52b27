// SPDX-License-Identifier: MIT
#ifndef LIGHTSWINDOW_H
#define LIGHTSWINDOW_H

#include <QWidget>

#include <array>

class LightsAgent;
class MyColorWidget;
class ProfileSettings;
class QButtonGroup;
class QLabel;
class QTabWidget;

// The Lights window: what each accessory shows now, and its kept colour
// (shown while no game drives), chosen with the colour panel for the
// accessory picked above it; a colour chosen applies at once and is kept.
// A second page holds the profile's main settings.
class LightsWindow : public QWidget
{
    Q_OBJECT
public:
    explicit LightsWindow(LightsAgent *agent, QWidget *parent = nullptr);

    // The accessory whose kept colour the panel sets, by slot.
    int chosenSlot() const;
    void chooseSlot(int slot);
    MyColorWidget *panel() const { return colorPanel; }
    ProfileSettings *profileSettings() const { return settings; }
    // A line above everything, as "There is no system tray: ...".
    void setNote(const QString &text);
    // The accessories plugged in that cannot be opened, said with what to do.
    void setUnopenable(int kinds);

public slots:
    void showState();

private slots:
    void keep(const QColor &color);
    void slotChosen();

private:
    LightsAgent *const agent;
    QLabel *note;
    QLabel *status;
    std::array<QLabel *, 3> nowSwatches{};
    std::array<QLabel *, 3> keptSwatches{};
    QButtonGroup *choices;
    MyColorWidget *colorPanel;
    ProfileSettings *settings;
    QTabWidget *tabs;
    int closedKinds = 0;
    bool showingKept = false; // the panel is being set to a kept colour, not by the user
};

#endif // LIGHTSWINDOW_H
