// SPDX-License-Identifier: MIT
#include "virtualaccessorieswindow.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QTimer>

#include "accessorytable.h"
#include "fakehidbus.h"
#include "hidworker.h"

VirtualAccessoriesWindow::VirtualAccessoriesWindow(QWidget *parent)
    : QWidget(parent), timer(new QTimer(this))
{
    setWindowTitle(tr("Virtual accessories"));
    auto *grid = new QGridLayout(this);
    grid->addWidget(new QLabel(tr("Accessory")), 0, 0);
    grid->addWidget(new QLabel(tr("Last colour")), 0, 1, 1, 2);
    grid->addWidget(new QLabel(tr("Reports")), 0, 3);

    for (int i = 0; i < int(rows.size()); ++i) {
        Row &row = rows[size_t(i)];
        const AccessoryTable::Entry &kind = AccessoryTable::entries[size_t(i)];
        row.productId = kind.productId;
        row.plugged = new QCheckBox(AccessoryTable::displayName(kind.bit, "HidWorker"), this);
        row.plugged->setToolTip(tr("Plugged in"));
        row.swatch = new QFrame(this);
        row.swatch->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        row.swatch->setFixedSize(40, 22);
        row.swatch->setAutoFillBackground(true);
        row.hex = new QLabel(tr("none"), this);
        row.hex->setMinimumWidth(
            row.hex->fontMetrics().horizontalAdvance(QStringLiteral("#000000")) + 8);
        row.count = new QLabel(QStringLiteral("0"), this);
        row.count->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        row.plugged->setObjectName(QStringLiteral("plugged%1").arg(i));
        row.hex->setObjectName(QStringLiteral("hex%1").arg(i));
        row.count->setObjectName(QStringLiteral("count%1").arg(i));
        grid->addWidget(row.plugged, i + 1, 0);
        grid->addWidget(row.swatch, i + 1, 1);
        grid->addWidget(row.hex, i + 1, 2);
        grid->addWidget(row.count, i + 1, 3);

        connect(row.plugged, &QCheckBox::toggled, this,
                [this, i](bool on) { setPlugged(rows[size_t(i)], on); });
        row.plugged->setChecked(true);
    }

    // The bus keeps a log of every call; take it in small bites so that it
    // never grows while the demo runs.
    connect(timer, &QTimer::timeout, this, &VirtualAccessoriesWindow::refresh);
    timer->start(50);
}

QColor VirtualAccessoriesWindow::colorOfReport(const QByteArray &report)
{
    if (report.size() != 4 || quint8(report[0]) != 0x02)
        return QColor();
    return QColor(quint8(report[1]), quint8(report[3]), quint8(report[2]));
}

void VirtualAccessoriesWindow::refresh()
{
    const QVector<FakeHidBus::Event> events = FakeHidBus::takeEvents();
    for (const FakeHidBus::Event &e : events) {
        if (e.call != FakeHidBus::Call::Write || e.result < 0)
            continue;
        for (Row &row : rows) {
            if (row.accessory != e.accessory)
                continue;
            ++row.reports;
            row.count->setText(QString::number(row.reports));
            showColor(row, colorOfReport(e.bytes));
        }
    }
}

void VirtualAccessoriesWindow::setPlugged(Row &row, bool on)
{
    if (on)
        row.accessory = FakeHidBus::plug(row.productId);
    else
        FakeHidBus::unplug(row.accessory);
}

void VirtualAccessoriesWindow::showColor(Row &row, const QColor &color)
{
    QPalette pal = row.swatch->palette();
    pal.setColor(QPalette::Window, color.isValid() ? color : palette().color(QPalette::Window));
    row.swatch->setPalette(pal);
    row.hex->setText(color.isValid() ? color.name() : tr("not a colour"));
}
