// SPDX-License-Identifier: MIT
#ifndef MYCOLORWIDGET_H
#define MYCOLORWIDGET_H

#include <QColor>
#include <QWidget>

class MyColorWidgetPrivate;

// The colour-selection panel: hue/saturation field, value strip and editor
// fields kept in step. Every change of the chosen colour is announced once
// through currentColorChanged.
class MyColorWidget : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QColor currentColor READ currentColor WRITE setCurrentColor NOTIFY currentColorChanged)
    Q_PROPERTY(MyColorWidgetOptions options READ options WRITE setOptions)
public:
    enum MyColorWidgetOption { ShowAlphaChannel = 0x00000001 };
    Q_ENUM(MyColorWidgetOption)
    Q_DECLARE_FLAGS(MyColorWidgetOptions, MyColorWidgetOption)

    explicit MyColorWidget(QWidget *parent = nullptr);
    explicit MyColorWidget(const QColor &initial, QWidget *parent = nullptr);
    ~MyColorWidget() override;

    void setCurrentColor(const QColor &color);
    QColor currentColor() const;

    void setOption(MyColorWidgetOption option, bool on = true);
    bool testOption(MyColorWidgetOption option) const;
    void setOptions(MyColorWidgetOptions options);
    MyColorWidgetOptions options() const;

    void setVisible(bool visible) override;

signals:
    void currentColorChanged(const QColor &color);

protected:
    void changeEvent(QEvent *event) override;

private slots:
    void _newHsv(int h, int s, int v);
    void _newColorTypedIn(QRgb rgb);

private:
    friend class MyColorWidgetPrivate;
    MyColorWidgetPrivate *d;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(MyColorWidget::MyColorWidgetOptions)
Q_DECLARE_METATYPE(MyColorWidget::MyColorWidgetOptions)

#endif // MYCOLORWIDGET_H
