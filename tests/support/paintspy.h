// SPDX-License-Identifier: MIT
#ifndef PAINTSPY_H
#define PAINTSPY_H

#include <QObject>
#include <QRegion>
#include <QVector>

class QWidget;

// Records every paint event a widget receives, with the region it was asked
// to paint, so that a test can tell what was repainted and when.
class PaintSpy : public QObject
{
    Q_OBJECT
public:
    explicit PaintSpy(QWidget *widget);

    int count() const { return regions.size(); }
    QRegion last() const { return regions.isEmpty() ? QRegion() : regions.last(); }
    void clear() { regions.clear(); }

    QVector<QRegion> regions;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

#endif // PAINTSPY_H
