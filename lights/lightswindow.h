// SPDX-License-Identifier: MIT
#ifndef LIGHTSWINDOW_H
#define LIGHTSWINDOW_H

#include <QWidget>

#include <array>

class LightsAgent;
class MyColorWidget;
class QButtonGroup;
class QLabel;

// The Lights window: what each accessory shows now, and its kept colour
// (shown while no game drives), chosen with the colour panel for the
// accessory picked above it; a colour chosen applies at once and is kept.
class LightsWindow : public QWidget
{
    Q_OBJECT
public:
    explicit LightsWindow(LightsAgent *agent, QWidget *parent = nullptr);

    // The accessory whose kept colour the panel sets, by slot.
    int chosenSlot() const;
    void chooseSlot(int slot);
    MyColorWidget *panel() const { return colorPanel; }
    // A line above everything, as "There is no system tray: ...".
    void setNote(const QString &text);

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
    bool showingKept = false; // the panel is being set to a kept colour, not by the user
};

#endif // LIGHTSWINDOW_H
