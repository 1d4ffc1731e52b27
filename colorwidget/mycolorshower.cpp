// SPDX-License-Identifier: MIT
#include "mycolorshower.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

#include "mycolorwidget.h"
#include "qcolorshowlabel.h"
#include "qcolspinbox.h"

MyColorShower::MyColorShower(MyColorWidget *parent)
    : QWidget(parent), currentRgb(0xffffffff), currentColor(Qt::white), owner(parent)
{
    grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);

    swatch = new QColorShowLabel(this);
    swatch->setMinimumWidth(60);
    grid->addWidget(swatch, 0, 0, -1, 1);
    // Relay first, so the panel moves its field and strip before setRgb
    // reports the change.
    connect(swatch, SIGNAL(colorDropped(QRgb)), this, SIGNAL(newCol(QRgb)));
    connect(swatch, SIGNAL(colorDropped(QRgb)), this, SLOT(setRgb(QRgb)));

    auto addBox = [this](QColSpinBox *&edit, QLabel *&label, int row, int column,
                         int labelColumnSpan) {
        edit = new QColSpinBox(this);
        label = new QLabel(this);
        label->setBuddy(edit);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(label, row, column, 1, labelColumnSpan);
        grid->addWidget(edit, row, column + labelColumnSpan);
    };
    addBox(hueEdit, hueLabel, 0, 1, 1);
    hueEdit->setRange(0, 359);
    addBox(satEdit, satLabel, 1, 1, 1);
    addBox(valEdit, valLabel, 2, 1, 1);
    addBox(redEdit, redLabel, 0, 3, 1);
    addBox(greenEdit, greenLabel, 1, 3, 1);
    addBox(blueEdit, blueLabel, 2, 3, 1);
    addBox(alphaEdit, alphaLabel, 3, 1, 3);
    alphaEdit->hide();
    alphaLabel->hide();

    htmlLabel = new QLabel(this);
    htmlEdit = new QLineEdit(this);
    htmlLabel->setBuddy(htmlEdit);
    htmlEdit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("#([A-Fa-f0-9]{6}|[A-Fa-f0-9]{3})")), this));
    htmlEdit->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    htmlLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(htmlLabel, 5, 1);
    grid->addWidget(htmlEdit, 5, 2, 1, 3);

    connect(hueEdit, SIGNAL(valueChanged(int)), this, SLOT(hsvEd()));
    connect(satEdit, SIGNAL(valueChanged(int)), this, SLOT(hsvEd()));
    connect(valEdit, SIGNAL(valueChanged(int)), this, SLOT(hsvEd()));
    connect(redEdit, SIGNAL(valueChanged(int)), this, SLOT(rgbEd()));
    connect(greenEdit, SIGNAL(valueChanged(int)), this, SLOT(rgbEd()));
    connect(blueEdit, SIGNAL(valueChanged(int)), this, SLOT(rgbEd()));
    connect(alphaEdit, SIGNAL(valueChanged(int)), this, SLOT(rgbEd()));
    // textEdited, not textChanged: our own setText must not come back here.
    connect(htmlEdit, SIGNAL(textEdited(QString)), this, SLOT(htmlEd()));

    retranslateLabels();
}

MyColorShower::~MyColorShower() = default;

void MyColorShower::setHsv(int h, int s, int v)
{
    // Hue above 359 is refused too: QColor would wrap it while the hue box
    // clamped it, and the boxes would no longer match the colour.
    if (h < -1 || h > 359 || s < 0 || s > 255 || v < 0 || v > 255)
        return;

    hue = h;
    sat = s;
    val = v;
    currentRgb = QColor::fromHsv(hue, sat, val, 255).rgb();
    writeAllBoxes();
    htmlEdit->setText(QColor(currentRgb).name());
    refreshSwatch();
    updateCurrentColor();
}

void MyColorShower::setAlpha(int alpha)
{
    alphaEdit->setValueSilently(alpha);
    rgbEd();
}

void MyColorShower::setAlphaVisible(bool on)
{
    alphaLabel->setVisible(on);
    alphaEdit->setVisible(on);
}

void MyColorShower::retranslateLabels()
{
    hueLabel->setText(QCoreApplication::translate("MyColorWidget", "Hu&e:"));
    satLabel->setText(QCoreApplication::translate("MyColorWidget", "&Sat:"));
    valLabel->setText(QCoreApplication::translate("MyColorWidget", "&Val:"));
    redLabel->setText(QCoreApplication::translate("MyColorWidget", "&Red:"));
    greenLabel->setText(QCoreApplication::translate("MyColorWidget", "&Green:"));
    blueLabel->setText(QCoreApplication::translate("MyColorWidget", "Bl&ue:"));
    alphaLabel->setText(QCoreApplication::translate("MyColorWidget", "A&lpha channel:"));
    htmlLabel->setText(QCoreApplication::translate("MyColorWidget", "&HTML:"));
}

void MyColorShower::setRgb(QRgb rgb)
{
    currentRgb = rgb;
    storeHsvOf(rgb);
    writeAllBoxes();
    htmlEdit->setText(QColor(rgb).name());
    refreshSwatch();
    updateCurrentColor();
}

void MyColorShower::rgbEd()
{
    currentRgb = qRgba(redEdit->value(), greenEdit->value(), blueEdit->value(), effectiveAlpha());
    storeHsvOf(currentRgb);
    hueEdit->setValueSilently(hue);
    satEdit->setValueSilently(sat);
    valEdit->setValueSilently(val);
    htmlEdit->setText(QColor(currentRgb).name());
    refreshSwatch();
    emit newCol(currentRgb);
    updateCurrentColor();
}

void MyColorShower::hsvEd()
{
    hue = hueEdit->value();
    sat = satEdit->value();
    val = valEdit->value();
    currentRgb = QColor::fromHsv(hue, sat, val, 255).rgb();
    redEdit->setValueSilently(qRed(currentRgb));
    greenEdit->setValueSilently(qGreen(currentRgb));
    blueEdit->setValueSilently(qBlue(currentRgb));
    htmlEdit->setText(QColor(currentRgb).name());
    refreshSwatch();
    emit newCol(currentRgb);
    updateCurrentColor();
}

void MyColorShower::htmlEd()
{
    QColor typed;
    typed.setNamedColor(htmlEdit->text());
    // Half-typed text is left in the field until it names a colour.
    if (!typed.isValid())
        return;

    currentRgb = qRgba(typed.red(), typed.green(), typed.blue(), effectiveAlpha());
    storeHsvOf(currentRgb);
    writeAllBoxes();
    refreshSwatch();
    emit newCol(currentRgb);
    updateCurrentColor();
}

int MyColorShower::effectiveAlpha() const
{
    // Asked every time: the owner's options can change between two edits.
    if (owner && owner->testOption(MyColorWidget::ShowAlphaChannel))
        return alphaEdit->value();
    return 255;
}

void MyColorShower::storeHsvOf(QRgb rgb)
{
    QColor c;
    c.setRgb(rgb);
    c.getHsv(&hue, &sat, &val);
}

void MyColorShower::writeAllBoxes()
{
    hueEdit->setValueSilently(hue);
    satEdit->setValueSilently(sat);
    valEdit->setValueSilently(val);
    redEdit->setValueSilently(qRed(currentRgb));
    greenEdit->setValueSilently(qGreen(currentRgb));
    blueEdit->setValueSilently(qBlue(currentRgb));
}

void MyColorShower::refreshSwatch()
{
    // The swatch shows the colour opaque, whatever the alpha.
    swatch->setColor(QColor(currentRgb));
    swatch->repaint();
}

void MyColorShower::updateCurrentColor()
{
    const QColor before = currentColor;
    currentColor.setRgba(
        qRgba(qRed(currentRgb), qGreen(currentRgb), qBlue(currentRgb), effectiveAlpha()));
    if (currentColor != before)
        emit currentColorChanged(currentColor);
}
