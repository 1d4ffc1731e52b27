// SPDX-License-Identifier: MIT
#ifndef VIRTUALACCESSORIESWINDOW_H
#define VIRTUALACCESSORIESWINDOW_H

#include <QWidget>

#include <array>

class QCheckBox;
class QFrame;
class QLabel;
class QTimer;

// Shows what the stand-in accessories have received: for each one the colour
// of its last feature report, as a swatch and hex text, and the report count.
// A check box plugs or unplugs the accessory.
class VirtualAccessoriesWindow : public QWidget
{
    Q_OBJECT
public:
    explicit VirtualAccessoriesWindow(QWidget *parent = nullptr);

    // Colour that a 4-byte report (0x02, red, blue, green) stands for;
    // invalid for anything else.
    static QColor colorOfReport(const QByteArray &report);

private slots:
    void refresh();

private:
    struct Row
    {
        unsigned short productId = 0;
        int accessory = 0;
        int reports = 0;
        QCheckBox *plugged = nullptr;
        QFrame *swatch = nullptr;
        QLabel *hex = nullptr;
        QLabel *count = nullptr;
    };

    void setPlugged(Row &row, bool on);
    void showColor(Row &row, const QColor &color);

    std::array<Row, 3> rows;
    QTimer *timer;
};

#endif // VIRTUALACCESSORIESWINDOW_H
