// SPDX-License-Identifier: MIT
#ifndef MYCOLORLUMINANCEPICKER_H
#define MYCOLORLUMINANCEPICKER_H

#include <QWidget>

class QPixmap;

// The value strip: a vertical gradient from value 255 (top) to 0 (bottom) for
// the current hue and saturation, with a triangle pointing at the value.
class MyColorLuminancePicker : public QWidget
{
    Q_OBJECT
public:
    explicit MyColorLuminancePicker(QWidget *parent = nullptr);
    ~MyColorLuminancePicker() override;

signals:
    void newHsv(int h, int s, int v);

public slots:
    void setCol(int h, int s, int v);
    void setCol(int h, int s);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    int valueAt(int y) const;
    int yForValue(int v) const;
    void changeValue(int v);

    int val;
    int hue;
    int sat;
    QPixmap *stripPixmap;
};

#endif // MYCOLORLUMINANCEPICKER_H
