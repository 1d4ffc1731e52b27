// SPDX-License-Identifier: MIT
#ifndef MYCOLORSHOWER_H
#define MYCOLORSHOWER_H

#include <QColor>
#include <QWidget>

class QGridLayout;
class QLabel;
class QLineEdit;
class MyColorWidget;
class QColSpinBox;
class QColorShowLabel;

// The numeric half of the colour panel: swatch, HSV/RGB/alpha boxes and the
// HTML field. It owns the panel's current colour. Its members are open to the
// panel that owns it, which reads the colour and the grid directly.
class MyColorShower : public QWidget
{
    Q_OBJECT
public:
    explicit MyColorShower(MyColorWidget *parent = nullptr);
    ~MyColorShower() override;

    void setHsv(int h, int s, int v);
    void setAlpha(int alpha);
    void setAlphaVisible(bool on);
    void retranslateLabels();

    int hue = 0;
    int sat = 0;
    int val = 0;
    QRgb currentRgb;
    QColor currentColor;
    QLabel *hueLabel, *satLabel, *valLabel, *redLabel, *greenLabel, *blueLabel, *htmlLabel;
    QColSpinBox *hueEdit, *satEdit, *valEdit, *redEdit, *greenEdit, *blueEdit, *alphaEdit;
    QLabel *alphaLabel;
    QLineEdit *htmlEdit;
    QColorShowLabel *swatch;
    MyColorWidget *owner;
    QGridLayout *grid;

public slots:
    void setRgb(QRgb rgb);

signals:
    void newCol(QRgb rgb);
    void currentColorChanged(const QColor &color);

private slots:
    void rgbEd();
    void hsvEd();
    void htmlEd();

private:
    int effectiveAlpha() const;
    void storeHsvOf(QRgb rgb);
    void writeAllBoxes();
    void refreshSwatch();
    void updateCurrentColor();
};

#endif // MYCOLORSHOWER_H
