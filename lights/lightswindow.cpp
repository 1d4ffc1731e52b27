// SPDX-License-Identifier: MIT
#include "lightswindow.h"

#include "accessorytable.h"
#include "hidoneshot.h"
#include "lightsagent.h"
#include "mycolorwidget.h"
#include "profilesettings.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

void paintSwatch(QLabel *swatch, const QColor &color, bool known)
{
    swatch->setStyleSheet(
        known ? QStringLiteral("background-color: %1; border: 1px solid palette(mid);")
                    .arg(color.name())
              : QStringLiteral("border: 1px dashed palette(mid);"));
    swatch->setToolTip(known ? color.name() : LightsWindow::tr("none kept"));
}

} // namespace

LightsWindow::LightsWindow(LightsAgent *agent, QWidget *parent)
    : QWidget(parent), agent(agent), note(new QLabel(this)), status(new QLabel(this)),
      choices(new QButtonGroup(this)), colorPanel(new MyColorWidget(this)),
      settings(new ProfileSettings(agent, this)), tabs(new QTabWidget(this))
{
    setObjectName(QStringLiteral("LightsWindow"));
    setWindowTitle(tr("Brimsel lights"));
    note->setWordWrap(true);
    note->hide();
    status->setWordWrap(true);
    status->setObjectName(QStringLiteral("status"));
    status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel(tr("Now"), this), 0, 1);
    grid->addWidget(new QLabel(tr("Kept"), this), 0, 2);
    for (size_t i = 0; i < AccessoryTable::entries.size(); ++i) {
        const int row = int(i) + 1;
        auto *choice = new QRadioButton(
            QCoreApplication::translate("HidWorker", AccessoryTable::entries[i].name), this);
        choice->setObjectName(QStringLiteral("choose_%1").arg(AccessoryTable::entries[i].key));
        choices->addButton(choice, int(i));
        grid->addWidget(choice, row, 0);
        for (auto *swatches : {&nowSwatches, &keptSwatches}) {
            QLabel *swatch = new QLabel(this);
            swatch->setMinimumSize(40, 20);
            (*swatches)[i] = swatch;
            grid->addWidget(swatch, row, swatches == &nowSwatches ? 1 : 2);
        }
        nowSwatches[i]->setObjectName(QStringLiteral("now_%1").arg(AccessoryTable::entries[i].key));
        keptSwatches[i]->setObjectName(
            QStringLiteral("kept_%1").arg(AccessoryTable::entries[i].key));
    }
    grid->setColumnStretch(3, 1);

    auto *colors = new QWidget(this);
    auto *colorsLayout = new QVBoxLayout(colors);
    colorsLayout->addWidget(status);
    colorsLayout->addLayout(grid);
    colorsLayout->addWidget(
        new QLabel(tr("The chosen accessory's kept colour, shown while no game drives:"), this));
    colorsLayout->addWidget(colorPanel);
    colorsLayout->addStretch(1);
    tabs->setObjectName(QStringLiteral("tabs"));
    tabs->addTab(colors, tr("Colours"));
    tabs->addTab(settings, tr("Profile"));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(note);
    layout->addWidget(tabs);

    connect(choices, SIGNAL(buttonClicked(int)), this, SLOT(slotChosen()));
    connect(colorPanel, SIGNAL(currentColorChanged(QColor)), this, SLOT(keep(QColor)));
    connect(agent, SIGNAL(colorsChanged()), this, SLOT(showState()));
    connect(agent, SIGNAL(accessoriesChanged(int)), this, SLOT(showState()));
    connect(agent, SIGNAL(gameChanged(QString)), this, SLOT(showState()));
    chooseSlot(0);
    showState();
    // Within the screen it opens on (1366 x 768 laptops among them).
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QSize room = screen->availableSize() * 9 / 10;
        resize(sizeHint().boundedTo(room).expandedTo(QSize(480, 360).boundedTo(room)));
    }
}

int LightsWindow::chosenSlot() const
{
    return std::max(0, choices->checkedId());
}

void LightsWindow::chooseSlot(int slot)
{
    choices->button(slot)->setChecked(true);
    slotChosen();
}

void LightsWindow::setNote(const QString &text)
{
    note->setText(text);
    note->setVisible(!text.isEmpty());
}

void LightsWindow::setUnopenable(int kinds)
{
    closedKinds = kinds;
    showState();
}

void LightsWindow::slotChosen()
{
    // The panel starts from the accessory's kept colour; that is no choice
    // of the user's, so nothing is kept for it.
    const int slot = chosenSlot();
    showingKept = true;
    colorPanel->setCurrentColor(agent->hasKeptColor(slot) ? QColor(agent->keptColor(slot))
                                                          : QColor(agent->colors()[size_t(slot)]));
    showingKept = false;
}

void LightsWindow::keep(const QColor &color)
{
    if (showingKept || !color.isValid())
        return;
    agent->setKeptColor(chosenSlot(), color.rgb());
    showState();
}

void LightsWindow::showState()
{
    const int connected = agent->connectedAccessories();
    const TelemetryLights::Colors now = agent->colors();
    QStringList names;
    for (size_t i = 0; i < AccessoryTable::entries.size(); ++i) {
        const bool there = connected & AccessoryTable::entries[i].bit;
        if (there)
            names << QCoreApplication::translate("HidWorker", AccessoryTable::entries[i].name);
        paintSwatch(nowSwatches[i], QColor(now[i]), there);
        paintSwatch(keptSwatches[i], QColor(agent->keptColor(int(i))), agent->hasKeptColor(int(i)));
    }
    QString text = names.isEmpty() ? tr("No accessory connected.")
                                   : tr("Connected: %1.").arg(names.join(QStringLiteral(", ")));
    if (agent->gameLightsPaused())
        text += QLatin1Char(' ') + tr("Game lights paused.");
    else if (!agent->game().isEmpty())
        text += QLatin1Char(' ') + (agent->car().isEmpty()
                                        ? tr("Driving: %1.").arg(agent->game())
                                        : tr("Driving: %1, %2.").arg(agent->game(), agent->car()));
    for (const AccessoryTable::Entry &e : AccessoryTable::entries) {
        if (closedKinds & e.bit)
            text += QLatin1Char('\n') + tr("%1: plugged in, but it cannot be opened: %2")
                                            .arg(QCoreApplication::translate("HidWorker", e.name),
                                                 HidOneShot::cannotOpenAdvice());
    }
    status->setText(text);
}
