// SPDX-License-Identifier: MIT
#include "devicelink.h"

#include <QObject>
#include <QThread>

#include "hidlibrary.h"
#include "hidworker.h"

#include <utility>

DeviceLink::DeviceLink(ColorCoalescer::SendStep sendStep) : colorFlow(std::move(sendStep)) {}

DeviceLink::DeviceLink(ColorCoalescer::GroupSendStep groupSendStep)
    : colorFlow(std::move(groupSendStep))
{
}

DeviceLink::~DeviceLink()
{
    stop();
}

void DeviceLink::start(QObject *client)
{
    thread = new QThread;
    worker = new HidWorker;
    // A HID library that cannot start is named rather than taken for no accessories.
    worker->setStartCheck(HidLibrary::startError);
    if (presenceReadTimeoutMs >= 0)
        worker->setPresenceReadTimeout(presenceReadTimeoutMs);
    worker->moveToThread(thread);

    // clang-format off
    QObject::connect(thread, SIGNAL(started()), worker, SLOT(process()));
    QObject::connect(thread, SIGNAL(finished()), worker, SLOT(deleteLater()));
    QObject::connect(worker, SIGNAL(deviceStateChanged(HidWorker::Device)),
                     client, SLOT(setDeviceState(HidWorker::Device)));
    QObject::connect(worker, SIGNAL(colorUpdated()), client, SLOT(clearUpdatingColor()));
    QObject::connect(client, SIGNAL(colorUpdateRequested(QColor,HidWorker::Device)),
                     worker, SLOT(updateColor(QColor,HidWorker::Device)));
    QObject::connect(worker, SIGNAL(errorOccurred(QString)), client, SLOT(showError(QString)));
    // clang-format on

    thread->start(QThread::InheritPriority);
}

bool DeviceLink::stop()
{
    if (!thread)
        return true;
    thread->quit();
    const bool finished = thread->wait(StopWaitMs);
    if (finished)
        delete thread;
    thread = nullptr;
    worker = nullptr;
    return finished;
}
