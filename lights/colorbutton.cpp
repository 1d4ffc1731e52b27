// SPDX-License-Identifier: MIT
#include "colorbutton.h"

#include "mycolorwidget.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

ColorButton::ColorButton(QWidget *parent) : QPushButton(parent)
{
    connect(this, &QPushButton::clicked, this, &ColorButton::choose);
    setColor(current);
}

void ColorButton::setColor(const QColor &color)
{
    current = color;
    const int side = fontMetrics().height();
    QPixmap swatch(side * 2, side);
    swatch.fill(color);
    QPainter frame(&swatch);
    frame.setPen(palette().color(QPalette::Mid));
    frame.drawRect(swatch.rect().adjusted(0, 0, -1, -1));
    frame.end();
    setIcon(QIcon(swatch));
    setIconSize(swatch.size());
    setText(color.name());
}

void ColorButton::choose()
{
    QDialog dialog(window());
    dialog.setWindowTitle(toolTip().isEmpty() ? tr("Colour") : toolTip());
    auto *panel = new MyColorWidget(current, &dialog);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(panel);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted || panel->currentColor() == current)
        return;
    setColor(panel->currentColor());
    emit colorChosen(current);
}
