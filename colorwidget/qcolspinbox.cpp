// SPDX-License-Identifier: MIT
#include "qcolspinbox.h"

QColSpinBox::QColSpinBox(QWidget *parent) : QSpinBox(parent)
{
    setRange(0, 255);
}

QColSpinBox::~QColSpinBox() = default;

void QColSpinBox::setValueSilently(int v)
{
    // Restore the caller's blocking state rather than unblocking blindly.
    const bool wasBlocked = blockSignals(true);
    setValue(v);
    blockSignals(wasBlocked);
}
