// SPDX-License-Identifier: MIT
#ifndef COLORBUTTON_H
#define COLORBUTTON_H

#include <QColor>
#include <QPushButton>

// A colour setting: shows its colour and name; a click opens the colour
// panel in a dialog, and a colour taken there is emitted.
class ColorButton : public QPushButton
{
    Q_OBJECT
public:
    explicit ColorButton(QWidget *parent = nullptr);

    QColor color() const { return current; }
    // Sets the colour shown, emitting nothing.
    void setColor(const QColor &color);

public slots:
    // The dialog; the colour taken when it is accepted.
    void choose();

signals:
    void colorChosen(const QColor &color);

private:
    QColor current{Qt::black};
};

#endif // COLORBUTTON_H
