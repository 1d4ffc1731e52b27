// SPDX-License-Identifier: MIT
#ifndef QCOLSPINBOX_H
#define QCOLSPINBOX_H

#include <QSpinBox>

// A 0..255 spin box that the program can write without emitting valueChanged.
class QColSpinBox : public QSpinBox
{
public:
    explicit QColSpinBox(QWidget *parent = nullptr);
    ~QColSpinBox() override;

    void setValueSilently(int v);
};

#endif // QCOLSPINBOX_H
