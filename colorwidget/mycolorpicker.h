// SPDX-License-Identifier: MIT
#ifndef MYCOLORPICKER_H
#define MYCOLORPICKER_H

#include <QFrame>
#include <QPixmap>

// The hue/saturation field: hue runs right to left, saturation bottom to top,
// all at value 200, with a cross-hair at the current pair.
class MyColorPicker : public QFrame
{
    Q_OBJECT
public:
    explicit MyColorPicker(QWidget *parent = nullptr);
    ~MyColorPicker() override;

    QSize sizeHint() const override;

public slots:
    void setCol(int h, int s);

signals:
    void newCol(int h, int s);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    int hueAt(const QPoint &pt) const;
    int satAt(const QPoint &pt) const;
    QPoint crossPos() const;
    void setColAt(const QPoint &pt);
    void buildField();

    int hue;
    int sat;
    QPixmap fieldPixmap;
};

#endif // MYCOLORPICKER_H
