// SPDX-License-Identifier: MIT
#ifndef QCOLORSHOWLABEL_H
#define QCOLORSHOWLABEL_H

#include <QColor>
#include <QFrame>
#include <QPoint>

// The colour swatch: a sunken panel filled with one colour, which can be
// dragged out as colour data and takes colours dropped onto it.
class QColorShowLabel : public QFrame
{
    Q_OBJECT
public:
    explicit QColorShowLabel(QWidget *parent = nullptr);
    ~QColorShowLabel() override;

    // Stores the colour only; the caller repaints.
    void setColor(const QColor &color);

signals:
    void colorDropped(QRgb);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QColor shownColor;
    bool pressed;
    QPoint pressPoint;
};

#endif // QCOLORSHOWLABEL_H
