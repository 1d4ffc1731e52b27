// SPDX-License-Identifier: MIT
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QLayout>

#include "accessorytable.h"
#include "mycolorwidget.h"

// The icon lives in this static library; nothing else would pull its
// resource object into the program.
static void initResources()
{
    Q_INIT_RESOURCE(app);
}

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow),
      link([this](const QColor &color) { return sendColor(color); })
{
    initResources();
    ui->setupUi(this);
    // In the layout before the size is fixed, so the fixed size takes both
    // columns. The window needs no pointer to it beyond the connection below.
    auto *colorWidget = new MyColorWidget(this);
    ui->rightLayout->addWidget(colorWidget);
    // The window always has the size of its contents; the user cannot resize it.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    // The worker's connections to this window, then the thread's start.
    link.start(this);

    // Connected last: the panel has already set its starting colour, which
    // must not go out to the accessories.
    connect(colorWidget, SIGNAL(currentColorChanged(QColor)), this, SLOT(updateColor(QColor)));
}

MainWindow::~MainWindow()
{
    // At most 3 s; a thread stuck in a HID call is left be.
    link.stop();
    delete ui;
}

void MainWindow::setDeviceState(HidWorker::Device connected_devices)
{
    ui->checkBox_hb->setEnabled(connected_devices & HidWorker::Handbrake);
    ui->checkBox_sq->setEnabled(connected_devices & HidWorker::SqShifter);
    ui->checkBox_h->setEnabled(connected_devices & HidWorker::HShifter);

    const int n = AccessoryTable::countOf(connected_devices);
    QString text;
    if (n == 0)
        text = tr("Device not found");
    else
        text = QString::asprintf(tr("%d Device%s connected").toUtf8().constData(), n,
                                 n == 1 ? "" : "s");
    ui->statusBar->showMessage(text, 0);
}

void MainWindow::updateColor(QColor color)
{
    link.updateColor(color);
}

void MainWindow::clearUpdatingColor()
{
    link.clearUpdatingColor();
}

void MainWindow::showError(QString message)
{
    statusBar()->showMessage(message, 0);
}

bool MainWindow::sendColor(const QColor &color)
{
    // Boxes count by their check mark alone: a ticked box whose accessory has
    // gone still names it, and the worker skips what is not open.
    int devices = HidWorker::NoDevice;
    if (ui->checkBox_hb->isChecked())
        devices |= HidWorker::Handbrake;
    if (ui->checkBox_sq->isChecked())
        devices |= HidWorker::SqShifter;
    if (ui->checkBox_h->isChecked())
        devices |= HidWorker::HShifter;

    // No box checked: the colour is dropped and the window goes idle.
    if (devices == HidWorker::NoDevice)
        return false;
    emit colorUpdateRequested(color, static_cast<HidWorker::Device>(devices));
    return true;
}
