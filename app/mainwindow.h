// SPDX-License-Identifier: MIT
#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "devicelink.h"
#include "hidworker.h"

#include <QColor>
#include <QMainWindow>

QT_BEGIN_NAMESPACE
namespace Ui {
class MainWindow;
}
QT_END_NAMESPACE

// The tool's window: one check box per accessory, the colour panel and the
// status bar. Owns the worker thread and turns colour changes into requests,
// at most one outstanding at a time.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

signals:
    void colorUpdateRequested(QColor color, HidWorker::Device devices_to_update);

private slots:
    void setDeviceState(HidWorker::Device connected_devices);
    void updateColor(QColor color);
    void clearUpdatingColor();
    void showError(QString message);

private:
    bool sendColor(const QColor &color);

    Ui::MainWindow *ui;
    // The worker thread and its worker, and the updating and pending flags
    // with the pending colour.
    DeviceLink link;
};

#endif // MAINWINDOW_H
