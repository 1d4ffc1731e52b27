// SPDX-License-Identifier: MIT
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QLayout>
#include <QThread>

#include "mycolorwidget.h"

// The icon lives in this static library; nothing else would pull its
// resource object into the program.
static void initResources()
{
    Q_INIT_RESOURCE(app);
}

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    initResources();
    ui->setupUi(this);
    // In the layout before the size is fixed, so the fixed size takes both
    // columns. The window needs no pointer to it beyond the connection below.
    auto *colorWidget = new MyColorWidget(this);
    ui->rightLayout->addWidget(colorWidget);
    // The window always has the size of its contents; the user cannot resize it.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    workerThread = new QThread;
    worker = new HidWorker;
    worker->moveToThread(workerThread);

    // clang-format off
    connect(workerThread, SIGNAL(started()), worker, SLOT(process()));
    connect(workerThread, SIGNAL(finished()), worker, SLOT(deleteLater()));
    connect(worker, SIGNAL(deviceStateChanged(HidWorker::Device)),
            this, SLOT(setDeviceState(HidWorker::Device)));
    connect(worker, SIGNAL(colorUpdated()), this, SLOT(clearUpdatingColor()));
    connect(this, SIGNAL(colorUpdateRequested(QColor,HidWorker::Device)),
            worker, SLOT(updateColor(QColor,HidWorker::Device)));
    connect(worker, SIGNAL(errorOccurred(QString)), this, SLOT(showError(QString)));
    // clang-format on

    workerThread->start(QThread::InheritPriority);

    // Connected last: the panel has already set its starting colour, which
    // must not go out to the accessories.
    connect(colorWidget, SIGNAL(currentColorChanged(QColor)), this, SLOT(updateColor(QColor)));
}

MainWindow::~MainWindow()
{
    workerThread->quit();
    // The worker is deleted in its thread as the thread finishes. If the
    // thread is stuck (a hung HID call), leave it be: deleting a running
    // QThread aborts the process.
    if (workerThread->wait(3000))
        delete workerThread;
    delete ui;
}

void MainWindow::setDeviceState(HidWorker::Device connected_devices)
{
    ui->checkBox_hb->setEnabled(connected_devices & HidWorker::Handbrake);
    ui->checkBox_sq->setEnabled(connected_devices & HidWorker::SqShifter);
    ui->checkBox_h->setEnabled(connected_devices & HidWorker::HShifter);

    const int n = ((connected_devices & HidWorker::Handbrake) ? 1 : 0) +
                  ((connected_devices & HidWorker::SqShifter) ? 1 : 0) +
                  ((connected_devices & HidWorker::HShifter) ? 1 : 0);
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
    if (!updating) {
        sendColor(color);
        return;
    }
    pendingColor = color;
    pending = true;
}

void MainWindow::clearUpdatingColor()
{
    if (pending)
        sendColor(pendingColor);
    else
        updating = false;
}

void MainWindow::showError(QString message)
{
    ui->statusBar->showMessage(message, 0);
}

void MainWindow::sendColor(const QColor &color)
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

    if (devices == HidWorker::NoDevice) {
        pending = false;
        updating = false;
        return;
    }
    emit colorUpdateRequested(color, static_cast<HidWorker::Device>(devices));
    updating = true;
    pending = false;
}
